#pragma once

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

// Reads the cases of tests/script/golden/*.gxs. A file holds cases:
//   === name          starts a case (a fresh host with the stub natives)
//   <script lines>    the text of the next run
//   >>> expectation   ends the run and states its outcome
namespace scripttest {

struct SGoldenRun {
    std::string strText;
    std::string strExpect;
    int nLine; // of the ">>>" line, for messages
};

struct SGoldenCase {
    std::string strFile; // without ".gxs"
    std::string strName;
    std::vector<SGoldenRun> runs;
};

// How gtest names a case's parameter in its messages.
inline void PrintTo(const SGoldenCase& c, std::ostream* os)
{
    *os << c.strFile << ".gxs: " << c.strName;
}

inline std::string GoldenDir()
{
    return std::string(TAVDJ_SOURCE_DIR) + "/tests/script/golden";
}

// Every case of every golden file, files in name order.
inline std::vector<SGoldenCase> LoadGoldenCases()
{
    std::vector<std::string> files;
    if (DIR* d = opendir(GoldenDir().c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".gxs")
                files.push_back(name.substr(0, name.size() - 4));
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    std::vector<SGoldenCase> cases;
    for (const std::string& file : files) {
        std::ifstream in(GoldenDir() + "/" + file + ".gxs");
        std::string line, text;
        int nLine = 0;
        bool bInCase = false;
        while (std::getline(in, line)) {
            ++nLine;
            if (line.rfind("=== ", 0) == 0) {
                cases.push_back({ file, line.substr(4), {} });
                bInCase = true;
                text.clear();
            } else if (line.rfind(">>> ", 0) == 0 && bInCase) {
                cases.back().runs.push_back({ text, line.substr(4), nLine });
                text.clear();
            } else if (bInCase) {
                text += line + "\n";
            }
        }
    }
    return cases;
}

} // namespace scripttest

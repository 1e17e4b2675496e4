// Runs every case of tests/script/golden/*.gxs. A file holds cases:
//   === name          starts a case (a fresh host with the stub natives)
//   <script lines>    the text of the next run
//   >>> expectation   ends the run and states its outcome
// Expectations: int N | double X | string TEXT | void | undefined | untouched
//   | error CODE LINE:COL ERRORTEXT | tree SEXPR | parseerror CODE LINE:COL
//   | tokens K[:value] ... | tokpos K@LINE:COL ... | lexerror CODE LINE:COL | log TEXT
// Trailing blanks of an outcome are dropped; an empty tree reads <empty>.
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "script/GXScriptHost.h"
#include "script/ScriptTreeDump.h"

namespace {

struct SRun {
    std::string strText;
    std::string strExpect;
    int nLine; // of the ">>>" line, for messages
};

struct SCase {
    std::string strName;
    std::vector<SRun> runs;
};

std::vector<SCase> LoadCases(const std::string& path)
{
    std::ifstream in(path);
    std::vector<SCase> cases;
    std::string line, text;
    int nLine = 0;
    while (std::getline(in, line)) {
        ++nLine;
        if (line.rfind("=== ", 0) == 0) {
            cases.push_back({ line.substr(4), {} });
            text.clear();
        } else if (line.rfind(">>> ", 0) == 0 && !cases.empty()) {
            cases.back().runs.push_back({ text, line.substr(4), nLine });
            text.clear();
        } else if (!cases.empty()) {
            text += line + "\n";
        }
    }
    return cases;
}

std::string DumpTokens(const std::vector<SToken>& tokens)
{
    std::string s;
    for (const SToken& t : tokens) {
        if (!s.empty())
            s += " ";
        s += std::to_string(t.nKind);
        if (t.nKind == TK_INTEGER)
            s += ":" + std::to_string(t.num.n);
        else if (t.nKind == TK_REAL)
            s += ":" + scripttest::FormatDouble(t.num.dbl);
        else if (t.nKind == TK_IDENT || t.nKind == TK_STRING_LIT)
            s += ":" + t.strText;
    }
    return s;
}

std::string DescribeValue(const GXSVal& v)
{
    switch (v.m_nType) {
    case GXSV_INT:
        return "int " + std::to_string(v.m_num.n);
    case GXSV_DOUBLE:
        return "double " + scripttest::FormatDouble(v.m_num.dbl);
    case GXSV_STRING:
        return "string " + v.m_strText;
    case GXSV_VOID:
        return "void";
    default:
        return "undefined";
    }
}

// Stub natives: they log what they receive so cases can check order and values.
struct CStubs {
    std::string strLog;
    int nCounter = 0;
    std::string strReturned;

    void Register(GXScriptHost& host)
    {
        auto log = [this](const std::string& s) { strLog += (strLog.empty() ? "" : ",") + s; };
        (void)host.RegisterApi("Log", "Vs", [log](GXWindowMain*, std::span<const GXSApiValue> a) {
            log(a[0].pszText);
            return GXSApiValue {};
        });
        (void)host.RegisterApi("LogInt", "Vi", [log](GXWindowMain*, std::span<const GXSApiValue> a) {
            log(std::to_string(a[0].nInt));
            return GXSApiValue {};
        });
        (void)host.RegisterApi("Vsi", "Vsi", [log](GXWindowMain*, std::span<const GXSApiValue> a) {
            log(std::string(a[0].pszText) + ":" + std::to_string(a[1].nInt));
            return GXSApiValue {};
        });
        (void)host.RegisterApi("Add1", "Ii", [](GXWindowMain*, std::span<const GXSApiValue> a) {
            return GXSApiValue { a[0].nInt + 1, 0.0, nullptr };
        });
        (void)host.RegisterApi("Half", "Dd", [](GXWindowMain*, std::span<const GXSApiValue> a) {
            return GXSApiValue { 0, a[0].dbl / 2, nullptr };
        });
        (void)host.RegisterApi("Cat", "Sss", [this](GXWindowMain*, std::span<const GXSApiValue> a) {
            strReturned = std::string(a[0].pszText) + a[1].pszText;
            return GXSApiValue { 0, 0.0, strReturned.c_str() };
        });
        (void)host.RegisterApi("Null", "S", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
        (void)host.RegisterApi("Next", "I", [this, log](GXWindowMain*, std::span<const GXSApiValue>) {
            ++nCounter;
            log("next" + std::to_string(nCounter));
            return GXSApiValue { nCounter, 0.0, nullptr };
        });
        (void)host.RegisterApi("Bad", "Qi", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
        (void)host.RegisterApi("Odd", "Vx", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
        (void)host.RegisterApi("Ten", "Iiiiiiiiiii", [](GXWindowMain*, std::span<const GXSApiValue> a) {
            int n = 0;
            for (const auto& v : a)
                n += v.nInt;
            return GXSApiValue { n, 0.0, nullptr };
        });
    }
};

std::string Outcome(const SRun& run, GXScriptHost& host, CStubs& stubs);

std::string TrimmedOutcome(const SRun& run, GXScriptHost& host, CStubs& stubs)
{
    std::string s = Outcome(run, host, stubs);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string Outcome(const SRun& run, GXScriptHost& host, CStubs& stubs)
{
    const std::string& expect = run.strExpect;
    const std::string kind = expect.substr(0, expect.find(' '));
    if (kind == "tokens" || kind == "lexerror" || kind == "tokpos") {
        GXScriptLexer lexer;
        const int nErr = lexer.Tokenize(run.strText.c_str());
        if (kind == "tokpos") {
            std::string s = "tokpos";
            for (const SToken& t : lexer.Tokens())
                s.append(" ").append(std::to_string(t.nKind) + "@" + std::to_string(t.nLine) + ":" + std::to_string(t.nCol));
            return s;
        }
        if (nErr != 0)
            return "lexerror " + std::to_string(nErr) + " " + std::to_string(lexer.Line()) + ":"
                + std::to_string(lexer.Col());
        return "tokens " + DumpTokens(lexer.Tokens());
    }
    if (kind == "tree" || kind == "parseerror") {
        GXScriptLexer lexer;
        if (lexer.Tokenize(run.strText.c_str()) != 0)
            return "lexerror";
        GXScriptParser parser;
        const int nErr = parser.Parse(lexer.Tokens());
        if (nErr != 0)
            return "parseerror " + std::to_string(nErr) + " " + std::to_string(parser.ErrorLine()) + ":"
                + std::to_string(parser.ErrorCol());
        SStmtPtr root = parser.TakeRoot();
        const std::string tree = scripttest::DumpChain(root.get());
        return "tree " + (tree.empty() ? std::string("<empty>") : tree);
    }
    if (kind == "log") {
        GXSVal result;
        int nCode = 0;
        (void)host.Run(run.strText.c_str(), &result, &nCode);
        std::string s = "log " + stubs.strLog;
        stubs.strLog.clear();
        return s;
    }
    GXSVal result = GXSVal::String("<untouched>");
    int nCode = -1;
    const int nOk = host.Run(run.strText.c_str(), &result, &nCode);
    if (nOk != (nCode == 0 ? 1 : 0))
        return "inconsistent return";
    if (nCode != 0) {
        std::string text;
        host.GetErrorText(text);
        return "error " + std::to_string(nCode) + " " + std::to_string(host.ErrorLine()) + ":"
            + std::to_string(host.ErrorCol()) + " " + text;
    }
    if (result.m_nType == GXSV_STRING && result.m_strText == "<untouched>")
        return "untouched";
    return DescribeValue(result);
}

} // namespace

TEST(ScriptGolden, EveryCaseOfEveryFileMatches)
{
    const std::string dir = std::string(TAVDJ_SOURCE_DIR) + "/tests/script/golden";
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".gxs")
                files.push_back(name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    int nCases = 0;
    for (const std::string& file : files) {
        for (const SCase& c : LoadCases(dir + "/" + file)) {
            ++nCases;
            GXScriptHost host;
            CStubs stubs;
            stubs.Register(host);
            for (const SRun& run : c.runs) {
                const std::string got = TrimmedOutcome(run, host, stubs);
                EXPECT_EQ(got, run.strExpect) << file << ":" << run.nLine << " [" << c.strName << "]";
            }
        }
    }
    EXPECT_GT(nCases, 50);
}

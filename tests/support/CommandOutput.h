#pragma once

#include <cstdio>
#include <string>

namespace testutil {

// The standard output of a shell command without its trailing newlines and
// blanks; empty when the command fails.
inline std::string CommandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pPipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pPipe))
            out += buffer;
        if (::pclose(pPipe) != 0)
            return {};
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

} // namespace testutil

#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

// True when the command is found on PATH.
inline bool ToolOnPath(const char* pszTool)
{
    const std::string probe = std::string("command -v ") + pszTool + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

inline bool RunningUnderCi()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// In a GoogleTest body: a missing tool fails the test under CI (CI=true),
// where every tool must be installed, and skips it elsewhere.
#define TAVDJ_REQUIRE_TOOL(tool)                                                     \
    do {                                                                             \
        if (!ToolOnPath(tool)) {                                                     \
            if (RunningUnderCi())                                                    \
                FAIL() << tool << " is not installed";                               \
            else                                                                     \
                GTEST_SKIP() << tool << " is not installed";                         \
        }                                                                            \
    } while (0)

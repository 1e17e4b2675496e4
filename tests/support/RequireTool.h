#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

// True when the tests run under CI, where a missing tool is a failure of
// the machine's setup rather than a reason to skip.
inline bool RunningUnderCi()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// True when the shell command succeeds (exit status 0), output discarded.
inline bool CommandSucceeds(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// True when the command is found on PATH.
inline bool ToolOnPath(const char* pszTool)
{
    return CommandSucceeds(std::string("command -v ") + pszTool);
}

// Skips the test when a tool it needs is missing, or fails it under CI.
#define TAVDJ_REQUIRE_TOOL(available, what)                                                                            \
    do {                                                                                                               \
        if (!(available)) {                                                                                            \
            if (RunningUnderCi())                                                                                      \
                FAIL() << "missing under CI: " << (what);                                                              \
            else                                                                                                       \
                GTEST_SKIP() << "missing: " << (what);                                                                 \
        }                                                                                                              \
    } while (0)

#pragma once

#include "support/TestSandbox.h"

#include <filesystem>
#include <optional>
#include <string>

// A private home for one test: a fresh temporary folder with home/, data/,
// docs/, tmp/ and program/ inside, and the environment (HOME, XDG_*, TMPDIR,
// TAVDJ_PROGRAM_DIR, no session bus) pointed at them, so nothing a test does reaches the
// user's real files. The environment is restored and the tree removed on
// destruction. Not thread-safe: build it before starting threads.
class TempHome {
public:
    TempHome()
    {
        if (!m_sandbox.Create("tavdj-test"))
            return;
        for (const char* sub : { "home", "data", "docs", "tmp", "program", "config" })
            std::filesystem::create_directories(Path(sub));
        Set("HOME", Path("home"));
        Set("XDG_DATA_HOME", Path("data"));
        Set("XDG_CONFIG_HOME", Path("config"));
        Set("XDG_DOCUMENTS_DIR", Path("docs"));
        Set("TMPDIR", Path("tmp"));
        Set("TAVDJ_PROGRAM_DIR", Path("program"));
        // No session bus: the program would follow the user's own music
        // players on it. A test that wants one starts a private bus.
        Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus");
    }

    // Absolute path of a sub-folder of the private tree, without a trailing '/'.
    std::string Path(const std::string& sub = {}) const
    {
        const std::string root = m_sandbox.Dir().string();
        return sub.empty() ? root : root + "/" + sub;
    }

    // Sets (or with a null value, unsets) a variable until the end of the test.
    void Set(const std::string& name, const std::optional<std::string>& value) { m_sandbox.SetEnv(name, value); }

private:
    TestSandbox m_sandbox;
};

#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

// A private home for one test: a fresh temporary folder with home/, data/,
// docs/, tmp/ and program/ inside, and the environment (HOME, XDG_*, TMPDIR,
// TAVDJ_PROGRAM_DIR) pointed at them, so nothing a test does reaches the
// user's real files. The environment is restored and the tree removed on
// destruction. Not thread-safe: build it before starting threads.
class TempHome {
public:
    TempHome()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/tavdj-test-XXXXXX";
        char* made = mkdtemp(pattern.data());
        m_root = made != nullptr ? std::string(made) : std::string();
        for (const char* sub : {"home", "data", "docs", "tmp", "program", "config"})
            std::filesystem::create_directories(m_root + "/" + sub);
        Set("HOME", Path("home"));
        Set("XDG_DATA_HOME", Path("data"));
        Set("XDG_CONFIG_HOME", Path("config"));
        Set("XDG_DOCUMENTS_DIR", Path("docs"));
        Set("TMPDIR", Path("tmp"));
        Set("TAVDJ_PROGRAM_DIR", Path("program"));
    }
    ~TempHome()
    {
        for (auto& [name, old] : m_saved) {
            if (old)
                setenv(name.c_str(), old->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ec;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    // Absolute path of a sub-folder of the private tree, without a trailing '/'.
    std::string Path(const std::string& sub = {}) const { return sub.empty() ? m_root : m_root + "/" + sub; }

    // Sets (or with a null value, unsets) a variable until the end of the test.
    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }

private:
    std::string m_root;
    std::map<std::string, std::optional<std::string>> m_saved;
};

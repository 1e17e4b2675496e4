#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// A private temporary folder and environment variables changed for one test.
// The destructor puts every variable back and removes the folder, so tests
// that point HOME or a library's runtime folder elsewhere never leak that
// into the tests after them.
class TestSandbox {
public:
    TestSandbox() = default;
    TestSandbox(const TestSandbox&) = delete;
    TestSandbox& operator=(const TestSandbox&) = delete;

    ~TestSandbox()
    {
        for (auto it = m_savedEnv.rbegin(); it != m_savedEnv.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    // A new folder under $TMPDIR (or /tmp) whose name starts with prefix.
    [[nodiscard]] bool Create(const std::string& prefix)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return false;
        m_dir = pattern;
        return true;
    }

    [[nodiscard]] const std::filesystem::path& Dir() const { return m_dir; }

    // Sets the variable, or removes it when value is empty.
    void SetEnv(const std::string& name, const std::optional<std::string>& value)
    {
        const char* old = std::getenv(name.c_str());
        m_savedEnv.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }

private:
    std::filesystem::path m_dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_savedEnv;
};

#pragma once

#include "platform/WindowFinder.h"

#include <map>
#include <mutex>
#include <string>

// Windows by class name, as a test sets them up.
class FakeWindowFinder final : public platform::WindowFinder {
public:
    void Show(const std::string& className, const std::string& title)
    {
        std::lock_guard guard(m_lock);
        m_windows[className] = title;
    }
    void Close(const std::string& className)
    {
        std::lock_guard guard(m_lock);
        m_windows.erase(className);
    }

    bool FindWindowTitle(std::string_view className, std::string* title) override
    {
        std::lock_guard guard(m_lock);
        auto it = m_windows.find(std::string(className));
        if (it == m_windows.end())
            return false;
        if (title)
            *title = it->second;
        return true;
    }

private:
    std::mutex m_lock; // guards: m_windows
    std::map<std::string, std::string> m_windows;
};

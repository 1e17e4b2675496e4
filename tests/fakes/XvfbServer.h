#pragma once

// A private X server for tests that need real windows: Xvfb picks a free
// display number itself (-displayfd) and is stopped by its pid.

#include "fakes/ChildProcess.h"

#include <string>

class XvfbServer {
public:
    // False when Xvfb is missing or did not come up within 10 s.
    bool Start()
    {
        if (!m_process.Start({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"}))
            return false;
        std::string number;
        if (!m_process.ReadLine(&number, 10000) || number.empty())
            return false;
        m_display = ":" + number;
        return true;
    }

    const std::string& Display() const { return m_display; }

private:
    testutil::ChildProcess m_process;
    std::string m_display;
};

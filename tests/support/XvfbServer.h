#pragma once

// A private X server for tests that need real windows, stopped by its pid.
// The display number is picked at random and claimed through Xvfb's own
// lock file, so parallel tests never share a server; -displayfd tells when
// the server is ready (or, by ending, that the number was taken). Without
// -noreset the server would reset whenever its last client leaves, refusing
// the next one for a moment.

#include "support/ChildProcess.h"

#include <memory>
#include <random>
#include <string>

class XvfbServer {
public:
    // False when Xvfb is missing or no server came up. screen is Xvfb's
    // WIDTHxHEIGHTxDEPTH of its one screen.
    bool Start(const std::string& screen = "320x240x24")
    {
        std::mt19937 random(std::random_device {}());
        std::uniform_int_distribution<int> number(200, 9999);
        for (int attempt = 0; attempt < 10; ++attempt) {
            const std::string display = std::string(":").append(std::to_string(number(random)));
            m_process = std::make_unique<testutil::ChildProcess>();
            if (!m_process->Start(
                    { "Xvfb", display, "-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", screen }))
                return false;
            std::string ready;
            if (m_process->ReadLine(&ready, 10000) && ":" + ready == display) {
                m_display = display;
                return true;
            }
            m_process.reset();
        }
        return false;
    }

    const std::string& Display() const { return m_display; }

private:
    std::unique_ptr<testutil::ChildProcess> m_process;
    std::string m_display;
};

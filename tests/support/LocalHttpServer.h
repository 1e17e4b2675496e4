#pragma once

// tests/servers/http_server.py started on a free loopback port for one test.

#include "support/ChildProcess.h"

#include <string>

namespace testutil {

class LocalHttpServer {
public:
    // page: a file served as /index.html and /file, or empty.
    // hang: /index.html and /file never answer; trickle: they send their
    // header a byte at a time, for ever.
    bool Start(const std::string& page = {}, bool hang = false, bool trickle = false)
    {
        std::vector<std::string> argv { "python3", SourcePath("tests/servers/http_server.py") };
        if (hang)
            argv.push_back("--hang");
        if (trickle)
            argv.push_back("--trickle");
        if (!page.empty()) {
            argv.push_back("--page");
            argv.push_back(page);
        }
        std::string line;
        if (!m_child.Start(argv) || !m_child.ReadLine(&line, 10000))
            return false;
        m_port = std::atoi(line.c_str());
        return m_port > 0;
    }
    int Port() const { return m_port; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    ChildProcess m_child;
    int m_port = 0;
};

} // namespace testutil

#pragma once

// A byte-exact SHOUTcast-protocol server on loopback for the source client's
// tests: records every byte of the source connection and of each title
// request, and answers the login as scripted.

#include "fakes/FreePorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeShoutcastServer {
public:
    enum class Login { Reply, Silent, CloseAfterPassword };

    // Set before Start.
    Login mode = Login::Reply;
    std::string loginReply = "OK2\r\nicy-caps:11\r\n\r\n";
    bool closeAfterReply = false;
    bool readStream = true;  // false: the source stalls after the login

    ~FakeShoutcastServer()
    {
        m_thread.request_stop();
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : {m_listenTitle, m_listenSource})
            if (fd >= 0)
                ::close(fd);
        for (auto& [fd, conn] : m_conns)
            ::close(fd);
    }

    bool Start()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int port = testutil::PickPortPair();
            if (port == 0)
                continue;
            m_listenTitle = Listen(port);
            m_listenSource = Listen(port + 1);
            if (m_listenTitle >= 0 && m_listenSource >= 0) {
                m_port = port;
                m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
                return true;
            }
            for (int* fd : {&m_listenTitle, &m_listenSource}) {
                if (*fd >= 0)
                    ::close(*fd);
                *fd = -1;
            }
        }
        return false;
    }

    int Port() const { return m_port; }

    std::string SourceBytes()
    {
        std::lock_guard guard(m_lock);
        return m_source;
    }
    std::vector<std::string> TitleRequests()
    {
        std::lock_guard guard(m_lock);
        return m_titles;
    }
    int SourceConnections()
    {
        std::lock_guard guard(m_lock);
        return m_sourceConnections;
    }

    template <typename Pred>
    bool WaitFor(Pred pred, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (pred(*this))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return pred(*this);
    }

private:
    struct Conn {
        bool source = false;
        bool replied = false;
        bool reading = true;
        std::string bytes;
    };

    static int Listen(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void Drop(int fd)
    {
        Conn& c = m_conns[fd];
        {
            std::lock_guard guard(m_lock);
            if (!c.source)
                m_titles.push_back(c.bytes);
        }
        ::close(fd);
        m_conns.erase(fd);
    }

    void Run(std::stop_token stop)
    {
        while (!stop.stop_requested()) {
            std::vector<pollfd> fds{{m_listenTitle, POLLIN, 0}, {m_listenSource, POLLIN, 0}};
            for (auto& [fd, conn] : m_conns)
                if (conn.reading)
                    fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 10) <= 0)
                continue;
            for (const pollfd& p : fds) {
                if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                if (p.fd == m_listenTitle || p.fd == m_listenSource) {
                    const int fd = ::accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (fd >= 0) {
                        m_conns[fd].source = p.fd == m_listenSource;
                        if (p.fd == m_listenSource) {
                            std::lock_guard guard(m_lock);
                            ++m_sourceConnections;
                        }
                    }
                    continue;
                }
                char buf[65536];
                const ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    Drop(p.fd);
                    continue;
                }
                Conn& c = m_conns[p.fd];
                c.bytes.append(buf, static_cast<size_t>(n));
                if (c.source) {
                    std::lock_guard guard(m_lock);
                    m_source.append(buf, static_cast<size_t>(n));
                }
                if (c.source && !c.replied && c.bytes.find('\n') != std::string::npos) {
                    c.replied = true;
                    if (mode == Login::CloseAfterPassword) {
                        Drop(p.fd);
                        continue;
                    }
                    if (mode == Login::Reply) {
                        (void)!::send(p.fd, loginReply.data(), loginReply.size(), MSG_NOSIGNAL);
                        if (closeAfterReply) {
                            Drop(p.fd);
                            continue;
                        }
                    }
                    c.reading = readStream;
                }
            }
        }
    }

    int m_port = 0;
    int m_listenTitle = -1;
    int m_listenSource = -1;
    std::map<int, Conn> m_conns;  // server thread only
    std::mutex m_lock;            // guards: m_source, m_titles, m_sourceConnections
    std::string m_source;
    std::vector<std::string> m_titles;
    int m_sourceConnections = 0;
    std::jthread m_thread;
};

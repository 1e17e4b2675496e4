#pragma once

// A scripted station directory on loopback for the directory client's
// tests: records every request byte for byte and answers them in order
// from a script. Runs on a thread of its own, stopped by its destructor.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeDirectory {
public:
    // What the directory does with one request. An empty reply that keeps
    // the connection open is silence.
    struct Answer {
        std::string reply;
        bool close = true;
    };
    static Answer Silence() { return Answer{"", false}; }

    ~FakeDirectory()
    {
        m_thread.request_stop();
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen >= 0)
            ::close(m_listen);
        for (auto& [fd, conn] : m_conns)
            ::close(fd);
    }

    bool Start()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(m_listen, 8) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return false;
        m_port = ntohs(sa.sin_port);
        m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
        return true;
    }

    int Port() const { return m_port; }

    void Then(Answer answer)
    {
        std::lock_guard guard(m_lock);
        m_script.push_back(std::move(answer));
    }
    void Then(const std::string& reply) { Then(Answer{reply, true}); }

    // From now on connections are refused; returns once the port is closed.
    bool StopListening(int timeoutMs = 5000)
    {
        m_refuse = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!m_closed) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::vector<std::string> Requests()
    {
        std::lock_guard guard(m_lock);
        return m_requests;
    }
    size_t RequestCount()
    {
        std::lock_guard guard(m_lock);
        return m_requests.size();
    }

    bool WaitForRequests(size_t count, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (RequestCount() < count) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    struct Conn {
        std::string bytes;
        bool recorded = false;
    };

    void Drop(int fd)
    {
        Conn& c = m_conns[fd];
        if (!c.recorded && !c.bytes.empty()) {
            std::lock_guard guard(m_lock);
            m_requests.push_back(c.bytes);
        }
        ::close(fd);
        m_conns.erase(fd);
    }

    // Records the request once its blank line arrived and plays the next
    // answer; false when the connection was closed.
    bool Reply(int fd, Conn& c)
    {
        if (c.recorded || c.bytes.find("\r\n\r\n") == std::string::npos)
            return true;
        c.recorded = true;
        Answer answer = Silence();
        {
            std::lock_guard guard(m_lock);
            m_requests.push_back(c.bytes);
            if (!m_script.empty()) {
                answer = m_script.front();
                m_script.pop_front();
            }
        }
        if (!answer.reply.empty())
            (void)!::send(fd, answer.reply.data(), answer.reply.size(), MSG_NOSIGNAL);
        if (answer.close) {
            ::close(fd);
            m_conns.erase(fd);
            return false;
        }
        return true;
    }

    void Run(std::stop_token stop)
    {
        while (!stop.stop_requested()) {
            if (m_refuse && m_listen >= 0) {
                ::close(m_listen);
                m_listen = -1;
                m_closed = true;
            }
            std::vector<pollfd> fds;
            if (m_listen >= 0)
                fds.push_back({m_listen, POLLIN, 0});
            for (auto& [fd, conn] : m_conns)
                fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 5) <= 0)
                continue;
            for (const pollfd& p : fds) {
                if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                if (p.fd == m_listen) {
                    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                    if (fd >= 0)
                        m_conns[fd];
                    continue;
                }
                char buf[8192];
                const ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    Drop(p.fd);
                    continue;
                }
                Conn& c = m_conns[p.fd];
                c.bytes.append(buf, static_cast<size_t>(n));
                Reply(p.fd, c);
            }
        }
    }

    int m_port = 0;
    int m_listen = -1;  // server thread only after Start
    std::atomic<bool> m_refuse{false};
    std::atomic<bool> m_closed{false};
    std::map<int, Conn> m_conns;  // server thread only
    std::mutex m_lock;            // guards: m_script, m_requests
    std::deque<Answer> m_script;
    std::vector<std::string> m_requests;
    std::jthread m_thread;
};

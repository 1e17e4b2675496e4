#pragma once

// The loop under the scripted loopback servers of the tests: listening
// sockets, connections accepted and read on a thread of its own, each with a
// Conn of the subclass's. Every hook runs on that thread. A subclass calls
// StopServing() first thing in its destructor, so the thread never meets a
// half-destroyed object.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <thread>
#include <vector>

template <typename Conn> class ScriptedLoopbackServer {
protected:
    ScriptedLoopbackServer() = default;
    virtual ~ScriptedLoopbackServer()
    {
        StopServing();
        for (int fd : m_listeners)
            if (fd >= 0)
                ::close(fd);
        for (auto& [fd, conn] : m_conns)
            ::close(fd);
    }

    // A listener on 127.0.0.1:port (0: any free port); -1 on failure.
    static int Listen(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0)) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    static int BoundPort(int fd)
    {
        sockaddr_in sa {};
        socklen_t len = sizeof sa;
        return ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0 ? ntohs(sa.sin_port) : 0;
    }

    // Takes the listeners over and starts the thread.
    void Serve(std::vector<int> listeners, int pollMs)
    {
        m_listeners = std::move(listeners);
        m_thread = std::jthread([this, pollMs](std::stop_token stop) { Run(stop, pollMs); });
    }

    void StopServing()
    {
        m_thread.request_stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    void CloseListener(size_t index)
    {
        if (m_listeners[index] >= 0)
            ::close(m_listeners[index]);
        m_listeners[index] = -1;
    }
    bool Listening(size_t index) const { return m_listeners[index] >= 0; }

    // Ended(), then the connection is closed.
    void Drop(int fd)
    {
        Ended(m_conns[fd]);
        ::close(fd);
        m_conns.erase(fd);
    }

    virtual void BeforePoll() { }
    virtual bool Reading(const Conn&) const { return true; }
    virtual void Accepted(size_t listener, Conn& conn) = 0;
    virtual void Received(int fd, Conn& conn, const char* data, size_t size) = 0;
    // The peer closed, or the subclass dropped the connection.
    virtual void Ended(Conn& conn) = 0;

private:
    void Run(std::stop_token stop, int pollMs)
    {
        std::vector<char> buf(65536);
        while (!stop.stop_requested()) {
            BeforePoll();
            // A closed listener stays in as -1, which poll skips, so the
            // first entries line up with m_listeners.
            std::vector<pollfd> fds;
            for (int fd : m_listeners)
                fds.push_back({ fd, POLLIN, 0 });
            const size_t listening = fds.size();
            for (auto& [fd, conn] : m_conns)
                if (Reading(conn))
                    fds.push_back({ fd, POLLIN, 0 });
            if (::poll(fds.data(), fds.size(), pollMs) <= 0)
                continue;
            for (size_t i = 0; i < fds.size(); ++i) {
                const pollfd& p = fds[i];
                if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                if (i < listening) {
                    const int fd = ::accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (fd >= 0)
                        Accepted(i, m_conns[fd]);
                    continue;
                }
                const ssize_t n = ::recv(p.fd, buf.data(), buf.size(), 0);
                if (n <= 0)
                    Drop(p.fd);
                else
                    Received(p.fd, m_conns[p.fd], buf.data(), static_cast<size_t>(n));
            }
        }
    }

    std::vector<int> m_listeners; // server thread only after Serve
    std::map<int, Conn> m_conns; // server thread only
    std::jthread m_thread;
};

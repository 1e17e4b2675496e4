#pragma once

// A TCP relay of the tests' own on loopback, between the program and a
// server: it listens on a port pair picked now and carries each connection
// to the same place above the server's port. A test can freeze the
// connections it carries (no byte moves either way and nothing is closed,
// as on a path that died silently) while new connections still pass, close
// them as a server that went away would, and have new logins on the upper
// port closed after their first bytes without a reply. It keeps the first
// bytes each connection brought from the program.

#include "support/FreePorts.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

class TcpRelay {
public:
    enum class NewLogins { Pass, CloseWithoutReply };

    ~TcpRelay()
    {
        m_thread.request_stop();
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : m_listeners)
            if (fd >= 0)
                ::close(fd);
        for (Pipe& p : m_pipes)
            p.Close();
    }

    // Carries port and port + 1 of the relay to target and target + 1.
    bool Start(int targetPort)
    {
        m_target = targetPort;
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int port = PickPortPair();
            const int low = port ? Listen(port) : -1;
            const int high = port ? Listen(port + 1) : -1;
            if (low >= 0 && high >= 0) {
                m_port = port;
                m_listeners = { low, high };
                m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
                return true;
            }
            for (int fd : { low, high })
                if (fd >= 0)
                    ::close(fd);
        }
        return false;
    }

    int Port() const { return m_port; }

    // Every connection carried now stops moving bytes, both ways, for good.
    void FreezeCurrent() { Request(&m_bFreeze); }
    // Every connection carried now is closed on both sides.
    void CloseCurrent() { Request(&m_bClose); }
    void SetNewLogins(NewLogins mode) { m_newLogins = mode; }
    // Logins closed without a reply so far.
    int RefusedLogins() const { return m_nRefused; }
    // The first kKeptBytes the program sent on each connection, in the
    // order the connections came.
    std::vector<std::string> Carried()
    {
        std::lock_guard guard(m_lock);
        return m_carried;
    }

    static constexpr size_t kKeptBytes = 65536;

private:
    struct Pipe {
        int fd[2] = { -1, -1 }; // the program's side, the server's side
        std::string pending[2]; // read from fd[d], not yet written to the other
        bool frozen = false;
        bool refuse = false; // a login to close after its first bytes
        size_t carried = 0; // its place in m_carried
        bool Open() const { return fd[0] >= 0; }
        void Close()
        {
            for (int& f : fd) {
                if (f >= 0)
                    ::close(f);
                f = -1;
            }
        }
    };

    // The relay's own receive buffer is small, so a frozen connection
    // stalls its sender after little.
    static int Listen(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 8192;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in sa = Address(port);
        if (fd >= 0 && (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 16) != 0)) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    static sockaddr_in Address(int port)
    {
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return sa;
    }

    // Blocking, but bounded: a server that takes no new connection (its
    // queue full while it is stopped) costs the relay two seconds. A small
    // send buffer: the system would otherwise grow it to megabytes, and a
    // server that stops reading would stall its sender only minutes later.
    static int ConnectTo(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval limit { 2, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        const int small = 8192;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        sockaddr_in sa = Address(port);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void Request(bool* pFlag)
    {
        std::lock_guard guard(m_lock);
        *pFlag = true;
    }

    void TakeRequests()
    {
        std::lock_guard guard(m_lock);
        for (Pipe& p : m_pipes) {
            p.frozen = p.frozen || m_bFreeze;
            if (m_bClose)
                p.Close();
        }
        m_bFreeze = m_bClose = false;
    }

    void Accept(size_t listener)
    {
        const int client = ::accept4(m_listeners[listener], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            return;
        Pipe p;
        p.fd[0] = client;
        {
            std::lock_guard guard(m_lock);
            p.carried = m_carried.size();
            m_carried.emplace_back();
        }
        p.refuse = listener == 1 && m_newLogins == NewLogins::CloseWithoutReply;
        if (!p.refuse) {
            p.fd[1] = ConnectTo(m_target + static_cast<int>(listener));
            if (p.fd[1] < 0) {
                ::close(client);
                return;
            }
            ::fcntl(p.fd[1], F_SETFL, ::fcntl(p.fd[1], F_GETFL) | O_NONBLOCK);
        }
        m_pipes.push_back(std::move(p));
    }

    // One direction's turn: read when nothing waits, else write what waits.
    void Move(Pipe& p, int from, short events)
    {
        const int to = 1 - from;
        char block[16384];
        if (p.pending[from].empty() && (events & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(p.fd[from], block, sizeof block, 0);
            if (n <= 0 || p.refuse) {
                if (p.refuse && n > 0)
                    ++m_nRefused;
                p.Close();
                return;
            }
            p.pending[from].assign(block, static_cast<size_t>(n));
            if (from == 0) {
                std::lock_guard guard(m_lock);
                std::string& kept = m_carried[p.carried];
                kept.append(block, std::min(static_cast<size_t>(n), kKeptBytes - kept.size()));
            }
        }
        if (!p.pending[from].empty() && p.fd[to] >= 0) {
            const ssize_t n = ::send(p.fd[to], p.pending[from].data(), p.pending[from].size(), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                p.Close();
                return;
            }
            if (n > 0)
                p.pending[from].erase(0, static_cast<size_t>(n));
        }
    }

    void Run(std::stop_token stop)
    {
        while (!stop.stop_requested()) {
            TakeRequests();
            m_pipes.remove_if([](const Pipe& p) { return !p.Open(); });
            std::vector<pollfd> fds;
            for (int fd : m_listeners)
                fds.push_back({ fd, POLLIN, 0 });
            std::vector<std::pair<Pipe*, int>> owners; // pipe and direction per entry past the listeners
            for (Pipe& p : m_pipes) {
                if (p.frozen)
                    continue;
                for (int d = 0; d < 2; ++d) {
                    if (p.fd[d] < 0)
                        continue;
                    // Waiting bytes wait for room on the other side; else read.
                    const bool waiting = !p.pending[d].empty();
                    fds.push_back({ waiting ? p.fd[1 - d] : p.fd[d], short(waiting ? POLLOUT : POLLIN), 0 });
                    owners.emplace_back(&p, d);
                }
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (size_t i = 0; i < m_listeners.size(); ++i)
                if (fds[i].revents & POLLIN)
                    Accept(i);
            for (size_t i = 0; i < owners.size(); ++i) {
                auto [pPipe, d] = owners[i];
                const short revents = fds[m_listeners.size() + i].revents;
                if (revents && pPipe->Open())
                    Move(*pPipe, d, pPipe->pending[d].empty() ? revents : short(POLLOUT));
            }
        }
    }

    int m_target = 0;
    int m_port = 0;
    std::vector<int> m_listeners;
    std::atomic<NewLogins> m_newLogins { NewLogins::Pass };
    std::atomic<int> m_nRefused { 0 };
    std::mutex m_lock; // guards: m_bFreeze, m_bClose, m_carried
    bool m_bFreeze = false;
    bool m_bClose = false;
    std::vector<std::string> m_carried;
    std::list<Pipe> m_pipes; // relay thread only
    std::jthread m_thread;
};

} // namespace testutil

#pragma once

// A plain blocking TCP client on 127.0.0.1 for tests that talk to a server
// byte by byte: every read has a deadline, the bytes read are kept.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <utility>

namespace testutil {

class LoopbackClient {
public:
    LoopbackClient() = default;
    ~LoopbackClient() { Close(); }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    // receiveBuffer > 0 shrinks the kernel's receive buffer (a slow reader).
    bool Connect(int port, int receiveBuffer = 0) { return ConnectFrom(nullptr, port, receiveBuffer); }
    // From a given loopback address (127.0.0.2, ...), as another machine.
    bool ConnectFrom(const char* from, int port, int receiveBuffer = 0)
    {
        Close();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (from) {
            sockaddr_in local {};
            local.sin_family = AF_INET;
            if (::inet_pton(AF_INET, from, &local.sin_addr) != 1
                || ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
                return false;
        }
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }

    bool Send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Reads until at least n bytes are held; false on end or timeout.
    bool ReadAtLeast(size_t n, int timeoutMs)
    {
        return ReadWhile([&] { return m_data.size() < n; }, timeoutMs);
    }
    bool ReadUntil(std::string_view marker, int timeoutMs)
    {
        return ReadWhile([&] { return m_data.find(marker) == std::string::npos; }, timeoutMs);
    }
    // Reads everything until the server closes; false on timeout.
    bool ReadToEnd(int timeoutMs)
    {
        ReadWhile([] { return true; }, timeoutMs);
        return m_closed;
    }

    std::string& Data() { return m_data; }
    void Swap(LoopbackClient& other)
    {
        std::swap(m_fd, other.m_fd);
        std::swap(m_closed, other.m_closed);
        m_data.swap(other.m_data);
    }
    bool IsClosedByPeer() const { return m_closed; }
    int Fd() const { return m_fd; }

    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_closed = false;
        m_data.clear();
    }

private:
    template <typename More> bool ReadWhile(More more, int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (more()) {
            if (m_closed || m_fd < 0)
                return false;
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return false;
            pollfd p { m_fd, POLLIN, 0 };
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char buf[65536];
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0) {
                m_closed = true;
                return false;
            }
            m_data.append(buf, static_cast<size_t>(n));
        }
        return true;
    }

    int m_fd = -1;
    bool m_closed = false;
    std::string m_data;
};

} // namespace testutil

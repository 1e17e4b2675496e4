#pragma once

#include "platform/SocketApi.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A whole loopback network in memory for a server under test: listening
// ports, connections that peers open, fill and close, and a wait that
// reports what is ready. Accepting can be made to fail as when the process
// is out of descriptors. A peer takes every send whole unless it was given
// a room: then it takes that many bytes and no more until given more. One
// thread only.
class FakeNetwork final : public platform::SocketApi {
public:
    struct Conn {
        int port = 0;
        uint32_t peer = 0; // network order
        std::string toServer; // sent by the peer, not yet read
        std::string fromServer; // everything the server sent
        bool peerClosed = false; // the peer ended its side
        bool serverClosed = false; // the server closed the socket
        bool accepted = false;
        long long room = -1; // bytes the peer still takes; -1: no limit
    };

    bool failAccepts = false;
    // Every wait, with its timeout and the descriptors that were ready.
    struct Wait {
        int timeoutMs;
        int ready;
        std::vector<int> readyFds;
    };
    std::vector<Wait> waits;

    // A peer connects to port; the connection waits to be accepted.
    int Connect(int port, uint32_t peer = 0x0100007Fu)
    {
        const int fd = m_next++;
        Conn c;
        c.port = port;
        c.peer = peer;
        m_conns[fd] = c;
        m_backlog[port].push_back(fd);
        return fd;
    }
    Conn& At(int fd) { return m_conns[fd]; }
    bool Has(int fd) const { return m_conns.count(fd) != 0; }

    platform::SocketFd OpenTcp() override { return m_next++; }
    void Close(platform::SocketFd fd) override
    {
        auto it = m_conns.find(fd);
        if (it != m_conns.end())
            it->second.serverClosed = true;
        m_listeners.erase(fd);
    }
    platform::NetStatus StartConnect(platform::SocketFd, uint32_t, int) override { return platform::NetStatus::Failed; }
    platform::NetStatus CheckConnect(platform::SocketFd) override { return platform::NetStatus::Failed; }
    bool BindAndListen(platform::SocketFd fd, int port, int) override
    {
        m_listeners[fd] = port;
        return true;
    }
    platform::SocketFd Accept(platform::SocketFd listener, uint32_t* peer) override
    {
        auto it = m_listeners.find(listener);
        if (it == m_listeners.end() || failAccepts)
            return platform::kNoSocket;
        std::deque<int>& queue = m_backlog[it->second];
        if (queue.empty())
            return platform::kNoSocket;
        const int fd = queue.front();
        queue.pop_front();
        m_conns[fd].accepted = true;
        if (peer)
            *peer = m_conns[fd].peer;
        return fd;
    }
    bool MakeNonBlocking(platform::SocketFd) override { return true; }
    platform::NetIo Send(platform::SocketFd fd, const char* data, int len) override
    {
        auto it = m_conns.find(fd);
        if (it == m_conns.end() || it->second.serverClosed)
            return { platform::NetStatus::Failed, 0 };
        Conn& c = it->second;
        if (c.room == 0)
            return { platform::NetStatus::Pending, 0 };
        const int n = c.room < 0 ? len : static_cast<int>(std::min<long long>(len, c.room));
        c.fromServer.append(data, static_cast<size_t>(n));
        if (c.room > 0)
            c.room -= n;
        return { platform::NetStatus::Done, n };
    }
    platform::NetIo Receive(platform::SocketFd fd, char* out, int len) override
    {
        auto it = m_conns.find(fd);
        if (it == m_conns.end())
            return { platform::NetStatus::Failed, 0 };
        Conn& c = it->second;
        if (c.toServer.empty())
            return { c.peerClosed ? platform::NetStatus::Closed : platform::NetStatus::Pending, 0 };
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(len), c.toServer.size()));
        c.toServer.copy(out, static_cast<size_t>(n));
        c.toServer.erase(0, static_cast<size_t>(n));
        return { platform::NetStatus::Done, n };
    }
    bool SetSendBuffer(platform::SocketFd fd, int) override { return m_conns.count(fd) != 0; }
    int LocalPort(platform::SocketFd fd) override
    {
        auto it = m_listeners.find(fd);
        return it == m_listeners.end() ? -1 : it->second;
    }
    int WaitForEvents(platform::PollEntry* entries, int count, int timeoutMs) override
    {
        int ready = 0;
        std::vector<int> readyFds;
        for (int i = 0; i < count; ++i) {
            platform::PollEntry& e = entries[i];
            e.ready = 0;
            if (e.fd == platform::kNoSocket)
                continue;
            if (auto l = m_listeners.find(e.fd); l != m_listeners.end()) {
                if ((e.wanted & platform::kPollRead) && !m_backlog[l->second].empty())
                    e.ready = platform::kPollRead;
            } else if (auto c = m_conns.find(e.fd); c != m_conns.end()) {
                if ((e.wanted & platform::kPollRead) && (!c->second.toServer.empty() || c->second.peerClosed))
                    e.ready |= platform::kPollRead;
                if ((e.wanted & platform::kPollWrite) && c->second.room != 0)
                    e.ready |= platform::kPollWrite;
            }
            if (e.ready) {
                ++ready;
                readyFds.push_back(e.fd);
            }
        }
        waits.push_back(Wait { timeoutMs, ready, std::move(readyFds) });
        return ready;
    }

private:
    int m_next = 10;
    std::map<int, Conn> m_conns;
    std::map<int, int> m_listeners; // fd -> port
    std::map<int, std::deque<int>> m_backlog;
};

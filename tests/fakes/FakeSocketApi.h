#pragma once

#include "platform/SocketApi.h"

#include <deque>
#include <string>
#include <vector>

// One scripted connection: connects at once, takes at most the next budget
// of bytes per send (an empty budget list takes everything), and returns
// scripted receive results. Records the size of every send attempt.
class FakeSocketApi final : public platform::SocketApi {
public:
    std::deque<int> sendBudgets; // bytes each send accepts; -1: would block
    std::deque<std::string> incoming; // each receive returns one; "" means closed
    int quietReceives = 0; // this many receives find nothing first
    bool connectPends = false; // a connect never completes (a peer that drops the handshake)
    std::vector<int> sendAttempts;
    std::string sent;
    int opened = 0;
    int closed = 0;

    platform::SocketFd OpenTcp() override { return 100 + opened++; }
    void Close(platform::SocketFd) override { ++closed; }
    platform::NetStatus StartConnect(platform::SocketFd, uint32_t, int) override
    {
        return connectPends ? platform::NetStatus::Pending : platform::NetStatus::Done;
    }
    platform::NetStatus CheckConnect(platform::SocketFd) override
    {
        return connectPends ? platform::NetStatus::Pending : platform::NetStatus::Done;
    }
    bool BindAndListen(platform::SocketFd, int, int) override { return true; }
    platform::SocketFd Accept(platform::SocketFd, uint32_t*) override { return platform::kNoSocket; }
    bool MakeNonBlocking(platform::SocketFd) override { return true; }
    bool SetSendBuffer(platform::SocketFd, int) override { return true; }
    int LocalPort(platform::SocketFd) override { return 1; }
    // Everything is always ready.
    int WaitForEvents(platform::PollEntry* entries, int count, int) override
    {
        for (int i = 0; i < count; ++i)
            entries[i].ready = entries[i].wanted;
        return count;
    }

    platform::NetIo Send(platform::SocketFd, const char* data, int len) override
    {
        sendAttempts.push_back(len);
        int take = len;
        if (!sendBudgets.empty()) {
            take = sendBudgets.front();
            sendBudgets.pop_front();
            if (take < 0)
                return { platform::NetStatus::Pending, 0 };
            take = take < len ? take : len;
        }
        sent.append(data, static_cast<size_t>(take));
        return { platform::NetStatus::Done, take };
    }

    platform::NetIo Receive(platform::SocketFd, char* out, int len) override
    {
        if (quietReceives > 0) {
            --quietReceives;
            return { platform::NetStatus::Pending, 0 };
        }
        if (incoming.empty())
            return { platform::NetStatus::Pending, 0 };
        std::string next = incoming.front();
        incoming.pop_front();
        if (next.empty())
            return { platform::NetStatus::Closed, 0 };
        const int n = static_cast<int>(next.size()) < len ? static_cast<int>(next.size()) : len;
        next.copy(out, static_cast<size_t>(n));
        return { platform::NetStatus::Done, n };
    }
};

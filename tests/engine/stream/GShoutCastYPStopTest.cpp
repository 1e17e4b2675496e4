// Stop against a directory whose window never opens: the worker sits in its
// register send on a clock that does not move (so no time limit can end the
// wait), and only the stop flag inside the wait lets Stop return.
#include "engine/stream/GShoutCastYP.h"

#include "fakes/FakeMainWindow.h"
#include "fakes/FakeWindowFinder.h"
#include "fakes/ManualClock.h"
#include "foundation/GLingeringThreads.h"
#include "platform/HostResolver.h"
#include "platform/SocketApi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

// Connects at once and takes no byte until released. Thread-safe: the
// directory worker uses it while the test watches.
class ShutWindowApi final : public platform::SocketApi {
public:
    std::atomic<int> sendAttempts { 0 };
    std::atomic<bool> released { false };

    platform::SocketFd OpenTcp() override { return 100 + m_opened++; }
    void Close(platform::SocketFd) override { }
    platform::NetStatus StartConnect(platform::SocketFd, uint32_t, int) override { return platform::NetStatus::Done; }
    platform::NetStatus CheckConnect(platform::SocketFd) override { return platform::NetStatus::Done; }
    bool BindAndListen(platform::SocketFd, int, int) override { return false; }
    platform::SocketFd Accept(platform::SocketFd, uint32_t*) override { return platform::kNoSocket; }
    bool MakeNonBlocking(platform::SocketFd) override { return true; }
    platform::NetIo Send(platform::SocketFd, const char*, int len) override
    {
        ++sendAttempts;
        if (released)
            return { platform::NetStatus::Done, len };
        return { platform::NetStatus::Pending, 0 };
    }
    platform::NetIo Receive(platform::SocketFd, char*, int) override { return { platform::NetStatus::Pending, 0 }; }
    bool SetSendBuffer(platform::SocketFd, int) override { return true; }
    int LocalPort(platform::SocketFd) override { return 40000; }
    int WaitForEvents(platform::PollEntry*, int, int) override { return 0; }

private:
    std::atomic<int> m_opened { 0 };
};

class TableResolver final : public platform::HostResolver {
public:
    // A pass that a closed socket left lingering ends before this goes.
    ~TableResolver() override { (void)GLingeringThreads::JoinEnded(10000); }
    bool ResolveIpv4(const std::string&, uint32_t* address) override
    {
        *address = 0x0100000A; // 10.0.0.1
        return true;
    }
};

} // namespace

TEST(GShoutCastYPStop, StopEndsARegisterSendThatNeverLeaves)
{
    ShutWindowApi api;
    TableResolver resolver;
    ManualClock clock;
    FakeWindowFinder windows;
    FakeMainWindow window; // notifications are not looked at
    GShoutCastYPParams params;
    params.notifyWindow = window.Handle();
    params.host = "directory.example";
    params.port = 8000;
    params.bitrateKbps = 128;
    params.stationName = "Radio";
    params.listenAddress = "http://1.2.3.4:8000";
    params.pathWord = "dj";

    // The client lives on an owner thread of its own, so this thread can time
    // the owner's Stop.
    bool started = false;
    bool sending = false;
    std::atomic<bool> stopping { false };
    auto owner = std::async(std::launch::async, [&] {
        GShoutCastYP yp(api, resolver, clock, windows);
        yp.SetDirectoryPort(8080);
        started = yp.Start(params) == GShoutCastYP::kStarted;
        if (!started)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (api.sendAttempts.load() < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        sending = api.sendAttempts.load() >= 3;
        stopping = true;
        yp.Stop();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!stopping && owner.wait_for(std::chrono::seconds(0)) != std::future_status::ready
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const bool prompt = owner.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    // Let a worker that ignores the flag finish, so the test ends either way.
    api.released = true;
    owner.get();
    ASSERT_TRUE(started);
    ASSERT_TRUE(sending) << "the worker never reached its send";
    EXPECT_TRUE(prompt) << "Stop waited for the send instead of ending it";
}

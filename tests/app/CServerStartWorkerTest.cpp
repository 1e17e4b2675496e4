#include "app/CServerStartWorker.h"

#include "fakes/FakeMainWindow.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

const platform::MessageId kResult = platform::RegisterMessage("WM_DJSERVER_RESULT");

// A loopback listener that holds a port, as another program would.
class HeldPort {
public:
    explicit HeldPort(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bHeld = ::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(m_fd, 1) == 0;
    }
    ~HeldPort() { ::close(m_fd); }
    bool Held() const { return m_bHeld; }

private:
    int m_fd = -1;
    bool m_bHeld = false;
};

// Holds the worker inside the server's log line that names a step until the
// main thread has asked for the cancel, so the cancel lands in that step.
struct CancelGate {
    const char* line = nullptr;
    CServerStartWorker* pWorker = nullptr;
    std::atomic<bool> reached { false };

    static void OnLog(const char* text, void* user)
    {
        auto* gate = static_cast<CancelGate*>(user);
        if (gate->reached || std::strstr(text, gate->line) == nullptr)
            return;
        gate->reached = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!gate->pWorker->IsCancelRequested() && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
    }
};

class ServerStartWorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_nFirst = testutil::PickPortRun(4);
        ASSERT_NE(m_nFirst, 0);
    }

    TempHome m_home;
    FakeMainWindow m_window;
    int m_nFirst = 0;
};

} // namespace

TEST_F(ServerStartWorkerTest, TakenPortMovesTheServerToTheNextPairAndItsSourceLogsInWithTheSecret)
{
    HeldPort taken(m_nFirst);
    ASSERT_TRUE(taken.Held());
    CServerStartWorker worker;
    ASSERT_TRUE(worker.Start(m_window.Handle(), CDJServerParams(), m_nFirst));
    EXPECT_FALSE(worker.Start(m_window.Handle(), CDJServerParams(), m_nFirst)) << "a second start while one runs";
    ASSERT_TRUE(m_window.RunUntil([&] { return m_window.Count(kResult) == 1; }, 20000));
    EXPECT_EQ(m_window.Messages().back().wParam, 1u);
    EXPECT_EQ(m_window.Messages().back().lParam, m_nFirst + 2);

    std::unique_ptr<CDJServer> server;
    ASSERT_TRUE(worker.TakeResult(&server));
    ASSERT_TRUE(server && server->IsRunning());
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(server->GetPort(), m_nFirst + 2);
    EXPECT_EQ(server->GetPassword().size(), 32u);

    testutil::LoopbackClient source;
    ASSERT_TRUE(source.Connect(m_nFirst + 3));
    ASSERT_TRUE(source.Send(server->GetPassword() + "\r\n"));
    EXPECT_TRUE(source.ReadUntil("OK2\r\n", 10000)) << source.Data();
}

TEST_F(ServerStartWorkerTest, NoPortLeftPostsMinusOneAndHandsOverNoServer)
{
    CServerStartWorker worker;
    ASSERT_TRUE(worker.Start(m_window.Handle(), CDJServerParams(), 65535));
    ASSERT_TRUE(m_window.RunUntil([&] { return m_window.Count(kResult) == 1; }, 20000));
    EXPECT_EQ(m_window.Messages().back().wParam, 0u);
    EXPECT_EQ(m_window.Messages().back().lParam, -1);
    auto server = std::make_unique<CDJServer>();
    ASSERT_TRUE(worker.TakeResult(&server));
    EXPECT_EQ(server, nullptr);
}

// A cancel at any point of the start leaves no result to act on and no
// server holding a port: while a taken port fails, right after the server
// started, and after the result was already posted.
TEST_F(ServerStartWorkerTest, CancelPostsNothingAndLeavesNoServerRunning)
{
    struct Case {
        const char* name;
        const char* gateLine; // null: cancel once the result has arrived
    };
    const Case cases[] = {
        { "while a taken port fails", "server start failed" },
        { "right after the server started", "Starting server" },
        { "after the result was posted", nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_window.Clear();
        HeldPort taken(m_nFirst);
        ASSERT_TRUE(taken.Held());
        CServerStartWorker worker;
        CancelGate gate;
        gate.line = c.gateLine;
        gate.pWorker = &worker;
        CDJServerParams params;
        if (c.gateLine) {
            params.logCallback = &CancelGate::OnLog;
            params.logUser = &gate;
        }
        ASSERT_TRUE(worker.Start(m_window.Handle(), params, m_nFirst));
        if (c.gateLine) {
            ASSERT_TRUE(m_window.RunUntil([&] { return gate.reached.load(); }, 20000));
        } else {
            ASSERT_TRUE(m_window.RunUntil([&] { return m_window.Count(kResult) == 1; }, 20000));
        }
        worker.Cancel();
        EXPECT_FALSE(worker.IsRunning());
        // The worker is joined: whatever it posted is queued by now.
        m_window.DispatchPending();
        EXPECT_EQ(m_window.Count(kResult), c.gateLine ? 0u : 1u);
        std::unique_ptr<CDJServer> server;
        EXPECT_FALSE(worker.TakeResult(&server)) << "a stale result is refused";
        testutil::LoopbackClient listener;
        EXPECT_FALSE(listener.Connect(m_nFirst + 2)) << "the started server is stopped";

        // The next start on the same worker is not cancelled by the last one.
        const size_t before = m_window.Count(kResult);
        ASSERT_TRUE(worker.Start(m_window.Handle(), CDJServerParams(), m_nFirst));
        ASSERT_TRUE(m_window.RunUntil([&] { return m_window.Count(kResult) == before + 1; }, 20000));
        ASSERT_TRUE(worker.TakeResult(&server));
        EXPECT_TRUE(server && server->GetPort() == m_nFirst + 2);
    }
}

#include "app/CExternalReachability.h"

#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/SocketApi.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// The system's sockets, counting the bytes the program under test has read,
// so the fake service can hand its reply over one piece per read.
class CountingSockets final : public platform::SocketApi {
public:
    platform::SocketFd OpenTcp() override { return m_real.OpenTcp(); }
    void Close(platform::SocketFd fd) override { m_real.Close(fd); }
    platform::NetStatus StartConnect(platform::SocketFd fd, uint32_t address, int port) override
    {
        return m_real.StartConnect(fd, address, port);
    }
    platform::NetStatus CheckConnect(platform::SocketFd fd) override { return m_real.CheckConnect(fd); }
    bool BindAndListen(platform::SocketFd fd, int port, int backlog) override
    {
        return m_real.BindAndListen(fd, port, backlog);
    }
    platform::SocketFd Accept(platform::SocketFd listener, uint32_t* peer) override
    {
        return m_real.Accept(listener, peer);
    }
    bool MakeNonBlocking(platform::SocketFd fd) override { return m_real.MakeNonBlocking(fd); }
    platform::NetIo Send(platform::SocketFd fd, const char* data, int len) override
    {
        return m_real.Send(fd, data, len);
    }
    platform::NetIo Receive(platform::SocketFd fd, char* out, int len) override
    {
        const platform::NetIo io = m_real.Receive(fd, out, len);
        if (io.status == platform::NetStatus::Done)
            m_nReceived += io.bytes;
        return io;
    }
    bool SetSendBuffer(platform::SocketFd fd, int bytes) override { return m_real.SetSendBuffer(fd, bytes); }
    int LocalPort(platform::SocketFd fd) override { return m_real.LocalPort(fd); }
    int WaitForEvents(platform::PollEntry* entries, int count, int timeoutMs) override
    {
        return m_real.WaitForEvents(entries, count, timeoutMs);
    }

    std::atomic<int> m_nReceived { 0 };

private:
    platform::SocketApi& m_real = platform::SocketApi::System();
};

// The maker's test service on loopback, for one exchange: reads "ip\n",
// sends the reply pieces, each only once the program has read all before it,
// then reads the test line and, when told to, connects back to the port the
// line names. With closeAfterReply it hangs up after the reply instead.
class FakeTestService {
public:
    struct Script {
        std::vector<std::string> pieces;
        bool connectBack = false;
        bool closeAfterReply = false;
    };

    FakeTestService(CountingSockets& sockets, Script script)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(m_fd, 1) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
            m_nPort = ntohs(sa.sin_port);
        m_thread = std::jthread([this, &sockets, script] { Serve(sockets, script); });
    }
    ~FakeTestService()
    {
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }

    [[nodiscard]] int Port() const { return m_nPort; }
    // Everything the program sent, once the exchange is over.
    std::string Received()
    {
        m_thread.join();
        return m_received;
    }

private:
    using SteadyClock = std::chrono::steady_clock;

    void Serve(CountingSockets& sockets, const Script& script)
    {
        pollfd p { m_fd, POLLIN, 0 };
        if (::poll(&p, 1, 10000) <= 0)
            return;
        const int conn = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0)
            return;
        ReadLine(conn);
        int sent = 0;
        for (const std::string& piece : script.pieces) {
            const auto end = SteadyClock::now() + std::chrono::seconds(10);
            while (sockets.m_nReceived < sent && SteadyClock::now() < end) {
                // A program that gave up reads no further.
                pollfd readable { conn, POLLIN, 0 };
                char c = 0;
                if (::poll(&readable, 1, 1) > 0 && ::recv(conn, &c, 1, MSG_PEEK) <= 0) {
                    ::close(conn);
                    return;
                }
            }
            (void)::send(conn, piece.data(), piece.size(), MSG_NOSIGNAL);
            sent += static_cast<int>(piece.size());
        }
        if (!script.closeAfterReply && ReadLine(conn) && script.connectBack) {
            int port = 0;
            testutil::LoopbackClient back;
            if (std::sscanf(m_received.c_str(), "ip\ntest,%d,GG\n", &port) == 1)
                (void)back.Connect(port);
        }
        ::close(conn);
    }

    // Appends one line of the program's to m_received; false when the
    // program hung up or took too long.
    bool ReadLine(int conn)
    {
        const auto end = SteadyClock::now() + std::chrono::seconds(10);
        const size_t from = m_received.size();
        while (m_received.find('\n', from) == std::string::npos && SteadyClock::now() < end) {
            pollfd p { conn, POLLIN, 0 };
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char c = 0;
            if (::recv(conn, &c, 1, 0) != 1)
                return false;
            m_received.push_back(c);
        }
        return m_received.find('\n', from) != std::string::npos;
    }

    int m_fd = -1;
    int m_nPort = 0;
    std::string m_received; // the service thread's until Received
    std::jthread m_thread;
};

class ExternalReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_nFirst = testutil::PickPortPair();
        ASSERT_NE(m_nFirst, 0);
    }

    CExternalReachability Make(const std::string& host, int first)
    {
        CExternalReachability::Limits limits;
        limits.acceptPolls = 5; // half a second for a connect-back that never comes
        return CExternalReachability(
            host, first, limits, m_sockets, platform::HostResolver::System(), platform::Clock::System());
    }

    CountingSockets m_sockets;
    int m_nFirst = 0;
};

} // namespace

TEST_F(ExternalReachabilityTest, ReplyIsGatheredAcrossReadsAndTheConnectBackDecides)
{
    using R = CExternalReachability::Result;
    struct Case {
        const char* name;
        FakeTestService::Script script;
        R expected;
        bool sendsTestLine;
    };
    const Case cases[] = {
        { "reply in one-byte pieces, connect-back", { { "i", "p", "_", "r", "p", "l", ",10.0.0.1\n" }, true },
            R::Reachable, true },
        { "whole reply, no connect-back", { { "ip_rpl,10.0.0.1\n" }, false }, R::Unreachable, true },
        { "wrong reply fails at once", { { "ip_", "x" }, true }, R::Unreachable, false },
        { "service hangs up mid-reply", { { "ip_" }, true, true }, R::Unreachable, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_sockets.m_nReceived = 0;
        FakeTestService service(m_sockets, c.script);
        ASSERT_NE(service.Port(), 0);
        CExternalReachability test = Make("127.0.0.1:" + std::to_string(service.Port()), m_nFirst);
        std::vector<std::string> texts;
        std::vector<R> nested;
        const R result = test.Run([&](const std::string& text) {
            texts.push_back(text);
            nested.push_back(test.Run()); // a second start while the test waits
        });
        EXPECT_EQ(result, c.expected);
        EXPECT_FALSE(test.IsRunning());
        const std::string testLine = "test," + std::to_string(m_nFirst) + ",GG\n";
        EXPECT_EQ(service.Received(), c.sendsTestLine ? "ip\n" + testLine : "ip\n");
        if (c.sendsTestLine) {
            EXPECT_EQ(texts, (std::vector<std::string> { CExternalReachability::kTestingText, "" }));
            EXPECT_EQ(nested.front(), R::Busy);
        } else {
            EXPECT_EQ(texts, std::vector<std::string> { "" });
        }
    }
}

TEST_F(ExternalReachabilityTest, WithoutAServiceTheTestIsSkippedOrFailsQuickly)
{
    using R = CExternalReachability::Result;
    std::vector<std::string> texts;
    const auto record = [&](const std::string& text) { texts.push_back(text); };
    EXPECT_EQ(Make("", m_nFirst).Run(record), R::Skipped);
    EXPECT_EQ(texts, std::vector<std::string> { CExternalReachability::kSkippedText });
    for (const char* host : { "127.0.0.1:0", "127.0.0.1:99999", ":31200", "127.0.0.1:x" })
        EXPECT_EQ(Make(host, m_nFirst).Run(), R::Unreachable) << host;
    // Nothing listens on the picked port.
    EXPECT_EQ(Make("127.0.0.1:" + std::to_string(m_nFirst), m_nFirst).Run(), R::Unreachable);
}

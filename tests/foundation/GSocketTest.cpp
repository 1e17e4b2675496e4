#include "foundation/GSocket.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeHostResolver.h"
#include "fakes/FakeSocketApi.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Polls until pred holds; a bounded loop, never a fixed sleep.
template <typename Pred> bool PollUntil(Pred pred, int timeoutMs = 5000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (pred())
            return true;
        platform::Sleep(1);
    }
    return pred();
}

struct Pair {
    GSocket listener;
    GSocket client;
    std::unique_ptr<GSocket> server;
    int port = -1;

    bool Open()
    {
        if (!listener.Create(0) || !listener.Listen(5))
            return false;
        port = listener.GetBoundPort();
        if (!client.Create(port) || !client.Connect("127.0.0.1", port))
            return false;
        return PollUntil([&] { return (server = listener.Accept()) != nullptr; });
    }
};

uint32_t Loopback()
{
    return htonl(INADDR_LOOPBACK);
}

} // namespace

TEST(GSocket, ExchangesBytesAndKeepsThemReadableAfterPeerClose)
{
    Pair p;
    ASSERT_TRUE(p.Open());
    EXPECT_EQ(p.client.GetState(), GSocket::kConnected);
    EXPECT_EQ(p.server->GetState(), GSocket::kConnected);
    EXPECT_EQ(p.listener.Accept(), nullptr); // nothing else waits
    char peer[16];
    ASSERT_TRUE(p.server->GetPeerAddress(peer));
    EXPECT_STREQ(peer, "127.0.0.1");

    ASSERT_TRUE(p.client.SendString("ab"));
    EXPECT_EQ(p.client.GetSendLength(), 3);
    ASSERT_TRUE(p.client.SendAndWait("cd", 2, 2000));
    EXPECT_EQ(p.client.GetBytesSent(), 5u);
    ASSERT_TRUE(PollUntil([&] { return p.server->Poll(nullptr) && p.server->GetReceiveLength() == 5; }));

    char buf[16] = {};
    int len = 100;
    ASSERT_TRUE(p.server->Receive(&len, buf, false));
    EXPECT_EQ(len, 5);
    EXPECT_EQ(std::string(buf, 5), std::string("ab\0cd", 5));
    len = 2;
    ASSERT_TRUE(p.server->Receive(&len, buf, true)); // the peek left them there
    EXPECT_EQ(std::string(buf, 2), "ab");

    // The client leaves; the server reads the end, closes, and still has the
    // three bytes it had not taken.
    ASSERT_TRUE(p.client.Close());
    EXPECT_FALSE(p.client.Close());
    EXPECT_EQ(p.client.GetSendLength(), -1);
    EXPECT_FALSE(p.client.Send("x", 1));
    ASSERT_TRUE(PollUntil([&] { return !p.server->Poll(nullptr); }));
    EXPECT_EQ(p.server->GetState(), GSocket::kClosed);
    len = 10;
    ASSERT_TRUE(p.server->Receive(&len, buf, true));
    EXPECT_EQ(len, 3);
    EXPECT_FALSE(p.server->Receive(&len, buf, true));
}

TEST(GSocket, StreamsALargeBodyInOrderThroughPartialSends)
{
    Pair p;
    ASSERT_TRUE(p.Open());
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7) % 253);
    ASSERT_TRUE(p.client.Send(data.data(), static_cast<int>(data.size())));

    std::string got;
    std::vector<char> buf(65536);
    ASSERT_TRUE(PollUntil(
        [&] {
            p.client.Poll(nullptr);
            p.server->Poll(nullptr);
            int len = static_cast<int>(buf.size());
            if (p.server->Receive(&len, buf.data(), true))
                got.append(buf.data(), static_cast<size_t>(len));
            return got.size() == data.size();
        },
        20000));
    EXPECT_TRUE(got == data);
    EXPECT_EQ(p.client.GetBytesSent(), data.size());
}

TEST(GSocket, RefusedConnectReportsFailureNotConnected)
{
    GSocket probe;
    ASSERT_TRUE(probe.Create(0));
    ASSERT_TRUE(probe.Listen(1));
    const int port = probe.GetBoundPort();
    probe.Close(); // nothing listens there now

    GSocket s;
    ASSERT_TRUE(s.Create(port));
    EXPECT_FALSE(s.Connect("127.0.0.1", port + 1 == 65536 ? 1 : port + 1)); // not the created port
    EXPECT_EQ(s.GetState(), GSocket::kCreated);
    const auto started = Clock::now();
    EXPECT_FALSE(s.Connect("127.0.0.1", port));
    EXPECT_EQ(s.GetState(), GSocket::kFailed);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
}

TEST(GSocket, ListenGetsItsPortBackAfterARestart)
{
    int port = -1;
    {
        Pair p;
        ASSERT_TRUE(p.Open());
        port = p.port;
        // The server side closes first, leaving its end in TIME_WAIT.
        p.server->Close();
        p.listener.Close();
    }
    GSocket again;
    ASSERT_TRUE(again.Create(port));
    EXPECT_TRUE(again.Listen(5));
    EXPECT_EQ(again.GetBoundPort(), port);
}

TEST(GSocket, HostNamesGoThroughTheCacheAndFailedNamesAreNotAskedTwice)
{
    FakeHostResolver resolver;
    resolver.Add("radio.test", Loopback());
    GSocket listener;
    ASSERT_TRUE(listener.Create(0));
    ASSERT_TRUE(listener.Listen(5));
    const int port = listener.GetBoundPort();

    GSocket s(platform::SocketApi::System(), resolver, platform::Clock::System());
    ASSERT_TRUE(s.Create(port));
    EXPECT_TRUE(s.Connect("radio.test", port));

    ASSERT_TRUE(s.Create(port));
    EXPECT_FALSE(s.Connect("nowhere.test", port));
    const int calls = resolver.Calls();
    ASSERT_TRUE(s.Create(port));
    EXPECT_FALSE(s.Connect("nowhere.test", port));
    EXPECT_EQ(resolver.Calls(), calls);

    ASSERT_TRUE(s.Create(port));
    EXPECT_FALSE(s.Connect(std::string(256, 'h').c_str(), port));
    EXPECT_EQ(resolver.Calls(), calls);
    EXPECT_EQ(s.GetState(), GSocket::kFailed);
}

// A socket connected through the scripted fake, for flush and read limits.
class FakeConnectedSocket : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(s.Create(80));
        ASSERT_TRUE(s.Connect("10.0.0.1", 80));
    }
    FakeSocketApi api;
    FakeHostResolver resolver;
    FakeClock clock;
    GSocket s { api, resolver, clock };
};

TEST_F(FakeConnectedSocket, FlushSendsInPiecesAndCountsBytesThatLeftBeforeABlock)
{

    std::string data(10000, 'q');
    ASSERT_TRUE(s.Send(data.data(), 10000));
    int activity = 0;
    ASSERT_TRUE(s.Poll(&activity));
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(api.sendAttempts, (std::vector<int> { 4096, 4096, 1808 }));
    EXPECT_EQ(s.GetBytesSent(), 10000u);

    // The network takes one piece, then would block: that piece counts.
    api.sendAttempts.clear();
    api.sendBudgets = { 4096, -1 };
    clock.Advance(777);
    ASSERT_TRUE(s.Send(data.data(), 10000));
    ASSERT_TRUE(s.Poll(&activity));
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(s.GetBytesSent(), 14096u);
    EXPECT_EQ(s.GetSendLength(), 5904);
    EXPECT_EQ(s.GetLastSendTime(), static_cast<uint32_t>(clock.NowMs()));

    // Nothing leaves at all: the queue stays, no activity.
    api.sendBudgets = { -1 };
    ASSERT_TRUE(s.Poll(&activity));
    EXPECT_EQ(activity, 0);
    EXPECT_EQ(s.GetSendLength(), 5904);
}

TEST_F(FakeConnectedSocket, StopsReadingAboveTheReceiveCap)
{
    const int blocks = GSocket::kMaxReceiveQueue / GSocket::kReceiveBlock + 10;
    for (int i = 0; i < blocks; ++i)
        api.incoming.push_back(std::string(GSocket::kReceiveBlock, 'r'));
    for (int i = 0; i < blocks; ++i)
        ASSERT_TRUE(s.Poll(nullptr));
    EXPECT_EQ(s.GetReceiveLength(), GSocket::kMaxReceiveQueue);
    EXPECT_EQ(api.incoming.size(), 10u); // left with the peer
    s.Skip(GSocket::kReceiveBlock);
    ASSERT_TRUE(s.Poll(nullptr));
    EXPECT_EQ(api.incoming.size(), 9u);
}

// A count the queue does not hold is refused whole, never shortened: an
// owner that skips past a line it measured must not lose the next one.
TEST_F(FakeConnectedSocket, SkipTakesOnlyCountsTheQueueHolds)
{
    const struct {
        int len;
        bool taken;
        const char* left;
    } cases[] = {
        { 7, false, "abcdef" },
        { 0, false, "abcdef" },
        { -1, false, "abcdef" },
        { 2, true, "cdef" },
        { 4, true, "" },
        { 1, false, "" },
    };
    api.incoming.push_back("abcdef");
    ASSERT_TRUE(s.Poll(nullptr));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.len);
        EXPECT_EQ(s.Skip(c.len), c.taken);
        char out[16] = {};
        int len = static_cast<int>(sizeof out);
        (void)s.Receive(&len, out, GSocket::Take::Peek);
        EXPECT_EQ(std::string(out, static_cast<size_t>(len)), c.left);
    }
}

TEST(GSocket, PicksTheFirstUsableInterfaceBeforeTheHostName)
{
    const uint32_t loop = htonl(0x7F000101); // 127.0.1.1
    const uint32_t lan = htonl(0xC0A80005); // 192.168.0.5
    const uint32_t zero = htonl(0x00000001);
    uint32_t chosen = 0;
    ASSERT_TRUE(PickLocalAddress({ zero, loop, lan }, {}, true, &chosen));
    EXPECT_EQ(chosen, lan);
    ASSERT_TRUE(PickLocalAddress({ zero, lan }, {}, false, &chosen));
    EXPECT_EQ(chosen, zero);
    ASSERT_TRUE(PickLocalAddress({}, { loop, lan }, true, &chosen));
    EXPECT_EQ(chosen, lan);
    EXPECT_FALSE(PickLocalAddress({}, { loop }, true, &chosen));

    char text[16] = "junk";
    if (!platform::InterfaceIpv4Addresses().empty()) {
        ASSERT_TRUE(GetLocalAddress(text));
        EXPECT_NE(std::string(text).rfind("127.", 0), 0u);
    }
}

// The built-in server faces the internet: hostile peers must neither stop
// the real listeners' stream nor make anything grow without bound. Time is
// a fake clock here, so the 20-second rules run at once.

#include "engine/server/CDJServer.h"

#include "engine/server/StreamFrames.h"
#include "fakes/FakeClock.h"
#include "support/ServerRig.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using testutil::AfterHeader;
using testutil::LoopbackClient;
using testutil::ServerRig;

namespace {

constexpr int kWait = 5000;
constexpr size_t kBlock = 8192;
constexpr int kMaxListeners = 3;

// Block n: its number in the first eight bytes, then a fill byte.
std::string NumberedBlock(uint64_t n)
{
    std::string block(kBlock, static_cast<char>('a' + n % 26));
    std::memcpy(block.data(), &n, sizeof n);
    return block;
}

uint64_t BlockNumber(const std::string& bytes, size_t at)
{
    uint64_t n = 0;
    std::memcpy(&n, bytes.data() + at, sizeof n);
    return n;
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_rig = std::make_unique<ServerRig>(
            std::make_unique<CDJServer>(platform::SocketApi::System(), platform::HostResolver::System(), m_clock));
        ASSERT_TRUE(m_rig->Start(kMaxListeners));
        ASSERT_TRUE(m_rig->ConnectSource(m_source));
        ASSERT_TRUE(m_rig->WaitLog(" dj:icy-br:128"));
        ASSERT_TRUE(ServerRig::RequestStream(m_listener, m_rig->Port(), false));
        ASSERT_TRUE(m_listener.ReadUntil("\r\n\r\n", kWait));
        m_listener.Data() = AfterHeader(m_listener.Data());
    }

    // One more block from the source reaches the real listener intact.
    void PushAndCheck()
    {
        const std::string block = NumberedBlock(++m_nBlocks);
        ASSERT_TRUE(m_source.Send(block));
        ASSERT_TRUE(m_listener.ReadAtLeast(kBlock, kWait)) << "block " << m_nBlocks;
        ASSERT_EQ(m_listener.Data().substr(0, kBlock), block);
        m_listener.Data().erase(0, kBlock);
    }

    // Past the deadline of requests and logins; the source keeps its place.
    void ExpireRequests() { m_clock.Advance(std::max(CDJServer::kRequestLimitMs, CDJServer::kLoginLimitMs) + 1000); }
    // Past the idle limit for whoever moved nothing, in two steps with a
    // block between, so the source that sends on is not idle.
    void ExpireIdle()
    {
        m_clock.Advance(CDJServer::kIdleLimitMs / 2 + 1000);
        PushAndCheck();
        m_clock.Advance(CDJServer::kIdleLimitMs / 2 + 1000);
    }

    int Port() const { return m_rig->Port(); }

    FakeClock m_clock;
    std::unique_ptr<ServerRig> m_rig;
    LoopbackClient m_source;
    LoopbackClient m_listener;
    uint64_t m_nBlocks = 0;
};

} // namespace

TEST_F(Hostile, OverLongLinesSlowlorisAndSilentSourcesAreDropped)
{
    LoopbackClient longRequest;
    ASSERT_TRUE(longRequest.Connect(Port()));
    ASSERT_TRUE(longRequest.Send(std::string(9000, 'A')));
    EXPECT_TRUE(longRequest.ReadToEnd(kWait));
    EXPECT_EQ(longRequest.Data(), "");

    LoopbackClient longHeader;
    ASSERT_TRUE(longHeader.Connect(Port()));
    ASSERT_TRUE(longHeader.Send("GET / HTTP/1.0\r\nX-Pad: " + std::string(8200, 'x')));
    EXPECT_TRUE(longHeader.ReadToEnd(kWait));
    EXPECT_TRUE(m_rig->HasLog("LineTooLong(IP:127.0.0.1)"));

    LoopbackClient longSourceLine;
    ASSERT_TRUE(longSourceLine.Connect(Port() + 1));
    ASSERT_TRUE(longSourceLine.Send(std::string(9000, 'p')));
    EXPECT_TRUE(longSourceLine.ReadToEnd(kWait));
    PushAndCheck();

    // Bytes trickled in, a line never finished; a source that never logs in.
    // Time may only jump once the server holds both, or their clocks would
    // start after the jump.
    const size_t clientsBefore = m_rig->CountLog("AddClient(");
    LoopbackClient slow;
    ASSERT_TRUE(slow.Connect(Port()));
    ASSERT_TRUE(m_rig->WaitLogCount("AddClient(", clientsBefore + 1));
    for (const char c : std::string("GET / HTTP/1.0\r\nHost: a")) {
        ASSERT_TRUE(slow.Send(std::string(1, c)));
        PushAndCheck();
    }
    const size_t loginsBefore = m_rig->CountLog("AddDJ");
    LoopbackClient silentSource;
    ASSERT_TRUE(silentSource.Connect(Port() + 1));
    ASSERT_TRUE(silentSource.Send("abc"));
    ASSERT_TRUE(m_rig->WaitLogCount("AddDJ", loginsBefore + 1));
    ExpireRequests();
    EXPECT_TRUE(slow.ReadToEnd(kWait));
    EXPECT_TRUE(silentSource.ReadToEnd(kWait));
    EXPECT_TRUE(m_rig->WaitLog("Timeout(IP:127.0.0.1)"));
    EXPECT_TRUE(m_rig->WaitLog("DJ login timeout"));
    // The real listener waited for audio all that time and is still served.
    PushAndCheck();
}

TEST_F(Hostile, ListenersThatStopReadingFallBehindAloneAndAreDropped)
{
    LoopbackClient stalled;
    ASSERT_TRUE(stalled.Connect(Port(), 4096));
    ASSERT_TRUE(stalled.Send("GET / HTTP/1.0\r\n\r\n"));
    LoopbackClient late;
    ASSERT_TRUE(late.Connect(Port(), 4096));
    ASSERT_TRUE(late.Send("GET / HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(late.ReadUntil("\r\n\r\n", kWait));
    late.Data() = AfterHeader(late.Data());

    // More than the ring holds passes while two listeners do not read.
    for (int i = 0; i < 2 * CStreamRing::kSlots; ++i)
        PushAndCheck();
    ASSERT_TRUE(m_rig->Sync());

    // The late one reads again: after what was queued for it, it skips to
    // the live position and follows the newest blocks in order.
    PushAndCheck();
    const uint64_t newest = m_nBlocks;
    std::vector<uint64_t> seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((seen.empty() || seen.back() != newest) && std::chrono::steady_clock::now() < end) {
        late.ReadAtLeast(late.Data().size() + 1, 100);
        const size_t whole = late.Data().size() / kBlock * kBlock;
        for (size_t at = 0; at < whole; at += kBlock)
            seen.push_back(BlockNumber(late.Data(), at));
        late.Data().erase(0, whole);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), newest);
    int jumps = 0;
    for (size_t i = 1; i < seen.size(); ++i)
        jumps += seen[i] != seen[i - 1] + 1 ? 1 : 0;
    EXPECT_EQ(jumps, 1);
    EXPECT_TRUE(m_rig->HasLog("SkipAhead(IP:127.0.0.1)"));

    // The one that never reads is dropped 20 s after its last progress. Its
    // send buffer is fixed, so all the system may still take from it is the
    // little room that frees up once; after that nothing moves. Each round
    // waits until the server has stepped every client at the new time.
    bool dropped = false;
    for (int round = 0; round < 4 && !dropped; ++round) {
        ExpireIdle();
        PushAndCheck();
        ASSERT_TRUE(m_rig->Sync());
        dropped = m_rig->HasLog("Timeout(IP:127.0.0.1)");
    }
    EXPECT_TRUE(dropped);
}

TEST_F(Hostile, ConnectionFloodIsCappedAndServedListenersCarryOn)
{
    std::vector<std::unique_ptr<LoopbackClient>> flood;
    for (int i = 0; i < 200; ++i) {
        flood.push_back(std::make_unique<LoopbackClient>());
        ASSERT_TRUE(flood.back()->Connect(Port()));
    }
    PushAndCheck();
    ASSERT_TRUE(m_rig->Sync());
    // Every connection past the cap was closed at once.
    int closed = 0;
    for (auto& c : flood)
        closed += c->ReadToEnd(200) ? 1 : 0;
    const int cap = kMaxListeners + CDJServer::kConnectionMargin;
    EXPECT_GE(closed, 200 - (cap - 1));
    int most = 0;
    for (const std::string& line : m_rig->Log()) {
        const size_t at = line.find("(UserCount:");
        if (at != std::string::npos)
            most = std::max(most, std::atoi(line.c_str() + at + 11));
    }
    EXPECT_LE(most, cap);
    PushAndCheck();

    // The idle rest go once their request is overdue; then the server is
    // as before.
    ExpireRequests();
    for (auto& c : flood)
        EXPECT_TRUE(c->ReadToEnd(kWait));
    PushAndCheck();
    ASSERT_TRUE(m_rig->Sync());
    EXPECT_TRUE(m_rig->HasLog(" connection-count : 1"));
}

TEST_F(Hostile, WrongPasswordsAndPoisonedTitlesChangeNothingForListeners)
{
    LoopbackClient meta;
    ASSERT_TRUE(ServerRig::RequestStream(meta, Port(), true));
    ASSERT_TRUE(meta.ReadUntil("\r\n\r\n", kWait));
    meta.Data() = AfterHeader(meta.Data());

    LoopbackClient wrong;
    ASSERT_TRUE(wrong.Connect(Port() + 1));
    ASSERT_TRUE(wrong.Send("tarnwick\r\n"));
    EXPECT_TRUE(wrong.ReadToEnd(kWait));
    EXPECT_EQ(wrong.Data(), std::string("FAIL\r\n\r\n\0", 9));
    PushAndCheck();

    auto admin = [&](const std::string& query) {
        LoopbackClient c;
        EXPECT_TRUE(c.Connect(Port()));
        EXPECT_TRUE(c.Send(
            "GET /admin.cgi?pass=" + m_rig->Server().GetPassword() + "&mode=updinfo&" + query + " HTTP/1.0\r\n\r\n"));
        EXPECT_TRUE(c.ReadToEnd(kWait));
        return c.Data();
    };
    // 10 KB in one request line: dropped as too long, the title stays.
    std::string title;
    while (title.size() < 10240)
        title += "a'\"b";
    EXPECT_EQ(admin("song=" + title), ""); // too long: closed unanswered
    EXPECT_TRUE(m_rig->WaitLog("LineTooLong"));
    // Within the line bound: cut at %00, then cut to fit one title block.
    EXPECT_EQ(admin("song=" + title.substr(0, 6000) + "%00hidden&url=%0d%0aX"), testutil::kUpdateAnswer);
    ASSERT_TRUE(m_rig->WaitLog(" url:X"));
    PushAndCheck();
    PushAndCheck();
    ASSERT_TRUE(meta.ReadAtLeast(2 * (kBlock + 1), kWait));
    meta.ReadAtLeast(meta.Data().size() + 4096, 300);
    const testutil::IcyFrames frames = testutil::SplitIcy(meta.Data());
    ASSERT_GE(frames.audio.size(), 2u);
    const std::string& block
        = frames.titles.back().empty() ? frames.titles[frames.titles.size() - 2] : frames.titles.back();
    ASSERT_EQ(block.size(), 255u * 16u);
    EXPECT_EQ(block.find("hidden"), std::string::npos);
    EXPECT_EQ(block.rfind("StreamTitle='a'\"b", 0), 0u);
    EXPECT_NE(block.find("';StreamUrl='X';"), std::string::npos);
    for (const std::string& audio : frames.audio)
        EXPECT_TRUE(audio == NumberedBlock(BlockNumber(audio, 0)));
}

TEST_F(Hostile, APageReaderThatNeverReadsStallsOnlyItself)
{
    m_rig->WritePage("big.txt", std::string(CDJServer::kMaxPageBytes, 'p'));
    LoopbackClient reader;
    ASSERT_TRUE(reader.Connect(Port(), 4096));
    ASSERT_TRUE(reader.Send("GET /big.txt HTTP/1.0\r\n\r\n"));
    for (int i = 0; i < 20; ++i)
        PushAndCheck();
    // Gone once the page has left, or 20 s after its last progress.
    ExpireIdle();
    PushAndCheck();
    ASSERT_TRUE(m_rig->Sync());
    EXPECT_TRUE(m_rig->HasLog(" connection-count : 1"));
    PushAndCheck();
}

namespace {

// A connection from another loopback address, as a stranger elsewhere on
// the network would come.
bool ConnectFrom(LoopbackClient& client, const char* from, int port)
{
    return client.ConnectFrom(from, port);
}

// Connects to port every few hundred microseconds and says nothing, until
// stopped.
class Flooder {
public:
    explicit Flooder(int port)
        : m_thread([this, port](std::stop_token stop) {
            std::vector<std::unique_ptr<LoopbackClient>> open;
            while (!stop.stop_requested()) {
                auto c = std::make_unique<LoopbackClient>();
                if (c->Connect(port))
                    ++m_nConnections;
                open.push_back(std::move(c));
                if (open.size() > 400)
                    open.erase(open.begin());
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        })
    {
    }
    int Connections() const { return m_nConnections.load(); }

private:
    std::atomic<int> m_nConnections { 0 };
    std::jthread m_thread;
};

} // namespace

TEST_F(Hostile, StrangersOnTheSourcePortCannotKnockALoginOff)
{
    Flooder flood(Port() + 1);
    // Each login is answered and takes over; the one before is closed.
    for (int i = 0; i < 15; ++i) {
        LoopbackClient dj;
        ASSERT_TRUE(m_rig->ConnectSource(dj, "DJ" + std::to_string(i))) << "login " << i << " of 15";
        ASSERT_TRUE(m_source.ReadToEnd(kWait)) << "the source before was not replaced";
        m_source.Close();
        m_source.Swap(dj);
        PushAndCheck();
    }
    EXPECT_GT(flood.Connections(), 15);
    EXPECT_TRUE(m_rig->HasLog("CloseOldDJ"));
    // However many strangers come, the authenticated source keeps the air.
    for (int i = 0; i < 20; ++i)
        PushAndCheck();
}

TEST_F(Hostile, BlocksSentJustBeforeTheSourceClosesAllReachListeners)
{
    std::string blocks;
    for (int i = 0; i < 10; ++i)
        blocks += NumberedBlock(++m_nBlocks);
    ASSERT_TRUE(m_source.Send(blocks + "tail"));
    m_source.Close();
    ASSERT_TRUE(m_listener.ReadAtLeast(blocks.size(), kWait)) << m_listener.Data().size() << " bytes";
    EXPECT_TRUE(m_listener.Data().substr(0, blocks.size()) == blocks);
    EXPECT_TRUE(m_rig->WaitLog("DJ disconnected"));
}

TEST_F(Hostile, ASilentSourceIsDroppedAndTheStationGoesOffAir)
{
    PushAndCheck();
    m_clock.Advance(CDJServer::kIdleLimitMs + 1000);
    EXPECT_TRUE(m_source.ReadToEnd(kWait));
    EXPECT_TRUE(m_rig->WaitLog("DJ timeout(IP:127.0.0.1)"));
    EXPECT_TRUE(m_rig->WaitLog("DJ disconnected"));
    LoopbackClient page;
    ASSERT_TRUE(page.Connect(Port()));
    ASSERT_TRUE(page.Send("GET /index.html HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(page.ReadToEnd(kWait));
    EXPECT_NE(page.Data().find("<b>방송중이 아닙니다.</b>"), std::string::npos);

    // The next DJ comes on air without replacing anyone; the listener that
    // waited on gets its audio.
    LoopbackClient next;
    ASSERT_TRUE(m_rig->ConnectSource(next, "Next"));
    m_source.Swap(next);
    PushAndCheck();
}

TEST_F(Hostile, IdleConnectionsAndSlowlorisCannotLockListenersOut)
{
    // Hundreds of connections that never send a request, from this address
    // and from another, and one that trickles its request.
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<LoopbackClient>());
        ASSERT_TRUE(i % 2 ? idle.back()->Connect(Port()) : ConnectFrom(*idle.back(), "127.0.0.2", Port()));
    }
    LoopbackClient slow;
    ASSERT_TRUE(ConnectFrom(slow, "127.0.0.3", Port()));
    ASSERT_TRUE(slow.Send("GET / HT"));
    PushAndCheck();

    // Real listeners, up to the limit, still get in and get every block.
    std::vector<std::unique_ptr<LoopbackClient>> listeners;
    for (int i = 1; i < kMaxListeners; ++i) {
        listeners.push_back(std::make_unique<LoopbackClient>());
        ASSERT_TRUE(ServerRig::RequestStream(*listeners.back(), Port(), false));
        ASSERT_TRUE(listeners.back()->ReadUntil("\r\n\r\n", kWait)) << "listener " << i;
        ASSERT_EQ(listeners.back()->Data().rfind("HTTP/1.1 200 OK", 0), 0u);
        listeners.back()->Data() = AfterHeader(listeners.back()->Data());
    }
    const std::string block = NumberedBlock(m_nBlocks + 1);
    PushAndCheck();
    // After the blocks a newcomer starts with, the new one arrives whole.
    for (auto& l : listeners)
        EXPECT_TRUE(l->ReadUntil(block, kWait));
    EXPECT_TRUE(m_rig->HasLog("Evicted(IP:127.0.0.2)"));
    int most = 0;
    for (const std::string& line : m_rig->Log()) {
        const size_t at = line.find("(UserCount:");
        if (at != std::string::npos)
            most = std::max(most, std::atoi(line.c_str() + at + 11));
    }
    EXPECT_LE(most, kMaxListeners + CDJServer::kConnectionMargin);

    // An unfinished request ends after a few seconds, the stream does not.
    ExpireRequests();
    EXPECT_TRUE(slow.ReadToEnd(kWait));
    PushAndCheck();
}

TEST_F(Hostile, HeadGetsHeadersAloneAndHalfClosedPlayersKeepListening)
{
    LoopbackClient head;
    ASSERT_TRUE(head.Connect(Port()));
    ASSERT_TRUE(head.Send("HEAD / HTTP/1.0\r\nIcy-MetaData: 1\r\n\r\n"));
    ASSERT_TRUE(head.ReadToEnd(kWait));
    EXPECT_EQ(head.Data(),
        "HTTP/1.1 200 OK\r\nContent-Type:audio/mpeg\r\nicy-name:Station\r\nicy-genre:Test\r\n"
        "icy-br:128\r\nicy-metaint:8192\r\n\r\n");
    LoopbackClient headPage;
    ASSERT_TRUE(headPage.Connect(Port()));
    ASSERT_TRUE(headPage.Send("HEAD /index.html HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(headPage.ReadToEnd(kWait));
    EXPECT_EQ(headPage.Data().rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_EQ(headPage.Data().find("\r\n\r\n") + 4, headPage.Data().size()) << "no body";
    // A title update by HEAD changes nothing.
    LoopbackClient headAdmin;
    ASSERT_TRUE(headAdmin.Connect(Port()));
    ASSERT_TRUE(headAdmin.Send(
        "HEAD /admin.cgi?pass=" + m_rig->Server().GetPassword() + "&mode=updinfo&song=x HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(headAdmin.ReadToEnd(kWait));
    EXPECT_FALSE(m_rig->HasLog(" title:x"));

    LoopbackClient halfClosed;
    ASSERT_TRUE(halfClosed.Connect(Port()));
    ASSERT_TRUE(halfClosed.Send("GET / HTTP/1.0\r\n\r\n"));
    ASSERT_EQ(::shutdown(halfClosed.Fd(), SHUT_WR), 0);
    ASSERT_TRUE(halfClosed.ReadUntil("\r\n\r\n", kWait));
    halfClosed.Data() = AfterHeader(halfClosed.Data());
    for (int i = 0; i < 3; ++i) {
        PushAndCheck();
        ASSERT_TRUE(halfClosed.ReadAtLeast(kBlock, kWait)) << "block " << i;
        EXPECT_TRUE(halfClosed.Data().substr(0, kBlock) == NumberedBlock(m_nBlocks));
        halfClosed.Data().erase(0, kBlock);
    }
    // Once it closes for good, the next block it cannot take drops it.
    halfClosed.Close();
    PushAndCheck();
    PushAndCheck();
    EXPECT_TRUE(m_rig->WaitLog("DelClient(IP:127.0.0.1,Agent:,"));
}

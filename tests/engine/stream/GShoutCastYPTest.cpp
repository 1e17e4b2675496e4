#include "engine/stream/GShoutCastYP.h"

#include "fakes/FakeDirectory.h"
#include "fakes/FakeWindowFinder.h"
#include "fakes/ManualClock.h"
#include "foundation/Blowfish.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr uint64_t kMinute = 60000;

// The main window's side: collects the directory notifications.
class Notifications final : public platform::MessageTarget {
public:
    ~Notifications() override { Detach(); }

    // Waits until (what, code) arrived after the ones already consumed.
    bool WaitFor(int what, int code, int timeoutMs = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (; m_next < m_seen.size(); ++m_next) {
                if (m_seen[m_next] == std::make_pair(what, code)) {
                    ++m_next;
                    return true;
                }
            }
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            WaitAndDispatch(static_cast<uint32_t>(left.count()));
        }
    }
    const std::vector<std::pair<int, int>>& Seen()
    {
        DispatchPending();
        return m_seen;
    }

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam w, platform::LParam l) override
    {
        if (msg == platform::RegisterMessage(GShoutCastYP::kNotifyMessage))
            m_seen.emplace_back(static_cast<int>(w), static_cast<int>(l));
        return 0;
    }

private:
    std::vector<std::pair<int, int>> m_seen;
    size_t m_next = 0;
};

// A socket bound to a free loopback port, or -1.
int BindLoopback(int* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(sa.sin_port);
    return fd;
}

// True once the peer acknowledged every byte sent on fd (at most 10 s).
bool Acknowledged(int fd)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int unacked = 0;
    while (::ioctl(fd, SIOCOUTQ, &unacked) == 0 && unacked > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    return unacked == 0;
}

std::string Wrap(const std::string& line)
{
    return line + " HTTP/1.0\r\nHost: 127.0.0.1\nAccept: */*\r\n\r\n";
}

const std::string kRegisterRequest
    = Wrap("GET /dj/addsrv_v2.php?v=1&br=128&p=8000&m=0&tav=0&t=My%20Radio%201&g=Pop&url=http%3a%2f%2fmy%2eradio%2f"
           "&content=audio%2fmpeg&irc=IRC&icq=ICQ&aim=DJ%20Kim&_cu=http%3a%2f%2f1%2e2%2e3%2e4%3a8000&_hk=hk1"
           "&_am=20261209&_sk=sk1&boardkey=&_vr=1%2e0");

std::string RegisterReply(const std::string& headers)
{
    return "HTTP/1.0 200 OK\r\n" + headers + "\r\n";
}

class YPTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(directory.Start());
        yp.SetDirectoryPort(directory.Port());
    }

    int StartYP() { return yp.Start(StationParams()); }

    GShoutCastYPParams StationParams()
    {
        GShoutCastYPParams p;
        p.notifyWindow = window.Handle();
        p.host = "127.0.0.1";
        p.port = 8000;
        p.bitrateKbps = 128;
        p.stationName = "My Radio 1";
        p.stationUrl = "http://my.radio/";
        p.genre = "Pop";
        p.djName = "DJ Kim";
        p.icq = "ICQ";
        p.irc = "IRC";
        p.listenAddress = "http://1.2.3.4:8000";
        p.pathWord = "dj";
        p.machineKey = "hk1";
        p.timeText = "20261209";
        p.checkKey = "sk1";
        p.version = "1.0";
        return p;
    }

    // Registered with id 42; the directory asks for touches every 5 minutes.
    void Register()
    {
        directory.Then(RegisterReply("icy-id: 42\r\nicy-tchfrq: 5\r\n"));
        ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
        ASSERT_TRUE(window.WaitFor(1, 0));
    }

    // The touch has not come within a short real wait.
    bool NoRequestBeyond(size_t count) { return !directory.WaitForRequests(count + 1, 150); }

    // True once (what, code) arrived; false once the worker went round its
    // loop twice without it, so one whole round saw what came before the call.
    bool NotifiedWithinTwoRounds(int what, int code)
    {
        const uint64_t target = clock.Sleeps() + 2;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (clock.Sleeps() < target && std::chrono::steady_clock::now() < end) {
            if (window.WaitFor(what, code, 5))
                return true;
        }
        return window.WaitFor(what, code, 5);
    }

    ManualClock clock;
    FakeWindowFinder windows;
    FakeDirectory directory;
    Notifications window;
    GShoutCastYP yp { platform::SocketApi::System(), platform::HostResolver::System(), clock, windows };
};

TEST_F(YPTest, RegistersTouchesAndUnregistersWithTheExactRequests)
{
    Register();
    ASSERT_TRUE(directory.WaitForRequests(1));
    EXPECT_EQ(directory.Requests()[0], kRegisterRequest);

    yp.SetListeners(3, 10);
    yp.SetTitle("새 노래 - A&B", nullptr);
    directory.Then("icy-response: ack\r\nicy-tchfrq: 5\r\n\r\n");
    clock.Advance(5 * kMinute - 1);
    EXPECT_TRUE(NoRequestBeyond(1));
    clock.Advance(1);
    ASSERT_TRUE(window.WaitFor(2, 0));
    ASSERT_TRUE(directory.WaitForRequests(2));
    EXPECT_EQ(directory.Requests()[1],
        Wrap("GET /dj/tchsrv?id=42&p=8000&li=3&m=10&tav=0&alt=0"
             "&ct=%ec%83%88%20%eb%85%b8%eb%9e%98%20%2d%20A%26B&cm=0&ht=0"));

    // A second touch proves the first reply was judged and the client idles.
    directory.Then("icy-response: ack\r\nicy-tchfrq: 5\r\n\r\n");
    clock.Advance(5 * kMinute);
    ASSERT_TRUE(window.WaitFor(2, 0));
    ASSERT_TRUE(directory.WaitForRequests(3));
    EXPECT_EQ(directory.Requests()[2].rfind("GET /dj/tchsrv?id=42&", 0), 0u);
}

TEST_F(YPTest, StopWhileIdleUnregisters)
{
    Register();
    yp.Stop();
    ASSERT_TRUE(window.WaitFor(3, 0));
    ASSERT_TRUE(directory.WaitForRequests(2));
    EXPECT_EQ(directory.Requests()[1], Wrap("GET /dj/remsrv?id=42&p=8000"));
}

TEST_F(YPTest, StopWhileWaitingForTheTouchReplySendsNoUnregister)
{
    Register();
    directory.Then(FakeDirectory::Silence());
    clock.Advance(5 * kMinute);
    ASSERT_TRUE(window.WaitFor(2, 0));
    ASSERT_TRUE(directory.WaitForRequests(2));
    yp.Stop();
    ASSERT_TRUE(window.WaitFor(3, 200));
    EXPECT_TRUE(NoRequestBeyond(2));
}

TEST_F(YPTest, StopWhileWaitingForTheRegisterReplySendsNoUnregister)
{
    directory.Then(FakeDirectory::Silence());
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(directory.WaitForRequests(1));
    yp.Stop();
    ASSERT_TRUE(window.WaitFor(3, 0));
    EXPECT_TRUE(NoRequestBeyond(1));
}

TEST_F(YPTest, SilentTouchFailsAfterFiveSecondsAndRetriesAMinuteAfterItFellDue)
{
    Register();
    directory.Then(FakeDirectory::Silence());
    clock.Advance(5 * kMinute);
    ASSERT_TRUE(window.WaitFor(2, 0));
    ASSERT_TRUE(directory.WaitForRequests(2));
    clock.Advance(5000);
    EXPECT_FALSE(window.WaitFor(2, 7, 150));
    clock.Advance(1);
    ASSERT_TRUE(window.WaitFor(2, 7));

    directory.Then("icy-response: ack\r\nicy-tchfrq: 5\r\n\r\n");
    clock.Advance(kMinute + 5 * kMinute - 5001 - 1);
    EXPECT_TRUE(NoRequestBeyond(2));
    clock.Advance(1);
    ASSERT_TRUE(window.WaitFor(2, 0));
    ASSERT_TRUE(directory.WaitForRequests(3));
}

TEST_F(YPTest, BadTouchRepliesArePostedAndDoNotEndTheClient)
{
    Register();
    directory.Then("icy-response: ERROR\r\nicy-tchfrq: 5\r\n\r\n");
    clock.Advance(5 * kMinute);
    ASSERT_TRUE(window.WaitFor(2, 201));
    // The retry waits for its time: a minute after the touch fell due.
    EXPECT_TRUE(NoRequestBeyond(2));
    directory.Then("icy-tchfrq: 5\r\n\r\n");
    clock.Advance(6 * kMinute - 1);
    EXPECT_TRUE(NoRequestBeyond(2));
    clock.Advance(1);
    ASSERT_TRUE(directory.WaitForRequests(3));
    ASSERT_TRUE(window.WaitFor(2, 201));
    directory.Then("icy-response: ok\r\nicy-tchfrq: 0\r\n\r\n");
    clock.Advance(6 * kMinute);
    ASSERT_TRUE(window.WaitFor(2, 202));
    yp.Stop();
    ASSERT_TRUE(window.WaitFor(3, 0));
}

TEST_F(YPTest, TenUnreachableTouchesInARowEndTheClient)
{
    directory.Then(RegisterReply("icy-id: 7\r\nicy-tchfrq: 1\r\n"));
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(window.WaitFor(1, 0));
    ASSERT_TRUE(directory.StopListening());
    clock.Advance(kMinute);
    for (int i = 0; i < GShoutCastYP::kMaxFailures; ++i) {
        ASSERT_TRUE(window.WaitFor(2, 5)) << i;
        clock.Advance(kMinute);
    }
    ASSERT_TRUE(window.WaitFor(3, 200));
    EXPECT_EQ(directory.RequestCount(), 1u);
}

TEST_F(YPTest, HugeTouchIntervalIsClampedToADay)
{
    directory.Then(RegisterReply("icy-id: 1\r\nicy-tchfrq: 99999999999999\r\n"));
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(window.WaitFor(1, 0));
    clock.Advance(1439 * kMinute);
    EXPECT_TRUE(NoRequestBeyond(1));
    clock.Advance(kMinute);
    ASSERT_TRUE(window.WaitFor(2, 0));
}

struct RegisterCase {
    const char* headers;
    int code;
};

// Names the case in test listings by its headers and expected code.
void PrintTo(const RegisterCase& c, std::ostream* os)
{
    for (const char* p = c.headers; *p; ++p) {
        const bool word = (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9');
        *os << (word ? *p : '_');
    }
    *os << "gives_" << c.code;
}

class YPRegisterReply : public YPTest, public ::testing::WithParamInterface<RegisterCase> { };

TEST_P(YPRegisterReply, EndsTheClientWithTheDirectoryVerdict)
{
    directory.Then(RegisterReply(GetParam().headers));
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(window.WaitFor(1, GetParam().code));
    ASSERT_TRUE(window.WaitFor(3, 100));
    EXPECT_EQ(directory.RequestCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Refusals, YPRegisterReply,
    ::testing::Values(RegisterCase { "icy-errorcode: Invalid_sk\r\n", 11 },
        RegisterCase { "icy-errorcode: denytitle\r\n", 11 }, RegisterCase { "icy-errorcode: Blockip\r\n", 11 },
        RegisterCase { "icy-errorcode: Blockpls\r\n", 11 }, RegisterCase { "icy-errorcode: Duplicate\r\n", 11 },
        RegisterCase { "icy-errorcode: Connectfail\r\n", 11 }, RegisterCase { "icy-errorcode: Addfail\r\n", 11 },
        RegisterCase { "icy-errorcode: Update\r\n", 12 }, RegisterCase { "icy-tchfrq: 5\r\n", 102 },
        RegisterCase { "icy-id: 0\r\nicy-tchfrq: 5\r\n", 102 }, RegisterCase { "icy-id: 5\r\n", 103 },
        RegisterCase { "icy-id: 5\r\nicy-tchfrq: -3\r\n", 103 }));

TEST_F(YPTest, RefusalKeepsTheDirectoryText)
{
    directory.Then(RegisterReply("icy-errorcode:Duplicate\r\n  icy-errorstr :  Already listed  \r\n"));
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(window.WaitFor(1, 11));
    EXPECT_EQ(yp.GetErrorText(), "Already listed");
    yp.Stop();
    EXPECT_EQ(yp.GetErrorText(), "");
}

TEST_F(YPTest, UnknownErrorCodeCountsAsRegisteredWithoutAnId)
{
    directory.Then(RegisterReply("icy-errorcode: Whatever\r\n"));
    directory.Then("icy-response: ok\r\nicy-tchfrq: 3\r\n\r\n");
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(window.WaitFor(1, 0));
    clock.Advance(3 * kMinute);
    ASSERT_TRUE(window.WaitFor(2, 0));
    ASSERT_TRUE(directory.WaitForRequests(2));
    EXPECT_EQ(directory.Requests()[1].rfind("GET /dj/tchsrv?id=-1&p=8000&", 0), 0u);
}

TEST_F(YPTest, MalformedRegisterRepliesFailWithoutAReply)
{
    std::string manyLines;
    for (int i = 0; i < GYPReply::kMaxLines + 1; ++i)
        manyLines += "x-h: 1\r\n";
    manyLines += "icy-id: 42\r\nicy-tchfrq: 5\r\n\r\n";
    // Overlong lines and too many lines on a connection left open (the
    // clock stands still, so silence cannot be what fails them), and a reply
    // cut off before its end.
    const std::vector<FakeDirectory::Answer> replies
        = { { std::string(2000, 'x'), false }, { std::string(1024, 'y') + "\r\n\r\n", false }, { manyLines, false },
              { "icy-id: 42\r\nicy-tchfrq: 5\r\n", true } };
    for (const FakeDirectory::Answer& reply : replies) {
        FakeDirectory dir;
        ASSERT_TRUE(dir.Start());
        dir.Then(reply);
        yp.SetDirectoryPort(dir.Port());
        ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
        ASSERT_TRUE(window.WaitFor(1, 7)) << reply.reply.size();
        ASSERT_TRUE(window.WaitFor(3, 100));
        yp.Stop();
    }
}

TEST_F(YPTest, TricklingRegisterReplyFailsOnceTheReplyIsOverdue)
{
    int port = 0;
    const int listener = BindLoopback(&port);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    yp.SetDirectoryPort(port);
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    pollfd p { listener, POLLIN, 0 };
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    const int conn = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    ASSERT_GE(conn, 0);

    // One header line a second never lets the reply fall silent, and stays
    // far below the line limit; only the bound on the whole reply ends it.
    std::string status = "HTTP/1.0 200 OK\r\n";
    ASSERT_EQ(::send(conn, status.data(), status.size(), MSG_NOSIGNAL), static_cast<ssize_t>(status.size()));
    int seconds = 0;
    bool failed = false;
    for (; seconds < GYPReply::kMaxLines - 4 && !failed; ++seconds) {
        const std::string line = "x-wait: " + std::to_string(seconds) + "\r\n";
        ASSERT_EQ(::send(conn, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
        // The worker takes the line before the clock moves on: it is in the
        // worker's socket once acknowledged, and taken a round after that.
        ASSERT_TRUE(Acknowledged(conn));
        failed = NotifiedWithinTwoRounds(1, 7);
        if (failed)
            break;
        clock.Advance(1000);
        failed = NotifiedWithinTwoRounds(1, 7);
    }
    ::close(conn);
    ASSERT_TRUE(failed);
    EXPECT_GE(seconds, static_cast<int>(GShoutCastYP::kReplyLimitMs / 1000) - 2);
    EXPECT_LE(seconds, static_cast<int>(GShoutCastYP::kReplyLimitMs / 1000) + 3);
    ASSERT_TRUE(window.WaitFor(3, 100));
}

TEST_F(YPTest, UnreachableDirectoryEndsTheRegistration)
{
    int port = 0;
    const int fd = BindLoopback(&port);
    ASSERT_GE(fd, 0);
    ::close(fd);
    yp.SetDirectoryPort(port);
    ASSERT_EQ(StartYP(), GShoutCastYP::kStarted);
    ASSERT_TRUE(window.WaitFor(1, 5));
    ASSERT_TRUE(window.WaitFor(3, 5));
}

TEST_F(YPTest, EmptyHostOrBadArgumentsSendNothing)
{
    const std::function<void(GShoutCastYPParams&)> faults[] = {
        [](GShoutCastYPParams& p) { p.host.clear(); },
        [](GShoutCastYPParams& p) { p.port = 0; },
        [](GShoutCastYPParams& p) { p.bitrateKbps = 0; },
        [](GShoutCastYPParams& p) { p.notifyWindow = platform::kNoTarget; },
    };
    for (const auto& fault : faults) {
        GShoutCastYPParams params = StationParams();
        fault(params);
        EXPECT_EQ(yp.Start(params), GShoutCastYP::kBadArguments);
    }
    EXPECT_TRUE(NoRequestBeyond(0));
    EXPECT_TRUE(window.Seen().empty());
}

TEST_F(YPTest, BoardKeyAndPlayerFlagTravelInTheRegistration)
{
    windows.Show("TavAudio1.x", "Song - TavAudio");
    yp.SetBoardKeySource(true, "10.0.0.1", 8000);
    Register();
    const std::string key = BlowfishHexWholeBlocks("10.0.0.18000QUORBLATEN");
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(yp.GetBoardKey(), key);
    ASSERT_TRUE(directory.WaitForRequests(1));
    const std::string request = directory.Requests()[0];
    EXPECT_NE(request.find("&tav=1&"), std::string::npos);
    EXPECT_NE(request.find("&boardkey=" + key + "&"), std::string::npos);
    yp.Stop();
    EXPECT_EQ(yp.GetBoardKey(), "");
}

TEST(GShoutCastYPEncoding, KeepsLettersAndDigitsAndEncodesEveryOtherByte)
{
    EXPECT_EQ(GShoutCastYP::EncodeDirectoryText("My Radio 1"), "My%20Radio%201");
    EXPECT_EQ(GShoutCastYP::EncodeDirectoryText("audio/mpeg"), "audio%2fmpeg");
    EXPECT_EQ(GShoutCastYP::EncodeDirectoryText("\xff-_."), "%ff%2d%5f%2e");
    EXPECT_LT(GShoutCastYP::EncodeDirectoryText(std::string(10000, '~')).size(), GShoutCastYP::kEncodedCapacity);
}

} // namespace

#include "engine/stream/GShoutCastSource.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeHostResolver.h"
#include "fakes/FakeShoutcastServer.h"
#include "fakes/FakeSocketApi.h"
#include "fakes/ManualClock.h"
#include "foundation/DebugTrace.h"
#include "foundation/GLingeringThreads.h"
#include "foundation/HttpGetFile.h"
#include "support/DownloadCompletion.h"
#include "support/IcecastStatusPage.h"
#include "support/LocalHttpServer.h"
#include "support/RequireTool.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kHeaders[] = "icy-name:A\nicy-genre:B\nicy-url:C\nicy-aim:D\nicy-icq:\nicy-irc:\nContent-Type:audio/mpeg\n"
                        "icy-pub:1\nicy-br:128\nicy-filekey:\n\n";

std::string TitleRequest(const std::string& pass, const std::string& song, const std::string& url)
{
    return "GET /admin.cgi?pass=" + pass + "&mode=updinfo&song=" + song + "&url=" + url
        + " HTTP/1.1\nUser-Agent: Mozilla(Fixed Value)\n\n";
}

std::string Enc(const std::string& text)
{
    std::string out(text.size() * 3 + 1, '\0');
    GShoutCastSource::UrlEncode(text.c_str(), out.data(), static_cast<int>(out.size()));
    return out.c_str();
}

int ConnectTo(GShoutCastSource& source, int port, const char* password = "secret")
{
    return source.Connect("127.0.0.1", port, 128, password, "A", "C", "B", "D");
}

} // namespace

TEST(GShoutCastSource, LogsInStreamsAndPushesTitlesByteForByte)
{
    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    GShoutCastSource source;
    EXPECT_EQ(source.UpdateTitle("x", ""), GShoutCastSource::kNoTitleSocket);
    ASSERT_EQ(ConnectTo(source, server.Port()), GShoutCastSource::kOk);
    EXPECT_TRUE(source.IsConnected());

    // No NUL after the password; the header block exactly.
    ASSERT_TRUE(
        server.WaitFor([](FakeShoutcastServer& s) { return s.SourceBytes().size() >= 7 + sizeof kHeaders - 1; }));
    EXPECT_EQ(server.SourceBytes(), std::string("secret\n") + kHeaders);
    // The first title is the station name and URL.
    ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleRequests().size() == 1; }));
    EXPECT_EQ(server.TitleRequests()[0], TitleRequest("secret", "%41", "%43"));

    const std::string mp3(5000, '\xff');
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(source.Send(mp3.data(), 1000), GShoutCastSource::kOk);
    ASSERT_TRUE(server.WaitFor([&](FakeShoutcastServer& s) {
        (void)source.Send(nullptr, 0);
        return s.SourceBytes().size() == 7 + sizeof kHeaders - 1 + 5000;
    }));

    const std::string exact84(84, 'x');
    const std::string long85(85, 'y');
    // 'a' then Korean syllables of three bytes: byte 81 falls inside one.
    std::string korean = "a";
    for (int i = 0; i < 30; ++i)
        korean += "가";
    // One at a time: a title handed over while another waits replaces it.
    size_t pushed = 1;
    for (const auto& [song, url] : std::vector<std::pair<std::string, std::string>> {
             { "abc", "" }, { exact84, "http://u" }, { long85, "" }, { korean, "" } }) {
        EXPECT_EQ(source.UpdateTitle(song.c_str(), url.c_str()), GShoutCastSource::kOk);
        ++pushed;
        ASSERT_TRUE(server.WaitFor([&](FakeShoutcastServer& s) { return s.TitleRequests().size() == pushed; }));
    }
    const auto titles = server.TitleRequests();
    EXPECT_EQ(titles[1], TitleRequest("secret", "%61%62%63", ""));
    EXPECT_EQ(titles[2], TitleRequest("secret", Enc(exact84), Enc("http://u")));
    EXPECT_EQ(titles[3], TitleRequest("secret", Enc(std::string(81, 'y') + "..."), ""));
    EXPECT_EQ(titles[4], TitleRequest("secret", Enc(korean.substr(0, 79) + "..."), ""));

    source.Close();
    EXPECT_FALSE(source.IsConnected());
    EXPECT_EQ(source.Send("x", 1), GShoutCastSource::kSendFailed);
    EXPECT_EQ(source.UpdateTitle("x", ""), GShoutCastSource::kNoTitleSocket);
}

TEST(GShoutCastSource, AdminPasswordIsEscapedAndNeverTraced)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-trace"));
    const std::string trace = (sandbox.Dir() / "trace.log").string();
    sandbox.SetEnv(kDebugTraceEnv, trace);
    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    GShoutCastSource source;
    ASSERT_EQ(ConnectTo(source, server.Port(), "p&s #+~x"), GShoutCastSource::kOk);
    ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleRequests().size() == 1; }));
    EXPECT_EQ(server.TitleRequests()[0], TitleRequest("p%26s%20%23%2B~x", "%41", "%43"));
    EXPECT_EQ(server.SourceBytes().substr(0, 9), "p&s #+~x\n");

    std::ifstream in(trace);
    const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(logged.find("DJ서버로 전송: GET /admin.cgi?pass=*&mode=updinfo"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("p%26s"), std::string::npos);
    EXPECT_EQ(logged.find("p&s"), std::string::npos);
}

TEST(GShoutCastSource, LoginRepliesMapToTheirCodes)
{
    struct Case {
        FakeShoutcastServer::Login mode;
        std::string reply;
        bool closeAfter;
        int expected;
    };
    const Case cases[] = {
        { FakeShoutcastServer::Login::Reply, "ok2\r\n", false, GShoutCastSource::kOk },
        { FakeShoutcastServer::Login::Reply, "Ok2 and more", false, GShoutCastSource::kOk },
        { FakeShoutcastServer::Login::Reply, "FAIL\r\n", false, GShoutCastSource::kPasswordRefused },
        { FakeShoutcastServer::Login::Reply, "FAIL", true, GShoutCastSource::kPasswordRefused },
        // Too little to say "OK2" is no answer about the password: a
        // connection failure worth retrying. A close without a byte is one
        // too, told apart for its owner to count.
        { FakeShoutcastServer::Login::Reply, "OK", true, GShoutCastSource::kNoReply },
        { FakeShoutcastServer::Login::CloseAfterPassword, "", false, GShoutCastSource::kClosedAfterPassword },
        // A server that emulates the protocol takes any password with "OK2"
        // and refuses it after the header lines, as an HTTP server.
        { FakeShoutcastServer::Login::Reply,
            "OK2\r\nicy-caps:11\r\n\r\nHTTP/1.0 401 Authentication Required\r\nContent-Type: text/html\r\n"
            "WWW-Authenticate: Basic realm=\"Icecast 2.4.0-kh22\"\r\nContent-Length: 0\r\n\r\n",
            true, GShoutCastSource::kPasswordRefused },
        { FakeShoutcastServer::Login::Reply, "OK2\r\nicy-caps:11\r\n\r\nHTTP/1.0 200 OK\r\n\r\n", false,
            GShoutCastSource::kOk },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        FakeShoutcastServer server;
        server.mode = c.mode;
        server.loginReply = c.reply;
        server.closeAfterReply = c.closeAfter;
        ASSERT_TRUE(server.Start());
        GShoutCastSource source;
        EXPECT_EQ(ConnectTo(source, server.Port()), c.expected);
        EXPECT_EQ(source.IsConnected(), c.expected == GShoutCastSource::kOk);
    }
}

// A refusal that comes after the login let the source in, once audio has
// gone out, ends the stream with the code the same refusal at the login
// has.
TEST(GShoutCastSource, ARefusalAfterAudioHasGoneOutEndsTheStreamWithItsCode)
{
    const std::string refused
        = "HTTP/1.0 401 Authentication Required\r\nConnection: Close\r\nContent-Length: 0\r\n\r\n";
    const struct {
        const char* what;
        bool icecast;
        std::string late;
        int refusal;
    } rows[] = {
        { "SHOUTcast, 401 after the stream began", false, refused, GShoutCastSource::kPasswordRefused },
        { "Icecast, 401 after the go-ahead and audio", true, refused, GShoutCastSource::kPasswordRefused },
        { "Icecast, mount taken late", true, "HTTP/1.1 409 Conflict\r\nContent-Length: 17\r\n\r\nMountpoint in use",
            GShoutCastSource::kMountInUse },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeShoutcastServer server;
        server.icecastSources = row.icecast;
        if (row.icecast) {
            server.loginReply = "HTTP/1.1 100 Continue\r\n\r\n";
            server.titleReply = "HTTP/1.0 200 OK\r\n\r\n";
        }
        server.lateReply = row.late;
        server.lateAfter = 3000;
        ASSERT_TRUE(server.Start());
        GShoutCastSource source;
        GShoutCastSource::SServerProtocol protocol;
        protocol.type = row.icecast ? GShoutCastSource::ServerType::Icecast2 : GShoutCastSource::ServerType::Shoutcast;
        source.SetServerProtocol(protocol);
        ASSERT_EQ(ConnectTo(source, server.Port()), GShoutCastSource::kOk);
        const std::string mp3(1000, '\xff');
        int sent = 0;
        int result = GShoutCastSource::kOk;
        // Sends until the server's answer has been read.
        ASSERT_TRUE(server.WaitFor([&](FakeShoutcastServer&) {
            result = sent++ < 20 ? source.Send(mp3.data(), int(mp3.size())) : source.Flush();
            return result != GShoutCastSource::kOk;
        }));
        EXPECT_GE(sent, 3) << "the answer came after audio";
        EXPECT_EQ(source.StreamRefusal(), row.refusal);
        EXPECT_FALSE(source.IsConnected());
        source.Close();
        EXPECT_EQ(source.StreamRefusal(), GShoutCastSource::kOk);
    }
}

TEST(GShoutCastSource, SilentServerTimesOutAndBadArgumentsTouchNothing)
{
    FakeShoutcastServer server;
    server.mode = FakeShoutcastServer::Login::Silent;
    ASSERT_TRUE(server.Start());
    FakeClock clock;
    GShoutCastSource source(platform::SocketApi::System(), platform::HostResolver::System(), clock);
    const uint64_t before = clock.NowMs();
    EXPECT_EQ(ConnectTo(source, server.Port()), GShoutCastSource::kNoReply);
    EXPECT_GE(clock.NowMs() - before, GShoutCastSource::kLoginReplyLimitMs);

    EXPECT_EQ(source.Connect("", 8000, 128, "p", "", "", "", ""), GShoutCastSource::kBadArguments);
    EXPECT_EQ(source.Connect(nullptr, 8000, 128, "p", "", "", "", ""), GShoutCastSource::kBadArguments);
    EXPECT_EQ(source.Connect("127.0.0.1", 0, 128, "p", "", "", "", ""), GShoutCastSource::kBadArguments);
    EXPECT_EQ(source.Connect("127.0.0.1", 8000, 0, "p", "", "", "", ""), GShoutCastSource::kBadArguments);
    EXPECT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.SourceConnections() == 1; }));
    EXPECT_EQ(server.SourceConnections(), 1);
}

// A login that hangs at each of its waits, on a clock that never moves by
// itself: it ends only because it was stopped, and within a poll or two of
// the request, with nothing of it left connected.
TEST(GShoutCastSource, EveryWaitOfTheLoginEndsAtAStopRequest)
{
    const std::string password = "secret\n";
    const std::string login = password + kHeaders;
    const struct {
        const char* name;
        const char* host;
        bool connectPends;
        const char* reply; // "" for none
        std::vector<int> budgets; // bytes the network takes per send (an empty list: all)
        bool thenFull; // after those, the network takes nothing more
        std::string sent; // what left before the wait
    } cases[] = {
        { "name lookup", "radio.example", false, "", {}, false, "" },
        { "connect", "127.0.0.1", true, "", {}, false, "" },
        { "reply", "127.0.0.1", false, "", {}, false, password },
        { "headers", "127.0.0.1", false, "OK2\r\n", { int(password.size()) }, true, password },
        { "first title", "127.0.0.1", false, "OK2\r\n", { int(password.size()), int(sizeof kHeaders) - 1 }, true,
            login },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSocketApi api;
        api.connectPends = c.connectPends;
        if (*c.reply)
            api.incoming.push_back(c.reply);
        api.sendBudgets.assign(c.budgets.begin(), c.budgets.end());
        if (c.thenFull)
            api.sendBudgets.insert(api.sendBudgets.end(), 100000, -1);
        FakeHostResolver resolver;
        resolver.Add("radio.example", 0x0100007Fu);
        resolver.Hold(true);
        ManualClock clock;
        GShoutCastSource source(api, resolver, clock);
        // The held lookup is let go before the source, which waits for it.
        const std::unique_ptr<FakeHostResolver, void (*)(FakeHostResolver*)> release(
            &resolver, [](FakeHostResolver* p) { p->Hold(false); });
        std::atomic<int> result { -1 };
        std::atomic<bool> done { false };
        std::jthread worker([&](std::stop_token stop) {
            result = source.Connect(c.host, 8000, 128, "secret", "A", "C", "B", "D", stop);
            done = true;
        });
        const auto waitFor = [](auto pred) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!pred() && std::chrono::steady_clock::now() < end)
                std::this_thread::yield();
            return pred();
        };
        // Nothing before the hanging step sleeps: a few sleeps are its polls.
        ASSERT_TRUE(waitFor([&] { return clock.Sleeps() >= 3; }));
        EXPECT_FALSE(done) << "the login ended by itself";
        const uint64_t atStop = clock.Sleeps();
        worker.request_stop();
        ASSERT_TRUE(waitFor([&] { return done.load(); }));
        EXPECT_LE(clock.Sleeps() - atStop, 2U);
        worker.join();
        EXPECT_NE(result, GShoutCastSource::kOk);
        EXPECT_FALSE(source.IsConnected());
        EXPECT_EQ(api.sent, c.sent);
    }
}

TEST(GShoutCastSource, ClosedPortIsAConnectFailure)
{
    const int port = testutil::PickPortPair();
    ASSERT_GT(port, 0);
    GShoutCastSource source;
    EXPECT_EQ(ConnectTo(source, port), GShoutCastSource::kConnectFailed);
}

// A server that takes the login and then stops reading, on a clock the
// test moves 50 ms per chunk: the connection is dropped (closed, so any
// thread sees it) once nothing has left for the stall limit or the queue
// reaches its cap; a pause shorter than the limit costs no byte.
TEST(GShoutCastSource, StalledServerIsDroppedAfterItsLimitAndAHiccupIsRiddenOut)
{
    constexpr int kNever = -1;
    const struct {
        const char* name;
        int chunkBytes; // sent every 50 ms of the clock
        int resumeAfterMs; // of the server taking nothing; kNever: it stays stalled
        bool dropped;
        uint64_t minMs, maxMs; // from the last bytes it took until the drop
    } cases[] = {
        { "silent past the limit", 1024, kNever, true, GShoutCastSource::kStallLimitMs,
            GShoutCastSource::kStallLimitMs + 50 },
        { "queue at its cap first", 64 * 1024, kNever, true, 0, GShoutCastSource::kStallLimitMs / 2 },
        { "hiccup shorter than the limit", 1024, static_cast<int>(GShoutCastSource::kStallLimitMs / 2), false, 0, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeShoutcastServer server;
        server.readStream = false;
        server.smallSourceWindow = true;
        ASSERT_TRUE(server.Start());
        ManualClock clock;
        GShoutCastSource source(platform::SocketApi::System(), platform::HostResolver::System(), clock);
        ASSERT_EQ(ConnectTo(source, server.Port()), GShoutCastSource::kOk);
        // The password line; the server reads nothing after its reply.
        ASSERT_TRUE(server.WaitFor([&](FakeShoutcastServer& s) { return s.SourceBytes().size() == 7; }));
        const size_t loginBytes = 7 + sizeof kHeaders - 1;

        const std::string chunk(static_cast<size_t>(c.chunkBytes), 'm');
        size_t sent = 0;
        // When the queue last grew by less than a chunk: the network took
        // bytes then. 0 while the queue has been empty.
        uint64_t lastTaken = 0;
        int result = GShoutCastSource::kOk;
        // Bounded: far more chunks than the system's buffers and the limit take.
        for (int i = 0; i < 20000 && result == GShoutCastSource::kOk; ++i) {
            if (lastTaken && c.resumeAfterMs != kNever && clock.NowMs() - lastTaken >= uint64_t(c.resumeAfterMs))
                break;
            const int before = std::max(source.QueuedStreamBytes(), 0);
            result = source.Send(chunk.data(), c.chunkBytes);
            if (result != GShoutCastSource::kOk)
                break;
            sent += chunk.size();
            const int queued = source.QueuedStreamBytes();
            if (queued > 0 && queued < before + c.chunkBytes)
                lastTaken = clock.NowMs();
            else if (queued > 0 && !lastTaken)
                lastTaken = clock.NowMs() - 50; // the previous chunk left whole
            clock.Advance(50);
        }
        ASSERT_NE(lastTaken, 0U) << "the server's buffers never filled";
        EXPECT_EQ(result != GShoutCastSource::kOk, c.dropped);
        EXPECT_EQ(source.IsConnected(), !c.dropped);
        if (c.dropped) {
            const uint64_t waited = clock.NowMs() - lastTaken;
            EXPECT_GE(waited, c.minMs);
            EXPECT_LE(waited, c.maxMs);
            EXPECT_EQ(source.Send(chunk.data(), c.chunkBytes), GShoutCastSource::kSendFailed);
            continue;
        }
        // The server reads again: everything queued arrives, in order.
        server.readStream = true;
        EXPECT_TRUE(server.WaitFor([&](FakeShoutcastServer& s) {
            (void)source.Flush();
            return s.SourceBytes().size() == loginBytes + sent;
        })) << server.SourceBytes().size() - loginBytes
            << " of " << sent;
        EXPECT_EQ(source.QueuedStreamBytes(), 0);
        clock.Advance(GShoutCastSource::kStallLimitMs * 2);
        EXPECT_EQ(source.Send(chunk.data(), c.chunkBytes), GShoutCastSource::kOk) << "an empty queue is no stall";
        EXPECT_TRUE(source.IsConnected());
    }
}

TEST(GShoutCastSource, UrlEncodeWritesEveryByteWhileFourBytesRemain)
{
    char buf[16];
    GShoutCastSource::UrlEncode("abc", buf, sizeof buf);
    EXPECT_STREQ(buf, "%61%62%63");
    GShoutCastSource::UrlEncode("abc", buf, 8);
    EXPECT_STREQ(buf, "%61%62");
    GShoutCastSource::UrlEncode("\xea\xb0\x80 ", buf, sizeof buf);
    EXPECT_STREQ(buf, "%ea%b0%80%20");
}

TEST(GShoutCastSource, StatusPageGivesListenerCountsOnlyWithAllMarks)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    struct Case {
        std::string page;
        int ok;
        int current;
        int maximum;
    };
    const Case cases[] = {
        { "<html>Stream is up at 128 kbps with <B>3 of 50 listeners</B>", 1, 3, 50 },
        { "Stream is up at 128 kbps with <B>3 listeners</B>", 0, -1, -1 },
        { "Server is down. with <B>3 of 50", 0, -1, -1 },
        { "", 0, -1, -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        TestSandbox sandbox;
        ASSERT_TRUE(sandbox.Create("tavdj-status"));
        const std::string page = (sandbox.Dir() / "index.html").string();
        std::ofstream(page) << c.page;
        testutil::LocalHttpServer http;
        ASSERT_TRUE(http.Start(page));

        // The status page comes from the host and listener port of the last
        // Connect, which fails here: nothing listens on the source port.
        GShoutCastSource source;
        ASSERT_EQ(
            source.Connect("127.0.0.1", http.Port(), 128, "p", "A", "C", "B", "D"), GShoutCastSource::kConnectFailed);

        DownloadCompletion done;
        EXPECT_FALSE(source.FetchStatus(platform::kNoTarget));
        ASSERT_TRUE(source.FetchStatus(done.Handle()));
        ASSERT_TRUE(done.Wait(10000));
        int current = -1;
        int maximum = -1;
        EXPECT_EQ(source.ParseStatus(&current, &maximum), c.ok);
        EXPECT_EQ(current, c.current);
        EXPECT_EQ(maximum, c.maximum);
        EXPECT_EQ(source.ParseStatus(&current, &maximum), 0); // the file is gone
    }
}

TEST(GShoutCastSource, OneStatusDownloadAtATime)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    testutil::LocalHttpServer http;
    ASSERT_TRUE(http.Start({}, true));
    auto source = std::make_unique<GShoutCastSource>();
    (void)source->Connect("127.0.0.1", http.Port(), 128, "p", "A", "C", "B", "D");
    DownloadCompletion done;
    ASSERT_TRUE(source->FetchStatus(done.Handle()));
    EXPECT_FALSE(source->FetchStatus(done.Handle()));
    EXPECT_EQ(source->ParseStatus(nullptr, nullptr), 0);
    const auto started = std::chrono::steady_clock::now();
    source.reset(); // cancels the hanging download
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    // The cancelled download ends on a thread of its own: the test's process
    // must not end while it still starts the HTTP library, whose clean-up at
    // exit would pull its state from under it.
    EXPECT_TRUE(GLingeringThreads::JoinEnded(5000));
}

TEST(GShoutCastSource, AStalledTitleServerNeverHoldsTheAudioAndTheNewestTitleWins)
{
    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    GShoutCastSource source;
    ASSERT_EQ(ConnectTo(source, server.Port()), GShoutCastSource::kOk);
    ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleRequests().size() == 1; }));
    const size_t login = server.SourceBytes().size();

    // A request far larger than the socket buffers, to a server that does
    // not read it: that push hangs until its limit.
    server.readTitles = false;
    const std::string url(8 << 20, 'u');
    // Building and starting that request takes seconds in a sanitizer build
    // under load.
    constexpr int kLongRequestMs = 30000;
    // Handing a title over never waits for the network: a wait would last
    // the stuck push's whole limit, while encoding the long request alone
    // may take a good part of a second in a sanitizer build under load.
    auto handOver = [&](const char* song, const char* u) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(source.UpdateTitle(song, u), GShoutCastSource::kOk);
        EXPECT_LT(std::chrono::steady_clock::now() - started,
            std::chrono::milliseconds(GShoutCastSource::kTitleSendLimitMs - 1000))
            << song;
    };
    handOver("stuck", url.c_str());
    // Once that push is under way, two more wait in turn: the newer wins.
    ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleConnections() == 2; }, kLongRequestMs));
    handOver("skipped", "");
    handOver("newest", "");

    // The stream flows meanwhile.
    const std::string mp3(1000, '\xff');
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(source.Send(mp3.data(), 1000), GShoutCastSource::kOk);
    ASSERT_TRUE(server.WaitFor([&](FakeShoutcastServer& s) {
        (void)source.Send(nullptr, 0);
        return s.SourceBytes().size() == login + 200000;
    }));

    server.readTitles = true;
    ASSERT_TRUE(source.WaitTitlesSent(20000));
    ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleRequests().size() == 3; }));
    // The stuck request and the newest finish on their own connections, in
    // either order; "skipped" never leaves. Compared as flags, so a failure
    // does not print the 8 MiB request.
    const auto titles = server.TitleRequests();
    const auto isStuck = [](const std::string& request) {
        return request.find("song=" + Enc("stuck") + "&url=" + Enc("uuu")) != std::string::npos;
    };
    const std::string newest = TitleRequest("secret", Enc("newest"), "");
    EXPECT_TRUE((isStuck(titles[1]) && titles[2] == newest) || (isStuck(titles[2]) && titles[1] == newest));

    // Close ends a push in flight at once, not at the push's own limit.
    server.readTitles = false;
    EXPECT_EQ(source.UpdateTitle("again", url.c_str()), GShoutCastSource::kOk);
    ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleConnections() == 4; }, kLongRequestMs));
    const auto closing = std::chrono::steady_clock::now();
    source.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing,
        std::chrono::milliseconds(GShoutCastSource::kTitleSendLimitMs - 1000));
}

TEST(GShoutCastSource, AStatusPageThatTricklesIsCutOffAndCloseEndsTheFetch)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    testutil::LocalHttpServer http;
    ASSERT_TRUE(http.Start({}, false, true));
    GShoutCastSource source;
    (void)source.Connect("127.0.0.1", http.Port(), 128, "p", "A", "C", "B", "D");

    DownloadCompletion done;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(source.FetchStatus(done.Handle()));
    ASSERT_TRUE(done.Wait(GShoutCastSource::kStatusLimitMs + 10000));
    EXPECT_EQ(done.result, 0);
    EXPECT_LT(
        std::chrono::steady_clock::now() - started, std::chrono::milliseconds(GShoutCastSource::kStatusLimitMs + 5000));
    EXPECT_EQ(source.ParseStatus(nullptr, nullptr), 0);

    // The next fetch runs; Close ends it without waiting for its limit.
    DownloadCompletion again;
    ASSERT_TRUE(source.FetchStatus(again.Handle()));
    const auto closing = std::chrono::steady_clock::now();
    source.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(GShoutCastSource::kStatusLimitMs));
}

TEST(GShoutCastSource, StatusReadFollowsTheServerTypeAndFallsBackToIcecastsOwnPage)
{
    const std::string shoutcastPage = "<html>Stream is up at 128 kbps with <B>3 of 50 listeners</B>";
    const std::string head = R"({"icestats":{"server_id":"Icecast 2.4.4","source":)";
    const std::string one = head + R"({"listeners":5,"listenurl":"http://h:1/stream","server_name":"x","title":"T"}}})";
    const std::string two = head
        + R"([{"listeners":1,"listenurl":"http://h:1/other","server_name":"B"},)"
          R"({"listeners":7,"listenurl":"http://h:1/live","server_name":"A","title":"&#44032;"}]}})";
    using Type = GShoutCastSource::ServerType;
    struct Row {
        const char* what;
        Type type;
        std::string mount;
        // /index.html and /status-json.xsl; empty: an empty page.
        std::string page;
        std::string json;
        bool usable;
        int current;
        int maximum;
        std::string title;
        std::vector<std::string> asked;
    };
    // A large server that ignores the mount asked for: its whole page, past
    // 1 MB, ours last.
    const std::string large = testutil::LargeIcecastStatus(
        2200, R"({"listeners":9,"listenurl":"http://h:1/live","server_name":"A","title":"T"})");
    const std::string oddMount = "/가 b&c";
    const std::string odd = head + R"({"listeners":2,"listenurl":"http://h:1/가 b&c"}}})";
    const std::vector<std::string> both { "GET /index.html", "GET /status-json.xsl" };
    const std::vector<std::string> ours { "GET /status-json.xsl?mount=/live" };
    const Row rows[] = {
        { "SHOUTcast page", Type::Shoutcast, "/live", shoutcastPage, two, true, 3, 50, "", { "GET /index.html" } },
        { "one Icecast source", Type::Shoutcast, "/live", "<html>", one, true, 5, -1, "T", both },
        { "ours by station name", Type::Shoutcast, "/live", "<html>", two, true, 7, -1, "가", both },
        { "none named ours", Type::Shoutcast, "/live", "<html>", head + R"([{},{}]}})", false, 0, 0, "", both },
        { "pages that say nothing", Type::Shoutcast, "/live", "", "", false, 0, 0, "", {} },
        { "large page through the SHOUTcast socket", Type::Shoutcast, "/live", "<html>", large, true, 9, -1, "T",
            both },
        { "Icecast mount", Type::Icecast2, "/live", shoutcastPage, two, true, 7, -1, "가", ours },
        { "Icecast, no such mount", Type::Icecast2, "/gone", "", two, false, 0, 0, "",
            { "GET /status-json.xsl?mount=/gone" } },
        { "Icecast, no JSON", Type::Icecast2, "/live", "", "<html>Icecast</html>", false, 0, 0, "", ours },
        { "Icecast, the filter ignored on a large server", Type::Icecast2, "/live", "", large, true, 9, -1, "T", ours },
        { "Icecast, a mount to encode", Type::Icecast2, oddMount, "", odd, true, 2, -1, "",
            { "GET /status-json.xsl?mount=/%EA%B0%80%20b%26c" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeShoutcastServer server;
        server.statusPage = row.page;
        server.jsonStatus = row.json;
        server.titleReply = "HTTP/1.0 200 OK\r\n\r\n";
        server.icecastSources = true;
        if (row.type == Type::Icecast2)
            server.loginReply = "HTTP/1.1 200 OK\r\n\r\n";
        ASSERT_TRUE(server.Start());
        // The status is read in memory: a temporary folder that goes during
        // the session takes nothing from the poll.
        TestSandbox sandbox;
        ASSERT_TRUE(sandbox.Create("tavdj-status-tmp"));
        sandbox.SetEnv("TMPDIR", (sandbox.Dir() / "tmp").string());
        GShoutCastSource source;
        std::filesystem::remove_all(sandbox.Dir() / "tmp");
        source.SetServerProtocol({ row.type, row.mount, "source" });
        ASSERT_EQ(ConnectTo(source, server.Port()), GShoutCastSource::kOk);

        DownloadCompletion done;
        ASSERT_TRUE(source.FetchStatus(done.Handle()));
        ASSERT_TRUE(done.Wait(10000));
        EXPECT_EQ(done.result, 1); // a page arrived
        GShoutCastSource::SServerStatus status;
        EXPECT_EQ(source.TakeStatus(&status), row.usable);
        EXPECT_EQ(status.current, row.current);
        EXPECT_EQ(status.maximum, row.maximum);
        EXPECT_EQ(status.title, row.title);
        EXPECT_EQ(server.StatusRequests(), row.asked);
        EXPECT_FALSE(source.TakeStatus(&status)) << "taken once";
    }
}

TEST(GShoutCastSource, IcecastTitlesGoToTheMountWithTheSourceCredentialsAndTellTheAnswer)
{
    struct Row {
        const char* reply;
        int result;
    };
    const Row rows[] = {
        { "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<iceresponse><return>1</return></iceresponse>",
            GShoutCastSource::kOk },
        { "HTTP/1.0 401 Authentication Required\r\n\r\nYou need to authenticate\r\n",
            GShoutCastSource::kPasswordRefused },
        { "HTTP/1.0 400 Bad Request\r\n\r\nSource does not exist", GShoutCastSource::kRejected },
        { "\r\n", GShoutCastSource::kNoReply },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        FakeShoutcastServer server;
        server.titleReply = row.reply;
        server.icecastSources = true;
        server.loginReply = "HTTP/1.1 200 OK\r\n\r\n";
        ASSERT_TRUE(server.Start());
        GShoutCastSource source;
        source.SetServerProtocol({ GShoutCastSource::ServerType::Icecast2, "/라이브 1", "dj" });
        ASSERT_EQ(ConnectTo(source, server.Port(), "p&ss"), GShoutCastSource::kOk);
        ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleRequests().size() == 1; }));

        const std::string song = "가 & b #1+" + std::string(100, 'x');
        EXPECT_EQ(source.SendTitleNow(song.c_str(), "http://ignored"), row.result);
        ASSERT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.TitleRequests().size() == 2; }));
        const std::string prefix = "GET /admin/metadata?mount=%2F%EB%9D%BC%EC%9D%B4%EB%B8%8C%201&mode=updinfo&song=";
        EXPECT_EQ(server.TitleRequests()[0],
            prefix + "A&charset=UTF-8 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port())
                + "\r\nAuthorization: Basic ZGo6cCZzcw==\r\nUser-Agent: Mozilla(Fixed Value)\r\n\r\n");
        // The same cut as every title (81 bytes and "..."), then
        // percent-encoded UTF-8; the URL is no part of an Icecast title.
        const std::string cut = "%EA%B0%80%20%26%20b%20%231%2B" + std::string(81 - 11, 'x') + "...&charset=UTF-8 ";
        EXPECT_EQ(server.TitleRequests()[1].substr(0, prefix.size() + cut.size()), prefix + cut);
    }
}

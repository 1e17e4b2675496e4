// The built-in server over real loopback sockets: the source login, the
// listener protocol byte for byte, titles, pages, limits and commands.

#include "engine/server/CDJServer.h"

#include "engine/server/StreamFrames.h"
#include "engine/stream/GShoutCastSource.h"
#include "fakes/FakeClock.h"
#include "foundation/HttpGetFile.h"
#include "platform/MessageRegistry.h"
#include "platform/MessageTarget.h"
#include "support/DownloadCompletion.h"
#include "support/ServerRig.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <fstream>
#include <string>

using testutil::AfterHeader;
using testutil::LoopbackClient;
using testutil::ServerRig;
using testutil::SplitIcy;

namespace {

constexpr int kWait = 5000;
constexpr size_t kBlock = 8192;

std::string Block(char tag)
{
    return std::string(kBlock, tag);
}

// Sends one request and reads the whole answer until the server closes.
std::string Fetch(int port, const std::string& request)
{
    LoopbackClient client;
    if (!client.Connect(port) || !client.Send(request))
        return "<no connection>";
    if (!client.ReadToEnd(kWait))
        return "<not closed>";
    return client.Data();
}

std::string Percent(const std::string& text)
{
    std::string out;
    char buf[4];
    for (const unsigned char c : text) {
        std::snprintf(buf, sizeof buf, "%%%02x", c);
        out += buf;
    }
    return out;
}

// Reads until the listener holds count whole frames after its header.
bool WaitFrames(LoopbackClient& listener, size_t count)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWait);
    while (SplitIcy(AfterHeader(listener.Data())).audio.size() < count) {
        if (std::chrono::steady_clock::now() > end || !listener.ReadAtLeast(listener.Data().size() + 1, kWait))
            return false;
    }
    return true;
}

std::string AdminRequest(ServerRig& rig, const std::string& query)
{
    return "GET /admin.cgi?pass=" + rig.Server().GetPassword() + "&mode=updinfo&" + query + " HTTP/1.0\r\n\r\n";
}

} // namespace

TEST(CDJServer, SourceLoginTakeoverAndRefusal)
{
    ServerRig rig;
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(rig.Server().GetPassword().size(), 32u);
    EXPECT_TRUE(rig.HasLog("Starting server with ip:"));
    EXPECT_TRUE(rig.HasLog(" port:" + std::to_string(rig.Port()) + " pass:* "));
    EXPECT_FALSE(rig.HasLog(rig.Server().GetPassword()));

    LoopbackClient first;
    ASSERT_TRUE(rig.ConnectSource(first, "First", true));
    // Without the NUL after the password, as some clients send it.
    LoopbackClient second;
    ASSERT_TRUE(rig.ConnectSource(second, "Second", false));
    // The second took over: the first is closed.
    EXPECT_TRUE(first.ReadToEnd(kWait));

    LoopbackClient wrong;
    ASSERT_TRUE(wrong.Connect(rig.Port() + 1));
    ASSERT_TRUE(wrong.Send(std::string("tarnwick\0\n", 10)));
    ASSERT_TRUE(wrong.ReadToEnd(kWait));
    EXPECT_EQ(wrong.Data(), std::string("FAIL\r\n\r\n\0", 9));
    EXPECT_TRUE(rig.WaitLog("DJ Password Check Failed(pass:tarnwick)"));

    // The second still feeds listeners.
    ASSERT_TRUE(rig.WaitLog(" dj:icy-br:128"));
    LoopbackClient listener;
    ASSERT_TRUE(ServerRig::RequestStream(listener, rig.Port(), false));
    ASSERT_TRUE(listener.ReadUntil("\r\n\r\n", kWait));
    EXPECT_EQ(listener.Data(),
        "HTTP/1.1 200 OK\r\nContent-Type:audio/mpeg\r\nicy-name:Second\r\nicy-genre:Test\r\nicy-br:128\r\n\r\n");
    ASSERT_TRUE(second.Send(Block('a') + Block('b') + "rest"));
    ASSERT_TRUE(listener.ReadAtLeast(listener.Data().size() + 2 * kBlock, kWait));
    EXPECT_EQ(AfterHeader(listener.Data()), Block('a') + Block('b'));
    second.Close();
    EXPECT_TRUE(rig.WaitLog("DJ disconnected"));
}

TEST(CDJServer, ListenersGetEveryTitleChangeInBand)
{
    // Time stands still: titles changed within one tick must still arrive.
    FakeClock clock;
    ServerRig rig(std::make_unique<CDJServer>(platform::SocketApi::System(), platform::HostResolver::System(), clock));
    ASSERT_TRUE(rig.Start());
    LoopbackClient source;
    ASSERT_TRUE(rig.ConnectSource(source, "Station"));
    ASSERT_TRUE(rig.WaitLog(" dj:icy-br:128"));

    LoopbackClient listener;
    ASSERT_TRUE(ServerRig::RequestStream(listener, rig.Port(), true));
    ASSERT_TRUE(listener.ReadUntil("\r\n\r\n", kWait));
    EXPECT_NE(listener.Data().find("\r\nicy-metaint:8192\r\n\r\n"), std::string::npos);
    // The upper-case spelling asks the same; no header, no titles.
    LoopbackClient plain;
    ASSERT_TRUE(ServerRig::RequestStream(plain, rig.Port(), false));
    ASSERT_TRUE(plain.ReadUntil("\r\n\r\n", kWait));
    EXPECT_EQ(plain.Data().find("icy-metaint"), std::string::npos);

    std::string expectedPlain;
    size_t pushed = 0;
    // Each block reaches the listener before the next title change.
    auto push = [&](char tag) {
        ASSERT_TRUE(source.Send(Block(tag)));
        expectedPlain += Block(tag);
        ASSERT_TRUE(WaitFrames(listener, ++pushed));
    };
    push('1');
    ASSERT_EQ(Fetch(rig.Port(), AdminRequest(rig, "song=%41%42&url=")), testutil::kUpdateAnswer);
    push('2');
    ASSERT_EQ(Fetch(rig.Port(), AdminRequest(rig, "song=a+b")), testutil::kUpdateAnswer);
    push('3');
    push('4');
    ASSERT_EQ(Fetch(rig.Port(), "GET /admin.cgi?pass=wrong&mode=updinfo&song=x HTTP/1.0\r\n\r\n").substr(0, 15),
        "HTTP/1.0 200 OK");
    ASSERT_EQ(Fetch(rig.Port(), AdminRequest(rig, "song=" + Percent("가나") + "&url=" + Percent("http://x/'"))),
        testutil::kUpdateAnswer);
    push('5');

    ASSERT_TRUE(listener.ReadAtLeast(listener.Data().find("\r\n\r\n") + 4 + 5 * (kBlock + 1) + 4 * 16, kWait));
    const testutil::IcyFrames frames = SplitIcy(AfterHeader(listener.Data()));
    ASSERT_EQ(frames.audio.size(), 5u);
    EXPECT_EQ(frames.audio[0], Block('1'));
    EXPECT_EQ(frames.audio[4], Block('5'));
    auto padded = [](const std::string& text) {
        return text + std::string(16 * ((text.size() + 1) / 16 + 1) - text.size(), '\0');
    };
    EXPECT_EQ(frames.titles[0], padded("StreamTitle='Station';StreamUrl='';"));
    EXPECT_EQ(frames.titles[1], padded("StreamTitle='AB';StreamUrl='';"));
    EXPECT_EQ(frames.titles[2], padded("StreamTitle='a b';StreamUrl='';"));
    EXPECT_EQ(frames.titles[3], "");
    EXPECT_EQ(frames.titles[4], padded("StreamTitle='가나';StreamUrl='http://x/'';"));
    ASSERT_TRUE(plain.ReadAtLeast(plain.Data().find("\r\n\r\n") + 4 + 5 * kBlock, kWait));
    EXPECT_EQ(AfterHeader(plain.Data()), expectedPlain);
    EXPECT_TRUE(rig.HasLog(" title:AB"));
}

TEST(CDJServer, PagesPlaylistAndNotFoundAreRealHttpAnswers)
{
    ServerRig rig;
    ASSERT_TRUE(rig.Start(7));
    const int port = rig.Port();

    // A browser asking for the stream gets the status page, with a status
    // line and the marker the source client reads.
    const std::string status = Fetch(port, "GET / HTTP/1.1\r\nUser-Agent: Mozilla/5.0 (X11)\r\n\r\n");
    ASSERT_EQ(status.rfind("HTTP/1.0 200 OK\r\nContent-Type:text/html; charset=utf-8\r\nContent-Length:", 0), 0u)
        << status.substr(0, 200);
    const size_t marker = status.find("Stream is up at ... kbps with <B>0 of 7 listeners</B>");
    EXPECT_LT(marker, 10240u);
    EXPECT_NE(status.find("<b>방송중이 아닙니다.</b>"), std::string::npos);
    EXPECT_NE(status.find("http://127.0.0.1:" + std::to_string(port) + "/listen.pls"), std::string::npos);

    // Titles go into the page escaped: no markup, no spoofed marker.
    LoopbackClient source;
    ASSERT_TRUE(rig.ConnectSource(source, "<i>Name</i>"));
    ASSERT_TRUE(rig.WaitLog(" dj:icy-br:128"));
    ASSERT_EQ(Fetch(port, AdminRequest(rig, "song=" + Percent("with <B>99 of 99 listeners</B> $LISTNER$"))),
        testutil::kUpdateAnswer);
    const std::string page = Fetch(port, "GET /index.html HTTP/1.0\r\n\r\n");
    EXPECT_NE(page.find("현재 방송중 입니다."), std::string::npos);
    EXPECT_NE(page.find("&lt;i&gt;Name&lt;/i&gt;"), std::string::npos);
    EXPECT_NE(page.find("with &lt;B&gt;99 of 99 listeners&lt;/B&gt; $LISTNER$"), std::string::npos);
    EXPECT_EQ(page.find("<i>"), std::string::npos);

    // Path traversal, odd and non-GET requests get the index page.
    for (const char* request : { "GET /../../../../etc/passwd HTTP/1.0\r\n\r\n", "GET /..\\..\\x HTTP/1.0\r\n\r\n",
             "GET /missing.html HTTP/1.0\r\n\r\n", "POST / HTTP/1.0\r\n\r\n", "GET\r\n" }) {
        const std::string answer = Fetch(port, request);
        EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK", 0), 0u) << request;
        EXPECT_NE(answer.find("Stream is up"), std::string::npos) << request;
        EXPECT_EQ(answer.find("root:"), std::string::npos) << request;
    }

    // A link out of the folder counts as missing.
    std::filesystem::create_symlink("/etc/passwd", rig.Pages() + "/passwd.txt");
    EXPECT_EQ(Fetch(port, "GET /passwd.txt HTTP/1.0\r\n\r\n").find("root:"), std::string::npos);

    // Scripts are escaped for JS; pages with their own status line and
    // other files go out as they are.
    rig.WritePage("s.js", "var t='$SONGTITLE$';");
    EXPECT_NE(Fetch(port, "GET /s.js HTTP/1.0\r\n\r\n").find("var t='with \\x3cB\\x3e99"), std::string::npos);
    rig.WritePage("own.html", "ICY 200 OK\r\n\r\n$PORT$");
    EXPECT_EQ(Fetch(port, "GET /own.html HTTP/1.0\r\n\r\n"), "ICY 200 OK\r\n\r\n" + std::to_string(port));
    rig.WritePage("a.txt", "$PORT$");
    EXPECT_EQ(Fetch(port, "GET /a.txt HTTP/1.0\r\n\r\n"),
        "HTTP/1.0 200 OK\r\nContent-Type:text/plain; "
        "charset=utf-8\r\nContent-Length:6\r\nConnection:close\r\n\r\n$PORT$");

    EXPECT_EQ(Fetch(port, "GET /listen.pls HTTP/1.0\r\n\r\n"),
        "HTTP/1.1 200 OK\r\nContent-Type:text/acpls\r\n\r\n[playlist]\r\nNumberOfEntries=1\r\nFile1=http://127.0.0.1:"
            + std::to_string(port) + "/\r\nTitle1=TavDJServer\r\n\r\n");

    std::filesystem::remove(rig.Pages() + "/index.html");
    const std::string notFound = "HTTP/1.1 404 NotFound\r\nContent-Type:text/html\r\n\r\n";
    EXPECT_EQ(Fetch(port, "GET /INDEX.HTML HTTP/1.0\r\n\r\n"), notFound);
    EXPECT_EQ(Fetch(port, "GET /other HTTP/1.0\r\n\r\n"), notFound);
}

TEST(CDJServer, ListenerLimitCountsStreamingClientsOnly)
{
    ServerRig rig;
    ASSERT_TRUE(rig.Start(1));
    LoopbackClient first;
    ASSERT_TRUE(ServerRig::RequestStream(first, rig.Port(), false));
    ASSERT_TRUE(first.ReadUntil("\r\n\r\n", kWait));
    // Half-open connections and page requests do not fill the server.
    LoopbackClient idle;
    ASSERT_TRUE(idle.Connect(rig.Port()));
    EXPECT_NE(Fetch(rig.Port(), "GET /index.html HTTP/1.0\r\n\r\n").find("<B>1 of 1 listeners</B>"), std::string::npos);

    const std::string refusal = "ICY 400 Server Full\r\nicy-notice1:<BR>VEDAZ IDUZAD v1.x<BR>\r\n"
                                "icy-notice2:This server has reached its user limit<BR>\r\n\r\n";
    EXPECT_EQ(refusal.size(), 118u);
    EXPECT_EQ(Fetch(rig.Port(), "GET / HTTP/1.0\r\n\r\n"), refusal);
    EXPECT_TRUE(rig.HasLog("ServerFull(IP:127.0.0.1)(UserCount:"));

    // wParam other than 1 changes nothing; the dump marks the command done.
    rig.Server().PostCommand(platform::RegisterMessage("RM_SET_SERVERINFO"), 2, 5);
    rig.Server().ListClientInfo();
    // The dump's lines arrive one by one: wait for its last.
    ASSERT_TRUE(rig.WaitLog(" connection-count : "));
    EXPECT_TRUE(rig.HasLog("ServerInfo"));
    EXPECT_EQ(Fetch(rig.Port(), "GET / HTTP/1.0\r\n\r\n"), refusal);

    rig.Server().SetMaxListeners(2);
    ASSERT_TRUE(rig.Sync());
    LoopbackClient second;
    ASSERT_TRUE(ServerRig::RequestStream(second, rig.Port(), false));
    ASSERT_TRUE(second.ReadUntil("\r\n\r\n", kWait));
    EXPECT_EQ(second.Data().rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST(CDJServer, IntroComesFirstInWholePiecesWithEmptyTitleBlocks)
{
    ServerRig rig;
    std::string intro(10000, '\0');
    for (size_t i = 0; i < intro.size(); ++i)
        intro[i] = static_cast<char>('A' + i % 26);
    std::ofstream(rig.Folder() + "/intro.mp3", std::ios::binary) << intro;
    ASSERT_TRUE(rig.Start(100, rig.Folder() + "/intro.mp3"));
    LoopbackClient source;
    ASSERT_TRUE(rig.ConnectSource(source));
    ASSERT_TRUE(rig.WaitLog(" dj:icy-br:128"));

    LoopbackClient meta;
    ASSERT_TRUE(ServerRig::RequestStream(meta, rig.Port(), true));
    LoopbackClient plain;
    ASSERT_TRUE(ServerRig::RequestStream(plain, rig.Port(), false));
    ASSERT_TRUE(meta.ReadUntil("\r\n\r\n", kWait));
    ASSERT_TRUE(plain.ReadUntil("\r\n\r\n", kWait));
    ASSERT_TRUE(source.Send(Block('L')));

    const std::string padded = intro + std::string(6384, '\0');
    ASSERT_TRUE(plain.ReadAtLeast(plain.Data().find("\r\n\r\n") + 4 + 3 * kBlock, kWait));
    EXPECT_EQ(AfterHeader(plain.Data()), padded + Block('L'));
    ASSERT_TRUE(meta.ReadAtLeast(meta.Data().find("\r\n\r\n") + 4 + 3 * (kBlock + 1) + 32, kWait));
    const testutil::IcyFrames frames = SplitIcy(AfterHeader(meta.Data()));
    ASSERT_EQ(frames.audio.size(), 3u);
    EXPECT_EQ(frames.audio[0] + frames.audio[1], padded);
    EXPECT_EQ(frames.titles[0] + frames.titles[1], "");
    EXPECT_EQ(frames.audio[2], Block('L'));
    EXPECT_NE(frames.titles[2], "");
}

TEST(CDJServer, StartFailsOnAHeldPortAndLogsNothingAfterStop)
{
    ServerRig rig;
    ASSERT_TRUE(rig.Start());
    const int port = rig.Port();
    // A second server on the same ports fails with the failure line.
    ServerRig other;
    CDJServerParams params;
    params.port = port;
    params.pageFolder = other.Pages();
    std::vector<std::string> lines;
    params.logCallback
        = [](const char* text, void* user) { static_cast<std::vector<std::string>*>(user)->push_back(text); };
    params.logUser = &lines;
    CDJServer second;
    EXPECT_FALSE(second.Start(params));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("server start failed with ip:", 0), 0u);
    EXPECT_NE(lines[0].find(" port:" + std::to_string(port) + " pass:*"), std::string::npos);
    EXPECT_EQ(lines[0].find(second.GetPassword()), std::string::npos) << lines[0];
    EXPECT_FALSE(second.IsRunning());

    // Busy connections while stopping; no log line after Stop returns.
    LoopbackClient a;
    ASSERT_TRUE(a.Connect(port));
    LoopbackClient source;
    ASSERT_TRUE(rig.ConnectSource(source));
    rig.Server().ListClientInfo();
    rig.Server().Stop();
    EXPECT_FALSE(rig.Server().IsRunning());
    const size_t count = rig.LogCount();
    // Stop closed every connection: the peers see their end, and a thread
    // still running would log their removal.
    EXPECT_TRUE(a.ReadToEnd(kWait));
    EXPECT_TRUE(source.ReadToEnd(kWait));
    a.Close();
    source.Close();
    EXPECT_EQ(rig.LogCount(), count);
    rig.Server().ListClientInfo(); // dropped: not running

    // The ports are free again for a new run, with a new password.
    const std::string old = rig.Server().GetPassword();
    params.port = port;
    params.logCallback = nullptr;
    params.pageFolder = rig.Pages();
    ASSERT_TRUE(rig.Server().Start(params));
    EXPECT_NE(rig.Server().GetPassword(), old);
}

TEST(CDJServer, OwnSourceClientStreamsTitlesAndReadsTheStatusPage)
{
    ServerRig rig;
    ASSERT_TRUE(rig.Start(50));
    GShoutCastSource client;
    ASSERT_EQ(client.Connect("127.0.0.1", rig.Port(), 128, rig.Server().GetPassword().c_str(), "My Station",
                  "http://station/", "Jazz", "DJ"),
        GShoutCastSource::kOk);
    ASSERT_TRUE(rig.WaitLog(" dj:icy-br:128"));
    ASSERT_TRUE(rig.WaitLog(" title:My Station"));

    LoopbackClient listener;
    ASSERT_TRUE(ServerRig::RequestStream(listener, rig.Port(), true));
    ASSERT_TRUE(listener.ReadUntil("\r\n\r\n", kWait));
    EXPECT_NE(listener.Data().find("icy-name:My Station\r\nicy-genre:Jazz\r\nicy-br:128\r\n"), std::string::npos);
    std::string stream;
    for (int i = 0; i < 3 * 8; ++i)
        stream += std::string(1024, static_cast<char>('a' + i));
    for (size_t at = 0; at < stream.size(); at += 1024)
        ASSERT_EQ(client.Send(stream.data() + at, 1024), 0);
    ASSERT_TRUE(WaitFrames(listener, 3));
    EXPECT_EQ(client.UpdateTitle("Song 'One'", "http://u/"), GShoutCastSource::kOk);
    ASSERT_TRUE(rig.WaitLog(" title:Song 'One'"));
    const std::string more(kBlock, 'z');
    for (size_t at = 0; at < more.size(); at += 1024)
        ASSERT_EQ(client.Send(more.data() + at, 1024), 0);

    ASSERT_TRUE(listener.ReadUntil("StreamTitle='Song 'One'';StreamUrl='http://u/';", kWait));
    const testutil::IcyFrames frames = SplitIcy(AfterHeader(listener.Data()));
    ASSERT_EQ(frames.audio.size(), 4u);
    EXPECT_EQ(frames.audio[0] + frames.audio[1] + frames.audio[2], stream);
    EXPECT_EQ(frames.titles[0].rfind("StreamTitle='My Station';StreamUrl='http://station/';", 0), 0u);

    DownloadCompletion done;
    ASSERT_TRUE(client.FetchStatus(done.Handle()));
    ASSERT_TRUE(done.Wait(10000));
    int current = -1;
    int maximum = -1;
    EXPECT_EQ(client.ParseStatus(&current, &maximum), 1);
    EXPECT_EQ(current, 1);
    EXPECT_EQ(maximum, 50);
    client.Close();
}

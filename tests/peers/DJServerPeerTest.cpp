// The built-in server against real players and a real third-party source:
// mpg123, ffmpeg and curl listen (titles in-band, framing checked block by
// block), our own source client and ezstream feed it, and a browser agent
// gets the status page as a proper HTTP answer.

#include "engine/server/CDJServer.h"
#include "engine/stream/GShoutCastSource.h"
#include "support/ChildProcess.h"
#include "support/FfmpegTone.h"
#include "support/RequireTool.h"
#include "support/ServerRig.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

using testutil::ChildProcess;
using testutil::MakeMp3;
using testutil::ServerRig;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a shell line with its stderr joined to stdout.
bool StartShell(ChildProcess& child, const std::string& line)
{
    return child.Start({ "/bin/bash", "-c", "set -o pipefail; " + line + " 2>&1" });
}

// Everything the child writes until it closes its output, or timeoutMs: a
// child slow to start under load is waited for, not taken as done.
std::string ReadAll(ChildProcess& child, int timeoutMs)
{
    std::string all;
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !child.ReadLine(&line, static_cast<int>(left)))
            return all;
        all += line + "\n";
    }
}

bool WaitFileHas(const std::string& path, const std::string& part, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadFile(path).find(part) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Feeds the file through our source client a little faster than real time.
void Stream(GShoutCastSource& source, const std::string& bytes, size_t from, size_t to)
{
    for (size_t at = from; at < to; at += 1024) {
        const int n = static_cast<int>(std::min<size_t>(1024, to - at));
        ASSERT_EQ(source.Send(bytes.data() + at, n), 0);
        if ((at / 1024) % 32 == 31)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// curl with titles asked for, through the de-framer into a decoder.
bool StartDeframedListener(ChildProcess& child, const std::string& url, const std::string& titles)
{
    return StartShell(child,
        "curl -sS -H 'Icy-MetaData: 1' " + url + " | python3 " + testutil::SourcePath("tests/peers/icy_deframe.py")
            + " 8192 " + titles + " | mpg123 -t -q - && echo PIPE-OK");
}

// Waits until the server has handed out listener number n.
bool WaitListeners(ServerRig& rig, int n)
{
    return rig.WaitLog("AddClient(IP:127.0.0.1)(UserCount:" + std::to_string(n) + ")", 10000);
}

// A server for up to 10 listeners, fed and heard by real programs.
class DJServerPeers : public ::testing::Test {
protected:
    // Skips the test (fails it under CI) when one of the tools is missing.
    void Start(std::initializer_list<const char*> tools)
    {
        for (const char* tool : tools)
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        ASSERT_TRUE(rig.Start(10));
        url = "http://127.0.0.1:" + std::to_string(rig.Port()) + "/";
        titles = rig.Folder() + "/titles.txt";
    }

    ServerRig rig;
    std::string url;
    std::string titles; // as the de-framed listener saw them
};

} // namespace

TEST_F(DJServerPeers, PlayersDecodeTheStreamAndSeeEveryTitle)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "mpg123", "ffmpeg", "curl", "python3" }));
    if (IsSkipped())
        return;
    const std::string mp3 = rig.Folder() + "/tone.mp3";
    ASSERT_TRUE(MakeMp3(mp3, 12));
    const std::string bytes = ReadFile(mp3);
    ASSERT_GT(bytes.size(), 150000u);

    GShoutCastSource source;
    ASSERT_EQ(source.Connect("127.0.0.1", rig.Port(), 128, rig.Server().GetPassword().c_str(), "Peer Station",
                  "http://peer/", "Test", "DJ"),
        GShoutCastSource::kOk);
    ASSERT_TRUE(rig.WaitLog(" title:Peer Station"));

    ChildProcess mpg123;
    ASSERT_TRUE(StartShell(mpg123, "exec mpg123 -t -v " + url));
    ChildProcess ffmpeg;
    ASSERT_TRUE(
        StartShell(ffmpeg, "ffmpeg -nostdin -loglevel error -icy 1 -i " + url + " -f null - && echo FFMPEG-OK"));
    ChildProcess curl;
    ASSERT_TRUE(StartDeframedListener(curl, url, titles));
    ASSERT_TRUE(WaitListeners(rig, 3));
    EXPECT_FALSE(WaitFileHas(titles, "Peer Station", 1)); // nothing before audio
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    Stream(source, bytes, 0, bytes.size() / 2);
    ASSERT_TRUE(WaitFileHas(titles, "Peer Station", 10000));
    ASSERT_EQ(source.UpdateTitle("First 'Song' \xea\xb0\x80", ""), 0);
    ASSERT_TRUE(rig.WaitLog(" title:First"));
    Stream(source, bytes, bytes.size() / 2, bytes.size() * 3 / 4);
    ASSERT_TRUE(WaitFileHas(titles, "First 'Song'", 10000));
    ASSERT_EQ(source.UpdateTitle("Second Song", "http://second/"), 0);
    ASSERT_TRUE(rig.WaitLog(" title:Second Song"));
    Stream(source, bytes, bytes.size() * 3 / 4, bytes.size());
    ASSERT_TRUE(WaitFileHas(titles, "Second Song", 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    source.Close();
    rig.Server().Stop();

    const std::string mpgOut = ReadAll(mpg123, 20000);
    EXPECT_EQ(mpg123.Wait(10000), 0) << mpgOut;
    EXPECT_NE(mpgOut.find("Peer Station"), std::string::npos) << mpgOut;
    EXPECT_NE(mpgOut.find("StreamTitle='First 'Song' \xea\xb0\x80'"), std::string::npos) << mpgOut;
    EXPECT_NE(mpgOut.find("StreamTitle='Second Song';StreamUrl='http://second/'"), std::string::npos) << mpgOut;

    const std::string ffOut = ReadAll(ffmpeg, 20000);
    EXPECT_NE(ffOut.find("FFMPEG-OK"), std::string::npos) << ffOut;
    const std::string pipeOut = ReadAll(curl, 20000);
    EXPECT_NE(pipeOut.find("PIPE-OK"), std::string::npos) << pipeOut;
    EXPECT_EQ(pipeOut.find("bad title block"), std::string::npos) << pipeOut;
    const std::string seen = ReadFile(titles);
    EXPECT_LT(seen.find("Peer Station"), seen.find("First 'Song'"));
    EXPECT_LT(seen.find("First 'Song'"), seen.find("Second Song"));
}

TEST_F(DJServerPeers, EzstreamIsAThirdPartySourceWithTitleUpdates)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "ezstream", "ffmpeg", "curl", "python3" }));
    if (IsSkipped())
        return;
    const std::string dir = rig.Folder();
    ASSERT_TRUE(MakeMp3(dir + "/one.mp3", 4, "Ez One"));
    ASSERT_TRUE(MakeMp3(dir + "/two.mp3", 4, "Ez Two"));
    std::ofstream(dir + "/list.m3u") << dir << "/one.mp3\n" << dir << "/two.mp3\n";
    const std::string config = dir + "/ezstream.xml";
    std::ofstream(config) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ezstream>\n"
                             "<servers><server><protocol>ICY</protocol><hostname>127.0.0.1</hostname><port>"
                          << rig.Port() << "</port><password>" << rig.Server().GetPassword()
                          << "</password><tls>None</tls><reconnect_attempts>0</reconnect_attempts></server></servers>\n"
                             "<streams><stream><mountpoint>/</mountpoint><format>MP3</format>"
                             "<stream_name>Ez Station</stream_name><stream_genre>Tone</stream_genre>"
                             "<stream_bitrate>128</stream_bitrate></stream></streams>\n"
                             "<intakes><intake><type>playlist</type><filename>"
                          << dir
                          << "/list.m3u</filename><stream_once>Yes</stream_once></intake></intakes>\n"
                             "<metadata><format_str>@t@</format_str></metadata>\n</ezstream>\n";
    ::chmod(config.c_str(), 0600);

    ChildProcess curl;
    ASSERT_TRUE(StartDeframedListener(curl, url, titles));
    ASSERT_TRUE(WaitListeners(rig, 1));
    ChildProcess ezstream;
    ASSERT_TRUE(StartShell(ezstream, "exec ezstream -c " + config));
    ASSERT_TRUE(rig.WaitLog(" dj:", 10000));
    EXPECT_TRUE(rig.WaitLog(" title:Ez One", 15000));
    EXPECT_TRUE(rig.WaitLog(" title:Ez Two", 15000));
    const std::string ezOut = ReadAll(ezstream, 20000);
    EXPECT_EQ(ezstream.Wait(20000), 0) << ezOut;
    ASSERT_TRUE(WaitFileHas(titles, "Ez Two", 10000)) << ReadFile(titles);
    rig.Server().Stop();
    const std::string pipeOut = ReadAll(curl, 20000);
    EXPECT_NE(pipeOut.find("PIPE-OK"), std::string::npos) << pipeOut;
    EXPECT_TRUE(rig.HasLog(" dj:icy-name:Ez Station")) << ezOut;
    EXPECT_TRUE(rig.HasLog(" dj:icy-br:128"));
}

TEST_F(DJServerPeers, BrowserAgentGetsTheStatusPageOverHttp)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("curl"), "curl");
    ASSERT_TRUE(rig.Start(25));
    const std::string dir = rig.Folder();
    ChildProcess curl;
    ASSERT_TRUE(StartShell(curl,
        "curl -sS -A 'Mozilla/5.0 (X11; Linux x86_64)' -o " + dir
            + "/page.html -w 'CODE=%{http_code} TYPE=%{content_type}\\n' http://127.0.0.1:" + std::to_string(rig.Port())
            + "/"));
    const std::string out = ReadAll(curl, 20000);
    EXPECT_EQ(curl.Wait(10000), 0) << out;
    EXPECT_NE(out.find("CODE=200 TYPE=text/html; charset=utf-8"), std::string::npos) << out;
    const std::string page = ReadFile(dir + "/page.html");
    const size_t marker = page.find("Stream is up at ... kbps with <B>0 of 25 listeners</B>");
    EXPECT_LT(marker, 10240u);
    EXPECT_NE(page.find("<b>방송중이 아닙니다.</b>"), std::string::npos);
    EXPECT_TRUE(rig.WaitLog("DelClient(IP:127.0.0.1,Agent:Mozilla/5.0 (X11; Linux x86_64),"));
}

// The Icecast 2 source login against a real icecast2 running Debian's stock
// icecast.xml, as a new user has it: one listen socket, no SHOUTcast mount.
// A few seconds of MP3, the source listed on its mount with the station's
// headers, and the server's refusals as their codes. Then, on a server of
// our own configuration, the status poll among many mounts.

#include "engine/stream/GIcecastLogin.h"
#include "engine/stream/GIcecastStatus.h"
#include "engine/stream/GShoutCastSource.h"

#include "peers/IcecastServer.h"
#include "support/DownloadCompletion.h"
#include "support/FfmpegTone.h"
#include "support/RequireTool.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testutil::IcecastConfig;
using testutil::IcecastLimits;
using testutil::IcecastServer;
using testutil::ReadFile;

GIcecastLogin::SParams Params(int port, const std::string& mount, const std::string& password)
{
    GIcecastLogin::SParams p;
    p.host = "127.0.0.1";
    p.port = port;
    p.mount = mount;
    p.user = "source";
    p.password = password;
    p.stationName = "Station";
    p.genre = "Genre";
    p.stationUrl = "http://station.test";
    p.description = "DJ";
    p.bitrateKbps = 128;
    p.sampleRate = 44100;
    p.channels = 2;
    return p;
}

// A login on a socket of its own; the socket stays with the caller.
int LogIn(GSocket& socket, const GIcecastLogin::SParams& params)
{
    if (!socket.Create(params.port))
        return -1;
    (void)socket.LimitSendBuffer(GShoutCastSource::kSourceSendBuffer);
    return GIcecastLogin(platform::Clock::System(), params).Run(socket);
}

} // namespace

TEST(IcecastStockServer, TakesThePutLoginAndTheStreamAndRefusesWithItsCodes)
{
    for (const char* tool : { "icecast2", "ffmpeg" })
        TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
    if (::geteuid() == 0)
        TAVDJ_REQUIRE_TOOL(ToolOnPath("setpriv"), "setpriv");
    TAVDJ_REQUIRE_TOOL(std::filesystem::exists(IcecastServer::kStockConfig), IcecastServer::kStockConfig);
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start({}, IcecastConfig::Stock)) << icecast.ErrorLog();

    const std::string tone = icecast.Path("tone.mp3");
    ASSERT_TRUE(testutil::MakeMp3(tone, 3));
    const std::string mp3 = ReadFile(tone);
    ASSERT_GT(mp3.size(), 40000u);

    GSocket source;
    ASSERT_EQ(LogIn(source, Params(icecast.Port(), "/live", IcecastServer::kPassword)), GShoutCastSource::kOk)
        << icecast.ErrorLog();

    // At the stream's own pace (16000 bytes a second) until it is listed
    // with the station's headers, and to the end of the tone.
    const auto started = std::chrono::steady_clock::now();
    GIcecastStatus status;
    bool listed = false;
    for (size_t offset = 0; offset < mp3.size();) {
        const auto due = started + std::chrono::microseconds(offset * 1000000 / 16000);
        if (std::chrono::steady_clock::now() < due) {
            ASSERT_TRUE(source.Poll(nullptr));
            platform::Sleep(5);
            continue;
        }
        const int n = static_cast<int>(std::min<size_t>(1024, mp3.size() - offset));
        ASSERT_TRUE(source.Send(mp3.data() + offset, n));
        offset += static_cast<size_t>(n);
        if (!listed && offset % 16384 < 1024)
            listed = status.Parse(icecast.Status()) && status.ForMount("/live");
    }
    ASSERT_TRUE(listed) << icecast.Status();
    EXPECT_EQ(status.ForMount("/live")->serverName, "Station");
    EXPECT_NE(icecast.Status().find("\"audio_info\":\"bitrate=128;channels=2;samplerate=44100\""), std::string::npos)
        << icecast.Status();

    // The mount is taken; a wrong password is told as one.
    GSocket second;
    EXPECT_EQ(LogIn(second, Params(icecast.Port(), "/live", IcecastServer::kPassword)), GShoutCastSource::kMountInUse);
    GSocket wrong;
    EXPECT_EQ(LogIn(wrong, Params(icecast.Port(), "/other", "wrong")), GShoutCastSource::kPasswordRefused);

    // The end of the connection ends the source.
    source.Close();
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        gone = status.Parse(icecast.Status()) && !status.ForMount("/live");
        platform::Sleep(50);
    }
    EXPECT_TRUE(gone) << icecast.Status();
}

// A server carrying 80 mounts besides ours, whose whole status page is
// past what a small page bound holds: the poll asks for our mount only,
// and the count of our one listener arrives.
TEST(IcecastManyMounts, PollCountsOurListenerAmongEightyOtherMounts)
{
    for (const char* tool : { "icecast2", "ffmpeg", "curl" })
        TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
    if (::geteuid() == 0)
        TAVDJ_REQUIRE_TOOL(ToolOnPath("setpriv"), "setpriv");
    constexpr int kOthers = 80;
    IcecastLimits limits;
    limits.sources = kOthers + 1;
    limits.clients = kOthers + 20;
    // The others send their MP3 once; they stay on air for the test.
    limits.sourceTimeoutSeconds = 120;
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(limits)) << icecast.ErrorLog();
    const std::string tone = icecast.Path("tone.mp3");
    ASSERT_TRUE(testutil::MakeMp3(tone, 3));
    const std::string mp3 = ReadFile(tone);
    ASSERT_GT(mp3.size(), 40000u);

    std::vector<std::unique_ptr<GSocket>> others;
    for (int i = 0; i < kOthers; ++i) {
        GIcecastLogin::SParams params = Params(icecast.Port(), "/other-" + std::to_string(i), IcecastServer::kPassword);
        params.stationName = "Another station of the same server, number " + std::to_string(i);
        others.push_back(std::make_unique<GSocket>());
        ASSERT_EQ(LogIn(*others.back(), params), GShoutCastSource::kOk) << i << "\n" << icecast.ErrorLog();
        ASSERT_TRUE(others.back()->Send(mp3.data(), 8192));
        ASSERT_TRUE(others.back()->Poll(nullptr));
    }

    // Ours, as the controller logs in, with a mount that must be encoded.
    const std::string mount = "/라이브 live";
    GShoutCastSource source;
    source.SetServerProtocol({ GShoutCastSource::ServerType::Icecast2, mount, "source" });
    ASSERT_EQ(source.Connect("127.0.0.1", icecast.Port(), 128, IcecastServer::kPassword, "Station",
                  "http://station.test", "Genre", "DJ"),
        GShoutCastSource::kOk)
        << icecast.ErrorLog();

    // Streams at the MP3's own pace (16000 bytes a second), over and over,
    // and keeps the others' sockets drained, while until() is false.
    const auto started = std::chrono::steady_clock::now();
    size_t sent = 0;
    const auto streamUntil = [&](const std::function<bool()>& until, int limitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!until()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            while (std::chrono::steady_clock::now() >= started + std::chrono::microseconds(sent * 1000000 / 16000)) {
                const size_t offset = sent % (mp3.size() - mp3.size() % 1024);
                if (source.Send(mp3.data() + offset, 1024) != GShoutCastSource::kOk)
                    return false;
                sent += 1024;
            }
            if (source.Flush() != GShoutCastSource::kOk)
                return false;
            for (const auto& other : others)
                (void)other->Poll(nullptr);
            platform::Sleep(5);
        }
        return true;
    };

    // Every mount is listed on the whole page, which is past 25 KB.
    GIcecastStatus whole;
    std::string page;
    ASSERT_TRUE(streamUntil(
        [&] {
            page = icecast.Status();
            return whole.Parse(page) && whole.Sources().size() == kOthers + 1;
        },
        10000))
        << page.size() << "\n"
        << icecast.ErrorLog();
    EXPECT_GT(page.size(), 25u * 1024);

    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start({ "curl", "-s", "--max-time", "30", "-o", icecast.Path("heard.mp3"),
                                   icecast.Url("/%EB%9D%BC%EC%9D%B4%EB%B8%8C%20live") },
        false));
    DownloadCompletion done;
    GShoutCastSource::SServerStatus status;
    int polls = 0;
    // Polls again each time a read completes, until one counts our
    // listener.
    const bool counted = streamUntil(
        [&] {
            if (polls > 0 && !done.Wait(1))
                return false;
            if (polls > 0 && source.TakeStatus(&status) && status.current == 1)
                return true;
            done.result = -1;
            ++polls;
            EXPECT_TRUE(source.FetchStatus(done.Handle()));
            return false;
        },
        20000);
    EXPECT_TRUE(counted) << polls << " polls, " << status.current << "\n" << icecast.Status();
    EXPECT_TRUE(status.usable);
    EXPECT_EQ(status.maximum, GShoutCastSource::kUnknownLimit);
    // The whole page, as a server that does not filter gives it, counts
    // the same listener.
    ASSERT_TRUE(whole.Parse(icecast.Status()));
    ASSERT_NE(whole.ForMount(mount), nullptr);
    EXPECT_EQ(whole.ForMount(mount)->listeners, 1);
    // The server was asked for our mount, and gave that alone: each poll's
    // page is a fraction of the whole (its log leaves out the question).
    const std::string log = ReadFile(icecast.Path("log/access.log"));
    std::istringstream lines(log);
    const std::string answer = "\"GET /status-json.xsl HTTP/1.1\" 200 ";
    int answered = 0;
    for (std::string line; std::getline(lines, line);) {
        const size_t ok = line.find(answer);
        if (ok == std::string::npos || line.find(GShoutCastSource::kAgent) == std::string::npos)
            continue;
        ++answered;
        EXPECT_LT(std::stol(line.substr(ok + answer.size())), 2048) << line;
    }
    EXPECT_GE(answered, 1) << log;
    const std::string asked = "/status-json.xsl?mount=/%EB%9D%BC%EC%9D%B4%EB%B8%8C%20live";
    GIcecastStatus filtered;
    char* buffer = nullptr;
    ASSERT_TRUE(HttpGetFile(
        &buffer, nullptr, icecast.Url(asked).c_str(), platform::kNoTarget, true, "test", -1, false, nullptr));
    const std::unique_ptr<char[]> owned(buffer);
    ASSERT_TRUE(filtered.Parse(buffer));
    EXPECT_EQ(filtered.Sources().size(), 1u);
    ASSERT_NE(filtered.ForMount(mount), nullptr) << buffer;
    listener.Stop();
    source.Close();
}

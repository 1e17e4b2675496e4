// The Icecast 2 source login against a real icecast2 running Debian's stock
// icecast.xml, as a new user has it: one listen socket, no SHOUTcast mount.
// A few seconds of MP3, the source listed on its mount with the station's
// headers, and the server's refusals as their codes.

#include "engine/stream/GIcecastLogin.h"
#include "engine/stream/GIcecastStatus.h"
#include "engine/stream/GShoutCastSource.h"

#include "peers/IcecastServer.h"
#include "support/FfmpegTone.h"
#include "support/RequireTool.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

using testutil::IcecastConfig;
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

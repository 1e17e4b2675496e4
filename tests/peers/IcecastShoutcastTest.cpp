// The source client against a real Icecast 2 with a SHOUTcast-compatible
// listen socket: login, a stream a real listener decodes, titles in the
// server's status, refusals.

#include "engine/stream/GShoutCastSource.h"

#include "peers/IcecastServer.h"
#include "support/FfmpegTone.h"
#include "support/RequireTool.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

using testutil::IcecastServer;
using testutil::ReadFile;

const char* const kPassword = IcecastServer::kPassword;

class IcecastShoutcastTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : { "icecast2", "curl", "ffmpeg", "ffprobe", "mpg123" })
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        if (::geteuid() == 0)
            TAVDJ_REQUIRE_TOOL(ToolOnPath("setpriv"), "setpriv");
        ASSERT_TRUE(m_icecast.Start()) << m_icecast.ErrorLog();
    }

    IcecastServer m_icecast;
};

} // namespace

TEST_F(IcecastShoutcastTest, StreamPlaysForARealListenerAndTitlesChange)
{
    // Eight seconds of a 440 Hz tone as 128 kbit/s MP3.
    const std::string tone = m_icecast.Path("tone.mp3");
    ASSERT_TRUE(testutil::MakeMp3(tone, 8));
    const std::string mp3 = ReadFile(tone);
    ASSERT_GT(mp3.size(), 100000u);

    GShoutCastSource source;
    ASSERT_EQ(
        source.Connect("127.0.0.1", m_icecast.Port(), 128, kPassword, "Station", "http://station.test", "Genre", "DJ"),
        GShoutCastSource::kOk)
        << m_icecast.ErrorLog();
    ASSERT_TRUE(source.IsConnected());

    // At the stream's own pace: 16000 bytes a second in 1024-byte chunks.
    const auto started = std::chrono::steady_clock::now();
    size_t offset = 0;
    auto pump = [&](int forMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(forMs);
        while (std::chrono::steady_clock::now() < until && offset < mp3.size()) {
            const auto due = started + std::chrono::microseconds(offset * 1000000 / 16000);
            if (std::chrono::steady_clock::now() >= due) {
                const int n = static_cast<int>(std::min<size_t>(1024, mp3.size() - offset));
                ASSERT_EQ(source.Send(mp3.data() + offset, n), GShoutCastSource::kOk);
                offset += static_cast<size_t>(n);
            } else {
                platform::Sleep(5);
            }
        }
    };
    pump(500);

    const std::string heard = m_icecast.Path("heard.mp3");
    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start({ "curl", "-s", "--max-time", "3", "-o", heard, m_icecast.Url("/live") }, false));
    const std::string korean = "한국어 제목 \xE2\x99\xAA Test";
    bool titled = false;
    for (int i = 0; i < 60 && listener.Wait(0) == -1; ++i) {
        pump(100);
        if (i == 10) {
            EXPECT_EQ(source.UpdateTitle(korean.c_str(), ""), GShoutCastSource::kOk);
        }
        if (i > 10 && !titled)
            titled = m_icecast.Status().find(korean) != std::string::npos;
    }
    for (int i = 0; i < 30 && !titled; ++i) {
        pump(100);
        titled = m_icecast.Status().find(korean) != std::string::npos;
    }
    EXPECT_TRUE(titled) << m_icecast.Status();

    testutil::ChildProcess probe;
    ASSERT_TRUE(
        probe.Start({ "ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", heard }));
    std::string codec;
    ASSERT_TRUE(probe.ReadLine(&codec, 10000));
    EXPECT_EQ(codec, "mp3");
    EXPECT_GT(ReadFile(heard).size(), 16000u);
    testutil::ChildProcess decode;
    ASSERT_TRUE(decode.Start({ "mpg123", "-q", "-t", heard }, false));
    EXPECT_EQ(decode.Wait(10000), 0);

    source.Close();
    EXPECT_FALSE(source.IsConnected());
}

TEST_F(IcecastShoutcastTest, WrongPasswordAndClosedPortGiveTheirCodes)
{
    GShoutCastSource source;
    // Refused by a close without a reply, which the source client tells
    // apart for the controller to count.
    EXPECT_EQ(source.Connect("127.0.0.1", m_icecast.Port(), 128, "wrong", "S", "", "", ""),
        GShoutCastSource::kClosedAfterPassword);
    EXPECT_FALSE(source.IsConnected());

    const int closed = testutil::PickPortPair();
    ASSERT_GT(closed, 0);
    EXPECT_EQ(source.Connect("127.0.0.1", closed, 128, kPassword, "S", "", "", ""), GShoutCastSource::kConnectFailed);
}

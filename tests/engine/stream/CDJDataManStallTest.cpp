// The controller against a server that takes the login and then stops
// reading, on a clock the test moves: the drop is reported once nothing has
// left for the stall limit, or at once when the queue reaches its cap; a
// recording kept for the reconnect goes on in the same file through the
// next login and holds everything captured before and after; each
// connection's stream opens with a frame header.
#include "engine/stream/DJDataManFixture.h"

#include "engine/audio/AudioSignals.h"
#include "engine/stream/CMp3FrameSync.h"
#include "fakes/FakeShoutcastServer.h"
#include "fakes/ManualClock.h"
#include "support/RequireTool.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr int kRate = 44100;
constexpr int kPreset320 = 0; // 40 kB a second: the buffers fill soon

class DJDataManStall : public DJDataManFixture {
protected:
    void SetUp() override
    {
        m_pClock = &m_clock;
        CreateController();
        ASSERT_EQ(m_dj->Init("녹음", m_window.Handle()), 1);
    }

    // A second at a time, each taken whole before the next: a device never
    // delivers faster than the capture's ring is read.
    bool Feed(int seconds)
    {
        for (int i = 0; i < seconds; ++i) {
            m_waveIn.Feed(audiotest::StereoTones(440.0, 660.0, kRate, 8000.0, kRate));
            m_nFedFrames += kRate;
            if (!Settle())
                return false;
        }
        return true;
    }

    // Until the pump has taken what was fed and the send thread has handed
    // on everything encoded: the count stands still over many rounds.
    bool Settle()
    {
        uint64_t bytes = ~0ULL;
        for (int round = 0; round < 500; ++round) {
            const uint64_t sleeps = m_clock.Sleeps();
            if (!m_window.RunUntil([&] { return m_clock.Sleeps() >= sleeps + 100; }, 5000))
                return false;
            if (m_waveIn.PendingSamples() == 0 && m_dj->GetBytesSent() == bytes)
                return true;
            bytes = m_dj->GetBytesSent();
        }
        return false;
    }

    ManualClock m_clock;
    int m_nFedFrames = 0;
};

// Stereo 16-bit frames the file decodes to.
long DecodedFrames(const std::string& path)
{
    std::FILE* pipe = ::popen(("mpg123 -q -s '" + path + "' 2>/dev/null").c_str(), "r");
    if (!pipe)
        return -1;
    long bytes = 0;
    char block[65536];
    size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, pipe)) > 0)
        bytes += static_cast<long>(n);
    return ::pclose(pipe) == 0 ? bytes / 4 : -1;
}

} // namespace

TEST_F(DJDataManStall, AStalledServerIsADropAndTheRecordingGoesOnThroughTheReconnect)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("mpg123"), "mpg123");
    const struct {
        const char* name;
        int seconds; // fed while the server reads nothing
        bool waitsForTheLimit; // else the queue's cap ends it at once
    } cases[] = {
        { "silent past the limit", 4, true },
        { "queue at its cap", 12, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_nFedFrames = 0;
        FakeShoutcastServer server;
        server.readStream = false;
        server.smallSourceWindow = true;
        ASSERT_TRUE(server.Start());
        std::filesystem::create_directories(m_home.Path("recordings"));
        EditSettings(*m_dj, [&](DJSettings& s) {
            s.m_strAddress = "127.0.0.1";
            s.m_nPort = server.Port();
            s.m_nCodecN = 0;
            s.m_nFormatN = kPreset320;
            s.m_nEnable = 1;
            s.m_strPath = m_home.Path("recordings");
        });
        std::string text;
        int code = 0;
        ASSERT_EQ(m_dj->Connect(&text, &code), 1) << text;
        ASSERT_TRUE(m_dj->IsRecording());
        const std::string recording = m_dj->GetRecordingPath();

        ASSERT_TRUE(Feed(c.seconds));
        if (c.waitsForTheLimit) {
            // Nothing has passed on the clock: a pause is no drop yet.
            m_clock.Advance(GShoutCastSource::kStallLimitMs - 100);
            ASSERT_TRUE(Settle());
            EXPECT_EQ(m_dj->IsConnected(), 1);
            m_clock.Advance(100);
        }
        EXPECT_TRUE(m_window.RunUntil([&] { return m_dj->IsConnected() == 0; }, 10000));
        EXPECT_TRUE(m_window.RunUntil([&] { return !m_dj->IsOnAir(); }, 5000));

        // What the window does with reconnection on: the connection goes,
        // the recording stays, the next login continues it.
        ASSERT_TRUE(Settle());
        m_dj->Disconnect(CDJDataMan::KeepRecording::Yes);
        EXPECT_TRUE(m_dj->IsRecording());
        server.readStream = true;
        ASSERT_EQ(m_dj->Connect(&text, &code), 1) << text;
        EXPECT_EQ(server.SourceConnections(), 2);
        EXPECT_EQ(m_dj->GetRecordingPath(), recording);
        ASSERT_TRUE(Feed(2));
        EXPECT_EQ(m_dj->IsConnected(), 1);
        // The encoder ran on through the login, yet both streams open with
        // a frame header: a server that decodes its source plays at once.
        for (const std::string& stream : server.SourceStreams()) {
            const size_t head = stream.find("\n\n");
            ASSERT_NE(head, std::string::npos);
            ASSERT_GE(stream.size(), head + 2 + CMp3FrameSync::kHeaderBytes);
            EXPECT_NE(CMp3FrameSync::FrameBytes(reinterpret_cast<const unsigned char*>(stream.data()) + head + 2), 0);
        }
        m_dj->Disconnect();
        EXPECT_FALSE(m_dj->IsRecording());
        EXPECT_TRUE(m_dj->IsMonitoring());

        // Every second fed is in the one file; the encoder adds at most a
        // few frames of its own at each start and end.
        const long frames = DecodedFrames(recording);
        EXPECT_GE(frames, m_nFedFrames - 2 * 1152);
        EXPECT_LE(frames, m_nFedFrames + 6 * 1152);
    }
}

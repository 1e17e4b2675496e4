// The controller against a server that decodes its source: Debian's
// liquidsoap with input.harbor takes the Icecast 2 login, with capture
// through ALSA paced by a private PulseAudio. A relay between keeps what
// each login sent; liquidsoap's output (a dummy one, which starts once the
// source decodes) tells when the station is heard, and its metadata handler
// prints the titles it got.
#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CMp3FrameSync.h"
#include "engine/stream/CSysSoundOff2.h"
#include "peers/ControllerOnWindow.h"
#include "peers/SoundFixtures.h"

#include "fakes/FakeMainWindow.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/RequireTool.h"
#include "support/TcpRelay.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kLogins = 10;
constexpr long kHeardWithinMs = 5000;
const std::string kPassword = "harbor-pass";
const std::string kPresenter = "DJ 김";

class LiquidsoapSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOL("liquidsoap");
        m_home = std::make_unique<TempHome>();
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        const std::string tone = m_dir / "tone.raw";
        ASSERT_TRUE(peers::WriteRaw(tone, peers::StereoTone(kRate, 1000.0, 8000.0, 20 * kRate)));
        peers::UseAlsaConfig(m_dir, m_env, "pcm.!default " + peers::ToneDevice(tone, m_pulse.MonitorPcm()) + "\n");
        ASSERT_NO_FATAL_FAILURE(StartLiquidsoap());
        ASSERT_TRUE(m_relay.Start(m_nHarborPort));
    }

    void TearDown() override
    {
        m_dj.reset();
        RestoreSystemSounds();
    }

    // A harbor that buffers one second before its output starts, so a
    // source it can decode at once is heard soon after its login.
    void StartLiquidsoap()
    {
        const std::string script = m_dir / "harbor.liq";
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_nHarborPort = testutil::PickPortPair();
            ASSERT_GT(m_nHarborPort, 0);
            std::ofstream(script) << "settings.init.allow_root.set(true)\n"
                                     "settings.log.stdout.set(true)\n"
                                     "settings.log.file.set(false)\n"
                                     "settings.harbor.bind_addrs.set([\"127.0.0.1\"])\n"
                                     "s = input.harbor(\"live\", port="
                                  << m_nHarborPort << ", password=\"" << kPassword
                                  << "\", buffer=1.)\n"
                                     "s = source.on_metadata(s, fun (m) -> log.important(\"TAVDJ-TITLE \" ^ "
                                     "m[\"title\"]))\n"
                                     "output.dummy(fallible=true, on_start=fun () -> log.important(\"TAVDJ-HEARD\"), "
                                     "on_stop=fun () -> log.important(\"TAVDJ-SILENT\"), s)\n";
            // Its media libraries keep a cache in the home: the test's own.
            ASSERT_TRUE(m_liquidsoap.Start(
                { "/bin/bash", "-c", "exec env HOME=" + m_dir.Path() + " liquidsoap " + script + " 2>&1" }));
            if (WaitLine("Adding mountpoint '/live' on port " + std::to_string(m_nHarborPort), 30000))
                return;
            // The port was taken meanwhile: liquidsoap ends; another one.
            m_liquidsoap.Stop();
        }
        FAIL() << "liquidsoap did not open its harbor\n" << m_liquidsoapLog;
    }

    // Until liquidsoap prints a line holding text, reading on from the line
    // the last wait found; the window's messages keep flowing meanwhile.
    bool WaitLine(const std::string& text, uint32_t timeoutMs)
    {
        return m_window.RunUntil(
            [&] {
                std::string line;
                while (m_liquidsoap.ReadLine(&line, 5)) {
                    m_liquidsoapLog += line + "\n";
                    if (line.find(text) != std::string::npos)
                        return true;
                }
                return false;
            },
            timeoutMs);
    }

    void StartController()
    {
        m_dj = std::make_unique<CDJDataMan>(m_home->Path("SETTING.ini"));
        ASSERT_NO_FATAL_FAILURE(peers::StartController(m_dj, m_window, m_relay.Port(), kPassword, [&](DJSettings& s) {
            s.m_nServerType = 1;
            s.m_strMount = "/live";
            s.m_strUser = "source";
            s.m_strAIM = kPresenter;
            s.m_nTitleWithCJName = 1;
            s.m_nCodecN = 0;
            s.m_nFormatN = 3;
            // Recording on: a reconnect keeps the encoder running through
            // its login, as the window's reconnection does.
            s.m_nEnable = 1;
            s.m_strPath = m_dir.Path();
        }));
    }

    std::unique_ptr<TempHome> m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    testutil::ChildProcess m_liquidsoap;
    std::string m_liquidsoapLog;
    int m_nHarborPort = 0;
    testutil::TcpRelay m_relay;
    FakeMainWindow m_window;
    std::unique_ptr<CDJDataMan> m_dj;
};

} // namespace

TEST_F(LiquidsoapSource, EveryLoginAndReconnectStartsOnAFrameHeaderAndIsHeardAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartController());
    std::vector<long> heardAfterMs;
    for (int login = 0; login < kLogins; ++login) {
        SCOPED_TRACE("login " + std::to_string(login));
        // Every second login continues the recording: the encoder has run
        // on since the last connection ended.
        const bool reconnect = login % 2 == 1;
        ASSERT_EQ(m_dj->IsRecording(), reconnect);
        std::string text;
        int code = -9;
        ASSERT_EQ(m_dj->Connect(&text, &code, reconnect ? CDJDataMan::Attempt::Retry : CDJDataMan::Attempt::Fresh), 1)
            << code << " " << text << "\n"
            << m_liquidsoapLog;
        // Timed from the first bytes sent: a new capture stream of the
        // sound server starts late, now and then by seconds.
        ASSERT_TRUE(m_window.RunUntil([&] { return m_dj->GetBytesSent() > 0; }, 10000));
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitLine("TAVDJ-HEARD", 20000)) << m_liquidsoapLog;
        heardAfterMs.push_back(static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count()));
        // Its one second of buffer and the decoder's first look take little
        // more than a second; a stream joined in the middle of a frame is
        // heard about 7 s later than that.
        EXPECT_LT(heardAfterMs.back(), kHeardWithinMs);
        if (login == 0) {
            m_dj->SendTitle("밤의 노래", "");
            EXPECT_TRUE(WaitLine("TAVDJ-TITLE [" + kPresenter + "] 밤의 노래", 10000)) << m_liquidsoapLog;
        }
        m_dj->Disconnect(reconnect ? CDJDataMan::KeepRecording::No : CDJDataMan::KeepRecording::Yes);
        ASSERT_TRUE(WaitLine("TAVDJ-SILENT", 20000)) << m_liquidsoapLog;
    }

    std::string figures;
    for (long ms : heardAfterMs)
        figures += " " + std::to_string(ms);
    RecordProperty("heard_after_ms", figures);

    // What each login brought the server, past its request's head, opens
    // with a frame header that the next one confirms.
    int sources = 0;
    for (const std::string& carried : m_relay.Carried()) {
        if (carried.rfind("PUT /live ", 0) != 0)
            continue;
        SCOPED_TRACE("source " + std::to_string(sources++));
        const size_t head = carried.find("\r\n\r\n");
        ASSERT_NE(head, std::string::npos);
        const auto* stream = reinterpret_cast<const unsigned char*>(carried.data()) + head + 4;
        ASSERT_GT(carried.size(), head + 4 + 2 * CMp3FrameSync::kMaxFrameBytes);
        const int frame = CMp3FrameSync::FrameBytes(stream);
        ASSERT_GT(frame, 0);
        EXPECT_GT(CMp3FrameSync::FrameBytes(stream + frame), 0);
    }
    EXPECT_EQ(sources, kLogins);
}

// The program's own mix over a real desktop sound server (a private
// PulseAudio, and a private PipeWire through its PulseAudio protocol): the
// controller and its mixer model on the server's mixer and capture, a tone
// played to the default output, another on the microphone, the broadcast
// heard through a real Icecast 2 and decoded.
#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CSysSoundOff2.h"
#include "peers/ControllerOnWindow.h"
#include "peers/IcecastServer.h"
#include "peers/SoundServers.h"
#include "platform/ServerMixer.h"
#include "platform/ServerWaveIn.h"

#include "fakes/FakeMainWindow.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using testutil::IcecastServer;

constexpr int kRate = 44100;
constexpr double kMusicHz = 440.0;
constexpr double kMicHz = 660.0;
constexpr double kToneDbfs = -12.0;

double Db(double ratio)
{
    return 20.0 * std::log10(std::max(ratio, 1e-9));
}

class SoundServerMix : public ::testing::TestWithParam<peers::SoundServerKind> {
protected:
    void SetUp() override
    {
        REQUIRE_SOUND_SERVER(GetParam());
        for (const char* tool : { "icecast2", "curl", "mpg123" })
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        if (::geteuid() == 0)
            TAVDJ_REQUIRE_TOOL(ToolOnPath("setpriv"), "setpriv");
        ASSERT_TRUE(m_icecast.Start()) << m_icecast.ErrorLog();
        m_home = std::make_unique<TempHome>();
        ASSERT_NO_FATAL_FAILURE(m_server.Start(GetParam(), m_dir, m_env));
        ASSERT_GT(m_server.PlayTone(peers::ToneTo::Output, kMusicHz, kToneDbfs, 120), 0);
        ASSERT_GT(m_server.PlayTone(peers::ToneTo::Microphone, kMicHz, kToneDbfs, 120), 0);
        m_pSound = platform::SoundServer::Connect(std::chrono::seconds(5));
        ASSERT_NE(m_pSound, nullptr) << m_server.Logs();
        m_pMixer = std::make_unique<platform::ServerMixer>(*m_pSound);
        m_pCapture = std::make_unique<platform::ServerWaveIn>(*m_pMixer);

        DJDataManSystems systems;
        systems.pMixer = m_pMixer.get();
        systems.pWaveIn = m_pCapture.get();
        m_dj = std::make_unique<CDJDataMan>(m_home->Path("SETTING.ini"), systems);
        ASSERT_NO_FATAL_FAILURE(peers::StartController(
            m_dj, m_window, m_icecast.Port(), IcecastServer::kPassword, [](DJSettings& s) { s.m_nFormatN = 3; }));
        m_before = m_server.Snapshot();
    }

    void TearDown() override
    {
        m_dj.reset();
        m_pCapture.reset();
        m_pMixer.reset();
        m_pSound.reset();
        RestoreSystemSounds();
    }

    // A second and a half of the station as a listener hears it, decoded;
    // the amplitude of each tone in its last half second.
    struct Heard {
        double music = 0;
        double mic = 0;
    };
    Heard Listen(const std::string& name)
    {
        const std::string path = m_dir / name;
        peers::ListenWhileTheWindowRuns(m_window, m_icecast.Url("/live"), path, 128 * 1000 / 8 * 3 / 2);
        std::string errors;
        EXPECT_EQ(peers::Run("mpg123 -q -w '" + path + ".wav' '" + path + "' 2>&1", &errors), 0) << errors;
        peers::Wav wav;
        EXPECT_TRUE(peers::ReadWav(path + ".wav", &wav));
        Heard heard;
        const size_t frames = wav.samples.size() / 2;
        if (wav.channels != 2 || frames < size_t(kRate))
            return heard;
        // Tenths of a second: the mix holds a microphone on a clock of its
        // own by dropping or repeating frames, which moves its pitch by the
        // clocks' difference; a long window would take that for a loss.
        const size_t window = size_t(kRate / 10);
        const size_t from = frames - 5 * window - size_t(kRate / 20);
        for (int i = 0; i < 5; ++i) {
            heard.music += peers::ToneAmplitude(wav.samples, 2, 0, kRate, kMusicHz, from + i * window, window) / 5;
            heard.mic += peers::ToneAmplitude(wav.samples, 2, 0, kRate, kMicHz, from + i * window, window) / 5;
        }
        return heard;
    }

    // Holds talk-over on or off until its fade has run, and a little more
    // for what was in the road already.
    void TalkOver(bool on)
    {
        ASSERT_NE(m_dj->StartTalkOverFade(on), 0);
        ASSERT_TRUE(m_window.RunUntil([&] { return !m_dj->IsFadeRunning(); }, 5000));
        m_window.RunFor(700);
    }

    int SourceIndex(const std::string& name)
    {
        CMixerDeviceList& list = m_dj->MixerDevices();
        for (int s = 0; s < list.GetSourceCount(0); ++s) {
            std::string line;
            list.GetSourceName(0, s, &line);
            if (line == name)
                return s;
        }
        return -1;
    }

    // The recording lines, one a line, for a failure's message.
    std::string LineNames()
    {
        CMixerDeviceList& list = m_dj->MixerDevices();
        std::string names;
        for (int s = 0; s < list.GetSourceCount(0); ++s) {
            std::string line;
            list.GetSourceName(0, s, &line);
            names += line + "\n";
        }
        return names;
    }

    IcecastServer m_icecast;
    std::unique_ptr<TempHome> m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivateSoundServer m_server;
    std::unique_ptr<platform::SoundServer> m_pSound;
    std::unique_ptr<platform::ServerMixer> m_pMixer;
    std::unique_ptr<platform::ServerWaveIn> m_pCapture;
    FakeMainWindow m_window;
    std::unique_ptr<CDJDataMan> m_dj;
    peers::SoundServerSnapshot m_before;
};

} // namespace

TEST_P(SoundServerMix, TalkOverFadesTheMusicAndBringsInTheMicrophoneAndAChosenLineIsRecordedAlone)
{
    const double played = 32767.0 * std::pow(10.0, kToneDbfs / 20.0);
    CMixerDeviceList& list = m_dj->MixerDevices();
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.SelectMixer(list.FindWaveInMixer(0)), 1);
    std::string product;
    list.GetMixerName(&product);
    EXPECT_EQ(product, peers::SoundServerName(GetParam()));
    EXPECT_EQ(SourceIndex(platform::ServerMixer::kStereoMixName), 0);
    const int mic = SourceIndex(peers::kMicDescription);
    EXPECT_GT(mic, 0) << LineNames();
    EXPECT_GT(SourceIndex(std::string("Monitor of ") + peers::kSpeakersDescription), mic);

    std::string text;
    int code = -9;
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    ASSERT_TRUE(m_window.RunUntil([&] { return m_dj->GetBytesSent() > 0; }, 5000));
    // The broadcast's capture is a new stream of the server's, which takes a
    // moment to bring the music: the meter shows it.
    ASSERT_TRUE(m_window.RunUntil([&] { return m_dj->GetPeakLevel() > 40; }, 5000)) << m_dj->GetPeakLevel();
    m_window.RunFor(500);

    // A new presenter's station: the music as the computer plays it, and
    // no microphone.
    const Heard normal = Listen("normal.mp3");
    EXPECT_NEAR(Db(normal.music / played), 0.0, 3.0) << normal.music;
    EXPECT_LT(Db(normal.mic / played), -40.0) << normal.mic;

    TalkOver(true);
    const Heard talking = Listen("talking.mp3");
    EXPECT_LE(Db(talking.music / normal.music), -9.0) << talking.music;
    EXPECT_NEAR(Db(talking.mic / played), 0.0, 3.0) << talking.mic;

    TalkOver(false);
    const Heard after = Listen("after.mp3");
    EXPECT_NEAR(Db(after.music / played), 0.0, 3.0) << after.music;
    EXPECT_LT(Db(after.mic / played), -40.0) << after.mic;

    // The microphone chosen as the recording line: it alone, as it is.
    // Its recording is a new stream of the server's, whose first sound
    // takes seconds on a loaded machine, while the meter may still show the
    // mix that went before: the listener waits until the microphone is
    // there at all, and then listens again to measure it.
    ASSERT_EQ(list.SelectSourceLine(mic, 0), 1);
    Heard first;
    for (int i = 0; i < 6 && Db(first.mic / played) < -20.0; ++i)
        first = Listen("arriving-" + std::to_string(i) + ".mp3");
    const Heard alone = Listen("alone.mp3");
    EXPECT_NEAR(Db(alone.mic / played), 0.0, 3.0) << alone.mic;
    EXPECT_LT(Db(alone.music / played), -40.0) << alone.music;

    m_dj->Disconnect();
    // The desktop is as it was: the program's levels are its own.
    EXPECT_EQ(m_server.Snapshot(), m_before);
}

INSTANTIATE_TEST_SUITE_P(Servers, SoundServerMix,
    testing::Values(peers::SoundServerKind::PulseAudio, peers::SoundServerKind::PipeWire),
    [](const testing::TestParamInfo<peers::SoundServerKind>& row) {
        return std::string(peers::SoundServerName(row.param));
    });

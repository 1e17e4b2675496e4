// The whole road with real parts: capture through ALSA (a file device that
// plays a tone, paced by a private PulseAudio), the controller's pump and
// LAME writer, a real Icecast 2 with a SHOUTcast mount, and a real listener
// that decodes what it hears.
#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CSysSoundOff2.h"
#include "engine/stream/QualityPresets.h"
#include "peers/ControllerOnWindow.h"
#include "peers/IcecastServer.h"
#include "peers/SoundFixtures.h"

#include "fakes/FakeMainWindow.h"
#include "support/EditSettings.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using testutil::IcecastServer;

constexpr int kRate = 44100;
constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 8000.0;
const std::string kPresenter = "DJ 김";

class DJDataManBroadcast : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : { "icecast2", "curl", "ffprobe", "mpg123" })
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        if (::geteuid() == 0)
            TAVDJ_REQUIRE_TOOL(ToolOnPath("setpriv"), "setpriv");
        ASSERT_TRUE(m_icecast.Start()) << m_icecast.ErrorLog();
        m_home = std::make_unique<TempHome>();
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        m_tonePath = m_dir / "tone.raw";
        ASSERT_TRUE(peers::WriteRaw(m_tonePath, peers::StereoTone(kRate, kToneHz, kAmplitude, 20 * kRate)));
    }

    void TearDown() override
    {
        m_dj.reset();
        RestoreSystemSounds();
    }

    // The tone device as ALSA's "default"; `wrap` may put it inside another
    // plugin ("%s" stands for it).
    void UseToneDevice(const std::string& wrap = "%s")
    {
        std::string pcm = wrap;
        pcm.replace(pcm.find("%s"), 2, peers::ToneDevice(m_tonePath, m_pulse.MonitorPcm()));
        peers::UseAlsaConfig(m_dir, m_env, "pcm.!default " + pcm + "\n");
    }

    // The controller as the main window starts it, with the station's
    // settings pointed at the test server.
    void StartController()
    {
        m_dj = std::make_unique<CDJDataMan>(m_home->Path("SETTING.ini"));
        ASSERT_NO_FATAL_FAILURE(
            peers::StartController(m_dj, m_window, m_icecast.Port(), IcecastServer::kPassword, [&](DJSettings& s) {
                s.m_strAIM = kPresenter;
                s.m_strPath = m_dir.Path();
            }));
    }

    // Listens until about 1.5 s of the stream at kbps arrived and returns the
    // file heard.
    std::string Listen(const std::string& name, int kbps, const std::function<void()>& meanwhile = {})
    {
        const std::string heard = m_dir / name;
        // A new capture stream of the sound server starts late.
        EXPECT_TRUE(m_window.RunUntil([&] { return m_dj->GetBytesSent() > 0; }, 5000));
        peers::ListenWhileTheWindowRuns(
            m_window, m_icecast.Url("/live"), heard, static_cast<uintmax_t>(kbps) * 1000 / 8 * 3 / 2, [&] {
                m_window.RunFor(300);
                if (meanwhile)
                    meanwhile();
            });
        return heard;
    }

    bool StatusShows(const std::string& text)
    {
        return m_window.RunUntil([&] { return m_icecast.Status().find(text) != std::string::npos; }, 5000);
    }

    // The decoded sound of an MP3 file; empty when the decoder complained.
    peers::Wav Decode(const std::string& mp3)
    {
        peers::Wav wav;
        std::string errors;
        const std::string wavPath = mp3 + ".wav";
        EXPECT_EQ(peers::Run("mpg123 -q -w '" + wavPath + "' '" + mp3 + "' 2>&1", &errors), 0);
        EXPECT_EQ(errors, "") << mp3;
        EXPECT_TRUE(peers::ReadWav(wavPath, &wav));
        return wav;
    }

    static std::string Probe(const std::string& mp3)
    {
        std::string out;
        peers::Run("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,bit_rate "
                   "-of default=noprint_wrappers=1 '"
                + mp3 + "' 2>&1",
            &out);
        return out;
    }

    void ExpectTone(const peers::Wav& wav, int rate)
    {
        ASSERT_EQ(wav.rate, rate);
        ASSERT_EQ(wav.channels, 2);
        const size_t frames = wav.samples.size() / 2;
        ASSERT_GT(frames, static_cast<size_t>(rate / 2));
        // Skip the encoder's start; measure a quarter second in the middle.
        const size_t from = frames / 2 - static_cast<size_t>(rate / 8);
        EXPECT_NEAR(peers::ToneAmplitude(wav.samples, 2, 0, rate, kToneHz, from, static_cast<size_t>(rate / 4)),
            kAmplitude, kAmplitude * 0.1);
    }

    bool LogHas(const std::string& line) const
    {
        for (const std::string& text : m_window.Texts())
            if (text == line)
                return true;
        return false;
    }

    IcecastServer m_icecast;
    std::unique_ptr<TempHome> m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    std::string m_tonePath;
    FakeMainWindow m_window;
    std::unique_ptr<CDJDataMan> m_dj;
};

} // namespace

TEST_F(DJDataManBroadcast, EveryPresetRowReachesARealListenerWithItsRateAndBitRate)
{
    UseToneDevice();
    ASSERT_NO_FATAL_FAILURE(StartController());
    ASSERT_TRUE(m_dj->IsMonitoring());

    for (int row = 0; row < GetQualityPresetCount(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const QualityPreset& preset = QualityPresets[static_cast<size_t>(row)];
        EditSettings(*m_dj, [&](DJSettings& s) { s.m_nFormatN = row; });
        std::string text;
        int code = -9;
        ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
        EXPECT_EQ(code, 0);
        EXPECT_EQ(text, "서버 접속 성공");
        EXPECT_EQ(m_dj->GetBitrate(), preset.kbps);
        EXPECT_TRUE(m_dj->IsOnAir());
        // A loopback server address is no address for listeners elsewhere.
        const std::string listen = m_dj->GetListenUrl();
        EXPECT_TRUE(std::regex_match(listen, std::regex("http://[^/]+:" + std::to_string(m_icecast.Port())))) << listen;
        EXPECT_EQ(listen.find("127.0.0.1"), std::string::npos);
        EXPECT_EQ(m_dj->Settings().m_strAddress, "127.0.0.1") << "the stored address stays";
        EXPECT_TRUE(LogHas("서버 접속 성공 : 서버=127.0.0.1, 포트=" + std::to_string(m_icecast.Port())
            + ", 출력=" + std::to_string(preset.kbps) + "kbps"));

        const std::string title = "노래 " + std::to_string(row);
        const std::string heard = Listen("row" + std::to_string(row) + ".mp3", preset.kbps, [&] {
            if (row == 0 || row == 7)
                m_dj->SendTitle(title, "");
        });
        if (row == 0 || row == 7) {
            EXPECT_TRUE(StatusShows("[" + kPresenter + "] " + title)) << m_icecast.Status();
            EXPECT_EQ(m_dj->GetKeptTitle(), title);
        }
        EXPECT_EQ(Probe(heard),
            "codec_name=mp3\nsample_rate=" + std::to_string(preset.hz)
                + "\nchannels=2\nbit_rate=" + std::to_string(preset.kbps * 1000) + "\n");
        ExpectTone(Decode(heard), preset.hz);
        EXPECT_GT(m_dj->GetBytesSent(), 0u);

        m_dj->Disconnect();
        EXPECT_FALSE(m_dj->IsOnAir());
        EXPECT_EQ(m_dj->IsConnected(), 0);
        EXPECT_TRUE(m_dj->GetListenUrl().empty());
        EXPECT_TRUE(m_window.RunUntil([&] { return m_icecast.Status().find("\"source\"") == std::string::npos; }, 5000))
            << "the source ended";
    }

    // Back to monitoring: the meter follows the captured tone.
    EXPECT_TRUE(m_dj->IsMonitoring());
    EXPECT_TRUE(m_window.RunUntil([&] { return m_dj->GetPeakLevel() > 40; }, 3000)) << m_dj->GetPeakLevel();
}

TEST_F(DJDataManBroadcast, RecordingDecodesWholeAndSurvivesToggling)
{
    UseToneDevice();
    ASSERT_NO_FATAL_FAILURE(StartController());
    EditSettings(*m_dj, [](DJSettings& s) {
        s.m_nEnable = 1;
        s.m_nFormatN = 3;
    });
    std::string text;
    int code = 0;
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    ASSERT_TRUE(m_dj->IsRecording());
    const std::string first = m_dj->GetRecordingPath();
    const std::string name = std::filesystem::path(first).filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex("방송 녹음-[0-9]{8}-[0-9]{6}\\.mp3"))) << name;

    // The record button pressed again and again while the pump writes.
    ASSERT_TRUE(m_window.RunUntil([&] { return m_dj->GetBytesSent() > 8000; }, 30000)) << "the encoder writes";
    for (int i = 0; i < 40; ++i) {
        m_dj->CloseRecordingFile();
        EXPECT_FALSE(m_dj->IsRecording());
        m_window.RunFor(5);
        m_dj->OpenRecordingFile();
        EXPECT_TRUE(m_dj->IsRecording());
    }
    // A fresh file for the last part: a new second gives a new name.
    m_dj->CloseRecordingFile();
    m_window.RunFor(1100);
    m_dj->OpenRecordingFile();
    const std::string last = m_dj->GetRecordingPath();
    ASSERT_NE(last, first);
    m_window.RunFor(2000);
    m_dj->Disconnect();
    EXPECT_FALSE(m_dj->IsRecording());

    // The file holds the stream's bytes from the moment it opened, which
    // may be inside a frame: after that first partial frame, whole frames to
    // the last byte.
    const std::string bytes = testutil::ReadFile(last);
    ASSERT_GT(bytes.size(), 20000u);
    const auto walk = [&bytes](size_t offset) {
        int frames = 0;
        while (offset + 4 <= bytes.size()) {
            const auto* h = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
            static const int kKbps[] = { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
            if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || h[2] >> 4 == 0 || h[2] >> 4 >= 15 || ((h[2] >> 2) & 3) != 0)
                return -1; // not a 44100 Hz layer III frame
            offset += static_cast<size_t>(144 * kKbps[h[2] >> 4] * 1000 / 44100 + ((h[2] >> 1) & 1));
            ++frames;
        }
        return offset == bytes.size() ? frames : -1;
    };
    int frames = -1;
    for (size_t start = 0; start <= 1045 && frames < 0; ++start) // 1045: the largest such frame
        frames = walk(start);
    ASSERT_GT(frames, 0) << "no chain of whole frames from the first frame to the last byte";
    const peers::Wav wav = Decode(last);
    EXPECT_NEAR(static_cast<double>(wav.samples.size() / 2), frames * 1152.0, 1152.0 * 2);
    ExpectTone(wav, kRate);
}

TEST_F(DJDataManBroadcast, RefusedRateFallsBackToHalfTheRate)
{
    // The device records at 22050 Hz only and never resamples.
    UseToneDevice("{ type plug slave { rate 22050 format S16_LE channels 2 pcm %s } }");
    ASSERT_NO_FATAL_FAILURE(StartController());
    ASSERT_TRUE(m_dj->IsMonitoring());
    int rate = 0;
    m_dj->Reader().GetRate(&rate);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(m_window.Count(CDJDataMan::WmErrorInitInput()), 0u);

    EditSettings(*m_dj, [](DJSettings& s) { s.m_nFormatN = 3; });
    std::string text;
    int code = 0;
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    m_dj->Reader().GetRate(&rate);
    EXPECT_EQ(rate, 22050);
    const std::string heard = Listen("half.mp3", 128);
    EXPECT_EQ(Probe(heard), "codec_name=mp3\nsample_rate=44100\nchannels=2\nbit_rate=128000\n");
    m_dj->Disconnect();
}

TEST_F(DJDataManBroadcast, FailuresGiveTheirCodesTextsAndLogLines)
{
    UseToneDevice();
    ASSERT_NO_FATAL_FAILURE(StartController());
    std::string text;
    int code = 0;

    // The server closes the login without a word: a connection failure,
    // worth retrying, not a password it said was wrong.
    EditSettings(*m_dj, [](DJSettings& s) { s.m_strPasswd = "wrong"; });
    EXPECT_EQ(m_dj->Connect(&text, &code), 0);
    EXPECT_EQ(code, -2);
    EXPECT_EQ(text, "서버 접속에 실패하였습니다.\n - 서버 주소와 포트, 암호가 바르게 설정되었는지 확인하십시오.");
    EXPECT_TRUE(LogHas("서버 접속 실패(-2) : 접속 에러"));
    EXPECT_TRUE(m_dj->IsMonitoring());
    EXPECT_FALSE(m_dj->IsOnAir());

    // The server goes away mid-stream: the send fails, nothing is on air,
    // the connection reads as dropped, and Disconnect returns to monitoring.
    EditSettings(*m_dj, [&](DJSettings& s) { s.m_strPasswd = IcecastServer::kPassword; });
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    ASSERT_TRUE(m_window.RunUntil([&] { return m_dj->GetBytesSent() > 0; }, 5000));
    m_icecast.Stop();
    EXPECT_TRUE(m_window.RunUntil([&] { return !m_dj->IsOnAir(); }, 10000));
    EXPECT_TRUE(m_window.RunUntil([&] { return m_dj->IsConnected() == 0; }, 5000));
    m_dj->Disconnect();
    EXPECT_TRUE(m_dj->IsMonitoring());

    // Nobody listens any more.
    EXPECT_EQ(m_dj->Connect(&text, &code), 0);
    EXPECT_EQ(code, -2);
    EXPECT_EQ(text, "서버 접속에 실패하였습니다.\n - 서버 주소와 포트, 암호가 바르게 설정되었는지 확인하십시오.");
    EXPECT_TRUE(LogHas("서버 접속 실패(-2) : 접속 에러"));
}

// With the server type Icecast 2, the controller logs in with Icecast's own
// request, announcing the encoder's format; its titles reach the mount
// through Icecast's metadata request, and its listener count and the title
// on air come from Icecast's status. Icecast publishes no listener limit.
TEST_F(DJDataManBroadcast, IcecastServerTypeGivesTitlesListenersAndTheTitleOnAir)
{
    UseToneDevice();
    ASSERT_NO_FATAL_FAILURE(StartController());
    EditSettings(*m_dj, [](DJSettings& s) {
        s.m_nServerType = 1;
        s.m_strMount = "/live";
        s.m_strUser = "source";
        s.m_nCodecN = 0;
        s.m_nFormatN = 4; // 128 kbit/s, 32000 Hz, stereo
    });
    std::string text;
    int code = -9;
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    EXPECT_TRUE(StatusShows("\"audio_info\":\"bitrate=128;channels=2;samplerate=32000\"")) << m_icecast.Status();
    EXPECT_EQ(m_icecast.ErrorLog().find("_handle_shoutcast_compatible"), std::string::npos)
        << "the login went to the SHOUTcast socket";
    const std::string title = "밤의 노래 & 시";
    Listen("icecast.mp3", 128, [&] {
        m_dj->SendTitle(title, "");
        EXPECT_TRUE(StatusShows("[" + kPresenter + "] " + title)) << m_icecast.Status();
        int polls = 0;
        m_window.SetHandler([&](platform::MessageId msg, platform::WParam wParam, platform::LParam) {
            polls += msg == WmHttpGetFileComplete() ? 1 : 0;
            m_dj->OnPumpMessage(msg, wParam);
            return platform::LParam(0);
        });
        int current = -1;
        int maximum = -1;
        for (int i = 0; i < 20 && current != 1; ++i) {
            ASSERT_EQ(m_dj->FetchServerStatus(m_window.Handle()), 1);
            ASSERT_TRUE(m_window.RunUntil([&] { return polls == i + 1; }, 10000));
            (void)m_dj->GetListenerCount(&current, &maximum);
        }
        EXPECT_EQ(current, 1);
        EXPECT_EQ(maximum, CDJDataMan::kUnknownListenerLimit);
        EXPECT_EQ(m_dj->GetServerTitle(), "[" + kPresenter + "] " + title);
    });
    m_dj->Disconnect();
}

TEST_F(DJDataManBroadcast, NoCaptureDeviceIsReportedAndRefusesToBroadcast)
{
    peers::UseAlsaConfig(m_dir, m_env, "pcm.!default { type hw card 97 }\n");
    ASSERT_NO_FATAL_FAILURE(StartController());
    EXPECT_FALSE(m_dj->IsMonitoring());
    EXPECT_EQ(m_window.Count(CDJDataMan::WmErrorInitInput()), 1u);
    int rate = 0;
    m_dj->Reader().GetRate(&rate);
    EXPECT_EQ(rate, 44100);

    std::string text;
    int code = 0;
    EXPECT_EQ(m_dj->Connect(&text, &code), 0);
    EXPECT_EQ(code, 100);
    EXPECT_EQ(text, "녹음 장치를 여는데 실패하였습니다.\n녹음 장치를 사용하는 프로그램과 동시에 사용할 수 없습니다.");
    EXPECT_FALSE(m_dj->IsConnected());
}

TEST_F(DJDataManBroadcast, AcmWriterStreamsAndAGoneCodecFallsBackToLame)
{
    UseToneDevice();
    ASSERT_NO_FATAL_FAILURE(StartController());
    CAAcmMp3Writer& acm = m_dj->AcmWriter();
    ASSERT_GE(acm.GetCodecCount(), 1);
    int format = -1;
    for (int f = 0; f < acm.GetFormatCount(0); ++f)
        if (acm.GetFormatName(0, f) == "96 kBit/s, 32,000 Hz, Stereo")
            format = f;
    ASSERT_GE(format, 0);

    EditSettings(*m_dj, [&](DJSettings& s) {
        s.m_nCodecN = 1;
        s.m_nFormatN = format;
    });
    std::string text;
    int code = 0;
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    EXPECT_EQ(m_dj->GetBitrate(), 96);
    std::string heard = Listen("acm.mp3", 96);
    EXPECT_EQ(Probe(heard), "codec_name=mp3\nsample_rate=32000\nchannels=2\nbit_rate=96000\n");
    ExpectTone(Decode(heard), 32000);
    m_dj->Disconnect();

    // A codec that is no longer installed: the LAME writer's default row.
    EditSettings(*m_dj, [&](DJSettings& s) { s.m_nCodecN = acm.GetCodecCount() + 3; });
    ASSERT_EQ(m_dj->Connect(&text, &code), 1) << code << " " << text << "\n" << m_icecast.ErrorLog();
    EXPECT_EQ(m_dj->GetBitrate(), 128);
    heard = Listen("fallback.mp3", 128);
    EXPECT_EQ(Probe(heard), "codec_name=mp3\nsample_rate=44100\nchannels=2\nbit_rate=128000\n");
    m_dj->Disconnect();
}

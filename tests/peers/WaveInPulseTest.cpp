// Real-time capture through a real sound server: a private PulseAudio with a
// null sink, a tone played into it with paplay, captured from its monitor
// through ALSA's "default" (the pulse plugin).
#include "engine/audio/CAWaveInReader.h"

#include "peers/PeerSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr int kRate = 44100;
constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 8000.0;

// ALSA's pulse plugin, wherever this architecture keeps it.
std::string PulsePluginPath()
{
    const std::string name = "alsa-lib/libasound_module_pcm_pulse.so";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", ignored))
        if (std::filesystem::exists(entry.path() / name))
            return (entry.path() / name).string();
    return "/usr/lib/" + name;
}

class WaveInPulse : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOL("pulseaudio");
        REQUIRE_TOOL("paplay");
        REQUIRE_FILE(PulsePluginPath());
        ASSERT_FALSE(m_dir.Path().empty());
        std::filesystem::create_directories(m_dir / "runtime");
        std::filesystem::create_directories(m_dir / "home");
        m_socket = m_dir / "native";
        m_env.Set("HOME", m_dir / "home");
        m_env.Set("XDG_RUNTIME_DIR", m_dir / "runtime");
        m_env.Set("PULSE_RUNTIME_PATH", m_dir / "runtime");
        m_env.Set("PULSE_COOKIE", m_dir / "cookie");
        m_env.Set("PULSE_SERVER", "unix:" + m_socket);
        const std::string config = m_dir / "asound.conf";
        std::ofstream(config) << "pcm.!default { type pulse server \"unix:" << m_socket
                              << "\" device \"tavnull.monitor\" }\n";
        m_env.Set("ALSA_CONFIG_PATH", config);

        m_nServer = peers::Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                  "--system=no", "--realtime=no", "--high-priority=no", "--disable-shm=yes",
                                  "--log-target=stderr", "--log-level=error",
                                  "-L", "module-null-sink sink_name=tavnull rate=44100 channels=2",
                                  "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket},
                                 m_dir / "pulseaudio.log");
        ASSERT_GT(m_nServer, 0);
        ASSERT_TRUE(peers::WaitFor([&] { return std::filesystem::exists(m_socket); }, std::chrono::seconds(15)))
            << "pulseaudio did not come up";
    }

    void TearDown() override { peers::StopChild(m_nServer); }

    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    std::string m_socket;
    pid_t m_nServer = -1;
};

}  // namespace

TEST_F(WaveInPulse, CapturesAToneFromTheServerInRealTime)
{
    const std::string tonePath = m_dir / "tone.wav";
    ASSERT_TRUE(peers::WriteWav(tonePath, kRate, 2, peers::StereoTone(kRate, kToneHz, kAmplitude, kRate * 3 / 2)));

    CAWaveInReader reader;
    int rate = 0, bits = 0, channels = 0;
    ASSERT_EQ(reader.Open("", &rate, &bits, &channels), 1);
    EXPECT_EQ(rate, kRate);
    EXPECT_EQ(reader.Device().GetBufferBytes(), 8820);
    const pid_t player = peers::Spawn({"paplay", "-d", "tavnull", tonePath}, m_dir / "paplay.log");
    ASSERT_GT(player, 0);

    // Three seconds of capture hold the whole 1.5 s tone, however late the
    // player starts; a silent server would end the loop by the deadline.
    std::vector<int16_t> captured(static_cast<size_t>(kRate) * 2 * 3);
    const auto started = std::chrono::steady_clock::now();
    size_t filled = 0;
    while (filled < captured.size() && std::chrono::steady_clock::now() - started < std::chrono::seconds(20)) {
        const int n = reader.Read(reinterpret_cast<char*>(captured.data()) + filled * 2,
                                  static_cast<int>(std::min<size_t>((captured.size() - filled) * 2, 9216)));
        ASSERT_GT(n, 0);
        filled += static_cast<size_t>(n) / 2;
    }
    const auto took = std::chrono::steady_clock::now() - started;
    reader.Close();
    EXPECT_EQ(peers::WaitChild(player, std::chrono::seconds(10)), 0);
    ASSERT_EQ(filled, captured.size());
    EXPECT_GT(took, std::chrono::milliseconds(2500)) << "a sound server delivers in real time";

    size_t first = captured.size();
    for (size_t i = 0; i < captured.size(); ++i)
        if (std::abs(captured[i]) > kAmplitude / 2) {
            first = i / 2;
            break;
        }
    ASSERT_LT(first + kRate, captured.size() / 2) << "the tone was not captured whole";
    const size_t from = first + kRate / 10;
    const size_t frames = kRate / 2;
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_NEAR(peers::ToneAmplitude(captured, 2, channel, kRate, kToneHz, from, frames), kAmplitude, kAmplitude * 0.05);
        EXPECT_LT(peers::ToneAmplitude(captured, 2, channel, kRate, 1500.0, from, frames), kAmplitude * 0.01);
    }
}

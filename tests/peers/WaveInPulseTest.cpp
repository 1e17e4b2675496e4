// Real-time capture through a real sound server: a private PulseAudio with a
// null sink, a tone played into it with paplay, captured from its monitor
// through ALSA's "default" (the pulse plugin).
#include "engine/audio/capture/CAWaveInReader.h"

#include "peers/SoundFixtures.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr int kRate = 44100;
constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 8000.0;

class WaveInPulse : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOL("paplay");
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        peers::UseAlsaConfig(m_dir, m_env, "pcm.!default " + m_pulse.MonitorPcm() + "\n");
    }

    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
};

} // namespace

TEST_F(WaveInPulse, CapturesAToneFromTheServerInRealTime)
{
    const std::string tonePath = m_dir / "tone.wav";
    ASSERT_TRUE(peers::WriteWav(tonePath, kRate, 2, peers::StereoTone(kRate, kToneHz, kAmplitude, kRate * 3 / 2)));

    CAWaveInReader reader;
    int rate = 0, bits = 0, channels = 0;
    ASSERT_EQ(reader.Open("", &rate, &bits, &channels), 1);
    EXPECT_EQ(rate, kRate);
    EXPECT_EQ(reader.Device().GetBufferBytes(), 8820);
    const pid_t player = peers::Spawn({ "paplay", "-d", "tavnull", tonePath }, m_dir / "paplay.log");
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
        EXPECT_NEAR(
            peers::ToneAmplitude(captured, 2, channel, kRate, kToneHz, from, frames), kAmplitude, kAmplitude * 0.05);
        EXPECT_LT(peers::ToneAmplitude(captured, 2, channel, kRate, 1500.0, from, frames), kAmplitude * 0.01);
    }
}

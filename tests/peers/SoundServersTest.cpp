// The private sound servers other tests stand on: each comes up with its
// output and microphone as the defaults, leaves the desktop's environment
// alone, and carries a tone played to the output to the output's monitor and
// a tone played into the microphone to the microphone only.
#include "peers/SoundServers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

constexpr int kRate = 44100;

class SoundServers : public ::testing::TestWithParam<peers::SoundServerKind> {
protected:
    // Records a second of `source` through the server's own recorder,
    // waiting on the file's size rather than on a clock.
    std::vector<int16_t> Record(const std::string& source)
    {
        const std::string path = m_dir / (source + ".raw");
        const pid_t recorder
            = peers::Spawn({ "parec", "-d", source, "--raw", "--format=s16le", "--rate=" + std::to_string(kRate),
                               "--channels=2", "--latency-msec=50", path },
                m_dir / "parec.log");
        EXPECT_GT(recorder, 0);
        const uintmax_t wanted = static_cast<uintmax_t>(kRate) * 4 * 3 / 2;
        const bool filled = peers::WaitFor(
            [&] {
                std::error_code missing;
                const uintmax_t size = std::filesystem::file_size(path, missing);
                return !missing && size >= wanted;
            },
            std::chrono::seconds(15));
        peers::StopChild(recorder);
        EXPECT_TRUE(filled) << source << " recorded too little";
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivateSoundServer m_server;
};

} // namespace

TEST_P(SoundServers, ComeUpPrivatelyWithTheOutputAndTheMicrophoneAsDefaults)
{
    REQUIRE_SOUND_SERVER(GetParam());
    const char* desktopRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string before = desktopRuntime ? desktopRuntime : "";
    ASSERT_NO_FATAL_FAILURE(m_server.Start(GetParam(), m_dir, m_env));
    EXPECT_NE(std::getenv("XDG_RUNTIME_DIR"), before);
    EXPECT_EQ(std::string(std::getenv("PULSE_SERVER")), m_server.Address());

    const peers::SoundServerSnapshot snapshot = m_server.Snapshot();
    EXPECT_EQ(snapshot.defaultSink, peers::kSpeakersSink);
    EXPECT_EQ(snapshot.defaultSource, peers::kMicSource);
    auto has = [](const std::vector<peers::SoundServerSnapshot::Device>& list, const std::string& name) {
        return std::any_of(list.begin(), list.end(), [&](const auto& d) { return d.name == name; });
    };
    EXPECT_TRUE(has(snapshot.sinks, peers::kSpeakersSink)) << snapshot;
    EXPECT_TRUE(has(snapshot.sources, peers::kSpeakersMonitor)) << snapshot;
    EXPECT_TRUE(has(snapshot.sources, peers::kMicSource)) << snapshot;
    for (const auto& sink : snapshot.sinks)
        EXPECT_EQ(sink.volumes, std::vector<long>(2, 65536)) << sink.name;

    // A change shows in the snapshot and putting it back makes it equal.
    ASSERT_EQ(m_server.Pactl(std::string("set-source-volume ") + peers::kMicSource + " 50%"), 0);
    EXPECT_NE(m_server.Snapshot(), snapshot);
    ASSERT_EQ(m_server.Pactl(std::string("set-source-volume ") + peers::kMicSource + " 100%"), 0);
    EXPECT_EQ(m_server.Snapshot(), snapshot);
}

TEST_P(SoundServers, CarryATonePlayedToTheOutputAndAnotherIntoTheMicrophone)
{
    REQUIRE_SOUND_SERVER(GetParam());
    REQUIRE_TOOL("parec");
    ASSERT_NO_FATAL_FAILURE(m_server.Start(GetParam(), m_dir, m_env));
    ASSERT_GT(m_server.PlayTone(peers::ToneTo::Output, 440, -12), 0);
    ASSERT_GT(m_server.PlayTone(peers::ToneTo::Microphone, 660, -18), 0);

    const double output = 32767.0 * std::pow(10.0, -12 / 20.0);
    const double mic = 32767.0 * std::pow(10.0, -18 / 20.0);
    struct Row {
        const char* source;
        double at440;
        double at660;
    };
    for (const Row& row : { Row { peers::kSpeakersMonitor, output, 0 }, Row { peers::kMicSource, 0, mic } }) {
        SCOPED_TRACE(row.source);
        const std::vector<int16_t> samples = Record(row.source);
        ASSERT_GE(samples.size(), static_cast<size_t>(kRate) * 2);
        // The last half second, well after any player's start.
        const size_t from = samples.size() / 2 - kRate / 2;
        const size_t frames = kRate / 2;
        EXPECT_NEAR(peers::ToneAmplitude(samples, 2, 0, kRate, 440, from, frames), row.at440, output * 0.06);
        EXPECT_NEAR(peers::ToneAmplitude(samples, 2, 1, kRate, 660, from, frames), row.at660, mic * 0.06);
    }
}

INSTANTIATE_TEST_SUITE_P(BothServers, SoundServers,
    ::testing::Values(peers::SoundServerKind::PulseAudio, peers::SoundServerKind::PipeWire),
    [](const auto& row) { return std::string(peers::SoundServerName(row.param)); });

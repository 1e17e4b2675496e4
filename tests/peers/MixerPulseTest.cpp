// The mixer model against a real mixer: a private sound server (PulseAudio,
// or PipeWire where it replaced PulseAudio) with a null sink, reached through
// the ALSA pulse plugin as the "default" device.
#include "engine/audio/mixer/CMixerDeviceList.h"
#include "engine/audio/mixer/CMixerLineVolume.h"

#include "peers/SoundServers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kEventDeadline = 5s;

// Output of a shell command, or nothing when it fails.
std::optional<std::string> RunCommand(const std::string& command)
{
    std::string out;
    if (peers::Run(command + " 2>/dev/null", &out) != 0)
        return std::nullopt;
    return out;
}

// The raw volumes of the first two channels in a pactl get-*-volume answer.
std::vector<long> PactlVolumes(const std::string& what)
{
    std::vector<long> volumes;
    std::optional<std::string> out
        = RunCommand("pactl get-" + what + "-volume @DEFAULT_" + (what == "sink" ? "SINK" : "SOURCE") + "@");
    if (!out)
        return volumes;
    std::regex channel(R"(front-(left|right): (\d+) /)");
    for (auto it = std::sregex_iterator(out->begin(), out->end(), channel); it != std::sregex_iterator(); ++it)
        volumes.push_back(std::stol((*it)[2]));
    return volumes;
}

class MixerPulse : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOL("pactl");
        ASSERT_NO_FATAL_FAILURE(m_server.Start(peers::InstalledSoundServer(), m_dir, m_env));
        // The test's own routing: "default" is the pulse plugin. The server
        // address comes from PULSE_SERVER, so no user file is ever read.
        const fs::path home = m_dir / "home";
        fs::create_directories(home);
        m_env.Set("HOME", home.string());
        std::ofstream(home / ".asoundrc") << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
        m_env.Unset("ALSA_CONFIG_PATH");
        m_env.Unset("DISPLAY");
    }

    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivateSoundServer m_server;
};

TEST_F(MixerPulse, MasterVolumeSetThroughTheModelReachesTheServer)
{
    CMixerLineVolume master;
    ASSERT_EQ(master.GetMixerIndex(), 0);
    ASSERT_EQ(master.OpenPreset(0), 1);
    EXPECT_EQ(master.GetLineName(), "Master");
    EXPECT_EQ(master.SetRange(0, 100), 100); // a fresh null sink plays at full volume

    master.SetVolume(40);
    EXPECT_EQ(master.GetVolume(), 40);
    std::vector<long> server = PactlVolumes("sink");
    ASSERT_EQ(server.size(), 2u);
    EXPECT_EQ(server[0], server[1]);
    EXPECT_NEAR(server[0], 65536 * 40 / 100, 1);

    // Left louder at the server; a fade keeps that balance.
    ASSERT_TRUE(RunCommand("pactl set-sink-volume @DEFAULT_SINK@ 32768 16384").has_value());
    ASSERT_TRUE(peers::WaitFor([&] { return master.GetVolume() == 50; }, kEventDeadline));
    master.SetVolume(100);
    server = PactlVolumes("sink");
    ASSERT_EQ(server.size(), 2u);
    EXPECT_EQ(server[0], 65536);
    EXPECT_NEAR(server[1], 32768, 1);

    // The server offers no wave-out, line or CD rows: those fail soft.
    CMixerLineVolume music;
    EXPECT_EQ(music.OpenPreset(1), 0);
    EXPECT_EQ(music.GetVolume(), -1);
}

TEST_F(MixerPulse, LayerShowsTheServerAsDestinationsWithMuteAsTheInverseSwitch)
{
    platform::MixerSystem& system = platform::MixerSystem::Default();
    ASSERT_GE(system.MixerCount(), 1);
    std::shared_ptr<platform::MixerDevice> mixer = system.Open(0);
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->ProductName(), "PulseAudio");
    ASSERT_EQ(mixer->DestinationCount(), 2);
    platform::MixerLineInfo speakers;
    ASSERT_TRUE(mixer->GetDestination(0, &speakers));
    EXPECT_EQ(speakers.componentType, platform::mixer::kDstSpeakers);
    EXPECT_EQ(speakers.channels, 2);
    EXPECT_EQ(speakers.connections, 0);

    std::vector<platform::MixerControlInfo> controls;
    ASSERT_TRUE(mixer->GetLineControls(speakers.lineId, &controls));
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].type, platform::mixer::kCtlVolume);
    EXPECT_EQ(controls[0].maximum, 65536);
    ASSERT_EQ(controls[1].type, platform::mixer::kCtlMute);

    ASSERT_TRUE(mixer->SetValues(controls[1].controlId, 1, 1, { 1 }));
    EXPECT_EQ(RunCommand("pactl get-sink-mute @DEFAULT_SINK@"), "Mute: yes\n");
    ASSERT_TRUE(RunCommand("pactl set-sink-mute @DEFAULT_SINK@ 0").has_value());
    std::vector<int32_t> muted;
    EXPECT_TRUE(peers::WaitFor(
        [&] { return mixer->GetValues(controls[1].controlId, 1, 1, &muted) && muted == std::vector<int32_t> { 0 }; },
        kEventDeadline));
}

TEST_F(MixerPulse, CaptureModelShowsTheServerInputAndSetsItsVolume)
{
    CMixerDeviceList list;
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    int index = list.FindWaveInMixer(0);
    ASSERT_GE(index, 0);
    std::string name;
    list.GetMixerNameAt(index, &name);
    EXPECT_FALSE(name.empty());

    ASSERT_EQ(list.SelectMixer(index), 1);
    ASSERT_EQ(list.GetDestinationCount(), 1);
    list.GetDestinationName(0, &name);
    EXPECT_EQ(name, "Capture");
    ASSERT_EQ(list.GetSourceCount(0), 1);
    std::vector<int> switches { 7 };
    EXPECT_EQ(list.SaveSwitchStates(0, &switches), 1);
    EXPECT_TRUE(switches.empty());

    ASSERT_EQ(list.SelectSourceLine(0, 0), 1);
    list.SetSourceVolume(16384);
    EXPECT_EQ(list.GetSourceVolume(), 16384);
    EXPECT_EQ(PactlVolumes("source"), (std::vector<long> { 16384, 16384 }));
}

} // namespace

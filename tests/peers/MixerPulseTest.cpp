// The mixer model against a real mixer: a private PulseAudio server with a
// null sink, reached through the ALSA pulse plugin as the "default" device.
#include "engine/audio/mixer/CMixerDeviceList.h"
#include "engine/audio/mixer/CMixerLineVolume.h"

#include "peers/PeerSupport.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStartDeadline = 15s;
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
        for (const char* tool : { "pulseaudio", "pactl" }) {
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        }
        ASSERT_TRUE(m_sandbox.Create("tavdj-mixer"));
        const fs::path& dir = m_sandbox.Dir();
        fs::path run = dir / "run";
        fs::path home = dir / "home";
        fs::create_directories(run);
        fs::create_directories(home / ".config" / "pulse");
        fs::create_directories(dir / "state");
        // The test's own routing: "default" is the pulse plugin. The server
        // address comes from PULSE_SERVER, so no user file is ever read.
        std::ofstream(home / ".asoundrc") << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
        std::ofstream(home / ".config" / "pulse" / "client.conf") << "autospawn = no\n";
        m_socket = run / "native";

        m_sandbox.SetEnv("HOME", home.string());
        m_sandbox.SetEnv("XDG_CONFIG_HOME", (home / ".config").string());
        m_sandbox.SetEnv("XDG_RUNTIME_DIR", run.string());
        m_sandbox.SetEnv("PULSE_RUNTIME_PATH", run.string());
        m_sandbox.SetEnv("PULSE_STATE_PATH", (dir / "state").string());
        m_sandbox.SetEnv("PULSE_SERVER", "unix:" + m_socket.string());
        m_sandbox.SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir / "no-bus").string());
        m_sandbox.SetEnv("ALSA_CONFIG_PATH", std::nullopt);
        m_sandbox.SetEnv("DISPLAY", std::nullopt);

        std::string protocol = "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket.string();
        std::string sink = "module-null-sink sink_name=tavdj_null";
        std::string log = (dir / "pulseaudio.log").string();
        m_pid = peers::Spawn({ "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                 "--log-target=stderr", "-L", protocol, "-L", sink },
            log);
        ASSERT_GT(m_pid, 0) << "cannot start pulseaudio";

        bool up = peers::WaitFor(
            [&] {
                int status = 0;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = -1;
                    return true;
                }
                return fs::exists(m_socket) && RunCommand("pactl info").has_value();
            },
            kStartDeadline);
        if (!up || m_pid <= 0) {
            std::ifstream in(log);
            FAIL() << "pulseaudio did not come up:\n" << std::string(std::istreambuf_iterator<char>(in), {});
        }
    }

    void TearDown() override { peers::StopChild(m_pid); }

    TestSandbox m_sandbox;
    fs::path m_socket;
    pid_t m_pid = -1;
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

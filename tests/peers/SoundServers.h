#pragma once

// Private desktop sound servers for peer and program tests: a PulseAudio, or
// a PipeWire with its PulseAudio protocol server, each with an output
// "speakers" as the default sink and a microphone "mic" (a real input, not a
// monitor) as the default source. Tones are played by child processes into
// either; a snapshot of every sink's and source's volume and mute, and the
// server's defaults, tells whether a program left the desktop as it found it.
//
// Everything lives in the test's folder: its own runtime, home, config and
// state folders, its own session bus for PipeWire, and PULSE_SERVER pointing
// at the private socket, so the desktop's own server is never reached.

#include "peers/PeerSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace peers {

enum class SoundServerKind { PulseAudio, PipeWire };

inline const char* SoundServerName(SoundServerKind kind)
{
    return kind == SoundServerKind::PulseAudio ? "PulseAudio" : "PipeWire";
}

// The devices every private server has, by name and description.
inline constexpr const char* kSpeakersSink = "speakers";
inline constexpr const char* kSpeakersDescription = "Test Speakers";
inline constexpr const char* kSpeakersMonitor = "speakers.monitor";
inline constexpr const char* kMicSource = "mic";
// One word: PipeWire's PulseAudio protocol keeps a module argument's
// property value only up to its first space.
inline constexpr const char* kMicDescription = "Test-Microphone";

// Where a tone goes: the default output (what the computer plays) or the
// microphone (what the presenter says).
enum class ToneTo { Output, Microphone };

// The module that serves PulseAudio's protocol from a PipeWire daemon.
inline std::string PipeWirePulseModulePath()
{
    const std::string name = "pipewire-0.3/libpipewire-module-protocol-pulse.so";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", ignored))
        if (std::filesystem::exists(entry.path() / name))
            return (entry.path() / name).string();
    return "/usr/lib/" + name;
}

// True when the machine's desktop server is PipeWire with pipewire-pulse,
// which on Debian replaces PulseAudio: there PulseAudio is not installed by
// design, and tests of it do not run.
inline bool PipeWireServesPulse()
{
    return std::filesystem::exists("/usr/bin/pipewire-pulse") && !ToolOnPath("pulseaudio");
}

// Skips the rest of the test (fails under CI) when `kind` cannot be started
// here. A PulseAudio row skips without failing where PipeWire replaced it.
#define REQUIRE_SOUND_SERVER(kind)                                                                                     \
    do {                                                                                                               \
        if ((kind) == peers::SoundServerKind::PulseAudio) {                                                            \
            if (peers::PipeWireServesPulse())                                                                          \
                GTEST_SKIP() << "PipeWire serves PulseAudio's protocol on this machine";                               \
            REQUIRE_TOOL("pulseaudio");                                                                                \
        } else {                                                                                                       \
            REQUIRE_TOOL("pipewire");                                                                                  \
            REQUIRE_TOOL("wireplumber");                                                                               \
            REQUIRE_TOOL("dbus-daemon");                                                                               \
            REQUIRE_FILE(peers::PipeWirePulseModulePath());                                                            \
        }                                                                                                              \
        REQUIRE_TOOL("pactl");                                                                                         \
        REQUIRE_TOOL("paplay");                                                                                        \
    } while (0)

// How a private server is made: its devices' rate, and one more output,
// beside "speakers", for tests that want a sink of their own name.
struct SoundServerSetup {
    int rate = 44100;
    std::string extraSink;
};

// The server the machine's desktop would run: PulseAudio where it is
// installed, else PipeWire with its PulseAudio protocol. A developer on a
// machine with both tries the PipeWire side with
// TAVDJ_TEST_SOUND_SERVER=pipewire.
inline SoundServerKind InstalledSoundServer()
{
    const char* chosen = std::getenv("TAVDJ_TEST_SOUND_SERVER");
    if (chosen && std::string(chosen) == "pipewire")
        return SoundServerKind::PipeWire;
    return ToolOnPath("pulseaudio") ? SoundServerKind::PulseAudio : SoundServerKind::PipeWire;
}

// Every sink's and source's volume and mute and the server's defaults.
struct SoundServerSnapshot {
    struct Device {
        std::string name;
        std::vector<long> volumes; // raw per-channel volumes (65536 is 0 dB), in channel-name order
        bool mute = false;
        bool operator==(const Device&) const = default;
    };
    std::vector<Device> sinks;
    std::vector<Device> sources;
    std::string defaultSink;
    std::string defaultSource;
    bool operator==(const SoundServerSnapshot&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const SoundServerSnapshot& snapshot)
{
    auto devices = [&](const char* what, const std::vector<SoundServerSnapshot::Device>& list) {
        for (const auto& d : list) {
            out << what << ' ' << d.name << (d.mute ? " muted" : "") << " volume";
            for (long v : d.volumes)
                out << ' ' << v;
            out << '\n';
        }
    };
    out << "default sink " << snapshot.defaultSink << ", default source " << snapshot.defaultSource << '\n';
    devices("sink", snapshot.sinks);
    devices("source", snapshot.sources);
    return out;
}

// Parses pactl's JSON list of sinks or sources; false on anything else.
inline bool ParsePactlDevices(const std::string& text, std::vector<SoundServerSnapshot::Device>* pDevices)
{
    const nlohmann::json list = nlohmann::json::parse(text, nullptr, false);
    if (!list.is_array())
        return false;
    for (const auto& item : list) {
        if (!item.is_object() || !item.contains("name") || !item.contains("volume") || !item.contains("mute"))
            return false;
        SoundServerSnapshot::Device device;
        device.name = item["name"].get<std::string>();
        device.mute = item["mute"].get<bool>();
        for (const auto& [channel, volume] : item["volume"].items())
            device.volumes.push_back(volume.value("value", -1L));
        pDevices->push_back(std::move(device));
    }
    std::sort(pDevices->begin(), pDevices->end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return true;
}

// A private PulseAudio or PipeWire. Start through ASSERT_NO_FATAL_FAILURE;
// the destructor stops every child it started, players first.
class PrivateSoundServer {
public:
    PrivateSoundServer() = default;
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;
    ~PrivateSoundServer() { Stop(); }

    // Starts the server and its devices and points env at it: PULSE_SERVER
    // (a socket "native" in dir), a client.conf that never autospawns, a
    // cookie and a runtime folder of its own. The server's processes and
    // the PipeWire tools get their own home, config and state folders as
    // well; the test's HOME and XDG_* data folders stay as they are, so a
    // program under test keeps its own. Returns once the defaults are
    // "speakers" and "mic".
    void Start(SoundServerKind kind, const TempDir& dir, ScopedEnv& env, const SoundServerSetup& setup = {})
    {
        ASSERT_FALSE(dir.Path().empty());
        m_kind = kind;
        m_dir = dir.Path() + "/sound-server";
        namespace fs = std::filesystem;
        for (const char* sub : { "runtime", "home", "config", "state", "data" })
            fs::create_directories(m_dir + "/" + sub);
        fs::permissions(m_dir + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
        m_socket = dir / "native";
        std::ofstream(m_dir + "/client.conf") << "autospawn = no\n";
        const std::string bus = m_dir + "/runtime/bus";
        m_serverEnv = { "HOME=" + m_dir + "/home", "XDG_RUNTIME_DIR=" + m_dir + "/runtime",
            "XDG_CONFIG_HOME=" + m_dir + "/config", "XDG_STATE_HOME=" + m_dir + "/state",
            "XDG_DATA_HOME=" + m_dir + "/data", "PULSE_RUNTIME_PATH=" + m_dir + "/runtime",
            "PULSE_STATE_PATH=" + m_dir + "/state",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (kind == SoundServerKind::PipeWire ? bus : m_dir + "/no-bus") };
        env.Set("XDG_RUNTIME_DIR", m_dir + "/runtime");
        env.Set("PULSE_RUNTIME_PATH", m_dir + "/runtime");
        env.Set("PULSE_STATE_PATH", m_dir + "/state");
        env.Set("PULSE_COOKIE", m_dir + "/cookie");
        env.Set("PULSE_CLIENTCONFIG", m_dir + "/client.conf");
        env.Set("PULSE_SERVER", "unix:" + m_socket);
        env.Unset("PIPEWIRE_REMOTE");
        env.Unset("PIPEWIRE_RUNTIME_DIR");
        if (kind == SoundServerKind::PulseAudio)
            ASSERT_NO_FATAL_FAILURE(StartPulseAudio(setup));
        else
            ASSERT_NO_FATAL_FAILURE(StartPipeWire(setup));
        ASSERT_TRUE(WaitFor(
            [&] {
                const SoundServerSnapshot now = Snapshot();
                auto has = [&](const std::string& name) {
                    return name.empty() || std::any_of(now.sinks.begin(), now.sinks.end(), [&](const auto& d) {
                        return d.name == name;
                    });
                };
                return now.defaultSink == kSpeakersSink && now.defaultSource == kMicSource && has(setup.extraSink);
            },
            std::chrono::seconds(15)))
            << SoundServerName(kind) << " did not come up with its devices:\n"
            << Snapshot() << Logs();
    }

    // Plays a sine of `hz` at `dbfs` (its peak, relative to full scale) for
    // `seconds` to the output or into the microphone; returns the player's
    // pid, which the destructor stops, or -1.
    [[nodiscard]] pid_t PlayTone(ToneTo to, double hz, double dbfs, double seconds = 30)
    {
        const int rate = 48000;
        const std::string wav = m_dir + "/tone-" + std::to_string(m_players.size()) + ".wav";
        const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
        if (!WriteWav(wav, rate, 2, StereoTone(rate, hz, amplitude, static_cast<int>(seconds * rate))))
            return -1;
        const std::string log = wav + ".log";
        pid_t pid = -1;
        if (to == ToneTo::Output)
            pid = Spawn({ "paplay", "-d", kSpeakersSink, wav }, log);
        else
            pid = Spawn({ "paplay", "-d", kMicFeedSink, wav }, log);
        if (pid > 0)
            m_players.push_back(pid);
        return pid;
    }

    // Stops one player started by PlayTone.
    void StopTone(pid_t pid)
    {
        for (auto it = m_players.begin(); it != m_players.end(); ++it)
            if (*it == pid) {
                StopChild(pid);
                m_players.erase(it);
                return;
            }
    }

    // The server's sinks and sources now; empty when it does not answer.
    [[nodiscard]] SoundServerSnapshot Snapshot() const
    {
        SoundServerSnapshot snapshot;
        std::string sinks, sources, info;
        if (Pactl("--format=json list sinks", &sinks) != 0 || Pactl("--format=json list sources", &sources) != 0
            || Pactl("--format=json info", &info) != 0)
            return {};
        const nlohmann::json server = nlohmann::json::parse(info, nullptr, false);
        if (!server.is_object() || !ParsePactlDevices(sinks, &snapshot.sinks)
            || !ParsePactlDevices(sources, &snapshot.sources))
            return {};
        snapshot.defaultSink = server.value("default_sink_name", "");
        snapshot.defaultSource = server.value("default_source_name", "");
        return snapshot;
    }

    // Runs pactl against this server with `args`; its exit status.
    int Pactl(const std::string& args, std::string* pOutput = nullptr) const
    {
        return Run("PULSE_SERVER='unix:" + m_socket + "' pactl " + args + " 2>>'" + m_dir + "/pactl.log'", pOutput);
    }

    [[nodiscard]] SoundServerKind Kind() const { return m_kind; }
    [[nodiscard]] const std::string& Socket() const { return m_socket; }
    [[nodiscard]] std::string Address() const { return "unix:" + m_socket; }

    // What the servers wrote, for a failure message.
    [[nodiscard]] std::string Logs() const
    {
        std::string text;
        for (const char* name :
            { "dbus.log", "pulseaudio.log", "pipewire.log", "wireplumber.log", "pipewire-pulse.log" }) {
            std::ifstream in(m_dir + "/" + name);
            if (in)
                text += std::string("--- ") + name + "\n"
                    + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return text;
    }

    // Stops the players, then the server's processes in reverse order.
    void Stop()
    {
        for (pid_t pid : m_players)
            StopChild(pid);
        m_players.clear();
        for (auto it = m_services.rbegin(); it != m_services.rend(); ++it)
            StopChild(*it);
        m_services.clear();
    }

private:
    // Starts a program with the server's own folders and bus.
    pid_t ServerSpawn(const std::vector<std::string>& args, const std::string& log) const
    {
        std::vector<std::string> all { "env" };
        all.insert(all.end(), m_serverEnv.begin(), m_serverEnv.end());
        all.insert(all.end(), args.begin(), args.end());
        return Spawn(all, log);
    }

    // A shell command run with the server's own folders and bus.
    std::string ServerCommand(const std::string& command) const
    {
        std::string line = "env";
        for (const std::string& setting : m_serverEnv)
            line += " '" + setting + "'";
        return line + " " + command;
    }

    // PulseAudio plays into this hidden-in-plain-sight sink; the microphone
    // is a remap of its monitor, so it is a real source and not a monitor.
    static constexpr const char* kMicFeedSink = "micfeed";

    void StartPulseAudio(const SoundServerSetup& setup)
    {
        const std::string format = " rate=" + std::to_string(setup.rate) + " channels=2";
        std::vector<std::string> args { "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
            "--use-pid-file=no", "--system=no", "--realtime=no", "--high-priority=no", "--disable-shm=yes",
            "--log-target=stderr", "--log-level=error", "-L",
            "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket, "-L",
            std::string("module-null-sink sink_name=") + kSpeakersSink + format
                + " sink_properties=\"device.description='" + kSpeakersDescription + "'\"",
            "-L",
            std::string("module-null-sink sink_name=") + kMicFeedSink + format
                + " sink_properties=\"device.description='Microphone feed'\"",
            "-L",
            std::string("module-remap-source source_name=") + kMicSource + " master=" + kMicFeedSink
                + ".monitor source_properties=\"device.description='" + kMicDescription + "'\"" };
        if (!setup.extraSink.empty())
            args.insert(args.end(), { "-L", "module-null-sink sink_name=" + setup.extraSink + format });
        const pid_t pid = ServerSpawn(args, m_dir + "/pulseaudio.log");
        ASSERT_GT(pid, 0);
        m_services.push_back(pid);
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(m_socket); }, std::chrono::seconds(15)))
            << "pulseaudio did not come up\n"
            << Logs();
        // The first sink loaded is the default already; saying so keeps that
        // true whatever order PulseAudio picks by.
        ASSERT_EQ(Pactl(std::string("set-default-sink ") + kSpeakersSink), 0);
        ASSERT_EQ(Pactl(std::string("set-default-source ") + kMicSource), 0);
    }

    void StartPipeWire(const SoundServerSetup& setup)
    {
        const std::string runtime = m_dir + "/runtime";
        const std::string bus = runtime + "/bus";
        // The nodes: an output, and a virtual microphone whose input ports a
        // player is linked to. A sink's monitor follows its volume, as a
        // desktop's does.
        const std::string nodes = m_dir + "/config/pipewire/pipewire.conf.d";
        std::filesystem::create_directories(nodes);
        const std::string rate = std::to_string(setup.rate);
        const std::string audio = " audio.rate = " + rate + " audio.position = [ FL FR ]";
        std::ofstream conf(nodes + "/tavdj-devices.conf");
        // The graph runs at the devices' rate, so nothing is resampled on
        // its way to a recorder at that rate.
        conf << "context.properties = { default.clock.rate = " << rate << " }\n"
             << "context.objects = [\n"
             << "  { factory = adapter args = { factory.name = support.null-audio-sink node.name = \"" << kSpeakersSink
             << "\" node.description = \"" << kSpeakersDescription << "\" media.class = \"Audio/Sink\"" << audio
             << " monitor.channel-volumes = true } }\n"
             << "  { factory = adapter args = { factory.name = support.null-audio-sink node.name = \"" << kMicFeedSink
             << "\" node.description = \"Microphone feed\" media.class = \"Audio/Sink\"" << audio
             << " monitor.channel-volumes = true } }\n";
        if (!setup.extraSink.empty())
            conf << "  { factory = adapter args = { factory.name = support.null-audio-sink node.name = \""
                 << setup.extraSink << "\" media.class = \"Audio/Sink\"" << audio
                 << " monitor.channel-volumes = true } }\n";
        conf << "]\n";
        conf.close();
        // Debian 12 ships the protocol module without pipewire-pulse's own
        // configuration; this is the least that serves it, on our socket.
        const std::string pulseConf = m_dir + "/pipewire-pulse.conf";
        std::ofstream(pulseConf) << "context.spa-libs = {\n"
                                    "  audio.convert.* = audioconvert/libspa-audioconvert\n"
                                    "  support.* = support/libspa-support\n"
                                    "}\n"
                                    "context.modules = [\n"
                                    "  { name = libpipewire-module-protocol-native }\n"
                                    "  { name = libpipewire-module-client-node }\n"
                                    "  { name = libpipewire-module-adapter }\n"
                                    "  { name = libpipewire-module-metadata }\n"
                                    "  { name = libpipewire-module-protocol-pulse args = { server.address = [ \"unix:"
                                 << m_socket << "\" ] } }\n]\n";

        ASSERT_NO_FATAL_FAILURE(StartService(
            { "dbus-daemon", "--session", "--address=unix:path=" + bus, "--nofork", "--nopidfile" }, "dbus.log", bus));
        ASSERT_NO_FATAL_FAILURE(StartService({ "pipewire" }, "pipewire.log", runtime + "/pipewire-0"));
        ASSERT_NO_FATAL_FAILURE(StartService({ "wireplumber" }, "wireplumber.log", ""));
        ASSERT_NO_FATAL_FAILURE(StartService({ "pipewire", "-c", pulseConf }, "pipewire-pulse.log", m_socket));
        // The microphone is a real input made of the feed's monitor, as on
        // PulseAudio: a player linked straight into a virtual source by
        // hand now and then went unscheduled, and the microphone fell
        // silent.
        ASSERT_TRUE(WaitFor(
            [&] {
                const SoundServerSnapshot now = Snapshot();
                return std::any_of(now.sinks.begin(), now.sinks.end(),
                    [](const auto& d) { return d.name == std::string(kMicFeedSink); });
            },
            std::chrono::seconds(15)))
            << "PipeWire did not make the microphone's feed:\n"
            << Snapshot() << Logs();
        ASSERT_EQ(Pactl(std::string("load-module module-remap-source source_name=") + kMicSource + " master="
                      + kMicFeedSink + ".monitor 'source_properties=device.description=\"" + kMicDescription + "\"'"),
            0);
        // WirePlumber's own choice differs between releases (0.5 prefers a
        // monitor to a virtual source): the defaults are said outright once
        // the nodes are there, as a desktop user would choose them.
        ASSERT_TRUE(WaitFor(
            [&] {
                const SoundServerSnapshot now = Snapshot();
                auto has = [](const auto& list, const char* name) {
                    return std::any_of(list.begin(), list.end(), [&](const auto& d) { return d.name == name; });
                };
                return has(now.sinks, kSpeakersSink) && has(now.sources, kMicSource);
            },
            std::chrono::seconds(15)))
            << "PipeWire did not make its nodes:\n"
            << Snapshot() << Logs();
        ASSERT_EQ(Pactl(std::string("set-default-sink ") + kSpeakersSink), 0);
        ASSERT_EQ(Pactl(std::string("set-default-source ") + kMicSource), 0);
        ASSERT_NO_FATAL_FAILURE(RunNodesOnce(setup));
    }

    // PipeWire 1.4 drops a volume or mute set on a null node that has never
    // run (its converter has no format yet), and keeps those set once it
    // has. A desktop's devices have all run by the time a program starts, so
    // each node runs once here: silence played to every sink and the
    // microphone recorded, until a volume set on each of them holds.
    void RunNodesOnce(const SoundServerSetup& setup)
    {
        std::vector<std::string> sinks { kSpeakersSink, kMicFeedSink };
        if (!setup.extraSink.empty())
            sinks.push_back(setup.extraSink);
        std::vector<pid_t> runners;
        for (const std::string& sink : sinks)
            runners.push_back(ServerSpawn({ "pacat", "-d", sink, "--raw", "/dev/zero" }, m_dir + "/wake.log"));
        runners.push_back(ServerSpawn({ "parec", "-d", kMicSource, "--raw", "/dev/null" }, m_dir + "/wake.log"));
        auto holds = [&](const char* what, const std::string& name) {
            if (Pactl(std::string("set-") + what + "-volume " + name + " 65535") != 0)
                return false;
            const SoundServerSnapshot now = Snapshot();
            const auto& list = std::string(what) == "sink" ? now.sinks : now.sources;
            return std::any_of(list.begin(), list.end(),
                [&](const auto& d) { return d.name == name && d.volumes == std::vector<long>(2, 65535); });
        };
        const bool ran = WaitFor(
            [&] {
                return std::all_of(sinks.begin(), sinks.end(), [&](const auto& sink) { return holds("sink", sink); })
                    && holds("source", kMicSource);
            },
            std::chrono::seconds(15));
        for (pid_t pid : runners)
            if (pid > 0)
                StopChild(pid);
        for (const std::string& sink : sinks)
            EXPECT_EQ(Pactl("set-sink-volume " + sink + " 65536"), 0);
        EXPECT_EQ(Pactl(std::string("set-source-volume ") + kMicSource + " 65536"), 0);
        ASSERT_TRUE(ran) << "PipeWire's nodes never took a volume\n" << Snapshot() << Logs();
    }

    // Starts one of PipeWire's processes and waits for the socket it makes.
    void StartService(const std::vector<std::string>& args, const std::string& log, const std::string& socket)
    {
        const pid_t pid = ServerSpawn(args, m_dir + "/" + log);
        ASSERT_GT(pid, 0) << args[0];
        m_services.push_back(pid);
        if (!socket.empty()) {
            ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(15)))
                << args[0] << " did not come up\n"
                << Logs();
        }
    }

    SoundServerKind m_kind = SoundServerKind::PulseAudio;
    std::string m_dir;
    std::string m_socket;
    std::vector<std::string> m_serverEnv; // NAME=value for the server's processes
    std::vector<pid_t> m_services;
    std::vector<pid_t> m_players;
};

} // namespace peers

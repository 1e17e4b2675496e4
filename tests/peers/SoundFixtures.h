#pragma once

// Capture devices for peer tests, made of real ALSA plugins and a private
// sound server: ALSA pointed at a configuration of the test's own, a tone
// file played into every capture stream, and a private PulseAudio whose
// null sink gives a capture stream that runs in real time.

#include "peers/PeerSupport.h"
#include "peers/SoundServers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace peers {

// ALSA's pulse plugin, wherever this architecture keeps it.
inline std::string PulsePluginPath()
{
    const std::string name = "alsa-lib/libasound_module_pcm_pulse.so";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", ignored))
        if (std::filesystem::exists(entry.path() / name))
            return (entry.path() / name).string();
    return "/usr/lib/" + name;
}

// Points ALSA at a configuration holding only `body`, for the life of env.
inline void UseAlsaConfig(const TempDir& dir, ScopedEnv& env, const std::string& body)
{
    const std::string path = dir / "asound.conf";
    std::ofstream(path) << body;
    env.Set("ALSA_CONFIG_PATH", path);
}

// An ALSA "file" device over `slavePcm` that hands the raw 16-bit samples of
// tonePath to every capture stream in place of what the slave captured.
// Past the file's end it repeats stale bytes.
inline std::string ToneDevice(const std::string& tonePath, const std::string& slavePcm)
{
    return "{\n type file\n slave.pcm " + slavePcm + "\n file \"/dev/null\"\n infile \"" + tonePath
        + "\"\n format \"raw\"\n}";
}

// A private server of PulseAudio's protocol with a null sink "tavnull" whose
// monitor records in real time, reached through the unix socket "native" in
// the test's folder: a PulseAudio where one is installed, else a PipeWire
// with its PulseAudio protocol (where PipeWire replaced PulseAudio). Tests
// skip (fail under CI) without either or without ALSA's pulse plugin.
class PrivatePulse {
public:
    ~PrivatePulse() { StopChild(m_nServer); }

    // Call through ASSERT_NO_FATAL_FAILURE; sets the environment in env.
    void Start(const TempDir& dir, ScopedEnv& env, int rate = 44100)
    {
        REQUIRE_FILE(PulsePluginPath());
        const SoundServerKind kind = InstalledSoundServer();
        REQUIRE_SOUND_SERVER(kind);
        ASSERT_FALSE(dir.Path().empty());
        m_socket = dir / "native";
        std::filesystem::create_directories(dir / "runtime");
        std::filesystem::create_directories(dir / "home");
        env.Set("HOME", dir / "home");
        if (kind == SoundServerKind::PipeWire) {
            ASSERT_NO_FATAL_FAILURE(m_server.Start(kind, dir, env, { rate, "tavnull" }));
            return;
        }
        env.Set("XDG_RUNTIME_DIR", dir / "runtime");
        env.Set("PULSE_RUNTIME_PATH", dir / "runtime");
        env.Set("PULSE_COOKIE", dir / "cookie");
        env.Set("PULSE_SERVER", "unix:" + m_socket);
        m_nServer = Spawn(
            { "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--system=no",
                "--realtime=no", "--high-priority=no", "--disable-shm=yes", "--log-target=stderr", "--log-level=error",
                "-L", "module-null-sink sink_name=tavnull rate=" + std::to_string(rate) + " channels=2", "-L",
                "module-native-protocol-unix auth-anonymous=1 socket=" + m_socket },
            dir / "pulseaudio.log");
        ASSERT_GT(m_nServer, 0);
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(m_socket); }, std::chrono::seconds(15)))
            << "pulseaudio did not come up";
    }

    // The ALSA PCM definition of the null sink's monitor.
    [[nodiscard]] std::string MonitorPcm() const
    {
        return "{ type pulse server \"unix:" + m_socket + "\" device \"tavnull.monitor\" }";
    }

private:
    std::string m_socket;
    pid_t m_nServer = -1;
    PrivateSoundServer m_server;
};

} // namespace peers

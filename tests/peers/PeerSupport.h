#pragma once

#include "support/ChildProcess.h"
#include "support/RequireTool.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace peers {

// A private folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        if (m_sandbox.Create("tavdj-test"))
            m_path = m_sandbox.Dir().string();
    }

    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    TestSandbox m_sandbox;
    std::string m_path;
};

// Runs a shell command; returns its exit status and fills *pOutput with its
// standard output.
inline int Run(const std::string& command, std::string* pOutput = nullptr)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> chunk;
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        if (pOutput)
            pOutput->append(chunk.data(), got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Sets environment variables for the life of the object, then puts the old
// values back; children spawned meanwhile inherit them.
class ScopedEnv {
public:
    void Set(const std::string& name, const std::string& value) { m_sandbox.SetEnv(name, value); }
    void Unset(const std::string& name) { m_sandbox.SetEnv(name, std::nullopt); }

private:
    TestSandbox m_sandbox;
};

// Starts a program (looked up on PATH) with its output to `logPath`; -1 on
// failure.
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const pid_t pid = testutil::SpawnWith(args, &actions);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to `timeout` for the child to exit; returns its exit status, or
// -1 if it had to be killed.
inline int WaitChild(pid_t pid, std::chrono::milliseconds timeout)
{
    int code = -1;
    if (testutil::ReapWithin(pid, static_cast<int>(timeout.count()), &code))
        return code;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// Stops a service started by the test: SIGTERM, then SIGKILL after 5 s.
inline void StopChild(pid_t pid)
{
    if (pid > 0)
        testutil::Terminate(pid, 5000);
}

template <typename Pred> bool WaitFor(Pred pred, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline int OpenFileDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Interleaved 16-bit stereo sine, both channels alike.
inline std::vector<int16_t> StereoTone(int rate, double hz, double amplitude, int frames)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hz * i / rate)));
        samples[2 * static_cast<size_t>(i)] = s;
        samples[2 * static_cast<size_t>(i) + 1] = s;
    }
    return samples;
}

inline bool WriteRaw(const std::string& path, const std::vector<int16_t>& samples)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
    return static_cast<bool>(out);
}

inline bool WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples)
{
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    auto u32 = [](std::ofstream& o, uint32_t v) { o.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](std::ofstream& o, uint16_t v) { o.write(reinterpret_cast<const char*>(&v), 2); };
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    u32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(out, 16);
    u16(out, 1);
    u16(out, static_cast<uint16_t>(channels));
    u32(out, static_cast<uint32_t>(rate));
    u32(out, static_cast<uint32_t>(rate * channels * 2));
    u16(out, static_cast<uint16_t>(channels * 2));
    u16(out, 16);
    out.write("data", 4);
    u32(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
    return static_cast<bool>(out);
}

struct Wav {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};

// Reads a 16-bit PCM WAV, walking its chunks; false on anything else.
inline bool ReadWav(const std::string& path, Wav* pWav)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return false;
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + pos + 4, 4);
        const char* body = bytes.data() + pos + 8;
        const size_t available = bytes.size() - pos - 8;
        if (std::memcmp(bytes.data() + pos, "fmt ", 4) == 0 && size >= 16 && available >= 16) {
            uint16_t channels = 0, bits = 0;
            uint32_t rate = 0;
            std::memcpy(&channels, body + 2, 2);
            std::memcpy(&rate, body + 4, 4);
            std::memcpy(&bits, body + 14, 2);
            if (bits != 16)
                return false;
            pWav->channels = channels;
            pWav->rate = static_cast<int>(rate);
            haveFormat = true;
        } else if (std::memcmp(bytes.data() + pos, "data", 4) == 0 && haveFormat) {
            const size_t n = std::min<size_t>(size, available) / 2;
            pWav->samples.resize(n);
            std::memcpy(pWav->samples.data(), body, n * 2);
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

// Level of one channel's sine at `hz` (Goertzel), as its peak amplitude.
inline double ToneAmplitude(const std::vector<int16_t>& interleaved, int channels, int channel, int rate, double hz,
    size_t firstFrame, size_t frames)
{
    const double w = 2.0 * M_PI * hz / rate;
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double x = interleaved[(firstFrame + i) * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
        const double s = x + 2.0 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(frames);
}

inline double Rms(const std::vector<int16_t>& interleaved, size_t first, size_t count)
{
    double sum = 0;
    for (size_t i = first; i < first + count; ++i)
        sum += static_cast<double>(interleaved[i]) * interleaved[i];
    return std::sqrt(sum / static_cast<double>(count));
}

} // namespace peers

// Skips when a peer program or file is missing; under CI (CI=true) that is
// a failure.
#define REQUIRE_FILE(path) TAVDJ_REQUIRE_TOOL(std::filesystem::exists(path), path)
#define REQUIRE_TOOL(name) TAVDJ_REQUIRE_TOOL(ToolOnPath(name), name)

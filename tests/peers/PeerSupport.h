#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>
#include <fstream>
#include <string>
#include <vector>

namespace peers {

inline bool InCi()
{
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

inline bool HaveTool(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

// A private folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavdj-test-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
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
    ScopedEnv() = default;
    ~ScopedEnv()
    {
        for (const auto& [name, old] : m_old) {
            if (old.first)
                setenv(name.c_str(), old.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const std::string& name, const std::string& value)
    {
        if (!m_old.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_old[name] = {old != nullptr, old ? old : ""};
        }
        setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::map<std::string, std::pair<bool, std::string>> m_old;
};

// Starts a program (looked up on PATH) with its output to `logPath`; -1 on
// failure.
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// Waits up to `timeout` for the child to exit; returns its exit status, or
// -1 if it had to be killed.
inline int WaitChild(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// Stops a service started by the test: SIGTERM, then SIGKILL after 5 s.
inline void StopChild(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    WaitChild(pid, std::chrono::seconds(5));
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds timeout)
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

}  // namespace peers

// Skips when a peer program is missing; under CI (CI=true) that is a failure.
#define REQUIRE_FILE(path)                                                            \
    do {                                                                              \
        if (!std::filesystem::exists(path)) {                                         \
            if (peers::InCi())                                                        \
                FAIL() << (path) << " is missing; list its package in .ci/apt";       \
            GTEST_SKIP() << (path) << " is not installed";                            \
        }                                                                             \
    } while (0)

#define REQUIRE_TOOL(name)                                                            \
    do {                                                                              \
        if (!peers::HaveTool(name)) {                                                 \
            if (peers::InCi())                                                        \
                FAIL() << (name) << " is missing; list it in .ci/apt";                \
            GTEST_SKIP() << (name) << " is not installed";                            \
        }                                                                             \
    } while (0)

// The whole program as a user starts it and goes on air, beside a desktop
// source client of the same kind (butt) doing the same on the same private
// X server, both sending to a real Icecast 2 on loopback: time from start
// to the first shown window, then CPU and resident memory while on air.
// Both capture the monitor of a private PulseAudio's null sink into which
// a sine plays, so level meters move; TavDJ runs with the default skin
// (level meter, status marquee, elapsed time), goes on air by a click on
// its start button and butt connects at start. A figure counts only when
// Icecast shows the source and a listener received the stream throughout
// the measured time.
// Fails (exit 1, no figures) when a program never showed its window or
// never got on air.
//   build/bench/bench_program                     (about 3 minutes)
//   BENCH_RUNS=3 BENCH_AIR_SECONDS=5 build/bench/bench_program

#include "peers/IcecastServer.h"
#include "support/ChildProcess.h"
#include "support/TestSandbox.h"
#include "support/XvfbServer.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testutil::IcecastServer;

// Both send 128 kbit/s; a listener that got less than half of that over
// the measured time heard no broadcast.
constexpr double kStreamBytesPerSecond = 128000.0 / 8.0;
constexpr int kWaitSeconds = 30;

struct SPeer {
    const char* name;
    std::vector<std::string> argv;
    std::string search; // xdotool search arguments that find its window
    std::string size; // what its shown window must measure; empty: anything
    // Puts the shown program on air; empty when it connects by itself.
    std::function<bool()> goOnAir;
};

struct SFigures {
    std::vector<double> startMs;
    std::vector<double> cpuPercent;
    std::vector<double> rssMb;
};

int EnvInt(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

bool WindowShown(const std::string& search)
{
    return std::system(("xdotool search --onlyvisible " + search + " >/dev/null 2>&1").c_str()) == 0;
}

// utime + stime of the process, in clock ticks; -1 when it is gone.
long long CpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0;
    long long stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15) {
            stime = std::atoll(field.c_str());
            break;
        }
    }
    return utime + stime;
}

double RssMb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    }
    return -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

uintmax_t FileSize(const fs::path& path)
{
    std::error_code missing;
    const uintmax_t size = fs::file_size(path, missing);
    return missing ? 0 : size;
}

bool WaitUntil(const std::function<bool()>& done, int seconds = kWaitSeconds)
{
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Icecast lists a source on the mount while one sends to it.
bool OnAir(const IcecastServer& icecast)
{
    return icecast.Status().find("\"listenurl\"") != std::string::npos;
}

// One start: false (and why on stderr) when the window or the broadcast
// never came.
bool RunOnce(const SPeer& peer, const IcecastServer& icecast, const fs::path& work, int airSeconds, SFigures* pFigures)
{
    testutil::ChildProcess process;
    const auto started = Clock::now();
    if (!process.Start(peer.argv, false, true))
        return false;
    const auto deadline = started + std::chrono::seconds(kWaitSeconds);
    while (!WindowShown(peer.search)) {
        if (Clock::now() > deadline || process.Wait(0) != -1) {
            std::fprintf(stderr, "%s never showed its window\n", peer.name);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto shown = Clock::now();
    if (!peer.size.empty()
        && !WindowShown(peer.search + " getwindowgeometry %@ | grep -q 'Geometry: " + peer.size + "'")) {
        std::fprintf(stderr, "%s showed a box in place of its window: the skin did not load\n", peer.name);
        return false;
    }
    if (peer.goOnAir && !peer.goOnAir()) {
        std::fprintf(stderr, "%s could not be told to go on air\n", peer.name);
        return false;
    }
    if (!WaitUntil([&] { return OnAir(icecast); })) {
        std::fprintf(stderr, "%s never got on air\n%s\n", peer.name, icecast.ErrorLog().c_str());
        return false;
    }
    // A listener for the whole measured time; the broadcast settles while
    // its first bytes arrive.
    const fs::path heard = work / (std::string(peer.name) + ".mp3");
    fs::remove(heard);
    testutil::ChildProcess listener;
    if (!listener.Start({ "curl", "-s", "--max-time", std::to_string(airSeconds + kWaitSeconds), "-o", heard.string(),
                            icecast.Url("/live") },
            false)
        || !WaitUntil([&] { return FileSize(heard) > 0; })) {
        std::fprintf(stderr, "%s is on air but a listener got nothing\n", peer.name);
        return false;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const uintmax_t heardBefore = FileSize(heard);
    const long long before = CpuTicks(process.Pid());
    const auto watchStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(airSeconds));
    const long long after = CpuTicks(process.Pid());
    const double seconds = std::chrono::duration<double>(Clock::now() - watchStart).count();
    const double rss = RssMb(process.Pid());
    const double heardBytes = double(FileSize(heard) - heardBefore);
    listener.Stop();
    if (before < 0 || after < 0) {
        std::fprintf(stderr, "%s ended while on air\n", peer.name);
        return false;
    }
    if (!OnAir(icecast) || heardBytes < kStreamBytesPerSecond * seconds / 2) {
        std::fprintf(
            stderr, "%s stopped sending: a listener heard %.0f bytes in %.1f s\n", peer.name, heardBytes, seconds);
        return false;
    }
    pFigures->startMs.push_back(std::chrono::duration<double, std::milli>(shown - started).count());
    pFigures->cpuPercent.push_back(100.0 * double(after - before) / double(::sysconf(_SC_CLK_TCK)) / seconds);
    pFigures->rssMb.push_back(rss);
    ::kill(process.Pid(), SIGTERM);
    if (process.Wait(5000) == -1)
        process.Stop();
    // The next run finds the mount free.
    if (!WaitUntil([&] { return !OnAir(icecast); })) {
        std::fprintf(stderr, "%s's source stayed on the mount after it ended\n", peer.name);
        return false;
    }
    return true;
}

// butt's settings: the loopback Icecast as its one server, connecting at
// start, the default capture device.
void WriteButtSettings(const fs::path& path, const IcecastServer& icecast)
{
    std::ofstream(path) << "[main]\nserver = bench\nicy = bench\nnum_of_srv = 1\nnum_of_icy = 1\n"
                           "srv_ent = bench\nicy_ent = bench\nconnect_at_startup = 1\ncheck_for_update = 0\n\n"
                           "[audio]\ndevice = default\nsamplerate = 44100\nbitrate = 128\nchannel = 2\ncodec = mp3\n\n"
                           "[bench]\naddress = 127.0.0.1\nport = "
                        << icecast.Port() << "\npassword = " << IcecastServer::kPassword
                        << "\ntype = 1\ntls = 0\nmount = live\nusr = source\n"
                           "pub = 0\ndescription = bench\ngenre = bench\nurl = http://127.0.0.1/\n";
}

} // namespace

int main()
{
    const int runs = EnvInt("BENCH_RUNS", 5);
    const int airSeconds = EnvInt("BENCH_AIR_SECONDS", 10);
    TestSandbox sandbox;
    XvfbServer xvfb;
    if (!sandbox.Create("tavdj-bench-program") || !xvfb.Start("1024x768x24")) {
        std::fprintf(stderr, "no sandbox or no X server\n");
        return 1;
    }
    IcecastServer icecast;
    if (!icecast.Start()) {
        std::fprintf(stderr, "no Icecast\n%s\n", icecast.ErrorLog().c_str());
        return 1;
    }
    const fs::path root = sandbox.Dir();
    for (const char* sub : { "home", "program", "runtime", "data", "config" })
        fs::create_directories(root / sub);
    fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    const fs::path built = fs::path(TAVDJ_PROGRAM).parent_path();
    fs::copy(built / "default_skin", root / "program" / "default_skin", fs::copy_options::recursive);
    fs::copy_file(built / "ControlID.XML", root / "program" / "ControlID.XML");
    // A capture device for both: a private sound server's null sink, with a
    // sine playing into it.
    const std::string socket = (root / "pulse.socket").string();
    sandbox.SetEnv("PULSE_RUNTIME_PATH", (root / "runtime").string());
    sandbox.SetEnv("PULSE_COOKIE", (root / "pulse.cookie").string());
    sandbox.SetEnv("PULSE_SERVER", "unix:" + socket);
    testutil::ChildProcess pulse;
    if (!pulse.Start({ "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--system=no",
                         "--realtime=no", "--disable-shm=yes", "--log-target=stderr", "-L",
                         "module-null-sink sink_name=tavnull rate=44100 channels=2", "-L",
                         "module-sine sink=tavnull frequency=440", "-L",
                         "module-native-protocol-unix auth-anonymous=1 socket=" + socket },
            false, true)) {
        std::fprintf(stderr, "no pulseaudio\n");
        return 1;
    }
    if (!WaitUntil([&] { return fs::exists(socket); })) {
        std::fprintf(stderr, "pulseaudio did not come up\n");
        return 1;
    }
    std::ofstream(root / "asound.conf") << "pcm.!default { type pulse server \"unix:" << socket
                                        << "\" device \"tavnull.monitor\" }\nctl.!default { type pulse server \"unix:"
                                        << socket << "\" }\n";
    sandbox.SetEnv("ALSA_CONFIG_PATH", (root / "asound.conf").string());
    sandbox.SetEnv("HOME", (root / "home").string());
    sandbox.SetEnv("XDG_DATA_HOME", (root / "data").string());
    sandbox.SetEnv("XDG_CONFIG_HOME", (root / "config").string());
    sandbox.SetEnv("XDG_RUNTIME_DIR", (root / "runtime").string());
    sandbox.SetEnv("TAVDJ_PROGRAM_DIR", (root / "program").string());
    sandbox.SetEnv("TAVDJ_ALLOW_INSTANCES", "1");
    // Loopback is all the network a broadcast here needs.
    sandbox.SetEnv("TAVDJ_ASSUME_ONLINE", "1");
    sandbox.SetEnv("DISPLAY", xvfb.Display());
    sandbox.SetEnv("QT_QPA_PLATFORM", std::nullopt);
    const fs::path buttSettings = root / "buttrc";
    WriteButtSettings(buttSettings, icecast);

    // TavDJ's start button, where the default skin puts it in its window.
    const auto clickStart = [] {
        return std::system("xdotool search --onlyvisible --name '^TavDJ$' mousemove --window %1 100 120 click 1"
                           " >/dev/null 2>&1")
            == 0;
    };
    const std::vector<SPeer> peers {
        { "TavDJ",
            { TAVDJ_PROGRAM, "/serv_addr", "127.0.0.1", "/serv_port", std::to_string(icecast.Port()), "/serv_pwd",
                IcecastServer::kPassword },
            "--name '^TavDJ$'", "760x320", clickStart },
        { "butt", { "butt", "-x", "-c", buttSettings.string() }, "--name '^butt '", "", {} },
    };
    std::printf("%-6s %5s %16s %16s %14s\n", "", "runs", "first window ms", "on-air CPU %core", "on-air RSS MB");
    for (const SPeer& peer : peers) {
        SFigures figures;
        for (int run = 0; run < runs; ++run) {
            if (!RunOnce(peer, icecast, root, airSeconds, &figures))
                return 1;
        }
        std::printf("%-6s %5d %16.0f %16.2f %14.1f   (medians)\n", peer.name, runs, Median(figures.startMs),
            Median(figures.cpuPercent), Median(figures.rssMb));
    }
    return 0;
}

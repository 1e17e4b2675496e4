// The whole program as a user starts it and goes on air, beside the
// toolkit's own floor and a desktop source client of the same kind, all on
// the same private X server with the same private PulseAudio and fonts.
// First the start: TavDJ, a minimal Qt Widgets program (bench_qt_floor: a
// 760x320 window with one Korean label, what TavDJ's own first window
// shows) and butt take turns starting, quiet and then with every core kept
// busy; each counts from exec until the X server's damage reports cover
// 99% of its first window (a map alone shows nothing), and its resident
// memory 5 s after the start. TavDJ's targets against the floor: median
// first paint at most twice the floor's, spread (max - min) at most twice
// the floor's, resident memory at most the floor's + 15 MB. Each starts 18
// times in each condition: the spread of fewer starts says more of luck
// than of the program.
// Then on air: TavDJ and butt send to a real Icecast 2 on loopback, and CPU
// and resident memory count while Icecast shows the source and a listener
// receives the stream. Both capture the monitor of the private PulseAudio's
// null sink into which a sine plays, so level meters move; TavDJ runs with
// the default skin (level meter, status marquee, elapsed time) and goes on
// air by a click on its start button, butt connects at start.
// Fails (exit 1, no figures) when a program never painted its window or
// never got on air.
//   build/bench/bench_program                     (about 12 minutes)
//   BENCH_START_RUNS=5 BENCH_RUNS=3 BENCH_AIR_SECONDS=5 build/bench/bench_program

#include "peers/IcecastServer.h"
#include "support/ChildProcess.h"
#include "support/PaintWatch.h"
#include "support/TestSandbox.h"
#include "support/XvfbServer.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
// Resident memory is read this long after the start, once the start's
// own work has settled.
constexpr auto kSettle = std::chrono::seconds(5);
// TavDJ against the floor.
constexpr double kPaintFactor = 2.0;
constexpr double kSpreadFactor = 2.0;
constexpr double kMemoryAllowanceMb = 15.0;

struct SPeer {
    const char* name;
    std::vector<std::string> argv;
    int width = 0; // its first window's size; 0: any
    int height = 0;
};

struct SAirPeer {
    const char* name;
    std::vector<std::string> argv;
    std::string search; // xdotool search arguments that find its window
    // Puts the shown program on air; empty when it connects by itself.
    std::function<bool()> goOnAir;
};

struct SStartFigures {
    std::vector<double> paintMs;
    std::vector<double> rssMb;
};

struct SAirFigures {
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

double Spread(const std::vector<double>& values)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return values.empty() ? 0 : *high - *low;
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

bool Running(testutil::ChildProcess& process)
{
    return process.Wait(0) == -1 && process.Pid() > 0;
}

// Ends a program the way a session's end does, so it saves what it keeps.
void End(testutil::ChildProcess& process)
{
    if (process.Pid() > 0)
        ::kill(process.Pid(), SIGTERM);
    if (process.Wait(5000) == -1)
        process.Stop();
}

// Every core busy while it lives: the start as on a machine that is doing
// other work.
class CpuLoad {
public:
    explicit CpuLoad(bool on)
    {
        const unsigned cores = on ? std::max(1u, std::thread::hardware_concurrency()) : 0;
        for (unsigned i = 0; i < cores; ++i)
            m_threads.emplace_back([this] {
                volatile unsigned long long spin = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    spin = spin + 1;
            });
    }
    ~CpuLoad()
    {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
    }
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

private:
    std::atomic<bool> m_stop { false };
    std::vector<std::thread> m_threads;
};

// One start: first paint and resident memory; false (and why on stderr)
// when the window was never painted or the program ended.
bool StartOnce(const SPeer& peer, PaintWatch& watch, SStartFigures* pFigures)
{
    testutil::ChildProcess process;
    watch.Reset();
    const auto started = Clock::now();
    if (!process.Start(peer.argv, false, true))
        return false;
    const double paintMs = watch.WaitForPaint(started, started + std::chrono::seconds(kWaitSeconds), peer.width,
        peer.height, [&] { return Running(process); });
    if (paintMs < 0) {
        std::fprintf(stderr, "%s never painted its window\n", peer.name);
        return false;
    }
    std::this_thread::sleep_until(started + kSettle);
    const double rss = RssMb(process.Pid());
    if (!Running(process) || rss <= 0) {
        std::fprintf(stderr, "%s ended after showing its window\n", peer.name);
        return false;
    }
    pFigures->paintMs.push_back(paintMs);
    pFigures->rssMb.push_back(rss);
    End(process);
    return true;
}

// One broadcast: false (and why on stderr) when the window or the
// broadcast never came.
bool AirOnce(
    const SAirPeer& peer, const IcecastServer& icecast, const fs::path& work, int airSeconds, SAirFigures* pFigures)
{
    testutil::ChildProcess process;
    if (!process.Start(peer.argv, false, true))
        return false;
    if (!WaitUntil([&] { return WindowShown(peer.search) || !Running(process); }) || !Running(process)) {
        std::fprintf(stderr, "%s never showed its window\n", peer.name);
        return false;
    }
    if (peer.goOnAir && !peer.goOnAir()) {
        std::fprintf(stderr, "%s could not be told to go on air\n", peer.name);
        return false;
    }
    // Icecast lists a source on the mount while one sends to it.
    const auto onAir = [&] { return icecast.Status().find("\"listenurl\"") != std::string::npos; };
    if (!WaitUntil(onAir)) {
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
    if (!onAir() || heardBytes < kStreamBytesPerSecond * seconds / 2) {
        std::fprintf(
            stderr, "%s stopped sending: a listener heard %.0f bytes in %.1f s\n", peer.name, heardBytes, seconds);
        return false;
    }
    pFigures->cpuPercent.push_back(100.0 * double(after - before) / double(::sysconf(_SC_CLK_TCK)) / seconds);
    pFigures->rssMb.push_back(rss);
    End(process);
    // The next run finds the mount free.
    if (!WaitUntil([&] { return !onAir(); })) {
        std::fprintf(stderr, "%s's source stayed on the mount after it ended\n", peer.name);
        return false;
    }
    return true;
}

// butt's settings: the loopback Icecast as its one server, connecting at
// start when asked, the default capture device.
void WriteButtSettings(const fs::path& path, const IcecastServer& icecast, bool connect)
{
    std::ofstream(path) << "[main]\nserver = bench\nicy = bench\nnum_of_srv = 1\nnum_of_icy = 1\n"
                           "srv_ent = bench\nicy_ent = bench\nconnect_at_startup = "
                        << (connect ? 1 : 0)
                        << "\ncheck_for_update = 0\n\n"
                           "[audio]\ndevice = default\nsamplerate = 44100\nbitrate = 128\nchannel = 2\ncodec = mp3\n\n"
                           "[bench]\naddress = 127.0.0.1\nport = "
                        << icecast.Port() << "\npassword = " << IcecastServer::kPassword
                        << "\ntype = 1\ntls = 0\nmount = live\nusr = source\n"
                           "pub = 0\ndescription = bench\ngenre = bench\nurl = http://127.0.0.1/\n";
}

// The start figures of one condition, every peer taking its turn first.
bool MeasureStarts(
    const std::vector<SPeer>& peers, PaintWatch& watch, int runs, bool loaded, std::vector<SStartFigures>* pFigures)
{
    const CpuLoad load(loaded);
    pFigures->assign(peers.size(), {});
    for (int run = 0; run < runs; ++run) {
        for (size_t turn = 0; turn < peers.size(); ++turn) {
            const size_t i = (size_t(run) + turn) % peers.size();
            if (!StartOnce(peers[i], watch, &(*pFigures)[i]))
                return false;
        }
    }
    return true;
}

// The figures of one condition and TavDJ's targets against the floor
// (peers[0] is TavDJ, peers[1] the floor).
void ReportStarts(const char* condition, const std::vector<SPeer>& peers, const std::vector<SStartFigures>& figures)
{
    for (size_t i = 0; i < peers.size(); ++i) {
        const SStartFigures& f = figures[i];
        std::printf("%-7s %-9s %5zu %12.0f %10.0f %10.0f %10.1f\n", condition, peers[i].name, f.paintMs.size(),
            Median(f.paintMs), Spread(f.paintMs), *std::max_element(f.paintMs.begin(), f.paintMs.end()),
            Median(f.rssMb));
    }
    const SStartFigures& ours = figures[0];
    const SStartFigures& floor = figures[1];
    const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    const double paint = Median(ours.paintMs) / Median(floor.paintMs);
    const double spread = Spread(ours.paintMs) / std::max(Spread(floor.paintMs), 1.0);
    const double memory = Median(ours.rssMb) - Median(floor.rssMb);
    std::printf("%-7s TavDJ/floor: first paint x%.2f (<= x%.0f %s), spread x%.2f (<= x%.0f %s), "
                "memory %+.1f MB (<= +%.0f %s)\n",
        condition, paint, kPaintFactor, verdict(paint <= kPaintFactor), spread, kSpreadFactor,
        verdict(spread <= kSpreadFactor), memory, kMemoryAllowanceMb, verdict(memory <= kMemoryAllowanceMb));
}

} // namespace

int main()
{
    const int startRuns = EnvInt("BENCH_START_RUNS", 18);
    const int runs = EnvInt("BENCH_RUNS", 5);
    const int airSeconds = EnvInt("BENCH_AIR_SECONDS", 10);
    TestSandbox sandbox;
    XvfbServer xvfb;
    if (!sandbox.Create("tavdj-bench-program") || !xvfb.Start("1024x768x24")) {
        std::fprintf(stderr, "no sandbox or no X server\n");
        return 1;
    }
    PaintWatch watch;
    if (!watch.Open(xvfb.Display())) {
        std::fprintf(stderr, "the X server reports no damage\n");
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
    // A capture device for all: a private sound server's null sink, with a
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
    const fs::path buttIdle = root / "buttrc-idle";
    const fs::path buttOnAir = root / "buttrc";
    WriteButtSettings(buttIdle, icecast, false);
    WriteButtSettings(buttOnAir, icecast, true);

    const std::vector<SPeer> starters {
        { "TavDJ", { TAVDJ_PROGRAM }, 760, 320 },
        { "Qt floor", { TAVDJ_QT_FLOOR }, 760, 320 },
        { "butt", { "butt", "-x", "-c", buttIdle.string() }, 0, 0 },
    };
    std::printf("%-7s %-9s %5s %12s %10s %10s %10s\n", "", "", "runs", "first paint", "spread", "slowest", "RSS MB");
    std::printf("%-7s %-9s %5s %12s %10s %10s %10s\n", "", "", "", "median ms", "ms", "ms", "median");
    for (const bool loaded : { false, true }) {
        std::vector<SStartFigures> figures;
        if (!MeasureStarts(starters, watch, startRuns, loaded, &figures))
            return 1;
        ReportStarts(loaded ? "loaded" : "quiet", starters, figures);
    }

    // TavDJ's start button, where the default skin puts it in its window.
    const auto clickStart = [] {
        return std::system("xdotool search --onlyvisible --name '^TavDJ$' mousemove --window %1 100 120 click 1"
                           " >/dev/null 2>&1")
            == 0;
    };
    const std::vector<SAirPeer> broadcasters {
        { "TavDJ",
            { TAVDJ_PROGRAM, "/serv_addr", "127.0.0.1", "/serv_port", std::to_string(icecast.Port()), "/serv_pwd",
                IcecastServer::kPassword },
            "--name '^TavDJ$'", clickStart },
        { "butt", { "butt", "-x", "-c", buttOnAir.string() }, "--name '^butt '", {} },
    };
    std::printf("\n%-9s %5s %16s %14s\n", "on air", "runs", "CPU %core", "RSS MB");
    for (const SAirPeer& peer : broadcasters) {
        SAirFigures figures;
        for (int run = 0; run < runs; ++run) {
            if (!AirOnce(peer, icecast, root, airSeconds, &figures))
                return 1;
        }
        std::printf(
            "%-9s %5d %16.2f %14.1f   (medians)\n", peer.name, runs, Median(figures.cpuPercent), Median(figures.rssMb));
    }
    return 0;
}

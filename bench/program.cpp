// The whole program as a user starts it, beside a desktop source client of
// the same kind (butt) started the same way on the same private X server:
// time from start to the first shown window, CPU while the window sits
// there, resident memory. Both capture from the monitor of a private
// PulseAudio's null sink (butt refuses to start without a capture device);
// TavDJ runs with the default skin, monitoring that input.
// Fails (exit 1, no figures) when a program never showed its window.
//   build/bench/bench_program                     (about 1 minute)
//   BENCH_RUNS=3 BENCH_IDLE_SECONDS=5 build/bench/bench_program

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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct SPeer {
    const char* name;
    std::vector<std::string> argv;
    std::string search; // xdotool search arguments that find its window
    std::string size; // what its shown window must measure; empty: anything
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

// One start: false when the window never came.
bool RunOnce(const SPeer& peer, int idleSeconds, SFigures* pFigures)
{
    testutil::ChildProcess process;
    const auto started = Clock::now();
    if (!process.Start(peer.argv, false, true))
        return false;
    const auto deadline = started + std::chrono::seconds(30);
    while (!WindowShown(peer.search)) {
        if (Clock::now() > deadline || process.Wait(0) != -1)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto shown = Clock::now();
    if (!peer.size.empty()
        && !WindowShown(peer.search + " getwindowgeometry %@ | grep -q 'Geometry: " + peer.size + "'"))
        return false; // a box in place of the window: the skin did not load
    pFigures->startMs.push_back(std::chrono::duration<double, std::milli>(shown - started).count());
    // Let start-up work settle, then watch the program sit there.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long long before = CpuTicks(process.Pid());
    const auto watchStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const long long after = CpuTicks(process.Pid());
    const double seconds = std::chrono::duration<double>(Clock::now() - watchStart).count();
    if (before < 0 || after < 0)
        return false;
    pFigures->cpuPercent.push_back(100.0 * double(after - before) / double(::sysconf(_SC_CLK_TCK)) / seconds);
    pFigures->rssMb.push_back(RssMb(process.Pid()));
    ::kill(process.Pid(), SIGTERM);
    if (process.Wait(5000) == -1)
        process.Stop();
    return true;
}

} // namespace

int main()
{
    const int runs = EnvInt("BENCH_RUNS", 5);
    const int idleSeconds = EnvInt("BENCH_IDLE_SECONDS", 10);
    TestSandbox sandbox;
    XvfbServer xvfb;
    if (!sandbox.Create("tavdj-bench-program") || !xvfb.Start("1024x768x24")) {
        std::fprintf(stderr, "no sandbox or no X server\n");
        return 1;
    }
    const fs::path root = sandbox.Dir();
    for (const char* sub : { "home", "program", "runtime", "data", "config" })
        fs::create_directories(root / sub);
    fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    const fs::path built = fs::path(TAVDJ_PROGRAM).parent_path();
    fs::copy(built / "default_skin", root / "program" / "default_skin", fs::copy_options::recursive);
    fs::copy_file(built / "ControlID.XML", root / "program" / "ControlID.XML");
    // A capture device for both: a private sound server's null sink.
    const std::string socket = (root / "pulse.socket").string();
    sandbox.SetEnv("PULSE_RUNTIME_PATH", (root / "runtime").string());
    sandbox.SetEnv("PULSE_COOKIE", (root / "pulse.cookie").string());
    sandbox.SetEnv("PULSE_SERVER", "unix:" + socket);
    testutil::ChildProcess pulse;
    if (!pulse.Start({ "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--system=no",
                         "--realtime=no", "--disable-shm=yes", "--log-target=stderr", "-L",
                         "module-null-sink sink_name=tavnull rate=44100 channels=2", "-L",
                         "module-native-protocol-unix auth-anonymous=1 socket=" + socket },
            false, true)) {
        std::fprintf(stderr, "no pulseaudio\n");
        return 1;
    }
    const auto pulseDeadline = Clock::now() + std::chrono::seconds(15);
    while (!fs::exists(socket) && Clock::now() < pulseDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
    sandbox.SetEnv("DISPLAY", xvfb.Display());
    sandbox.SetEnv("QT_QPA_PLATFORM", std::nullopt);

    const std::vector<SPeer> peers {
        { "TavDJ", { TAVDJ_PROGRAM }, "--name '^TavDJ$'", "760x320" },
        { "butt", { "butt" }, "--name '^butt '", "" },
    };
    std::printf("%-6s %5s %16s %16s %14s\n", "", "runs", "first window ms", "idle CPU %core", "RSS MB");
    for (const SPeer& peer : peers) {
        SFigures figures;
        for (int run = 0; run < runs; ++run) {
            if (!RunOnce(peer, idleSeconds, &figures)) {
                std::fprintf(stderr, "%s never showed its window\n", peer.name);
                return 1;
            }
        }
        std::printf("%-6s %5d %16.0f %16.2f %14.1f   (medians)\n", peer.name, runs, Median(figures.startMs),
            Median(figures.cpuPercent), Median(figures.rssMb));
    }
    return 0;
}

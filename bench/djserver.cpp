// The built-in server under load against icecast2 in the same run: 100
// listeners of a 128 kbit/s stream for 30 s each. Reported per server: CPU
// time and peak memory of the server process, whether every listener got
// every byte from where it joined, and the time to the first audio byte of
// listeners that join while the stream runs.
//   build/bench/bench_djserver                 (about 75 s)
//   BENCH_LISTENERS=20 BENCH_SECONDS=10 build/bench/bench_djserver

#include "engine/server/CDJServer.h"
#include "engine/stream/GShoutCastSource.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/TestSandbox.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>


namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBytesPerSecond = 16000;  // 128 kbit/s
constexpr int kLateListeners = 10;

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A server process whose CPU time and peak memory we read when it ends.
class ServerProcess {
public:
    bool Start(const std::vector<std::string>& argv, bool readFirstLine)
    {
        return m_child.Start(argv, readFirstLine, true);
    }
    std::string FirstLine(int timeoutMs)
    {
        std::string line;
        m_child.ReadLine(&line, timeoutMs);
        return line;
    }
    // SIGTERM, then the child's resource use.
    bool Stop(double* cpuSeconds, long* maxRssKb)
    {
        const pid_t pid = m_child.Release();
        if (pid <= 0)
            return false;
        ::kill(pid, SIGTERM);
        int status = 0;
        rusage ru{};
        const pid_t got = ::wait4(pid, &status, 0, &ru);
        *cpuSeconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                      static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
        *maxRssKb = ru.ru_maxrss;
        return got > 0;
    }

private:
    testutil::ChildProcess m_child;
};

// Our server alone in this process: started, its password on stdout, until
// SIGTERM.
int ServeMain(int port, const std::string& pages)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    CDJServer server;
    CDJServerParams params;
    params.port = port;
    params.maxListeners = 200;
    params.pageFolder = pages;
    params.logCallback = [](const char*, void*) {};
    if (!server.Start(params))
        return 1;
    std::printf("%s\n", server.GetPassword().c_str());
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    int sig = 0;
    sigwait(&set, &sig);
    server.Stop();
    return 0;
}

struct Listener {
    testutil::LoopbackClient socket;
    Clock::time_point connected;
    Clock::time_point firstAudio;
    size_t headerEnd = std::string::npos;
};

// Reads every listener on one thread until told to stop.
void ReadListeners(std::vector<std::unique_ptr<Listener>>* listeners, std::atomic<size_t>* active,
                   std::atomic<bool>* stop)
{
    std::vector<pollfd> fds;
    char buf[65536];
    while (!stop->load()) {
        const size_t n = active->load();
        fds.resize(n);
        for (size_t i = 0; i < n; ++i)
            fds[i] = pollfd{(*listeners)[i]->socket.Fd(), POLLIN, 0};
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        for (size_t i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            Listener& l = *(*listeners)[i];
            const ssize_t got = ::recv(fds[i].fd, buf, sizeof buf, MSG_DONTWAIT);
            if (got <= 0)
                continue;
            std::string& data = l.socket.Data();
            data.append(buf, static_cast<size_t>(got));
            if (l.headerEnd == std::string::npos) {
                const size_t end = data.find("\r\n\r\n");
                if (end != std::string::npos && data.size() > end + 4) {
                    l.headerEnd = end + 4;
                    l.firstAudio = Clock::now();
                }
            }
        }
    }
}

struct RunResult {
    double cpuSeconds = 0;
    long maxRssKb = 0;
    int complete = 0;  // listeners that got every byte from where they joined
    double firstAudioMs = 0;  // median over the late listeners
    bool ok = false;
};

// Streams the MP3 at its bit rate through a source client to the server at
// port and lets listeners request path.
RunResult Run(ServerProcess& process, int port, const std::string& password, const std::string& path,
              const std::string& mp3, int listenerCount, int seconds)
{
    RunResult r;
    GShoutCastSource source;
    const int connected = source.Connect("127.0.0.1", port, 128, password.c_str(), "Bench", "", "Test", "DJ");
    if (connected != 0) {
        std::fprintf(stderr, "source login on %s failed: %d\n", path.c_str(), connected);
        return r;
    }
    std::vector<std::unique_ptr<Listener>> listeners;
    for (int i = 0; i < listenerCount + kLateListeners; ++i)
        listeners.push_back(std::make_unique<Listener>());
    std::atomic<size_t> active{0};
    std::atomic<bool> stop{false};
    const std::string request = "GET " + path + " HTTP/1.0\r\nUser-Agent: bench\r\n\r\n";
    auto join = [&](size_t i) {
        Listener& l = *listeners[i];
        l.connected = Clock::now();
        if (l.socket.Connect(port))
            (void)l.socket.Send(request);
        active.store(i + 1);
    };

    // One second of audio first: icecast serves a mount only once its
    // source sends.
    const auto start = Clock::now();
    size_t sent = 0;
    auto sendUntil = [&](double t) {
        const size_t target = std::min(mp3.size(), static_cast<size_t>(t * kBytesPerSecond));
        while (sent < target) {
            const int n = static_cast<int>(std::min<size_t>(1024, target - sent));
            if (source.Send(mp3.data() + sent, n) != 0) {
                std::fprintf(stderr, "source send on %s failed at %zu\n", path.c_str(), sent);
                return false;
            }
            sent += static_cast<size_t>(n);
        }
        return true;
    };
    std::thread reader;
    bool fine = sendUntil(1.0);
    for (int i = 0; fine && i < listenerCount; ++i)
        join(static_cast<size_t>(i));
    reader = std::thread(ReadListeners, &listeners, &active, &stop);
    int late = 0;
    while (fine) {
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        if (t >= seconds + 1.0)
            break;
        fine = sendUntil(t);
        if (t >= 1.0 + seconds / 2.0 + late * 0.2 && late < kLateListeners)
            join(static_cast<size_t>(listenerCount + late++));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    reader.join();
    source.Close();
    r.ok = process.Stop(&r.cpuSeconds, &r.maxRssKb) && fine;

    // Each listener's audio must be one unbroken run of the stream that
    // reaches to what the server could pass on (it keeps a part block).
    const std::string stream = mp3.substr(0, sent);
    std::vector<double> firstAudio;
    for (size_t i = 0; i < listeners.size(); ++i) {
        Listener& l = *listeners[i];
        if (l.headerEnd == std::string::npos)
            continue;
        const std::string audio = l.socket.Data().substr(l.headerEnd);
        const size_t at = audio.size() >= 4096 ? stream.find(audio.substr(0, 4096)) : std::string::npos;
        const bool whole = at != std::string::npos && stream.compare(at, audio.size(), audio) == 0 &&
                           at + audio.size() + CStreamRing::kSlotBytes >= stream.size();
        if (i < static_cast<size_t>(listenerCount))
            r.complete += whole ? 1 : 0;
        else
            firstAudio.push_back(std::chrono::duration<double, std::milli>(l.firstAudio - l.connected).count());
    }
    std::sort(firstAudio.begin(), firstAudio.end());
    r.firstAudioMs = firstAudio.empty() ? -1 : firstAudio[firstAudio.size() / 2];
    return r;
}

bool MakeNoiseMp3(const std::string& path, int seconds)
{
    testutil::ChildProcess ffmpeg;
    return ffmpeg.Start({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                         "anoisesrc=amplitude=0.2:duration=" + std::to_string(seconds), "-ac", "2", "-ar", "44100",
                         "-c:a", "libmp3lame", "-b:a", "128k", path},
                        false) &&
           ffmpeg.Wait(120000) == 0;
}

bool StartIcecast(ServerProcess& process, const std::string& dir, int port, const std::string& password)
{
    const std::string log = dir + "/log";
    ::mkdir(log.c_str(), 0755);
    const bool root = ::geteuid() == 0;
    if (root && (::chmod(dir.c_str(), 0755) != 0 || ::chown(log.c_str(), 65534, 65534) != 0))
        return false;
    const std::string config = dir + "/icecast.xml";
    std::ofstream(config) << "<icecast><location>bench</location><admin>b@localhost</admin>"
                             "<limits><clients>400</clients><sources>2</sources><source-timeout>10</source-timeout>"
                             "</limits><authentication><source-password>"
                          << password
                          << "</source-password><admin-user>admin</admin-user><admin-password>adminpw</admin-password>"
                             "</authentication><hostname>127.0.0.1</hostname><listen-socket><port>"
                          << port
                          << "</port><bind-address>127.0.0.1</bind-address><shoutcast-mount>/live</shoutcast-mount>"
                             "</listen-socket><paths><basedir>"
                          << dir << "</basedir><logdir>" << log
                          << "</logdir><webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin"
                             "</adminroot></paths><logging><accesslog>access.log</accesslog><errorlog>error.log"
                             "</errorlog><loglevel>2</loglevel></logging><security><chroot>0</chroot></security>"
                             "</icecast>\n";
    std::vector<std::string> argv;
    if (root)
        argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.insert(argv.end(), {"icecast2", "-c", config});
    if (!process.Start(argv, false))
        return false;
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        // Asks the web port: a bare connection to the source port would
        // count as a source login there.
        testutil::LoopbackClient probe;
        if (probe.Connect(port) && probe.Send("GET / HTTP/1.0\r\n\r\n") && probe.ReadAtLeast(12, 1000)) {
            // Its source port takes a moment longer to be of use.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void Report(benchmark::State& state, const char* name, const RunResult& r)
{
    const std::string n(name);
    state.counters[n + "_cpu_s"] = r.cpuSeconds;
    state.counters[n + "_peak_rss_MiB"] = static_cast<double>(r.maxRssKb) / 1024.0;
    state.counters[n + "_listeners_complete"] = r.complete;
    state.counters[n + "_first_audio_ms"] = r.firstAudioMs;
}

std::string g_self;

void BM_ServerAgainstIcecast(benchmark::State& state)
{
    const int listeners = EnvInt("BENCH_LISTENERS", 100);
    const int seconds = EnvInt("BENCH_SECONDS", 30);
    platform::EnsureDescriptorLimit(4 * listeners + 256);
    TestSandbox box;
    if (!box.Create("tavdj-bench")) {
        state.SkipWithError("no temp folder");
        return;
    }
    const std::string dir = box.Dir().string();
    const std::string mp3Path = dir + "/noise.mp3";
    if (!MakeNoiseMp3(mp3Path, seconds + 5)) {
        state.SkipWithError("ffmpeg could not make the test stream");
        return;
    }
    const std::string mp3 = ReadFile(mp3Path);
    ::mkdir((dir + "/pages").c_str(), 0755);
    for (auto _ : state) {
        ServerProcess ours;
        const int port = testutil::PickPortPair();
        if (!ours.Start({g_self, "--serve", std::to_string(port), dir + "/pages"}, true)) {
            state.SkipWithError("server did not start");
            return;
        }
        const std::string password = ours.FirstLine(5000);
        const RunResult a = Run(ours, port, password, "/", mp3, listeners, seconds);

        // Icecast now and then drops a source that logs in through its
        // SHOUTcast port right after start (the mount never appears): such a
        // run is repeated with a fresh icecast.
        RunResult b;
        for (int attempt = 0; attempt < 3 && !b.ok; ++attempt) {
            ServerProcess icecast;
            const int icePort = testutil::PickPortPair();
            if (!StartIcecast(icecast, dir, icePort, "bench-pass")) {
                state.SkipWithError("icecast2 did not start");
                return;
            }
            b = Run(icecast, icePort, "bench-pass", "/live", mp3, listeners, seconds);
            if (!b.ok)
                std::fprintf(stderr, "icecast log:\n%s\n", ReadFile(dir + "/log/error.log").c_str());
        }
        if (!a.ok || !b.ok)
            state.SkipWithError("a run failed");
        Report(state, "ours", a);
        Report(state, "icecast", b);
        state.counters["listeners"] = listeners;
    }
}
BENCHMARK(BM_ServerAgainstIcecast)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(argv[0]);
    if (argc == 4 && std::strcmp(argv[1], "--serve") == 0)
        return ServeMain(std::atoi(argv[2]), argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

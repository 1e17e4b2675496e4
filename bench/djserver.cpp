// The built-in server under load against icecast2 in the same run: 100
// listeners of a 128 kbit/s stream for 30 s each. Reported per server, the
// mean over the runs: CPU time and peak memory of the server process,
// whether every listener got every byte from where it joined, and the time
// to the first audio byte of listeners that join while the stream runs.
// Each listener's audio must also start where its server promises: ours
// with the last nine whole blocks it holds (its burst), icecast its own
// burst before the live point. The runs alternate which server goes
// first, so neither always meets the colder machine.
// A run that did not do all its work (a listener missed a byte or started
// elsewhere, the source could not send it all) reports an error instead of
// figures and the program exits with 1.
//   build/bench/bench_djserver                 (about 150 s)
//   BENCH_LISTENERS=20 BENCH_SECONDS=10 BENCH_RUNS=1 build/bench/bench_djserver

#include "engine/server/CDJServer.h"
#include "engine/stream/GShoutCastSource.h"
#include "peers/IcecastServer.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/TestSandbox.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBytesPerSecond = 16000; // 128 kbit/s
constexpr int kLateListeners = 10;

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
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
        return testutil::TerminateMeasured(m_child.Release(), cpuSeconds, maxRssKb);
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
    size_t sentAtJoin = 0; // stream bytes the source had sent when it joined
    Clock::time_point connected;
    Clock::time_point firstAudio;
    size_t headerEnd = std::string::npos;
    bool closed = false;
};

// Reads every listener on one thread until told to stop; lastByte is when
// any listener last received something (steady-clock ticks).
void ReadListeners(std::vector<std::unique_ptr<Listener>>* listeners, std::atomic<size_t>* active,
    std::atomic<Clock::rep>* lastByte, std::stop_token stop)
{
    std::vector<pollfd> fds;
    std::vector<char> buf(65536);
    while (!stop.stop_requested()) {
        const size_t n = active->load();
        fds.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const Listener& l = *(*listeners)[i];
            fds[i] = pollfd { l.closed ? -1 : l.socket.Fd(), POLLIN, 0 };
        }
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        for (size_t i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Listener& l = *(*listeners)[i];
            const ssize_t got = ::recv(fds[i].fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (got <= 0) {
                l.closed = got == 0 || (errno != EAGAIN && errno != EINTR);
                continue;
            }
            lastByte->store(Clock::now().time_since_epoch().count());
            std::string& data = l.socket.Data();
            data.append(buf.data(), static_cast<size_t>(got));
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

// Feeds the stream to the server at its bit rate on a thread of its own, so
// the source never falls silent while listeners join.
class PacedSource {
public:
    PacedSource(GShoutCastSource& source, const std::string& mp3, size_t total)
        : m_source(source)
        , m_mp3(mp3)
        , m_total(std::min(total, mp3.size()))
    {
        m_thread = std::jthread([this](std::stop_token stop) {
            Send(stop);
            m_done = true;
        });
    }
    // Waits until every byte went or the source failed.
    bool Finish()
    {
        m_thread.join();
        return !m_failed && m_sent == m_total;
    }
    [[nodiscard]] size_t Sent() const { return m_sent.load(); }
    [[nodiscard]] bool Sending() const { return !m_done.load(); }

private:
    void Send(std::stop_token stop)
    {
        const auto start = Clock::now();
        size_t sent = 0;
        while (!stop.stop_requested() && sent < m_total) {
            const double t = std::chrono::duration<double>(Clock::now() - start).count();
            const size_t due = std::min(m_total, static_cast<size_t>(t * kBytesPerSecond) + 1024);
            while (sent < due) {
                const int n = static_cast<int>(std::min<size_t>(1024, due - sent));
                if (m_source.Send(m_mp3.data() + sent, n) != 0) {
                    std::fprintf(stderr, "source send failed at %zu\n", sent);
                    m_failed = true;
                    return;
                }
                sent += static_cast<size_t>(n);
                m_sent = sent;
            }
            std::this_thread::sleep_until(start + std::chrono::milliseconds(sent * 1000 / kBytesPerSecond));
        }
    }

    GShoutCastSource& m_source;
    const std::string& m_mp3;
    const size_t m_total;
    std::atomic<size_t> m_sent { 0 };
    std::atomic<bool> m_failed { false };
    std::atomic<bool> m_done { false };
    std::jthread m_thread;
};

// True once a listener asking for path gets a stream: the server's answer
// is a success and audio follows it.
bool MountAnswers(int port, const std::string& path, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        testutil::LoopbackClient probe;
        if (probe.Connect(port) && probe.Send("GET " + path + " HTTP/1.0\r\nUser-Agent: bench\r\n\r\n")
            && probe.ReadUntil("\r\n\r\n", 2000)) {
            const std::string& data = probe.Data();
            const size_t headerEnd = data.find("\r\n\r\n") + 4;
            if (data.substr(0, data.find("\r\n")).find(" 200 ") != std::string::npos)
                return probe.ReadAtLeast(headerEnd + 1, 2000);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Where a server starts a newcomer: at least leastBack and at most mostBack
// bytes before the newest byte it holds, at a multiple of alignment.
struct StartPromise {
    size_t leastBack;
    size_t mostBack;
    size_t alignment;
};
// Ours gives a newcomer the last nine whole blocks it holds; the newest
// block may be partly filled.
constexpr StartPromise kOurStart { CStreamRing::kBurstBlocks * CStreamRing::kSlotBytes,
    (CStreamRing::kBurstBlocks + 1) * CStreamRing::kSlotBytes, CStreamRing::kSlotBytes };
// Icecast gives at most its default burst-size, from whole buffers of its
// queue, and less while its queue holds less (measured: from 45 to 63 KB).
constexpr StartPromise kIcecastStart { 0, 65536 + 4096, 1 };
// How far what the server held when a listener joined may differ from what
// the source had sent by then: source queue and network in one direction,
// the server's reading of a hundred requests in the other. A second of
// stream: measured, both servers start a newcomer within a few kilobytes
// of their promise.
constexpr size_t kJoinLagBytes = kBytesPerSecond;

// True when a listener's first audio byte, at stream offset `at`, lies
// where the promise puts it for a listener that joined after sentAtJoin
// bytes.
bool StartsAsPromised(const StartPromise& promise, size_t at, size_t sentAtJoin)
{
    const auto floorAt = [](size_t a, size_t b) { return a > b ? a - b : 0; };
    const size_t latest = floorAt(sentAtJoin + kJoinLagBytes, promise.leastBack);
    const size_t earliest = floorAt(sentAtJoin, kJoinLagBytes + promise.mostBack);
    return at >= earliest && at <= latest && at % promise.alignment == 0;
}

struct RunResult {
    double cpuSeconds = 0;
    long maxRssKb = 0;
    int complete = 0; // listeners that got every byte from where they joined
    int startedAsPromised = 0; // of all listeners, early and late
    int lateHeard = 0; // late listeners that got audio
    uint64_t audioBytes = 0; // received by all listeners together
    double firstAudioMs = 0; // median over the late listeners
    std::string failure; // empty when the run did all its work
};

// Streams the MP3 at its bit rate through a source client to the server at
// port and lets listeners request path: listenerCount join once the mount
// answers, kLateListeners more while the stream runs. The server is ended
// (Stop with its resource use) before the listeners' audio is checked.
template <class Server>
RunResult Run(Server& process, int port, const std::string& password, const std::string& path, const std::string& mp3,
    int listenerCount, int seconds, const StartPromise& promise)
{
    RunResult r;
    const size_t total = static_cast<size_t>(seconds + 1) * kBytesPerSecond;
    GShoutCastSource source;
    std::unique_ptr<PacedSource> sender;
    bool mounted = false;
    int connected = -1;
    // Icecast now and then drops a source that logs in through its SHOUTcast
    // port right after it started, and the mount never appears: the login is
    // tried again, never the listeners' part of the run.
    for (int attempt = 0; attempt < 3 && !mounted; ++attempt) {
        sender.reset();
        source.Close();
        connected = source.Connect("127.0.0.1", port, 128, password.c_str(), "Bench", "", "Test", "DJ");
        if (connected != 0)
            continue;
        sender = std::make_unique<PacedSource>(source, mp3, total);
        mounted = MountAnswers(port, path, 5000);
    }
    if (connected != 0) {
        r.failure = "source login on " + path + " failed: " + std::to_string(connected);
        double cpu = 0;
        long rss = 0;
        process.Stop(&cpu, &rss);
        return r;
    }
    std::vector<std::unique_ptr<Listener>> listeners;
    for (int i = 0; i < listenerCount + kLateListeners; ++i)
        listeners.push_back(std::make_unique<Listener>());
    std::atomic<size_t> active { 0 };
    std::atomic<Clock::rep> lastByte { 0 };
    const std::string request = "GET " + path + " HTTP/1.0\r\nUser-Agent: bench\r\n\r\n";
    auto join = [&](size_t i) {
        Listener& l = *listeners[i];
        l.connected = Clock::now();
        l.sentAtJoin = sender->Sent();
        if (l.socket.Connect(port))
            (void)l.socket.Send(request);
        active.store(i + 1);
    };

    const size_t sentAtJoin = sender->Sent();
    std::jthread reader;
    if (mounted) {
        for (int i = 0; i < listenerCount; ++i)
            join(static_cast<size_t>(i));
        reader = std::jthread(
            [&](std::stop_token stop) { ReadListeners(&listeners, &active, &lastByte, std::move(stop)); });
        // The late ones join one by one from the middle of the stream on.
        for (int late = 0; late < kLateListeners; ++late) {
            const size_t due = sentAtJoin + (total - sentAtJoin) / 2 + static_cast<size_t>(late) * kBytesPerSecond / 5;
            while (sender->Sending() && sender->Sent() < due)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            join(static_cast<size_t>(listenerCount + late));
        }
    }
    const bool allSent = mounted && sender->Finish();
    const size_t sent = sender->Sent();
    sender.reset();
    // Until the listeners have heard the last of it: no byte for half a
    // second (at most ten seconds).
    const auto quietBy = Clock::now() + std::chrono::seconds(10);
    while (mounted && Clock::now() < quietBy
        && Clock::now() - Clock::time_point(Clock::duration(lastByte.load())) < std::chrono::milliseconds(500))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (reader.joinable()) {
        reader.request_stop();
        reader.join();
    }
    source.Close();
    const bool stopped = process.Stop(&r.cpuSeconds, &r.maxRssKb);

    // Each listener's audio must be one unbroken run of the stream that
    // reaches to what the server could pass on (it keeps a part block).
    const std::string stream = mp3.substr(0, total);
    std::vector<double> firstAudio;
    std::string misplaced;
    for (size_t i = 0; i < listeners.size(); ++i) {
        Listener& l = *listeners[i];
        if (l.headerEnd == std::string::npos)
            continue;
        const std::string audio = l.socket.Data().substr(l.headerEnd);
        r.audioBytes += audio.size();
        const size_t at = audio.size() >= 4096 ? stream.find(audio.substr(0, 4096)) : std::string::npos;
        const bool whole = at != std::string::npos && stream.compare(at, audio.size(), audio) == 0
            && at + audio.size() + CStreamRing::kSlotBytes >= stream.size();
        if (at != std::string::npos && StartsAsPromised(promise, at, l.sentAtJoin))
            ++r.startedAsPromised;
        else if (misplaced.empty())
            misplaced = "listener " + std::to_string(i) + " started at byte "
                + (at == std::string::npos ? std::string("?") : std::to_string(at)) + ", joining after "
                + std::to_string(l.sentAtJoin);
        if (i < static_cast<size_t>(listenerCount)) {
            r.complete += whole ? 1 : 0;
        } else {
            r.lateHeard += whole ? 1 : 0;
            firstAudio.push_back(std::chrono::duration<double, std::milli>(l.firstAudio - l.connected).count());
        }
    }
    std::sort(firstAudio.begin(), firstAudio.end());
    r.firstAudioMs = firstAudio.empty() ? -1 : firstAudio[firstAudio.size() / 2];

    if (!mounted)
        r.failure = path + " never answered with a stream";
    else if (!allSent)
        r.failure = "the source sent " + std::to_string(sent) + " of " + std::to_string(total) + " bytes";
    else if (r.complete != listenerCount)
        r.failure = std::to_string(r.complete) + " of " + std::to_string(listenerCount) + " listeners got every byte";
    else if (r.lateHeard != kLateListeners)
        r.failure = std::to_string(r.lateHeard) + " of " + std::to_string(kLateListeners)
            + " late listeners got the rest of the stream";
    else if (r.startedAsPromised != listenerCount + kLateListeners)
        r.failure = std::to_string(r.startedAsPromised) + " of " + std::to_string(listenerCount + kLateListeners)
            + " listeners started where the server puts a newcomer (" + misplaced + ")";
    else if (!stopped)
        r.failure = "the server process could not be reaped";
    return r;
}

bool MakeNoiseMp3(const std::string& path, int seconds)
{
    testutil::ChildProcess ffmpeg;
    return ffmpeg.Start({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "anoisesrc=amplitude=0.2:duration=" + std::to_string(seconds), "-ac", "2", "-ar", "44100",
                            "-c:a", "libmp3lame", "-b:a", "128k", path },
               false)
        && ffmpeg.Wait(120000) == 0;
}

// The mean of the runs' figures; the fewest complete listeners.
void Report(benchmark::State& state, const char* name, const std::vector<RunResult>& runs)
{
    const std::string n(name);
    const auto mean = [&](auto field) {
        double sum = 0;
        for (const RunResult& r : runs)
            sum += static_cast<double>(field(r));
        return sum / static_cast<double>(runs.size());
    };
    int complete = runs.front().complete;
    for (const RunResult& r : runs)
        complete = std::min(complete, r.complete);
    state.counters[n + "_cpu_s"] = mean([](const RunResult& r) { return r.cpuSeconds; });
    state.counters[n + "_peak_rss_MiB"] = mean([](const RunResult& r) { return r.maxRssKb; }) / 1024.0;
    state.counters[n + "_listeners_complete"] = complete;
    state.counters[n + "_audio_MB"] = mean([](const RunResult& r) { return r.audioBytes; }) / 1e6;
    state.counters[n + "_first_audio_ms"] = mean([](const RunResult& r) { return r.firstAudioMs; });
}

std::string g_self;
bool g_failed = false;

// A run that did not do all its work gives no figures, and the program's
// exit status says so.
void Fail(benchmark::State& state, const std::string& why)
{
    g_failed = true;
    std::fprintf(stderr, "bench_djserver: %s\n", why.c_str());
    state.SkipWithError(why.c_str());
}

RunResult RunOurs(const std::string& dir, const std::string& mp3, int listeners, int seconds)
{
    ServerProcess ours;
    const int port = testutil::PickPortPair();
    if (!ours.Start({ g_self, "--serve", std::to_string(port), dir + "/pages" }, true))
        return RunResult { .failure = "server did not start" };
    const std::string password = ours.FirstLine(5000);
    return Run(ours, port, password, "/", mp3, listeners, seconds, kOurStart);
}

RunResult RunIcecast(const std::string& mp3, int listeners, int seconds)
{
    // Room for every listener and the probes, a source held up for a
    // moment while a hundred listeners join stays on, and a newcomer gets
    // icecast's own burst as ours gets our server's.
    testutil::IcecastServer icecast;
    if (!icecast.Start({ .clients = 400, .sourceTimeoutSeconds = 30, .burstBytes = -1 })) {
        std::fprintf(stderr, "icecast log:\n%s\n", icecast.ErrorLog().c_str());
        return RunResult { .failure = "icecast2 did not start" };
    }
    RunResult r = Run(
        icecast, icecast.Port(), testutil::IcecastServer::kPassword, "/live", mp3, listeners, seconds, kIcecastStart);
    if (!r.failure.empty())
        std::fprintf(stderr, "icecast log:\n%s\n", icecast.ErrorLog().c_str());
    return r;
}

void BM_ServerAgainstIcecast(benchmark::State& state)
{
    const int listeners = EnvInt("BENCH_LISTENERS", 100);
    const int seconds = EnvInt("BENCH_SECONDS", 30);
    const int runs = std::max(1, EnvInt("BENCH_RUNS", 2));
    platform::EnsureDescriptorLimit(4 * listeners + 256);
    TestSandbox box;
    if (!box.Create("tavdj-bench")) {
        Fail(state, "no temp folder");
        return;
    }
    const std::string dir = box.Dir().string();
    const std::string mp3Path = dir + "/noise.mp3";
    if (!MakeNoiseMp3(mp3Path, seconds + 5)) {
        Fail(state, "ffmpeg could not make the test stream");
        return;
    }
    const std::string mp3 = testutil::ReadFile(mp3Path);
    ::mkdir((dir + "/pages").c_str(), 0755);
    for (auto _ : state) {
        std::vector<RunResult> ours;
        std::vector<RunResult> theirs;
        for (int run = 0; run < runs; ++run) {
            // Ours goes first in even runs, icecast in odd ones.
            for (const bool oursNow : { run % 2 == 0, run % 2 != 0 }) {
                const RunResult r
                    = oursNow ? RunOurs(dir, mp3, listeners, seconds) : RunIcecast(mp3, listeners, seconds);
                if (!r.failure.empty()) {
                    Fail(state,
                        std::string(oursNow ? "ours" : "icecast") + " (run " + std::to_string(run + 1)
                            + "): " + r.failure);
                    return;
                }
                (oursNow ? ours : theirs).push_back(r);
            }
        }
        Report(state, "ours", ours);
        Report(state, "icecast", theirs);
        state.counters["listeners"] = listeners;
        state.counters["runs"] = runs;
    }
}
BENCHMARK(BM_ServerAgainstIcecast)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(argv[0]);
    if (argc == 4 && std::strcmp(argv[1], "--serve") == 0)
        return ServeMain(std::atoi(argv[2]), argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_failed ? 1 : 0;
}

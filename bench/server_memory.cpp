// What a streaming listener costs the built-in server, against icecast2 in
// the same run: resident memory added per listener when 100 and then 1000
// listeners join a warm 128 kbit/s stream, and the server's CPU time over
// 10 s of streaming to them. Before it prints, it checks that every listener
// got every byte of the stream from where it joined. The two servers take
// turns at going first from one listener count to the next.
//   build/bench/bench_server_memory             (about 3 minutes)
//   BENCH_COUNTS=50,200 BENCH_SECONDS=5 build/bench/bench_server_memory

#include "engine/server/CDJServer.h"
#include "engine/stream/GShoutCastSource.h"
#include "peers/IcecastServer.h"
#include "platform/SocketApi.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/TestSandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBytesPerSecond = 16000; // 128 kbit/s
// Sent at once before anyone joins: fills our whole ring, so the resident
// size measured afterwards holds all of it.
constexpr size_t kWarmBytes = static_cast<size_t>(CStreamRing::kSlots + 64) * CStreamRing::kSlotBytes;
constexpr size_t kLocateBytes = 4096;
constexpr int kJoinsPerTick = 25;

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::vector<int> EnvCounts()
{
    const char* v = std::getenv("BENCH_COUNTS");
    std::vector<int> counts;
    std::stringstream in(v && *v ? v : "100,1000");
    std::string item;
    while (std::getline(in, item, ','))
        if (std::atoi(item.c_str()) > 0)
            counts.push_back(std::atoi(item.c_str()));
    return counts;
}

// Resident kilobytes of a process, -1 when unknown.
long ResidentKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// User and system CPU seconds of a process so far.
double CpuSeconds(pid_t pid)
{
    const std::string stat = testutil::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14)
            utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15)
            stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Our server alone in this process: started, its password on stdout, until
// SIGTERM.
int ServeMain(int port, const std::string& pages, int maxListeners)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    CDJServer server;
    CDJServerParams params;
    params.port = port;
    params.maxListeners = maxListeners;
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

// One listener, checked as its bytes arrive: its first audio bytes are
// looked up in the stream near where it joined, every later byte must be
// the stream's next one.
struct Listener {
    testutil::LoopbackClient socket;
    size_t sentAtJoin = 0;
    std::string pending; // header, then the first audio bytes until located
    bool headerDone = false;
    bool located = false;
    bool broken = false;
    size_t next = 0; // stream offset of the next byte expected
};

void Check(Listener& l, const std::string& stream, const char* data, size_t n)
{
    if (l.broken)
        return;
    if (l.located) {
        if (l.next + n > stream.size() || std::memcmp(stream.data() + l.next, data, n) != 0)
            l.broken = true;
        l.next += n;
        return;
    }
    l.pending.append(data, n);
    if (!l.headerDone) {
        const size_t end = l.pending.find("\r\n\r\n");
        if (end == std::string::npos) {
            l.broken = l.pending.size() > 4096;
            return;
        }
        l.headerDone = true;
        l.pending.erase(0, end + 4);
    }
    if (l.pending.size() < kLocateBytes)
        return;
    // Both servers start a newcomer somewhat before the live point.
    const size_t from = l.sentAtJoin > (1u << 20) ? l.sentAtJoin - (1u << 20) : 0;
    const size_t at = stream.find(l.pending.substr(0, kLocateBytes), from);
    if (at == std::string::npos || stream.compare(at, l.pending.size(), l.pending) != 0) {
        l.broken = true;
        return;
    }
    l.located = true;
    l.next = at + l.pending.size();
    std::string().swap(l.pending);
}

// Reads every listener on one thread until told to stop.
void ReadListeners(std::vector<std::unique_ptr<Listener>>* listeners, std::atomic<size_t>* active,
    std::atomic<size_t>* located, const std::string* stream, std::atomic<bool>* stop)
{
    std::vector<pollfd> fds;
    std::vector<char> buf(1 << 16);
    while (!stop->load()) {
        const size_t n = active->load();
        fds.resize(n);
        for (size_t i = 0; i < n; ++i)
            fds[i] = pollfd { (*listeners)[i]->socket.Fd(), POLLIN, 0 };
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        size_t count = 0;
        for (size_t i = 0; i < n; ++i) {
            Listener& l = *(*listeners)[i];
            if (fds[i].revents & (POLLIN | POLLHUP)) {
                const ssize_t got = ::recv(fds[i].fd, buf.data(), buf.size(), MSG_DONTWAIT);
                if (got > 0)
                    Check(l, *stream, buf.data(), static_cast<size_t>(got));
            }
            count += l.located && !l.broken ? 1 : 0;
        }
        located->store(count);
    }
}

struct RunResult {
    bool ok = false;
    long rssBeforeKb = 0;
    long rssAfterKb = 0;
    double cpuSeconds = 0; // over the streaming window
    double joinSeconds = 0; // until every listener had located audio
    int complete = 0;
    int listeners = 0;
    [[nodiscard]] double PerListenerKb() const
    {
        return listeners ? static_cast<double>(rssAfterKb - rssBeforeKb) / listeners : 0;
    }
};

RunResult Run(pid_t pid, int port, const std::string& password, const std::string& path, const std::string& mp3,
    int count, int seconds)
{
    RunResult r;
    r.listeners = count;
    GShoutCastSource source;
    if (source.Connect("127.0.0.1", port, 128, password.c_str(), "Bench", "", "Test", "DJ") != 0) {
        std::fprintf(stderr, "source login on %s failed\n", path.c_str());
        return r;
    }
    std::atomic<size_t> sent { 0 };
    auto sendTo = [&](size_t target) {
        target = std::min(target, mp3.size());
        while (sent < target) {
            const int n = static_cast<int>(std::min<size_t>(4096, target - sent));
            if (source.Send(mp3.data() + sent, n) != 0) {
                std::fprintf(stderr, "source send on %s failed at %zu\n", path.c_str(), sent.load());
                return false;
            }
            sent += static_cast<size_t>(n);
        }
        return true;
    };
    // The warm stream, paced so neither server's source queue overflows.
    bool fine = true;
    while (fine && sent < kWarmBytes) {
        fine = sendTo(sent + 65536);
        std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
    const auto live = Clock::now();
    auto keepLive = [&] {
        const double t = std::chrono::duration<double>(Clock::now() - live).count();
        return sendTo(kWarmBytes + static_cast<size_t>(t * kBytesPerSecond));
    };
    auto streamFor = [&](double s) {
        const auto end = Clock::now() + std::chrono::duration<double>(s);
        while (fine && Clock::now() < end) {
            fine = keepLive();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    streamFor(1.5);
    r.rssBeforeKb = ResidentKb(pid);

    std::vector<std::unique_ptr<Listener>> listeners;
    for (int i = 0; i < count; ++i)
        listeners.push_back(std::make_unique<Listener>());
    std::atomic<size_t> active { 0 };
    std::atomic<size_t> located { 0 };
    std::atomic<bool> stop { false };
    std::thread reader(ReadListeners, &listeners, &active, &located, &mp3, &stop);
    const std::string request = "GET " + path + " HTTP/1.0\r\nUser-Agent: bench\r\n\r\n";
    const auto joinStart = Clock::now();
    for (int i = 0; fine && i < count; ++i) {
        Listener& l = *listeners[static_cast<size_t>(i)];
        l.sentAtJoin = sent;
        if (!l.socket.Connect(port) || !l.socket.Send(request)) {
            std::fprintf(stderr, "listener %d could not connect to %s\n", i, path.c_str());
            fine = false;
        }
        active.store(static_cast<size_t>(i) + 1);
        if ((i + 1) % kJoinsPerTick == 0) {
            fine = fine && keepLive();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    const auto joinLimit = Clock::now() + std::chrono::seconds(90);
    while (fine && located.load() < static_cast<size_t>(count) && Clock::now() < joinLimit)
        streamFor(0.05);
    r.joinSeconds = std::chrono::duration<double>(Clock::now() - joinStart).count();

    const double cpuStart = CpuSeconds(pid);
    streamFor(seconds);
    r.cpuSeconds = CpuSeconds(pid) - cpuStart;
    r.rssAfterKb = ResidentKb(pid);
    // What was sent has time to arrive.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    reader.join();
    source.Close();

    for (const auto& p : listeners) {
        // Our server passes the stream on in whole 8192-byte blocks.
        const bool whole = p->located && !p->broken && p->next + CStreamRing::kSlotBytes >= sent;
        r.complete += whole ? 1 : 0;
    }
    r.ok = fine && r.rssBeforeKb > 0 && r.rssAfterKb > 0;
    return r;
}

bool MakeNoiseMp3(const std::string& path, int seconds)
{
    testutil::ChildProcess ffmpeg;
    return ffmpeg.Start({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "anoisesrc=amplitude=0.2:duration=" + std::to_string(seconds), "-ac", "2", "-ar", "44100",
                            "-c:a", "libmp3lame", "-b:a", "128k", path },
               false)
        && ffmpeg.Wait(300000) == 0;
}

void Print(const char* name, const RunResult& r)
{
    std::printf("%-8s %6d  %9ld  %9ld  %8.2f  %7.2f  %7.1f  %d/%d\n", name, r.listeners, r.rssBeforeKb, r.rssAfterKb,
        r.PerListenerKb(), r.cpuSeconds, r.joinSeconds, r.complete, r.listeners);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--serve") == 0)
        return ServeMain(std::atoi(argv[2]), argv[3], std::atoi(argv[4]));
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string me = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(argv[0]);
    const std::vector<int> counts = EnvCounts();
    const int seconds = EnvInt("BENCH_SECONDS", 10);
    const int most = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    platform::EnsureDescriptorLimit(2 * most + 256);
    ::signal(SIGPIPE, SIG_IGN);

    TestSandbox box;
    if (!box.Create("tavdj-bench")) {
        std::fprintf(stderr, "no temp folder\n");
        return 1;
    }
    const std::string dir = box.Dir().string();
    const std::string mp3Path = dir + "/noise.mp3";
    // The warm stream, the joins and the streaming window.
    const int streamSeconds = static_cast<int>(kWarmBytes / kBytesPerSecond) + seconds + 150;
    if (!MakeNoiseMp3(mp3Path, streamSeconds)) {
        std::fprintf(stderr, "ffmpeg could not make the test stream\n");
        return 1;
    }
    const std::string mp3 = testutil::ReadFile(mp3Path);
    ::mkdir((dir + "/pages").c_str(), 0755);

    // Ours runs first for the first count, icecast for the next, and so on,
    // so neither always meets the colder machine; BENCH_COUNTS=100,100
    // measures one count both ways.
    auto runOurs = [&](int count, RunResult* pResult) {
        testutil::ChildProcess child;
        const int port = testutil::PickPortPair();
        std::string password;
        if (!child.Start({ me, "--serve", std::to_string(port), dir + "/pages", std::to_string(count + 100) })
            || !child.ReadLine(&password, 5000)) {
            std::fprintf(stderr, "our server did not start\n");
            return false;
        }
        *pResult = Run(child.Pid(), port, password, "/", mp3, count, seconds);
        return true;
    };
    auto runIcecast = [&](int count, RunResult* pResult) {
        // Icecast now and then drops a source that logs in through its
        // SHOUTcast port right after start: such a run is repeated.
        for (int attempt = 0; attempt < 3 && !pResult->ok; ++attempt) {
            testutil::IcecastServer icecast;
            if (!icecast.Start({ .clients = count + 100, .sourceTimeoutSeconds = 10, .burstBytes = -1 })) {
                std::fprintf(stderr, "icecast2 did not start\n%s\n", icecast.ErrorLog().c_str());
                return false;
            }
            *pResult
                = Run(icecast.Pid(), icecast.Port(), testutil::IcecastServer::kPassword, "/live", mp3, count, seconds);
        }
        return true;
    };
    std::vector<std::pair<RunResult, RunResult>> results;
    for (size_t k = 0; k < counts.size(); ++k) {
        RunResult ours;
        RunResult theirs;
        const bool oursFirst = k % 2 == 0;
        if (!(oursFirst ? runOurs(counts[k], &ours) && runIcecast(counts[k], &theirs)
                        : runIcecast(counts[k], &theirs) && runOurs(counts[k], &ours)))
            return 1;
        results.emplace_back(ours, theirs);
    }

    bool allWhole = true;
    for (const auto& [ours, theirs] : results) {
        allWhole = allWhole && ours.ok && theirs.ok && ours.complete == ours.listeners
            && theirs.complete == theirs.listeners;
    }
    if (!allWhole) {
        std::fprintf(stderr, "a run failed or a listener missed bytes:\n");
        for (const auto& [ours, theirs] : results) {
            std::fprintf(stderr, "  %d listeners: ours %s %d/%d, icecast2 %s %d/%d\n", ours.listeners,
                ours.ok ? "ran" : "FAILED", ours.complete, ours.listeners, theirs.ok ? "ran" : "FAILED",
                theirs.complete, theirs.listeners);
        }
        return 1;
    }
    std::printf("%d s of 128 kbit/s streaming after the joins; resident sizes before and after the joins\n", seconds);
    std::printf("server   listen  rss0_KB    rss1_KB    KB/listen  cpu_s    join_s   complete\n");
    for (size_t k = 0; k < results.size(); ++k) {
        // In the order they ran.
        const auto& [ours, theirs] = results[k];
        const bool oursFirst = k % 2 == 0;
        Print(oursFirst ? "ours" : "icecast2", oursFirst ? ours : theirs);
        Print(oursFirst ? "icecast2" : "ours", oursFirst ? theirs : ours);
    }
    return 0;
}

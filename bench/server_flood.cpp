// The built-in server run as a user would run it, under attack: a tiny
// driver process holds the server; a second process streams 128 kbit/s
// through our own source client to 100 listeners that join while a flood
// of idle connections and slowloris requests runs, and checks that every
// listener got every byte. Reported: the server process's CPU time and peak
// memory, the listeners' time to their stream header, what the flood did.
// Fails (exit 1, no figures) when a listener missed a byte.
//   build/bench/bench_server_flood                     (about 30 s)
//   BENCH_SECONDS=10 BENCH_IDLE=500 build/bench/bench_server_flood

#include "engine/server/CDJServer.h"
#include "engine/stream/GShoutCastSource.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/TestSandbox.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using testutil::LoopbackClient;
constexpr size_t kBlock = 8192;
constexpr int kBytesPerSecond = 16000; // 128 kbit/s

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::string NumberedBlock(uint64_t n)
{
    std::string block(kBlock, static_cast<char>('a' + n % 26));
    std::memcpy(block.data(), &n, sizeof n);
    return block;
}

struct LoadResult {
    int listeners = 0;
    int complete = 0;
    uint64_t blocks = 0;
    double headerMedianMs = 0;
    double headerMaxMs = 0;
    int floodConnections = 0;
    int slowConnections = 0;
    bool sourceOk = false;
};

// Keeps `count` connections open that never send a byte, reconnecting those
// the server closes, from two loopback addresses.
void Flood(int port, int count, std::atomic<bool>& stop, std::atomic<int>& made)
{
    std::vector<std::unique_ptr<LoopbackClient>> open(static_cast<size_t>(count));
    while (!stop) {
        for (size_t i = 0; i < open.size() && !stop; ++i) {
            auto& c = open[i];
            if (c && c->Fd() >= 0) {
                pollfd p { c->Fd(), POLLIN, 0 };
                if (::poll(&p, 1, 0) == 0)
                    continue; // still held by the server
            }
            c = std::make_unique<LoopbackClient>();
            if (c->ConnectFrom(i % 2 ? "127.0.0.2" : "127.0.0.3", port))
                ++made;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Connections that send a request one byte every 200 ms and never finish.
void Slowloris(int port, int count, std::atomic<bool>& stop, std::atomic<int>& made)
{
    const std::string request = "GET / HTTP/1.1\r\nHost: x\r\nUser-Agent: slow\r\nX-Pad: " + std::string(4000, 'p');
    std::vector<std::unique_ptr<LoopbackClient>> open(static_cast<size_t>(count));
    std::vector<size_t> sent(open.size(), 0);
    while (!stop) {
        for (size_t i = 0; i < open.size(); ++i) {
            auto& c = open[i];
            if (!c || !c->Send(std::string(1, request[sent[i] % request.size()]))) {
                c = std::make_unique<LoopbackClient>();
                sent[i] = 0;
                if (c->ConnectFrom("127.0.0.4", port))
                    ++made;
                continue;
            }
            ++sent[i];
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

LoadResult RunLoad(int port, const std::string& password, int seconds, int listeners, int idle, int slow)
{
    LoadResult result;
    std::atomic<bool> stop { false };
    std::atomic<int> floodMade { 0 };
    std::atomic<int> slowMade { 0 };
    std::thread flood(Flood, port, idle, std::ref(stop), std::ref(floodMade));
    std::thread slowloris(Slowloris, port, slow, std::ref(stop), std::ref(slowMade));
    // The flood is in full swing before anyone real arrives.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    GShoutCastSource source;
    if (source.Connect("127.0.0.1", port, 128, password.c_str(), "Flooded", "", "Bench", "DJ") != 0) {
        stop = true;
        flood.join();
        slowloris.join();
        return result;
    }
    std::vector<std::unique_ptr<LoopbackClient>> ears;
    std::vector<double> headerMs;
    for (int i = 0; i < listeners; ++i) {
        auto c = std::make_unique<LoopbackClient>();
        const auto started = Clock::now();
        if (!c->Connect(port) || !c->Send("GET / HTTP/1.0\r\nUser-Agent: bench\r\n\r\n")
            || !c->ReadUntil("\r\n\r\n", 10000))
            continue;
        headerMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        c->Data().erase(0, c->Data().find("\r\n\r\n") + 4);
        ears.push_back(std::move(c));
    }
    result.listeners = static_cast<int>(ears.size());

    // Real time: the blocks a 128 kbit/s stream carries in `seconds`.
    const uint64_t total = static_cast<uint64_t>(seconds) * kBytesPerSecond / kBlock + 1;
    const auto begun = Clock::now();
    bool sent = true;
    for (uint64_t n = 1; n <= total && sent; ++n) {
        const std::string block = NumberedBlock(n);
        for (size_t at = 0; at < kBlock && sent; at += 1024)
            sent = source.Send(block.data() + at, 1024) == 0;
        std::this_thread::sleep_until(begun + std::chrono::milliseconds(n * kBlock * 1000 / kBytesPerSecond));
        for (auto& c : ears)
            c->ReadAtLeast(c->Data().size() + 1, 1);
    }
    result.sourceOk = sent;
    result.blocks = total;
    std::string expected;
    for (uint64_t n = 1; n <= total; ++n)
        expected += NumberedBlock(n);
    for (auto& c : ears) {
        c->ReadAtLeast(expected.size(), 15000);
        result.complete += c->Data() == expected ? 1 : 0;
    }
    source.Close();
    stop = true;
    flood.join();
    slowloris.join();
    result.floodConnections = floodMade;
    result.slowConnections = slowMade;
    std::sort(headerMs.begin(), headerMs.end());
    if (!headerMs.empty()) {
        result.headerMedianMs = headerMs[headerMs.size() / 2];
        result.headerMaxMs = headerMs.back();
    }
    return result;
}

struct LogCounts {
    std::mutex lock;
    int evicted = 0;
    int timeouts = 0;
    int full = 0;
};

} // namespace

int main()
{
    const int seconds = EnvInt("BENCH_SECONDS", 20);
    const int listeners = EnvInt("BENCH_LISTENERS", 100);
    const int idle = EnvInt("BENCH_IDLE", 1000);
    const int slow = EnvInt("BENCH_SLOWLORIS", 200);
    const int port = testutil::PickPortPair();
    int toLoad[2];
    int fromLoad[2];
    if (port == 0 || ::pipe(toLoad) != 0 || ::pipe(fromLoad) != 0)
        return 1;

    // The load runs in a process of its own, so what this one uses is the
    // server's alone.
    const pid_t load = ::fork();
    if (load == 0) {
        char password[64] = {};
        if (::read(toLoad[0], password, 32) != 32)
            ::_exit(2);
        const LoadResult r = RunLoad(port, password, seconds, listeners, idle, slow);
        (void)!::write(fromLoad[1], &r, sizeof r);
        ::_exit(0);
    }

    TestSandbox pages;
    if (!pages.Create("tavdj-flood"))
        return 1;
    std::filesystem::copy_file(std::string(TAVDJ_SOURCE_DIR) + "/serverhtml/index.html", pages.Dir() / "index.html");
    static LogCounts counts;
    CDJServerParams params;
    params.port = port;
    params.maxListeners = listeners;
    params.listenUrl = "127.0.0.1";
    params.pageFolder = pages.Dir().string();
    params.logCallback = [](const char* text, void*) {
        std::lock_guard guard(counts.lock);
        counts.evicted += std::strncmp(text, "Evicted(", 8) == 0 ? 1 : 0;
        counts.timeouts += std::strncmp(text, "Timeout(", 8) == 0 ? 1 : 0;
        counts.full += std::strncmp(text, "ServerFull(", 11) == 0 ? 1 : 0;
    };
    // Console lines would only slow a terminal down here.
    std::fflush(stdout);
    const int savedOut = ::dup(STDOUT_FILENO);
    (void)!::freopen("/dev/null", "w", stdout);
    CDJServer server;
    const bool started = server.Start(params);
    if (started)
        (void)!::write(toLoad[1], server.GetPassword().data(), 32);
    LoadResult r;
    const bool got = started && ::read(fromLoad[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    server.Stop();
    ::waitpid(load, nullptr, 0);
    std::fflush(stdout);
    ::dup2(savedOut, STDOUT_FILENO);

    rusage self {};
    ::getrusage(RUSAGE_SELF, &self);
    const double cpu = static_cast<double>(self.ru_utime.tv_sec + self.ru_stime.tv_sec)
        + static_cast<double>(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6;
    if (!got || !r.sourceOk || r.listeners != listeners || r.complete != listeners) {
        std::printf("ERROR: listeners in %d of %d, complete %d, source %s\n", r.listeners, listeners, r.complete,
            r.sourceOk ? "ok" : "failed");
        return 1;
    }
    std::printf("server under flood: %d s of 128 kbit/s, %d listeners each got all %llu blocks (%llu bytes)\n", seconds,
        r.complete, static_cast<unsigned long long>(r.blocks), static_cast<unsigned long long>(r.blocks * kBlock));
    std::printf("  flood: %d idle connections held (%d made), %d slowloris (%d made)\n", idle, r.floodConnections, slow,
        r.slowConnections);
    std::printf(
        "  server log: %d evicted, %d timed out, %d refused as full\n", counts.evicted, counts.timeouts, counts.full);
    std::printf("  listener stream header: median %.1f ms, worst %.1f ms\n", r.headerMedianMs, r.headerMaxMs);
    std::printf("  server process: cpu %.2f s, peak memory %ld KiB\n", cpu, self.ru_maxrss);
    return 0;
}

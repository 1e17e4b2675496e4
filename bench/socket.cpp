// GSocket over loopback: throughput and CPU per MB against socat moving the
// same bytes, and the CPU an idle connected source costs its thread.
//   build/bench/bench_socket

#include "engine/stream/GShoutCastSource.h"
#include "fakes/FakeShoutcastServer.h"
#include "foundation/GSocket.h"
#include "support/ChildProcess.h"
#include "support/RequireTool.h"
#include "support/TestSandbox.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kBytes = 64u << 20;

double ThreadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ChildrenCpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_CHILDREN, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Both ends in this thread, as a send thread and a server thread would each
// drive one: queue 64 KiB at a time, poll both until everything arrived.
void BM_GSocketLoopback(benchmark::State& state)
{
    GSocket listener;
    if (!listener.Create(0) || !listener.Listen(1)) {
        state.SkipWithError("listen failed");
        return;
    }
    const int port = listener.GetBoundPort();
    GSocket client;
    if (!client.Create(port) || !client.Connect("127.0.0.1", port)) {
        state.SkipWithError("connect failed");
        return;
    }
    std::unique_ptr<GSocket> server;
    while (!(server = listener.Accept()))
        platform::Sleep(1);

    std::vector<char> chunk(65536, 'x');
    std::vector<char> sink(65536);
    double cpu = 0;
    for (auto _ : state) {
        const double before = ThreadCpuSeconds();
        size_t queued = 0;
        size_t received = 0;
        while (received < kBytes) {
            if (queued < kBytes && client.GetSendLength() < 256 * 1024) {
                (void)client.Send(chunk.data(), static_cast<int>(chunk.size()));
                queued += chunk.size();
            }
            client.Poll(nullptr);
            server->Poll(nullptr);
            int len = static_cast<int>(sink.size());
            while (server->Receive(&len, sink.data(), true)) {
                received += static_cast<size_t>(len);
                len = static_cast<int>(sink.size());
            }
        }
        cpu += ThreadCpuSeconds() - before;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
    state.counters["cpu_ms_per_MB"] = cpu * 1000.0 / (static_cast<double>(state.iterations() * kBytes) / (1 << 20));
}
BENCHMARK(BM_GSocketLoopback)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// socat reads a file and writes it to a second socat that discards it.
void BM_SocatLoopback(benchmark::State& state)
{
    if (!ToolOnPath("socat")) {
        state.SkipWithError("socat missing");
        return;
    }
    TestSandbox sandbox;
    if (!sandbox.Create("tavdj-bench")) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string file = (sandbox.Dir() / "payload").string();
    {
        std::ofstream out(file, std::ios::binary);
        const std::string chunk(1 << 20, 'x');
        for (size_t i = 0; i < kBytes / chunk.size(); ++i)
            out << chunk;
    }
    double cpu = 0;
    for (auto _ : state) {
        const int port = testutil::PickPortPair();
        const double before = ChildrenCpuSeconds();
        testutil::ChildProcess receiver;
        receiver.Start(
            { "socat", "-u", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr", "OPEN:/dev/null" },
            false);
        testutil::ChildProcess sender;
        int rc = -1;
        for (int attempt = 0; attempt < 200 && rc != 0; ++attempt) {
            sender.Start({ "socat", "-u", "FILE:" + file, "TCP:127.0.0.1:" + std::to_string(port) }, false);
            rc = sender.Wait(60000);
            if (rc != 0)
                platform::Sleep(5); // the receiver was not listening yet
        }
        receiver.Wait(60000);
        cpu += ChildrenCpuSeconds() - before;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
    state.counters["cpu_ms_per_MB"] = cpu * 1000.0 / (static_cast<double>(state.iterations() * kBytes) / (1 << 20));
}
BENCHMARK(BM_SocatLoopback)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A connected source with nothing to send, polled every 50 ms for 10 s as
// the controller's timers do: the CPU its thread spends.
void BM_IdleConnectedSource(benchmark::State& state)
{
    FakeShoutcastServer server;
    if (!server.Start()) {
        state.SkipWithError("server failed");
        return;
    }
    GShoutCastSource source;
    if (source.Connect("127.0.0.1", server.Port(), 128, "p", "S", "", "", "") != GShoutCastSource::kOk) {
        state.SkipWithError("connect failed");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = ThreadCpuSeconds();
        const uint64_t end = platform::GetTickCount64() + 10000;
        while (platform::GetTickCount64() < end) {
            (void)source.Send(nullptr, 0);
            platform::Sleep(50);
        }
        cpu += ThreadCpuSeconds() - before;
    }
    state.counters["thread_cpu_ms_per_10s"] = cpu * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdleConnectedSource)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

// The broadcast road without the network: capture from an ALSA file device
// (a tone with one click), the pump resampling to 32 kHz, the on-air effects
// (level analyser, reverb, echo, pitch), LAME at 320 kbit/s, and the stream
// ring emptied by a sender as the controller's send thread does.
//   BM_RoadRealTimeFactor: 60 s of sound as fast as the road takes it; the
//     pump thread does all the work, so this is the factor on one core.
//   BM_ClickToSocketLatency: the device paced like a sound card (a 50 ms
//     period is handed over when it is complete); the time from the click's
//     moment in the sound to the last byte of its MP3 frame leaving a socket.

#include "engine/audio/codec/CALameMp3Writer.h"
#include "engine/audio/road/CARWMan.h"
#include "engine/audio/capture/CAWaveInReader.h"
#include "engine/audio/meter/CLevelAnalyser.h"
#include "engine/audio/effects/CMzDspEcho.h"
#include "engine/audio/effects/CMzDspReverb.h"
#include "engine/audio/effects/CMzDspSpeed.h"
#include "foundation/GLockedRingBuffer.h"
#include "platform/WaveIn.h"

#include "bench/EndWaiter.h"

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kOutRate = 32000;
constexpr int kKbps = 320;
constexpr int kThroughputSeconds = 60;
constexpr int kClickSample = kRate; // one second in
constexpr int kPeriodFrames = kRate / 20;
// LAME's fixed delay in output samples, and its frame at 32 kHz / 320 kbit/s.
constexpr int kEncoderDelay = 576 + 529;
constexpr int kMp3FrameSamples = 1152;
constexpr int kMp3FrameBytes = 144 * kKbps * 1000 / kOutRate;

// A tone file and an ALSA configuration whose "default" plays it into every
// capture stream, in a private folder.
class ToneDevice {
public:
    ToneDevice()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavdj-bench-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return;
        m_dir = pattern;
        std::vector<int16_t> samples(static_cast<size_t>(kRate) * 2 * 10);
        for (size_t i = 0; i < samples.size() / 2; ++i) {
            const auto s = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 440.0 * double(i) / kRate));
            samples[2 * i] = s;
            samples[2 * i + 1] = s;
        }
        for (int i = 0; i < 64; ++i)
            samples[2 * static_cast<size_t>(kClickSample + i)] = samples[2 * static_cast<size_t>(kClickSample + i) + 1]
                = 30000;
        std::ofstream(m_dir + "/tone.raw", std::ios::binary)
            .write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
        std::ofstream(m_dir + "/asound.conf") << "pcm.!default {\n type file\n slave.pcm { type null }\n"
                                              << " file \"/dev/null\"\n infile \"" << m_dir << "/tone.raw\"\n"
                                              << " format \"raw\"\n}\n";
        setenv("ALSA_CONFIG_PATH", (m_dir + "/asound.conf").c_str(), 1);
    }
    ~ToneDevice()
    {
        std::error_code ignored;
        if (!m_dir.empty())
            std::filesystem::remove_all(m_dir, ignored);
    }
    [[nodiscard]] bool Ready() const { return !m_dir.empty(); }

private:
    std::string m_dir;
};

// The real ALSA backend, cut to a number of periods and, when paced,
// handing each period over at the moment a sound card would.
class PacedBackend final : public platform::WaveInBackend {
public:
    PacedBackend(bool paced, int maxPeriods)
        : m_paced(paced)
        , m_maxPeriods(maxPeriods)
    {
    }
    int GetDeviceCount() override { return m_inner.GetDeviceCount(); }
    std::string GetDeviceName(int index) override { return m_inner.GetDeviceName(index); }
    platform::WaveInResult Open(int index, const platform::WaveInFormat& format,
                                std::unique_ptr<platform::WaveInStream>* pStream) override
    {
        std::unique_ptr<platform::WaveInStream> inner;
        const platform::WaveInResult result = m_inner.Open(index, format, &inner);
        if (result == platform::WaveInResult::Ok)
            *pStream = std::make_unique<Stream>(std::move(inner), *this);
        return result;
    }
    // When the first period began.
    Clock::time_point started;

private:
    class Stream final : public platform::WaveInStream {
    public:
        Stream(std::unique_ptr<platform::WaveInStream> inner, PacedBackend& owner)
            : m_inner(std::move(inner))
            , m_owner(owner)
        {
            m_owner.started = Clock::now();
        }
        ReadResult ReadPeriod(int16_t* pSamples, int frames) override
        {
            if (m_periods >= m_owner.m_maxPeriods)
                return ReadResult::Gone;
            const ReadResult result = m_inner->ReadPeriod(pSamples, frames);
            ++m_periods;
            if (m_owner.m_paced)
                std::this_thread::sleep_until(m_owner.started + std::chrono::milliseconds(50) * m_periods);
            return result;
        }
        void Interrupt() override { m_inner->Interrupt(); }

    private:
        std::unique_ptr<platform::WaveInStream> m_inner;
        PacedBackend& m_owner;
        int m_periods = 0;
    };

    platform::WaveInBackend& m_inner = platform::WaveInBackend::System();
    bool m_paced;
    int m_maxPeriods;
};

// What the controller runs on every block while on air, in its order.
struct OnAirEffects {
    CLevelAnalyser analyser;
    CMzDspReverb reverb;
    CMzDspEcho echo;
    CMzDspSpeed pitch;
    std::array<uint8_t, CLevelAnalyser::kFrameBytes> frame {};
    std::atomic<int> peak { 0 };

    OnAirEffects()
    {
        (void)analyser.Reset(kRate);
        for (CMzDsp* effect : std::initializer_list<CMzDsp*> { &reverb, &echo, &pitch }) {
            effect->SetFormat(16, 2, kRate);
            effect->SetActive(true);
        }
        reverb.SetLevel(24);
        echo.SetDelay(230);
        pitch.SetPitch(120);
    }

    static int Hook(void* pSamples, int nFrames, int nRate, int nBits, int nChannels, void* pUser)
    {
        auto* self = static_cast<OnAirEffects*>(pUser);
        (void)self->analyser.Feed(static_cast<const int16_t*>(pSamples), 0, nFrames * nBits / 8 * nChannels);
        for (CMzDsp* effect : std::initializer_list<CMzDsp*> { &self->reverb, &self->echo, &self->pitch }) {
            const int frames = effect->Process(pSamples, nFrames, nBits, nChannels, nRate);
            if (frames >= 0)
                nFrames = frames;
        }
        if (self->analyser.Fetch(self->frame.data()) == 0)
            self->peak = CLevelAnalyser::PeakLevel(self->frame.data());
        return nFrames;
    }
};

// The stream ring and a sender that empties it into a socket the way the
// controller's send thread does: 1024 bytes at a time, 50 ms naps when idle.
class RingSender {
public:
    RingSender()
    {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds) != 0)
            m_fds[0] = m_fds[1] = -1;
        m_drain = std::jthread([this](std::stop_token stop) {
            char buffer[65536];
            while (!stop.stop_requested() && read(m_fds[1], buffer, sizeof buffer) > 0) {
            }
        });
        m_send = std::jthread([this](std::stop_token stop) { Send(stop); });
    }
    ~RingSender()
    {
        m_send.request_stop();
        m_send.join();
        shutdown(m_fds[0], SHUT_RDWR);
        m_drain.request_stop();
        m_drain.join();
        close(m_fds[0]);
        close(m_fds[1]);
    }

    static int OnEncoded(void* pUser, const char* pData, int nBytes)
    {
        (void)static_cast<RingSender*>(pUser)->m_ring.Write(nBytes, pData);
        return nBytes;
    }

    void WatchFor(uint64_t bytes) { m_watch = bytes; }
    [[nodiscard]] Clock::time_point ReachedAt() const { return Clock::time_point(Clock::duration(m_reachedAt.load())); }
    [[nodiscard]] bool Reached() const { return m_reachedAt.load() != 0; }
    [[nodiscard]] uint64_t Sent() const { return m_sent; }

private:
    void Send(std::stop_token stop)
    {
        char buffer[1024];
        while (!stop.stop_requested()) {
            const int got = m_ring.Read(sizeof buffer, buffer);
            if (got <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            if (send(m_fds[0], buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got)
                return;
            m_sent += static_cast<uint64_t>(got);
            if (m_watch != 0 && m_sent >= m_watch && m_reachedAt.load() == 0)
                m_reachedAt = Clock::now().time_since_epoch().count();
        }
    }

    GLockedRingBuffer m_ring;
    int m_fds[2] = { -1, -1 };
    std::atomic<uint64_t> m_sent { 0 };
    std::atomic<uint64_t> m_watch { 0 };
    std::atomic<Clock::rep> m_reachedAt { 0 };
    std::jthread m_drain;
    std::jthread m_send;
};

struct Road {
    PacedBackend backend;
    CAWaveInReader reader;
    CALameMp3Writer writer;
    OnAirEffects effects;
    RingSender sender;
    EndWaiter waiter;
    CARWMan pump;

    Road(bool paced, int maxPeriods)
        : backend(paced, maxPeriods)
        , reader(backend)
    {
        writer.SetBitrate(kKbps);
        writer.SetFormatOverride(kOutRate, 2);
        (void)writer.SetOutputCallback(&RingSender::OnEncoded, &sender);
        (void)pump.SetReader(&reader);
        (void)pump.SetWriter(&writer);
        pump.SetDspHook(&OnAirEffects::Hook, &effects);
        pump.SetNotifyWindow(waiter.Handle());
    }
};

void BM_RoadRealTimeFactor(benchmark::State& state)
{
    ToneDevice device;
    if (!device.Ready()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    for (auto _ : state) {
        Road road(false, kThroughputSeconds * 20);
        int code = 0;
        const auto cpuBefore = std::clock();
        if (!road.pump.Start(&code)) {
            state.SkipWithError("capture did not start");
            return;
        }
        while (!road.waiter.ended)
            road.waiter.WaitAndDispatch(1000);
        road.pump.Stop();
        state.counters["cpu_s"] = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    }
    state.counters["realtime_x"]
        = benchmark::Counter(kThroughputSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RoadRealTimeFactor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ClickToSocketLatency(benchmark::State& state)
{
    ToneDevice device;
    if (!device.Ready()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    // The click's MP3 frame: its output sample after resampling and the
    // encoder's delay; CBR frames at 32 kHz carry no padding.
    const int64_t clickOut = int64_t(kClickSample) * kOutRate / kRate + kEncoderDelay;
    const auto lastByte = uint64_t(clickOut / kMp3FrameSamples + 1) * kMp3FrameBytes;
    double worstMs = 0;
    double sumMs = 0;
    for (auto _ : state) {
        Road road(true, 40);
        road.sender.WatchFor(lastByte);
        int code = 0;
        if (!road.pump.Start(&code)) {
            state.SkipWithError("capture did not start");
            return;
        }
        const auto clickAt = road.backend.started + std::chrono::microseconds(int64_t(kClickSample) * 1000000 / kRate);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!road.sender.Reached() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        road.pump.Stop();
        if (!road.sender.Reached()) {
            state.SkipWithError("the click never left");
            return;
        }
        const double ms = std::chrono::duration<double, std::milli>(road.sender.ReachedAt() - clickAt).count();
        worstMs = std::max(worstMs, ms);
        sumMs += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["latency_ms"] = sumMs / double(state.iterations());
    state.counters["worst_ms"] = worstMs;
    state.counters["period_ms"] = double(kPeriodFrames) * 1000.0 / kRate;
}
BENCHMARK(BM_ClickToSocketLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

BENCHMARK_MAIN();

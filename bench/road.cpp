// The broadcast road without the network: capture from an ALSA file device
// (a tone with one click), the pump resampling to 32 kHz, the on-air effects
// (level analyser, reverb, echo, pitch), LAME at 320 kbit/s, and the stream
// ring emptied by a sender as the controller's send thread does.
//   BM_RoadRealTimeFactor: 60 s of sound as fast as the road takes it; the
//     pump thread does all the work, so this is the factor on one core. The
//     device runs at most two seconds ahead of the pump, well inside the
//     reader's backlog bound, so no sound is dropped on the way; the run
//     counts as done only when all 60 s were read, encoded to the bytes
//     60 s at 320 kbit/s give, and every byte left through the socket.
//   BM_ClickToSocketLatency: the device paced like a sound card (a 50 ms
//     period is handed over when it is complete); the time from the click's
//     moment in the sound to the last byte of its MP3 frame leaving a socket.
//   BM_ServerClickToSocketLatency: the same over a desktop sound server's
//     capture: what the computer plays and a microphone, each handed over
//     in the server's 20 ms fragments as they complete, in the stereo mix;
//     the click in the music (/0, the input the mix runs on) or in the
//     microphone (/1, which keeps its cushion ahead of the music).

#include "engine/audio/capture/CAWaveInReader.h"
#include "engine/audio/codec/CALameMp3Writer.h"
#include "engine/audio/effects/CMzDspEcho.h"
#include "engine/audio/effects/CMzDspReverb.h"
#include "engine/audio/effects/CMzDspSpeed.h"
#include "engine/audio/meter/CLevelAnalyser.h"
#include "engine/audio/road/CARWMan.h"
#include "foundation/GLockedRingBuffer.h"
#include "platform/ServerMixer.h"
#include "platform/ServerWaveIn.h"
#include "platform/WaveIn.h"

#include "bench/EndWaiter.h"
#include "fakes/FakeSoundServer.h"

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
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
// handing each period over at the moment a sound card would. Unpaced, it
// hands periods over as fast as the pump reads them, at most kAheadBytes
// ahead: the reader keeps only kMaxBacklogSeconds and drops the rest.
class PacedBackend final : public platform::WaveInBackend {
public:
    static constexpr uint64_t kAheadBytes = uint64_t(kRate) * 4 * 2;
    static_assert(kAheadBytes < uint64_t(CAWaveInReader::kMaxBacklogSeconds) * kRate * 4 / 2);

    PacedBackend(bool paced, int maxPeriods)
        : m_paced(paced)
        , m_maxPeriods(maxPeriods)
    {
    }
    // The pump whose reading lets an unpaced device go on.
    void FollowPump(const CARWMan* pPump) { m_pPump = pPump; }
    int GetDeviceCount() override { return m_inner.GetDeviceCount(); }
    std::string GetDeviceName(int index) override { return m_inner.GetDeviceName(index); }
    platform::WaveInResult Open(
        int index, const platform::WaveInFormat& format, std::unique_ptr<platform::WaveInStream>* pStream) override
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
            // The capture thread waits here, never the pump: two seconds of
            // sound are always queued for it.
            while (!m_owner.m_paced && m_owner.m_pPump && !m_interrupted
                && m_delivered > m_owner.m_pPump->GetReadBytes() + kAheadBytes)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const ReadResult result = m_inner->ReadPeriod(pSamples, frames);
            ++m_periods;
            m_delivered += uint64_t(frames) * 4;
            if (m_owner.m_paced)
                std::this_thread::sleep_until(m_owner.started + std::chrono::milliseconds(50) * m_periods);
            return result;
        }
        void Interrupt() override
        {
            m_interrupted = true;
            m_inner->Interrupt();
        }

    private:
        std::unique_ptr<platform::WaveInStream> m_inner;
        PacedBackend& m_owner;
        int m_periods = 0;
        uint64_t m_delivered = 0;
        std::atomic<bool> m_interrupted { false };
    };

    platform::WaveInBackend& m_inner = platform::WaveInBackend::System();
    bool m_paced;
    int m_maxPeriods;
    const CARWMan* m_pPump = nullptr;
};

// What the controller runs on every block while on air, in its order.
struct OnAirEffects {
    CLevelAnalyser analyser;
    CMzDspReverb reverb;
    CMzDspEcho echo;
    CMzDspSpeed pitch;
    std::array<uint8_t, CLevelAnalyser::kFrameBytes> frame {};
    std::atomic<int> peak { 0 };
    // Frames handed on to the encoder.
    std::atomic<uint64_t> framesOut { 0 };

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
        self->framesOut += uint64_t(nFrames);
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
            ssize_t got = 0;
            while (!stop.stop_requested() && (got = read(m_fds[1], buffer, sizeof buffer)) > 0)
                m_drained += uint64_t(got);
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
        auto* self = static_cast<RingSender*>(pUser);
        const bool kept = self->m_ring.Write(nBytes, pData);
        self->m_encoded += uint64_t(nBytes);
        if (!kept)
            self->m_lost += uint64_t(nBytes);
        return nBytes;
    }

    void WatchFor(uint64_t bytes) { m_watch = bytes; }
    [[nodiscard]] Clock::time_point ReachedAt() const { return Clock::time_point(Clock::duration(m_reachedAt.load())); }
    [[nodiscard]] bool Reached() const { return m_reachedAt.load() != 0; }
    [[nodiscard]] uint64_t Sent() const { return m_sent; }
    [[nodiscard]] uint64_t Encoded() const { return m_encoded; }
    [[nodiscard]] uint64_t Drained() const { return m_drained; }
    [[nodiscard]] uint64_t Lost() const { return m_lost; }
    // Waits until every encoded byte came out of the socket's far end.
    bool WaitAllThrough(std::chrono::seconds limit) const
    {
        const auto end = Clock::now() + limit;
        while (m_drained.load() < m_encoded.load() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_drained.load() == m_encoded.load();
    }

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
    std::atomic<uint64_t> m_encoded { 0 };
    std::atomic<uint64_t> m_lost { 0 };
    std::atomic<uint64_t> m_drained { 0 };
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
        backend.FollowPump(&pump);
    }
};

bool g_failed = false;

// Reports a benchmark that did not do all its work: no figure, and the
// program's exit status says so.
void Fail(benchmark::State& state, const std::string& why)
{
    g_failed = true;
    std::fprintf(stderr, "bench_road: %s\n", why.c_str());
    state.SkipWithError(why.c_str());
}

// The MP3 bytes `frames` frames of sound give at 32 kHz / 320 kbit/s: LAME
// adds its delay in front and fills the last frame.
uint64_t ExpectedMp3Bytes(uint64_t frames)
{
    return (frames + kEncoderDelay + kMp3FrameSamples - 1) / kMp3FrameSamples * kMp3FrameBytes;
}

void BM_RoadRealTimeFactor(benchmark::State& state)
{
    ToneDevice device;
    if (!device.Ready()) {
        Fail(state, "no temporary folder");
        return;
    }
    const uint64_t inputBytes = uint64_t(kThroughputSeconds) * kRate * 4;
    const uint64_t outputFrames = uint64_t(kThroughputSeconds) * kOutRate;
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        Road road(false, kThroughputSeconds * 20);
        int code = 0;
        const auto cpuBefore = std::clock();
        const auto began = Clock::now();
        if (!road.pump.Start(&code)) {
            Fail(state, "capture did not start");
            return;
        }
        while (!road.waiter.ended)
            road.waiter.WaitAndDispatch(1000);
        const double took = std::chrono::duration<double>(Clock::now() - began).count();
        const bool through = road.sender.WaitAllThrough(std::chrono::seconds(10));
        road.pump.Stop();
        cpu += double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        seconds += took;
        state.SetIterationTime(took);

        // All of it, or no figure: a road that dropped sound would time
        // less work than it claims.
        const uint64_t read = road.pump.GetReadBytes();
        const uint64_t frames = road.effects.framesOut.load();
        const uint64_t encoded = road.sender.Encoded();
        const uint64_t expected = ExpectedMp3Bytes(outputFrames);
        const auto bytesOff = encoded > expected ? encoded - expected : expected - encoded;
        char why[256] = {};
        if (read != inputBytes)
            std::snprintf(why, sizeof why, "the pump read %llu of %llu bytes of sound", (unsigned long long)read,
                (unsigned long long)inputBytes);
        else if (bytesOff > uint64_t(kMp3FrameBytes))
            std::snprintf(why, sizeof why,
                "encoded %llu bytes, 60 s at %d kbit/s give %llu (%llu frames reached the encoder)",
                (unsigned long long)encoded, kKbps, (unsigned long long)expected, (unsigned long long)frames);
        else if (road.sender.Lost() != 0 || !through)
            std::snprintf(why, sizeof why, "%llu of %llu encoded bytes left through the socket",
                (unsigned long long)road.sender.Drained(), (unsigned long long)encoded);
        if (why[0]) {
            Fail(state, why);
            return;
        }
        state.counters["mp3_bytes"] = double(encoded);
    }
    const double runs = double(state.iterations());
    state.counters["process_cpu_s"] = cpu / runs;
    state.counters["realtime_x"] = kThroughputSeconds * runs / seconds;
}
BENCHMARK(BM_RoadRealTimeFactor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The click's times through one road after another: each run starts the
// road's pump and waits, at most 5 s, for the last byte of the click's MP3
// frame to leave; the run's figure is from the click's moment in the sound
// (`clickSample` after `started`, which the road may set as its pump starts)
// to that byte.
class ClickTimes {
public:
    // `why` tells, when the byte never left, what went wrong.
    template <class Why>
    bool Time(benchmark::State& state, CARWMan& pump, const RingSender& sender, const Clock::time_point& started,
        int clickSample, Why why)
    {
        int code = 0;
        if (!pump.Start(&code)) {
            Fail(state, "capture did not start");
            return false;
        }
        const auto clickAt = started + std::chrono::microseconds(int64_t(clickSample) * 1000000 / kRate);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!sender.Reached() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pump.Stop();
        if (!sender.Reached()) {
            Fail(state, why());
            return false;
        }
        const double ms = std::chrono::duration<double, std::milli>(sender.ReachedAt() - clickAt).count();
        m_worstMs = std::max(m_worstMs, ms);
        m_sumMs += ms;
        ++m_runs;
        state.SetIterationTime(ms / 1000.0);
        return true;
    }

    void Report(benchmark::State& state) const
    {
        state.counters["latency_ms"] = m_sumMs / double(std::max(m_runs, 1));
        state.counters["worst_ms"] = m_worstMs;
    }

private:
    double m_worstMs = 0;
    double m_sumMs = 0;
    int m_runs = 0;
};

void BM_ClickToSocketLatency(benchmark::State& state)
{
    ToneDevice device;
    if (!device.Ready()) {
        Fail(state, "no temporary folder");
        return;
    }
    // The click's MP3 frame: its output sample after resampling and the
    // encoder's delay; CBR frames at 32 kHz carry no padding.
    const int64_t clickOut = int64_t(kClickSample) * kOutRate / kRate + kEncoderDelay;
    const auto lastByte = uint64_t(clickOut / kMp3FrameSamples + 1) * kMp3FrameBytes;
    ClickTimes times;
    for (auto _ : state) {
        Road road(true, 40);
        road.sender.WatchFor(lastByte);
        if (!times.Time(state, road.pump, road.sender, road.backend.started, kClickSample,
                [] { return "the click never left"; }))
            return;
    }
    times.Report(state);
    state.counters["period_ms"] = double(kPeriodFrames) * 1000.0 / kRate;
}
BENCHMARK(BM_ClickToSocketLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The broadcast road on a sound server's stereo mix, the server played by
// a thread that hands each input's 20 ms fragments over as they complete.
// The DSP hook finds the click on its way to the encoder and watches for
// the last byte of its MP3 frame.
struct ServerRoad {
    static constexpr int kFragmentFrames = kRate / 50;
    static constexpr int kSeconds = 3;

    FakeSoundServer server;
    platform::ServerMixer mixer { server };
    platform::ServerWaveIn capture { mixer };
    CAWaveInReader reader { capture };
    CALameMp3Writer writer;
    OnAirEffects effects;
    RingSender sender;
    EndWaiter waiter;
    CARWMan pump;
    Clock::time_point started;
    std::atomic<bool> clickSeen { false };
    std::jthread feeder;

    ServerRoad(bool clickInMicrophone, int clickSample)
    {
        server.SetLines(FakeSoundServer::SpeakersAndMicrophone());
        writer.SetBitrate(kKbps);
        writer.SetFormatOverride(kOutRate, 2);
        (void)writer.SetOutputCallback(&RingSender::OnEncoded, &sender);
        (void)pump.SetReader(&reader);
        (void)pump.SetWriter(&writer);
        pump.SetDspHook(&ServerRoad::Hook, this);
        pump.SetNotifyWindow(waiter.Handle());
        std::vector<int16_t> music(size_t(kRate) * 2 * kSeconds);
        std::vector<int16_t> mic(music.size(), 0);
        for (size_t i = 0; i < music.size() / 2; ++i)
            music[2 * i] = music[2 * i + 1]
                = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 440.0 * double(i) / kRate));
        std::vector<int16_t>& clicked = clickInMicrophone ? mic : music;
        for (size_t i = 0; i < 64 * 2; ++i)
            clicked[size_t(clickSample) * 2 + i] = 30000;
        started = Clock::now();
        feeder = std::jthread([this, music = std::move(music), mic = std::move(mic)](std::stop_token stop) {
            const int fragments = kSeconds * 50;
            for (int k = 0; k < fragments && !stop.stop_requested(); ++k) {
                std::this_thread::sleep_until(started + std::chrono::milliseconds(20) * (k + 1));
                const size_t at = size_t(k) * kFragmentFrames * 2;
                (void)server.Feed("speakers.monitor", music.data() + at, kFragmentFrames);
                (void)server.Feed("mic", mic.data() + at, kFragmentFrames);
            }
        });
    }

    static int Hook(void* pSamples, int nFrames, int nRate, int nBits, int nChannels, void* pUser)
    {
        auto* self = static_cast<ServerRoad*>(pUser);
        const auto* pFrames = static_cast<const int16_t*>(pSamples);
        for (int i = 0; i < nFrames && !self->clickSeen; ++i) {
            if (pFrames[size_t(i) * size_t(nChannels)] < 20000)
                continue;
            // Its output sample (the hook runs at the rate it is given)
            // after the encoder's delay.
            const auto frame = int64_t(self->effects.framesOut.load()) + i;
            const int64_t clickOut = frame * kOutRate / nRate + kEncoderDelay;
            self->sender.WatchFor(uint64_t(clickOut / kMp3FrameSamples + 1) * kMp3FrameBytes);
            self->clickSeen = true;
        }
        self->effects.framesOut += uint64_t(nFrames);
        (void)nBits;
        return nFrames;
    }
};

void BM_ServerClickToSocketLatency(benchmark::State& state)
{
    const bool clickInMicrophone = state.range(0) != 0;
    ClickTimes times;
    int run = 0;
    for (auto _ : state) {
        // Each run's click falls 10 ms later in the road's 50 ms rhythm (its
        // period and the sender's naps), so the figures are those of any
        // moment a presenter speaks, not of one lucky phase.
        const int clickSample = kClickSample + kRate / 100 * (run++ % 5);
        ServerRoad road(clickInMicrophone, clickSample);
        if (clickInMicrophone) {
            // The microphone at its talk-over level.
            std::shared_ptr<platform::MixerDevice> device = road.mixer.Open(0);
            if (!device || !device->SetValues(3, 1, 1, { 32768 })) {
                Fail(state, "the microphone fader did not open");
                return;
            }
        }
        if (!times.Time(state, road.pump, road.sender, road.started, clickSample,
                [&] { return road.clickSeen ? "the click never left" : "the click never reached the encoder"; }))
            return;
    }
    times.Report(state);
}
BENCHMARK(BM_ServerClickToSocketLatency)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_failed ? 1 : 0;
}

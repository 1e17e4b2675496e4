// Capture's own work per period on one core, for 60 s of 44.1 kHz stereo:
//   BM_SingleInputPeriods: today's path of a sound card's capture: a
//     stream hands each 50 ms period over as it was recorded.
//   BM_ServerMixOfTwoInputs: a sound server's capture recording the stereo
//     mix of two inputs: what the computer plays and a microphone on a clock
//     500 ppm faster, each handed over in the server's 20 ms fragments,
//     mixed at their gains (the microphone's fading) with its drift held.
// A run counts as done only when every period of the 60 s came out, and
// the last one holds the sum of what went in.

#include "platform/ServerWaveIn.h"

#include "fakes/FakeSoundServer.h"
#include "fakes/FakeWaveIn.h"
#include "fakes/ManualClock.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kPeriodFrames = kRate / 20;
constexpr int kFragmentFrames = kRate / 50;
constexpr int kPeriods = kSeconds * 20;
constexpr int16_t kMusic = 1000;
constexpr int16_t kMic = 300;

void BM_SingleInputPeriods(benchmark::State& state)
{
    const std::vector<int16_t> period(size_t(kPeriodFrames) * 2, kMusic);
    std::vector<int16_t> out(period.size());
    for (auto _ : state) {
        state.PauseTiming();
        FakeWaveInBackend backend;
        std::unique_ptr<platform::WaveInStream> stream;
        if (backend.Open(0, platform::WaveIn::StreamFormat(kRate, 2), &stream) != platform::WaveInResult::Ok) {
            state.SkipWithError("the stream did not open");
            return;
        }
        state.ResumeTiming();
        int done = 0;
        for (int p = 0; p < kPeriods; ++p) {
            backend.Feed(period);
            if (stream->ReadPeriod(out.data(), kPeriodFrames) == platform::WaveInStream::ReadResult::Ok)
                ++done;
        }
        benchmark::DoNotOptimize(out.data());
        if (done != kPeriods || out.back() != kMusic) {
            state.SkipWithError("not every period came through");
            return;
        }
    }
    state.counters["realtime_x"]
        = benchmark::Counter(double(kSeconds) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SingleInputPeriods)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ServerMixOfTwoInputs(benchmark::State& state)
{
    const std::vector<int16_t> music(size_t(kFragmentFrames) * 2, kMusic);
    const std::vector<int16_t> mic(size_t(kFragmentFrames) * 2, kMic);
    std::vector<int16_t> out(size_t(kPeriodFrames) * 2);
    const platform::ServerLines lines = FakeSoundServer::SpeakersAndMicrophone();
    for (auto _ : state) {
        state.PauseTiming();
        FakeSoundServer server;
        server.SetLines(lines);
        platform::ServerMixer mixer(server);
        ManualClock clock;
        platform::ServerWaveIn capture(mixer, clock);
        std::unique_ptr<platform::WaveInStream> stream;
        if (capture.Open(0, platform::WaveIn::StreamFormat(kRate, 2), &stream) != platform::WaveInResult::Ok) {
            state.SkipWithError("the stream did not open");
            return;
        }
        // The microphone at its talk-over level, so both inputs are mixed.
        std::shared_ptr<platform::MixerDevice> device = mixer.Open(0);
        if (!device || !device->SetValues(3, 1, 1, { 32768 })) {
            state.SkipWithError("the microphone fader did not open");
            return;
        }
        // The first read takes in the plan (silence after the grace).
        clock.Advance(1000);
        (void)stream->ReadPeriod(out.data(), kPeriodFrames);
        state.ResumeTiming();
        int done = 0;
        double micDue = 0;
        int64_t fed = 0;
        int64_t micFed = 0;
        while (done < kPeriods) {
            (void)server.Feed("speakers.monitor", music.data(), kFragmentFrames);
            fed += kFragmentFrames;
            micDue = double(fed) * 1.0005;
            while (double(micFed + kFragmentFrames) <= micDue) {
                (void)server.Feed("mic", mic.data(), kFragmentFrames);
                micFed += kFragmentFrames;
            }
            if (fed >= int64_t(done + 1) * kPeriodFrames
                && stream->ReadPeriod(out.data(), kPeriodFrames) == platform::WaveInStream::ReadResult::Ok)
                ++done;
        }
        benchmark::DoNotOptimize(out.data());
        // The recording fader (32767) is a hair under unity: the sum rounds.
        if (out.back() != kMusic + kMic) {
            state.SkipWithError("the mix did not carry both inputs");
            return;
        }
    }
    state.counters["realtime_x"]
        = benchmark::Counter(double(kSeconds) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ServerMixOfTwoInputs)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

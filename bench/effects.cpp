// The three sound effects on a minute of 44.1 kHz stereo, block by block as
// the pump hands it over. The "x_realtime" counter is seconds of sound per
// second of processing; the whole road aims at 20x, so the effects together
// should stay far above 200x.
#include "engine/audio/effects/CMzDspEcho.h"
#include "engine/audio/effects/CMzDspReverb.h"
#include "engine/audio/effects/CMzDspSpeed.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kBlock = 2304;

// A chord with a slow swell and a little noise: busy enough that no effect
// can take a shortcut on silence.
const std::vector<int16_t>& Minute()
{
    static const std::vector<int16_t> sound = [] {
        std::vector<int16_t> s(static_cast<size_t>(kRate) * kSeconds * 2);
        uint32_t noise = 12345;
        for (size_t i = 0; i < s.size() / 2; ++i) {
            const double t = static_cast<double>(i) / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double v = 6000 * std::sin(2 * std::numbers::pi * 220 * t)
                + 4000 * std::sin(2 * std::numbers::pi * 277 * t)
                + 3000 * std::sin(2 * std::numbers::pi * 330 * t) * (0.5 + 0.5 * std::sin(t))
                + static_cast<double>(static_cast<int32_t>(noise >> 16) - 32768) / 32;
            s[2 * i] = static_cast<int16_t>(v);
            s[2 * i + 1] = static_cast<int16_t>(-v * 0.8);
        }
        return s;
    }();
    return sound;
}

enum Effects { kReverb = 1, kEcho = 2, kPitch = 4 };

void Run(benchmark::State& state, int effects, int percent)
{
    const std::vector<int16_t>& sound = Minute();
    CMzDspReverb reverb;
    CMzDspEcho echo;
    CMzDspSpeed speed;
    reverb.SetLevel(24);
    reverb.SetActive(effects & kReverb);
    echo.SetDelay(230);
    echo.SetActive(effects & kEcho);
    speed.SetPitch(percent);
    speed.SetActive(effects & kPitch);
    std::vector<int16_t> block((kBlock + CMzDspSpeed::kMaxExtraFrames) * 2);
    const int total = static_cast<int>(sound.size() / 2);
    for (auto _ : state) {
        long long out = 0;
        for (int f = 0; f < total; f += kBlock) {
            const int n = std::min(kBlock, total - f);
            std::copy_n(sound.begin() + 2L * f, 2L * n, block.begin());
            int frames = reverb.Process(block.data(), n, 16, 2, kRate);
            frames = echo.Process(block.data(), frames, 16, 2, kRate);
            frames = speed.Process(block.data(), frames, 16, 2, kRate);
            out += frames;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["us_per_block"] = benchmark::Counter(static_cast<double>(total) / kBlock,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK_CAPTURE(Run, all_three_pitch160, kReverb | kEcho | kPitch, 160)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, all_three_pitch60, kReverb | kEcho | kPitch, 60)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, reverb, kReverb, 100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, echo, kEcho, 100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, pitch160, kPitch, 160)->Unit(benchmark::kMillisecond);

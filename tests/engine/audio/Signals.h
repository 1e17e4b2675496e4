#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <thread>
#include <vector>

namespace tavdj_test {

// Interleaved 16-bit sine, the same on every channel.
inline std::vector<int16_t> Sine(double hz, double amplitude, int rate, int channels, int frames)
{
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
        for (int c = 0; c < channels; ++c)
            out[static_cast<size_t>(i) * channels + c] = v;
    }
    return out;
}

// Power of one frequency in channel ch of an interleaved signal.
inline double Goertzel(const std::vector<int16_t>& s, int channels, int ch, double hz, int rate)
{
    const double coeff = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double s1 = 0;
    double s2 = 0;
    for (size_t i = static_cast<size_t>(ch); i < s.size(); i += static_cast<size_t>(channels)) {
        const double s0 = s[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

// The power-weighted mean frequency between lo and hi (steps of step Hz) in
// channel 0. A cross-faded shift carries sidebands around its tone; their
// mean stays on the tone where the single strongest line may not.
inline double PowerCentroid(const std::vector<int16_t>& s, int channels, int rate, double lo, double hi, double step)
{
    double weighted = 0;
    double total = 0;
    for (double hz = lo; hz <= hi; hz += step) {
        const double p = Goertzel(s, channels, 0, hz, rate);
        weighted += p * hz;
        total += p;
    }
    return total > 0 ? weighted / total : 0;
}

// Waits until a pump thread has finished at least one more block, bounded
// by a deadline.
inline void WaitForBlocks(const std::atomic<int>& blocks, int after)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (blocks.load() <= after && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

}  // namespace tavdj_test

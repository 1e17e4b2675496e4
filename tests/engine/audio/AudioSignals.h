#pragma once

// Signals and measurements shared by the audio tests.

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

namespace audiotest {

// Interleaved 16-bit sine, the same on every channel.
inline std::vector<int16_t> Sine(double hz, int rate, double amplitude, int frames, int channels = 1)
{
    std::vector<int16_t> out(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate)));
        for (int c = 0; c < channels; ++c)
            out[static_cast<size_t>(i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
    }
    return out;
}

// Left and right tones interleaved.
inline std::vector<int16_t> StereoTones(double leftFreq, double rightFreq, int rate, double amplitude, int frames)
{
    const std::vector<int16_t> l = Sine(leftFreq, rate, amplitude, frames);
    const std::vector<int16_t> r = Sine(rightFreq, rate, amplitude, frames);
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < l.size(); ++i) {
        out[2 * i] = l[i];
        out[2 * i + 1] = r[i];
    }
    return out;
}

// One channel of interleaved samples, from frame `from` to frame `to`.
inline std::vector<int16_t> Channel(
    const std::vector<int16_t>& interleaved, int channels, int channel, size_t from = 0, size_t to = SIZE_MAX)
{
    std::vector<int16_t> out;
    const size_t frames = interleaved.size() / static_cast<size_t>(channels);
    for (size_t i = from; i < frames && i < to; ++i)
        out.push_back(interleaved[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)]);
    return out;
}

// Amplitude of the component at freq, through a Hann window so a
// non-integer number of periods leaks little.
inline double ToneAmplitude(const std::vector<int16_t>& x, double freq, double rate)
{
    double re = 0.0;
    double im = 0.0;
    double wsum = 0.0;
    const double n = static_cast<double>(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / n);
        const double a = 2.0 * std::numbers::pi * freq * static_cast<double>(i) / rate;
        re += w * x[i] * std::cos(a);
        im += w * x[i] * std::sin(a);
        wsum += w;
    }
    return 2.0 * std::sqrt(re * re + im * im) / wsum;
}

// Frequency from the first and last rising zero crossings, interpolated.
inline double ZeroCrossingFrequency(const std::vector<int16_t>& x, double rate)
{
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = static_cast<double>(i - 1) + static_cast<double>(-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * rate / (last - first);
}

inline std::vector<char> Bytes(const std::vector<int16_t>& samples)
{
    std::vector<char> out(samples.size() * 2);
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

inline std::vector<int16_t> Samples(const std::vector<char>& bytes)
{
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
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

} // namespace audiotest

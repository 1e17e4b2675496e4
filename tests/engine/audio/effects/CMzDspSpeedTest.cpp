#include "engine/audio/effects/CMzDspSpeed.h"

#include "engine/audio/AudioSignals.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

using audiotest::PowerCentroid;
using audiotest::Sine;

namespace {

constexpr int kRate = 44100;

// Feeds the signal in blocks of the given sizes (cycled), each in a buffer
// that has exactly the documented room, and returns the joined output.
std::vector<int16_t> RunBlocks(CMzDspSpeed& speed, const std::vector<int16_t>& in, int channels, int rate,
    const std::vector<int>& sizes, long long* pFrameDrift = nullptr)
{
    std::vector<int16_t> out;
    const int total = static_cast<int>(in.size()) / channels;
    long long drift = 0;
    size_t next = 0;
    for (int done = 0; done < total;) {
        const int n = std::min(sizes[next++ % sizes.size()], total - done);
        std::vector<int16_t> block(static_cast<size_t>(n + CMzDspSpeed::kMaxExtraFrames) * channels);
        std::copy_n(in.begin() + static_cast<long>(done) * channels, static_cast<long>(n) * channels, block.begin());
        const int got = speed.Process(block.data(), n, 16, channels, rate);
        EXPECT_GE(got, 0);
        EXPECT_LE(got, n + CMzDspSpeed::kMaxExtraFrames);
        out.insert(out.end(), block.begin(), block.begin() + static_cast<long>(got) * channels);
        drift += got - n;
        done += n;
    }
    if (pFrameDrift)
        *pFrameDrift = drift;
    return out;
}

int MaxStep(const std::vector<int16_t>& s, int channels, size_t fromFrame)
{
    int step = 0;
    for (size_t i = (fromFrame + 1) * channels; i < s.size(); ++i)
        step = std::max(step, std::abs(s[i] - s[i - channels]));
    return step;
}

int MaxAbs(const std::vector<int16_t>& s, size_t fromFrame, int channels)
{
    int peak = 0;
    for (size_t i = fromFrame * channels; i < s.size(); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    return peak;
}

} // namespace

TEST(CMzDspSpeed, PercentIsClampedAndOneHundredTakesTheEffectOut)
{
    CMzDspSpeed speed;
    speed.SetPitch(50);
    EXPECT_DOUBLE_EQ(speed.GetPitchFactor(), 0.6);
    EXPECT_TRUE(speed.IsInUse());
    speed.SetPitch(200);
    EXPECT_DOUBLE_EQ(speed.GetPitchFactor(), 1.6);
    speed.SetPitch(-5);
    EXPECT_DOUBLE_EQ(speed.GetPitchFactor(), 0.6);
    speed.SetPitch(137);
    EXPECT_DOUBLE_EQ(speed.GetPitchFactor(), 1.37);

    speed.SetPitch(100);
    speed.SetActive(true);
    EXPECT_FALSE(speed.IsInUse());
    std::vector<int16_t> block = Sine(1000, kRate, 8000, 2304, 2);
    const std::vector<int16_t> in = block;
    EXPECT_EQ(speed.Process(block.data(), 2304, 16, 2, kRate), 2304);
    EXPECT_EQ(block, in);

    // 8-bit sound is never shifted.
    speed.SetPitch(160);
    std::vector<uint8_t> bytes(2304 * 2, 77);
    EXPECT_EQ(speed.Process(bytes.data(), 2304, 8, 2, kRate), 2304);
    EXPECT_EQ(bytes, std::vector<uint8_t>(bytes.size(), 77));
}

TEST(CMzDspSpeed, SineMovesByThePitchFactorWithoutClicksAtBlockJoins)
{
    const std::vector<int16_t> in = Sine(1000, kRate, 8000, kRate * 3, 2);
    for (const int percent : { 160, 60 }) {
        SCOPED_TRACE(percent);
        CMzDspSpeed speed;
        speed.SetPitch(percent);
        speed.SetActive(true);
        long long drift = 0;
        const std::vector<int16_t> out = RunBlocks(speed, in, 2, kRate, { 2304, 1486, 2320, 777, 1, 2048 }, &drift);
        EXPECT_LE(std::llabs(drift), 2 * CMzDspSpeed::kMaxExtraFrames);

        // Skip the first half second: the ring starts out silent.
        const std::vector<int16_t> steady(out.begin() + kRate, out.end());
        const double expected = 10.0 * percent;
        EXPECT_NEAR(PowerCentroid(steady, 2, kRate, expected / 2, expected * 1.5, 5), expected, expected * 0.025);

        // A smooth signal of this frequency moves by at most amplitude x
        // 2 pi f / rate per sample; a click at a join would be far larger.
        const double slope = 2 * std::numbers::pi * expected / kRate;
        EXPECT_LE(MaxStep(steady, 2, 0), 1.3 * slope * MaxAbs(steady, 0, 2) + 60);
    }
}

TEST(CMzDspSpeed, OutputStaysWithinTheDocumentedRoomForEveryShape)
{
    for (const int rate : { 44100, 22050, 32000, 24000, 48000 }) {
        for (const int channels : { 1, 2 }) {
            for (const int percent : { 60, 73, 99, 101, 137, 160 }) {
                SCOPED_TRACE(::testing::Message() << rate << " Hz, " << channels << " ch, " << percent << "%");
                CMzDspSpeed speed;
                speed.SetPitch(percent);
                speed.SetActive(true);
                const std::vector<int16_t> in = Sine(440, rate, 20000, rate, channels);
                long long drift = 0;
                const std::vector<int16_t> out
                    = RunBlocks(speed, in, channels, rate, { CMzDsp::kMaxBlockFrames, 1, 999, 2304, 3 }, &drift);
                EXPECT_LE(std::llabs(drift), 2 * CMzDspSpeed::kMaxExtraFrames);
            }
        }
    }
}

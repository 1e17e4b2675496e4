#include "engine/audio/effects/CMzDspReverb.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kRate = 44100;

double Energy(const std::vector<int16_t>& s, size_t from, size_t to)
{
    double e = 0;
    for (size_t i = from; i < to && i < s.size(); ++i)
        e += static_cast<double>(s[i]) * s[i];
    return e;
}

} // namespace

TEST(CMzDspReverb, DryPathIsThreeQuartersOfTheInputWhenTheLevelIsZero)
{
    CMzDspReverb reverb;
    reverb.SetLevel(0);
    reverb.SetActive(true);
    std::vector<int16_t> block(2304 * 2);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(static_cast<int>(i * 37 % 65536) - 32768);
    const std::vector<int16_t> in = block;
    ASSERT_EQ(reverb.Process(block.data(), 2304, 16, 2, kRate), 2304);
    for (size_t i = 0; i < block.size(); ++i)
        ASSERT_EQ(block[i], (in[i] * 24) >> 5) << i;
}

TEST(CMzDspReverb, ImpulseGrowsADecayingTailOnItsOwnChannel)
{
    CMzDspReverb reverb;
    reverb.SetFormat(16, 2, kRate);
    reverb.SetLevel(32);
    reverb.SetActive(true);
    constexpr int kFrames = kRate * 2;
    std::vector<int16_t> out(static_cast<size_t>(kFrames) * 2, 0);
    out[0] = 16000;
    for (int f = 0; f < kFrames; f += 2304)
        reverb.Process(out.data() + 2 * f, std::min(2304, kFrames - f), 16, 2, kRate);

    EXPECT_EQ(out[0], 12000);
    // Nothing returns before the shortest comb (17 ms = 749 frames).
    for (int f = 1; f < 749; ++f)
        ASSERT_EQ(out[2 * static_cast<size_t>(f)], 0) << f;
    EXPECT_NE(out[2 * 749], 0);
    std::vector<int16_t> left;
    for (size_t i = 0; i < out.size(); i += 2) {
        left.push_back(out[i]);
        ASSERT_EQ(out[i + 1], 0) << "right channel at frame " << i / 2;
    }
    // 60 dB down in half a second: each 100 ms window is far quieter.
    const double early = Energy(left, 749, 749 + 4410);
    const double mid = Energy(left, 749 + 4 * 4410, 749 + 5 * 4410);
    const double late = Energy(left, kFrames - 4410, kFrames);
    EXPECT_GT(early, 0);
    EXPECT_LT(mid, early / 1000);
    EXPECT_LT(late, 1.0);
}

TEST(CMzDspReverb, EightBitAndMonoBlocksPassUnchangedAfterStereo)
{
    CMzDspReverb reverb;
    reverb.SetLevel(24);
    reverb.SetActive(true);
    std::vector<int16_t> stereo(2304 * 2, 5000);
    reverb.Process(stereo.data(), 2304, 16, 2, kRate);

    // Buffers of exactly the block's size: a reverb still treating them as
    // 16-bit stereo would run past their end.
    std::vector<uint8_t> eight(1000);
    for (size_t i = 0; i < eight.size(); ++i)
        eight[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> eightIn = eight;
    EXPECT_EQ(reverb.Process(eight.data(), 1000, 8, 1, kRate), 1000);
    EXPECT_EQ(eight, eightIn);
    EXPECT_EQ(reverb.Process(eight.data(), 500, 8, 2, kRate), 500);
    EXPECT_EQ(eight, eightIn);

    std::vector<int16_t> mono(1000, 7000);
    EXPECT_EQ(reverb.Process(mono.data(), 1000, 16, 1, kRate), 1000);
    EXPECT_EQ(mono, std::vector<int16_t>(1000, 7000));

    // Back to stereo, the reverb runs again from a clean state.
    std::vector<int16_t> again(2304 * 2, 0);
    again[0] = 16000;
    reverb.Process(again.data(), 2304, 16, 2, kRate);
    EXPECT_EQ(again[0], 12000);
    EXPECT_EQ(again[1], 0);
}

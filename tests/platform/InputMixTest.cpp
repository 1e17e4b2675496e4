#include "platform/InputMix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Two inputs on clocks of their own, run for a long broadcast faster than
// real time. The follower's frames carry their own index (15 bits a
// channel), so the mix's output tells which follower frame played at each
// lead frame: the two must stay in step within the cushion.
struct SDriftCase {
    const char* name;
    int rate;
    double ppm; // how much faster the follower's clock runs
    int leadFragment; // frames the server hands over at a time, per input
    int followerFragment;
    int minutes;
    // The lead's fragments come this many at once (a busy server wakes
    // late and hands over what it has).
    int leadBurst = 1;
};

class InputMixDrift : public testing::TestWithParam<SDriftCase> { };

TEST_P(InputMixDrift, StaysInStepWithABoundedBacklogOneFrameAtATime)
{
    const SDriftCase& c = GetParam();
    const int period = c.rate / 20;
    const int cushion = c.rate * 40 / 1000;
    platform::InputMix mix;
    ASSERT_TRUE(mix.Prepare(2, 2, cushion, c.rate));
    const int32_t gains[2] = { 0, platform::InputMix::kUnity };

    const int64_t leadTotal = int64_t(c.rate) * 60 * c.minutes;
    const double followerPerLead = 1.0 + c.ppm * 1e-6;
    std::vector<int16_t> lead(size_t(c.leadFragment) * 2, 0);
    std::vector<int16_t> follower(size_t(c.followerFragment) * 2);
    std::vector<int16_t> out(size_t(period) * 2);
    int64_t leadFrames = 0;
    int64_t now = 0; // frames of the lead's clock gone by
    int64_t followerFrames = 0;
    int64_t mixed = 0;
    int64_t played = -1; // the follower frame heard last
    double worstLag = 0;
    double bestLag = 1e9;
    // Corrections heard in each second after the first minute: more than a
    // few dozen a second is heard as a voice gone sharp or flat.
    int64_t secondStart = 0;
    int corrected = 0;
    int mostCorrectedInASecond = 0;
    int maxLeadBacklog = 0;
    while (leadFrames < leadTotal) {
        now += c.leadFragment;
        for (; leadFrames + c.leadFragment * c.leadBurst <= now; leadFrames += c.leadFragment * c.leadBurst)
            for (int k = 0; k < c.leadBurst; ++k)
                mix.Push(0, lead.data(), c.leadFragment);
        maxLeadBacklog = std::max(maxLeadBacklog, mix.Backlog(0));
        while (double(followerFrames + c.followerFragment) <= double(now) * followerPerLead) {
            for (int i = 0; i < c.followerFragment; ++i) {
                const int64_t index = followerFrames + i;
                follower[size_t(i) * 2] = int16_t(index & 0x7FFF);
                follower[size_t(i) * 2 + 1] = int16_t((index >> 15) & 0x7FFF);
            }
            mix.Push(1, follower.data(), c.followerFragment);
            followerFrames += c.followerFragment;
        }
        while (mix.Available() >= period) {
            mix.Pull(out.data(), period, gains);
            for (int i = 0; i < period; ++i) {
                const int64_t index = int64_t(out[size_t(i) * 2]) | (int64_t(out[size_t(i) * 2 + 1]) << 15);
                const int64_t at = mixed + i;
                if (index == 0 && played < 0)
                    continue; // still filling its cushion
                if (played < 0)
                    played = index - 1; // it starts in step, past what came early
                // Each frame plays once, in order, but for a single repeat
                // or a single drop.
                ASSERT_GE(index, played) << "at frame " << at;
                ASSERT_LE(index - played, 2) << "at frame " << at;
                if (index - played != 1 && at > int64_t(c.rate) * 60)
                    ++corrected;
                if (at - secondStart >= c.rate) {
                    mostCorrectedInASecond = std::max(mostCorrectedInASecond, corrected);
                    corrected = 0;
                    secondStart = at;
                }
                played = index;
                // How far the follower's sound is behind the lead's, in
                // seconds of each one's own clock.
                const double lag = double(at) / c.rate - double(index) / (c.rate * followerPerLead);
                if (at > int64_t(c.rate) * 60) {
                    worstLag = std::max(worstLag, lag);
                    bestLag = std::min(bestLag, lag);
                }
            }
            mixed += period;
        }
    }
    const platform::InputMix::Stats stats = mix.InputStats(1);
    const double expected = std::abs(c.ppm) * 1e-6 * double(leadTotal);
    const double corrections
        = c.ppm >= 0 ? double(stats.dropped) - double(stats.repeated) : double(stats.repeated) - double(stats.dropped);
    EXPECT_NEAR(corrections, expected, expected * 0.01 + cushion / 2);
    // Nothing but the drift is corrected: every correction bends the pitch
    // a little, and a follower put right at full speed for seconds on end
    // is heard a few cents sharp or flat.
    EXPECT_LE(double(stats.dropped + stats.repeated), expected * 1.01 + cushion / 4);
    EXPECT_LE(mostCorrectedInASecond, c.rate * 1500e-6 + 1);
    EXPECT_EQ(stats.resets, 0u);
    EXPECT_LE(stats.maxBacklog, period + cushion * 2 + c.followerFragment * 2 + c.leadFragment * (c.leadBurst - 1));
    EXPECT_LE(maxLeadBacklog, period + c.leadFragment * c.leadBurst);
    // In step: never more than the cushion and a fragment apart, over the
    // whole run after the first minute.
    const double slack = double(cushion + 2 * std::max(c.leadFragment, c.followerFragment)) / c.rate;
    EXPECT_LT(worstLag - bestLag, slack) << "worst " << worstLag << " best " << bestLag;
    EXPECT_GE(bestLag, -slack);
    EXPECT_LE(worstLag, slack + double(period) / c.rate);
}

INSTANTIATE_TEST_SUITE_P(Rows, InputMixDrift,
    testing::Values(SDriftCase { "UsbMicFasterAnHour", 4000, 500.0, 80, 64, 60 },
        SDriftCase { "UsbMicSlowerAnHour", 4000, -500.0, 80, 64, 60 },
        SDriftCase { "SameClock", 4000, 0.0, 80, 80, 20 },
        SDriftCase { "CdRateFasterFiveMinutes", 44100, 500.0, 882, 1024, 5 },
        SDriftCase { "FarApartClocks", 44100, -1200.0, 882, 1000, 2 },
        SDriftCase { "LeadInBurstsOnTheSameClock", 44100, 0.0, 882, 256, 2, 3 },
        SDriftCase { "LeadInBurstsUsbMicSlower", 44100, -500.0, 882, 256, 5, 4 }),
    [](const testing::TestParamInfo<SDriftCase>& row) { return std::string(row.param.name); });

// Gains and sums on single frames of two inputs.
struct SGainCase {
    const char* name;
    int16_t lead;
    int16_t follower;
    int32_t leadGain;
    int32_t followerGain;
    int16_t expected;
};

class InputMixGain : public testing::TestWithParam<SGainCase> { };

TEST_P(InputMixGain, SumsAreScaledAndLimited)
{
    const SGainCase& c = GetParam();
    constexpr int kFrames = 64;
    platform::InputMix mix;
    ASSERT_TRUE(mix.Prepare(2, 1, 0, kFrames * 4));
    const std::vector<int16_t> lead(kFrames, c.lead);
    const std::vector<int16_t> follower(kFrames, c.follower);
    const int32_t gains[2] = { c.leadGain, c.followerGain };
    std::vector<int16_t> out(kFrames);
    // The first block ramps from silence; the second is at the gains.
    for (int block = 0; block < 2; ++block) {
        mix.Push(0, lead.data(), kFrames);
        mix.Push(1, follower.data(), kFrames);
        mix.Pull(out.data(), kFrames, gains);
    }
    for (int16_t sample : out)
        ASSERT_EQ(sample, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, InputMixGain,
    testing::Values(SGainCase { "UnityPassesAsIs", 12345, 0, 32768, 32768, 12345 },
        SGainCase { "HalfGain", 10000, 0, 16384, 0, 5000 },
        SGainCase { "TwoInputsAdd", 1000, 2000, 32768, 32768, 3000 },
        SGainCase { "FullScaleSumIsLimitedNotWrapped", 30000, 30000, 32768, 32768, 32767 },
        SGainCase { "NegativeSumIsLimited", -30000, -30000, 32768, 32768, -32768 },
        SGainCase { "SixDecibelsUpIsLimited", 20000, 0, 65536, 0, 32767 },
        SGainCase { "GainPastTheTopIsTheTop", 10000, 0, 1 << 20, 0, 20000 },
        SGainCase { "MutedFollower", 100, 32000, 32768, 0, 100 }),
    [](const testing::TestParamInfo<SGainCase>& row) { return std::string(row.param.name); });

TEST(InputMix, AGainChangeRampsAcrossTheBlockAndMissingLeadFramesAreSilence)
{
    constexpr int kFrames = 100;
    platform::InputMix mix;
    ASSERT_TRUE(mix.Prepare(1, 1, 0, 1000));
    const std::vector<int16_t> ones(kFrames, 10000);
    std::vector<int16_t> out(kFrames);
    int32_t gain = 32768;
    mix.Push(0, ones.data(), kFrames);
    mix.Pull(out.data(), kFrames, &gain);
    // From silence up to unity, never back down, ending at unity.
    for (int i = 1; i < kFrames; ++i)
        ASSERT_GE(out[size_t(i)], out[size_t(i) - 1]);
    EXPECT_LT(out.front(), 500);
    EXPECT_EQ(out.back(), 10000);
    mix.Push(0, ones.data(), kFrames / 2);
    mix.Pull(out.data(), kFrames, &gain);
    EXPECT_EQ(out[kFrames / 2 - 1], 10000);
    EXPECT_EQ(out[kFrames / 2], 0);
    EXPECT_EQ(mix.Available(), 0);
}

} // namespace

#include "engine/audio/meter/CLevelAnalyser.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Stereo frames whose left channel is given by fn(frame index) and whose
// right channel is full-scale negative, which the meter must ignore.
template <typename Fn> std::vector<int16_t> Frames(int first, int count, Fn fn)
{
    std::vector<int16_t> s(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        s[2 * static_cast<size_t>(i)] = fn(first + i);
        s[2 * static_cast<size_t>(i) + 1] = INT16_MIN;
    }
    return s;
}

} // namespace

TEST(CLevelAnalyser, PeakFollowsARampAcrossBlocksAndRingWraps)
{
    CLevelAnalyser analyser;
    uint8_t frame[CLevelAnalyser::kFrameBytes];
    EXPECT_EQ(analyser.Fetch(frame), CLevelAnalyser::kEFail);
    ASSERT_EQ(analyser.Reset(44100), 0);
    EXPECT_EQ(analyser.Fetch(frame), CLevelAnalyser::kEFail);

    // Rising by one per frame and wrapping after 32768, fed in blocks that
    // do not line up with the 1024-frame display frames.
    auto ramp = [](int t) { return static_cast<int16_t>(t % 32768); };
    std::vector<int16_t> block = Frames(0, 1023, ramp);
    analyser.Feed(block.data(), 1, static_cast<int>(block.size() * 2));
    EXPECT_EQ(analyser.Fetch(frame), CLevelAnalyser::kEFail);

    int fed = 1023;
    for (int n = 0; n < 200; ++n) {
        block = Frames(fed, 1000, ramp);
        analyser.Feed(block.data(), 2, static_cast<int>(block.size() * 2));
        fed += 1000;
        ASSERT_EQ(analyser.Fetch(frame), 0);
        // The newest display frame k covers frames 1024k..1024k+1022; its
        // largest sample is the last one it reads.
        const int k = fed / 1024 - 1;
        const int last = (1024 * k + 1022) % 32768;
        ASSERT_EQ(CLevelAnalyser::PeakLevel(frame), 2 * (last / 256)) << "after " << fed << " frames";
    }
}

TEST(CLevelAnalyser, SilenceFullScaleAndRightOnlySound)
{
    CLevelAnalyser analyser;
    analyser.Reset(22050);
    uint8_t frame[CLevelAnalyser::kFrameBytes];

    std::vector<int16_t> silence(2048, 0);
    analyser.Feed(silence.data(), 0, 4096);
    ASSERT_EQ(analyser.Fetch(frame), 0);
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + 576), std::vector<uint8_t>(576, 128));
    EXPECT_EQ(CLevelAnalyser::PeakLevel(frame), 0);

    std::vector<int16_t> full = Frames(0, 1024, [](int) { return INT16_MAX; });
    analyser.Feed(full.data(), 0, 4096);
    ASSERT_EQ(analyser.Fetch(frame), 0);
    EXPECT_EQ(CLevelAnalyser::PeakLevel(frame), 254);

    // Small negative values truncate toward zero: -255 still reads as silence.
    std::vector<int16_t> quiet = Frames(0, 1024, [](int t) { return static_cast<int16_t>(t % 2 ? -255 : -256); });
    analyser.Feed(quiet.data(), 0, 4096);
    ASSERT_EQ(analyser.Fetch(frame), 0);
    EXPECT_EQ(frame[0], 127);
    EXPECT_EQ(CLevelAnalyser::PeakLevel(frame), 0);

    analyser.ClearCurrent();
    ASSERT_EQ(analyser.Fetch(frame), 0);
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + 576), std::vector<uint8_t>(576, 0));

    // The right channel alone shows no level. A trailing odd byte is ignored.
    analyser.Reset(44100);
    std::vector<int16_t> right(2048 + 1, 0);
    for (size_t i = 1; i < 2048; i += 2)
        right[i] = INT16_MAX;
    analyser.Feed(right.data(), 0, 4096 + 1);
    ASSERT_EQ(analyser.Fetch(frame), 0);
    EXPECT_EQ(CLevelAnalyser::PeakLevel(frame), 0);
}

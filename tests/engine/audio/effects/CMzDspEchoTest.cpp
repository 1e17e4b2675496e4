#include "engine/audio/effects/CMzDspEcho.h"

#include "engine/audio/AudioSignals.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 2304;

// Runs silence with one sample set through the echo and returns the stream.
std::vector<int16_t> RunImpulse(CMzDspEcho& echo, int16_t level, int totalFrames)
{
    std::vector<int16_t> out;
    std::vector<int16_t> block(static_cast<size_t>(kBlock) * 2);
    for (int done = 0; done < totalFrames; done += kBlock) {
        std::fill(block.begin(), block.end(), int16_t { 0 });
        if (done == 0)
            block[0] = level;
        EXPECT_EQ(echo.Process(block.data(), kBlock, 16, 2, kRate), kBlock);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

} // namespace

TEST(CMzDspEcho, ImpulseReturnsAfterTheDelayAtHalfLevelEachTime)
{
    CMzDspEcho echo;
    echo.SetFormat(16, 2, kRate);
    echo.SetDelay(230);
    echo.SetActive(true);
    // 40572 bytes moved on by one whole sample: the echo lands on the other
    // channel, half a frame later.
    ASSERT_EQ(echo.GetDelayBytes(), 40574);
    const std::vector<int16_t> out = RunImpulse(echo, 16000, kRate * 2);

    const size_t delaySamples = 40574 / 2;
    int16_t expected = 16000;
    for (size_t i = 0; i < out.size(); ++i) {
        if (i % delaySamples == 0) {
            EXPECT_EQ(out[i], expected) << "repeat " << i / delaySamples;
            expected = static_cast<int16_t>(expected / 2);
        } else if (out[i] != 0) {
            ADD_FAILURE() << "stray sample at " << i << ": " << out[i];
            break;
        }
    }
}

TEST(CMzDspEcho, SwitchingOffAndOnForgetsTheEchoAndOffPassesUnchanged)
{
    CMzDspEcho echo;
    echo.SetDelay(100);
    echo.SetActive(true);
    std::vector<int16_t> block(static_cast<size_t>(kBlock) * 2, 0);
    block[0] = 20000;
    echo.Process(block.data(), kBlock, 16, 2, kRate);

    echo.SetActive(false);
    std::vector<int16_t> passed(block.size(), 1234);
    EXPECT_EQ(echo.Process(passed.data(), kBlock, 16, 2, kRate), kBlock);
    EXPECT_EQ(passed, std::vector<int16_t>(block.size(), 1234));

    echo.SetActive(true);
    for (int i = 0; i < 10; ++i) {
        std::fill(block.begin(), block.end(), int16_t { 0 });
        echo.Process(block.data(), kBlock, 16, 2, kRate);
        ASSERT_EQ(block, std::vector<int16_t>(block.size(), 0)) << "block " << i;
    }
}

TEST(CMzDspEcho, MixSaturatesAtTheSampleWidth)
{
    // A loud tone plus its own half-level echo clips, never wraps.
    for (const int16_t level : { int16_t { 30000 }, int16_t { -30000 } }) {
        CMzDspEcho echo;
        echo.SetDelay(10);
        echo.SetActive(true);
        std::vector<int16_t> loud(static_cast<size_t>(kBlock) * 2);
        for (int round = 0; round < 3; ++round) {
            std::fill(loud.begin(), loud.end(), level);
            echo.Process(loud.data(), kBlock, 16, 2, kRate);
        }
        const int16_t clipped = level > 0 ? INT16_MAX : INT16_MIN;
        EXPECT_EQ(loud, std::vector<int16_t>(loud.size(), clipped));
    }

    // 8-bit samples are handled as signed bytes and clip at their range.
    CMzDspEcho echo;
    echo.SetDelay(10);
    echo.SetActive(true);
    std::vector<int8_t> bytes(4000);
    for (int round = 0; round < 3; ++round) {
        std::fill(bytes.begin(), bytes.end(), int8_t { 100 });
        echo.Process(bytes.data(), 2000, 8, 2, 22050);
    }
    EXPECT_EQ(bytes, std::vector<int8_t>(bytes.size(), 127));
}

TEST(CMzDspEcho, DelayChangesWhileRunningKeepTheLineOneDelayLong)
{
    CMzDspEcho echo;
    echo.SetFormat(16, 2, kRate);
    echo.SetDelay(200);
    echo.SetActive(true);
    std::vector<int16_t> block(static_cast<size_t>(kBlock) * 2, 0);
    echo.Process(block.data(), kBlock, 16, 2, kRate);

    // Shorter: an impulse sent now returns after the new delay.
    echo.SetDelay(150);
    const int delayBytes = echo.GetDelayBytes();
    ASSERT_EQ(delayBytes, 4 * 44100 * 150 / 1000 + 2);
    std::vector<int16_t> out = RunImpulse(echo, 8000, kRate / 2);
    EXPECT_EQ(out[static_cast<size_t>(delayBytes / 2)], 4000);

    // Longer: silence is added behind what is queued.
    echo.SetDelay(400);
    out = RunImpulse(echo, 8000, kRate / 2);
    const size_t at = static_cast<size_t>(echo.GetDelayBytes() / 2);
    EXPECT_EQ(out[at], 4000);
}

// The echo's setters grow, cut and refill its delay line; doing so while the
// pump thread reads and appends to it is a use-after-free unless both sides
// hold the effect's lock. Each round uses a fresh echo, so its line grows
// through a dozen reallocations while blocks stream through.
TEST(CMzDspEcho, DelayLineResizedFromAnotherThreadWhileBlocksStream)
{
    const std::vector<int16_t> tone = audiotest::Sine(440, kRate, 12000, 1024, 2);
    for (int round = 0; round < 150; ++round) {
        CMzDspEcho echo;
        echo.SetDelay(1);
        echo.SetActive(true);
        std::atomic<int> blocks { 0 };
        std::jthread pump([&](std::stop_token stop) {
            std::vector<int16_t> block(tone.size());
            while (!stop.stop_requested()) {
                std::copy(tone.begin(), tone.end(), block.begin());
                EXPECT_EQ(echo.Process(block.data(), 1024, 16, 2, kRate), 1024);
                blocks.fetch_add(1);
            }
        });
        audiotest::WaitForBlocks(blocks, 0);
        for (int ms = 2; ms <= CMzDspEcho::kMaxDelayMs; ms = ms * 3 / 2) {
            echo.SetDelay(ms);
            if (ms % 2 == 0) {
                echo.SetActive(false);
                echo.SetActive(true);
            }
        }
        echo.SetDelay(3);
        pump.request_stop();
        pump.join();
        ASSERT_GT(blocks.load(), 0);
    }
}

#include "engine/audio/CMzDspEcho.h"
#include "engine/audio/CMzDspReverb.h"
#include "engine/audio/CMzDspSpeed.h"

#include "engine/audio/Signals.h"

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;

// Waits until the pump thread has finished at least one more block, bounded
// by a deadline.
void WaitForBlocks(const std::atomic<int>& blocks, int after)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (blocks.load() <= after && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

}  // namespace

// The echo's setters grow, cut and refill its delay line; doing so while the
// pump thread reads and appends to it is a use-after-free unless both sides
// hold the effect's lock. Each round uses a fresh echo, so its line grows
// through a dozen reallocations while blocks stream through.
TEST(CMzDspConcurrency, EchoDelayLineResizedWhileBlocksStream)
{
    const std::vector<int16_t> tone = tavdj_test::Sine(440, 12000, kRate, 2, 1024);
    for (int round = 0; round < 150; ++round) {
        CMzDspEcho echo;
        echo.SetDelay(1);
        echo.SetActive(true);
        std::atomic<int> blocks{0};
        std::jthread pump([&](std::stop_token stop) {
            std::vector<int16_t> block(tone.size());
            while (!stop.stop_requested()) {
                std::copy(tone.begin(), tone.end(), block.begin());
                EXPECT_EQ(echo.Process(block.data(), 1024, 16, 2, kRate), 1024);
                blocks.fetch_add(1);
            }
        });
        WaitForBlocks(blocks, 0);
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

// The other effects' settings change between blocks of a running stream;
// every block must still come back within its buffer.
TEST(CMzDspConcurrency, ReverbAndPitchSettersWhileBlocksStream)
{
    const std::vector<int16_t> tone = tavdj_test::Sine(440, 12000, kRate, 2, CMzDsp::kMaxBlockFrames);
    CMzDspReverb reverb;
    CMzDspSpeed speed;
    reverb.SetActive(true);
    speed.SetActive(true);
    std::atomic<int> blocks{0};
    std::jthread pump([&](std::stop_token stop) {
        std::vector<int16_t> block((CMzDsp::kMaxBlockFrames + CMzDspSpeed::kMaxExtraFrames) * 2);
        while (!stop.stop_requested()) {
            std::copy(tone.begin(), tone.end(), block.begin());
            const int frames = reverb.Process(block.data(), CMzDsp::kMaxBlockFrames, 16, 2, kRate);
            EXPECT_LE(speed.Process(block.data(), frames, 16, 2, kRate),
                      CMzDsp::kMaxBlockFrames + CMzDspSpeed::kMaxExtraFrames);
            blocks.fetch_add(1);
        }
    });
    for (int step = 0; step < 60; ++step) {
        const int seen = blocks.load();
        reverb.SetLevel(step);
        reverb.SetActive(step % 5 != 0);
        speed.SetPitch(55 + step * 2);
        speed.SetActive(step % 4 != 0);
        WaitForBlocks(blocks, seen);
    }
}

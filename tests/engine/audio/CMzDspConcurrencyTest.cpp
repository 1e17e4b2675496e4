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

// Waits until the pump thread has finished at least one more block, so the
// setters really interleave with Process; bounded by a deadline.
void WaitForBlocks(const std::atomic<int>& blocks, int after)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (blocks.load() <= after && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

}  // namespace

// The echo's setters grow, cut and refill its delay line; doing so while the
// pump thread reads and appends to it is a use-after-free unless both sides
// hold the effect's lock. Each round uses a fresh echo so the line grows
// through many reallocations while blocks stream through.
TEST(CMzDspConcurrency, SettersFromTheMainThreadWhileBlocksStream)
{
    const std::vector<int16_t> tone = tavdj_test::Sine(440, 12000, kRate, 2, CMzDsp::kMaxBlockFrames);
    for (int round = 0; round < 20; ++round) {
        CMzDspEcho echo;
        CMzDspReverb reverb;
        CMzDspSpeed speed;
        echo.SetDelay(5);
        echo.SetActive(true);
        reverb.SetActive(true);
        speed.SetActive(true);
        std::atomic<int> blocks{0};
        {
            std::jthread pump([&](std::stop_token stop) {
                std::vector<int16_t> block((CMzDsp::kMaxBlockFrames + CMzDspSpeed::kMaxExtraFrames) * 2);
                while (!stop.stop_requested()) {
                    std::copy(tone.begin(), tone.end(), block.begin());
                    int frames = reverb.Process(block.data(), CMzDsp::kMaxBlockFrames, 16, 2, kRate);
                    frames = echo.Process(block.data(), frames, 16, 2, kRate);
                    frames = speed.Process(block.data(), frames, 16, 2, kRate);
                    EXPECT_LE(frames, CMzDsp::kMaxBlockFrames + CMzDspSpeed::kMaxExtraFrames);
                    blocks.fetch_add(1);
                }
            });
            int step = 0;
            for (const int ms : {10, 80, 300, 700, 1500, 3000, 6000, 10000, 40, 9000, 1, 5000}) {
                const int seen = blocks.load();
                echo.SetDelay(ms);
                if (++step % 3 == 0) {
                    echo.SetActive(false);
                    echo.SetActive(true);
                }
                reverb.SetLevel(step * 3);
                speed.SetPitch(55 + step * 9);
                speed.SetActive(step % 4 != 0);
                WaitForBlocks(blocks, seen);
            }
        }
        ASSERT_GT(blocks.load(), 0);
    }
}

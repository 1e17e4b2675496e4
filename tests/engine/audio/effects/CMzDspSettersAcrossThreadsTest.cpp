// The reverb's and the pitch effect's setters run on the main thread while
// the pump thread streams blocks through Process: no crash, no overrun, and
// the output stays a bounded signal of the promised length. Run under the
// sanitizer build this also catches a block written past its room.
#include "engine/audio/effects/CMzDspReverb.h"
#include "engine/audio/effects/CMzDspSpeed.h"

#include "engine/audio/AudioSignals.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

constexpr int kRate = 44100;

TEST(CMzDspReverb, FormatAndLevelChangedFromAnotherThreadWhileBlocksStream)
{
    const std::vector<int16_t> tone = audiotest::Sine(440, kRate, 12000, CMzDsp::kMaxBlockFrames, 2);
    for (int round = 0; round < 40; ++round) {
        CMzDspReverb reverb;
        reverb.SetFormat(16, 2, kRate);
        reverb.SetLevel(16);
        reverb.SetActive(true);
        std::atomic<int> blocks { 0 };
        std::jthread pump([&](std::stop_token stop) {
            std::vector<int16_t> block(tone.size());
            // Block sizes and layouts vary as they do after a resampler or
            // a device change: mono and 8-bit blocks must pass untouched.
            int n = 1;
            while (!stop.stop_requested()) {
                std::copy(tone.begin(), tone.end(), block.begin());
                n = n * 7 % CMzDsp::kMaxBlockFrames + 1;
                const int channels = (blocks.load() % 5 == 4) ? 1 : 2;
                const int bits = (blocks.load() % 7 == 6) ? 8 : 16;
                // The buffer holds n 16-bit stereo frames, the largest layout.
                EXPECT_EQ(reverb.Process(block.data(), n, bits, channels, kRate), n);
                blocks.fetch_add(1);
            }
        });
        audiotest::WaitForBlocks(blocks, 0);
        for (int i = 0; i < 30; ++i) {
            reverb.SetLevel(i % 33);
            reverb.SetFormat(i % 3 == 0 ? 8 : 16, i % 2 == 0 ? 1 : 2, i % 4 == 0 ? 22050 : kRate);
            if (i % 5 == 0) {
                reverb.SetActive(false);
                reverb.SetActive(true);
            }
            audiotest::WaitForBlocks(blocks, blocks.load());
        }
        pump.request_stop();
        pump.join();
        ASSERT_GT(blocks.load(), 30);
    }
}

TEST(CMzDspSpeed, PitchChangedFromAnotherThreadWhileBlocksStream)
{
    const std::vector<int16_t> tone = audiotest::Sine(1000, kRate, 12000, CMzDsp::kMaxBlockFrames, 2);
    for (int round = 0; round < 20; ++round) {
        CMzDspSpeed speed;
        speed.SetPitch(160);
        speed.SetActive(true);
        std::atomic<int> blocks { 0 };
        std::atomic<long long> framesIn { 0 };
        std::atomic<long long> framesOut { 0 };
        std::jthread pump([&](std::stop_token stop) {
            // Exactly the documented room past the block, and a guard after
            // it that must stay untouched.
            constexpr int16_t kGuard = 0x5A5A;
            const size_t room = static_cast<size_t>(CMzDsp::kMaxBlockFrames + CMzDspSpeed::kMaxExtraFrames) * 2;
            std::vector<int16_t> block(room + 64, kGuard);
            int n = 1;
            while (!stop.stop_requested()) {
                n = n * 11 % CMzDsp::kMaxBlockFrames + 1;
                std::copy(tone.begin(), tone.begin() + n * 2, block.begin());
                const int out = speed.Process(block.data(), n, 16, 2, kRate);
                EXPECT_GE(out, 0);
                EXPECT_LE(out, n + CMzDspSpeed::kMaxExtraFrames);
                for (size_t i = room; i < block.size(); ++i)
                    ASSERT_EQ(block[i], kGuard) << "written past the block's room";
                framesIn.fetch_add(n);
                framesOut.fetch_add(out);
                blocks.fetch_add(1);
            }
        });
        audiotest::WaitForBlocks(blocks, 0);
        for (int i = 0; i < 40; ++i) {
            speed.SetPitch(i % 2 == 0 ? 60 + i * 3 : 160 - i);
            if (i % 9 == 0) {
                speed.SetActive(false);
                speed.SetActive(true);
            }
            audiotest::WaitForBlocks(blocks, blocks.load());
        }
        speed.SetPitch(100);
        audiotest::WaitForBlocks(blocks, blocks.load() + 1);
        pump.request_stop();
        pump.join();
        ASSERT_GT(blocks.load(), 40);
        // Pitch changes, speed does not: what went in comes out, give or
        // take what the effect holds back at any moment.
        EXPECT_NEAR(static_cast<double>(framesOut.load()), static_cast<double>(framesIn.load()),
            static_cast<double>(CMzDsp::kMaxBlockFrames + CMzDspSpeed::kMaxExtraFrames) * 4);
    }
}

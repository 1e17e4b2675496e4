#include "engine/audio/capture/CAWaveInReader.h"

#include "fakes/FakeWaveIn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <numeric>
#include <vector>

namespace {

std::vector<int16_t> Ramp(size_t count, int16_t start)
{
    std::vector<int16_t> samples(count);
    std::iota(samples.begin(), samples.end(), start);
    return samples;
}

// Reads exactly nBytes, failing the test if the stream ends first.
std::vector<int16_t> ReadExactly(CAWaveInReader& reader, int nBytes)
{
    std::vector<int16_t> out(static_cast<size_t>(nBytes) / 2);
    int got = 0;
    while (got < nBytes) {
        const int n = reader.Read(reinterpret_cast<char*>(out.data()) + got, nBytes - got);
        if (n <= 0) {
            ADD_FAILURE() << "stream ended after " << got << " bytes";
            break;
        }
        got += n;
    }
    return out;
}

} // namespace

TEST(CWaveInDevice, DeviceIndexRules)
{
    FakeWaveInBackend backend;
    backend.deviceCount = 3;
    CWaveInDevice device(backend);
    EXPECT_EQ(device.GetDevice(), 0);
    EXPECT_EQ(device.SetDevice(3), 0);
    EXPECT_EQ(device.GetDevice(), 0);
    EXPECT_EQ(device.SetDevice(2), 1);
    EXPECT_EQ(device.GetDevice(), 2);

    ASSERT_EQ(device.Open(44100, 2, 2, nullptr, nullptr), 1);
    EXPECT_EQ(backend.LastDevice(), 2);
    EXPECT_EQ(device.SetDevice(1), 0) << "no switching while capturing";
    EXPECT_EQ(device.GetDevice(), 2);
    device.Close();
    EXPECT_EQ(device.SetDevice(-1), 1);
    EXPECT_EQ(device.GetDevice(), 0);
    ASSERT_EQ(device.Open(44100, 2, 2, nullptr, nullptr), 1);
    EXPECT_EQ(backend.LastDevice(), 0) << "-1 opens the default device";
}

TEST(CWaveInDevice, BuffersHoldFiftyMillisecondsOfWholeFrames)
{
    FakeWaveInBackend backend;
    CWaveInDevice device(backend);
    ASSERT_EQ(device.Open(44100, 2, 2, nullptr, nullptr), 1);
    EXPECT_EQ(device.GetBufferBytes(), 8820);
    EXPECT_EQ(backend.LastFormat().periods, 20);
    // 22050 * 50 / 1000 = 1102.5 rounds to 1103 frames, 4 bytes each.
    ASSERT_EQ(device.Open(22050, 2, 2, nullptr, nullptr), 1);
    EXPECT_EQ(device.GetBufferBytes(), 4412);
    EXPECT_EQ(backend.LastFormat().periodFrames, 1103);
    EXPECT_EQ(backend.OpenStreams(), 1) << "reopening closes the earlier stream";
}

TEST(CWaveInDevice, BadOpensLeaveNothingOpen)
{
    FakeWaveInBackend backend;
    backend.refusedRates = { 44100 };
    CWaveInDevice device(backend);
    EXPECT_EQ(device.Open(44100, 2, 2, nullptr, nullptr), 0);
    EXPECT_FALSE(device.IsRunning());
    EXPECT_EQ(device.Open(0, 2, 2, nullptr, nullptr), 0);
    EXPECT_EQ(device.Open(22050, 1, 2, nullptr, nullptr), 0) << "only 16-bit capture";
    EXPECT_EQ(backend.OpenStreams(), 0);

    backend.failOpen = true;
    EXPECT_EQ(device.Open(22050, 2, 2, nullptr, nullptr), 0);
    backend.failOpen = false;

    // The device list shrank after the index was chosen.
    ASSERT_EQ(device.SetDevice(1), 1);
    backend.deviceCount = 1;
    EXPECT_EQ(device.Open(22050, 2, 2, nullptr, nullptr), 0);
    EXPECT_FALSE(device.IsRunning());
    EXPECT_EQ(backend.OpenStreams(), 0);
}

TEST(CAWaveInReader, DeliversCapturedSoundInOrder)
{
    FakeWaveInBackend backend;
    CAWaveInReader reader(backend);
    EXPECT_EQ(reader.GetName(), "Wave Input Reader");
    int rate = 0, bits = 0, channels = 0;
    ASSERT_EQ(reader.Open("", &rate, &bits, &channels), 1);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(reader.GetTotalBytes(), -1);

    const std::vector<int16_t> sound = Ramp(3 * 2205 * 2, -5000);
    backend.Feed(sound);
    EXPECT_EQ(ReadExactly(reader, static_cast<int>(sound.size() * 2)), sound);
    EXPECT_EQ(reader.Device().GetDeliveredBytes(), sound.size() * 2);
}

TEST(CAWaveInReader, CloseReleasesAWaitingRead)
{
    FakeWaveInBackend backend;
    CAWaveInReader reader(backend);
    ASSERT_EQ(reader.Open("", nullptr, nullptr, nullptr), 1);
    auto pending = std::async(std::launch::async, [&] {
        char buffer[64];
        return reader.Read(buffer, sizeof buffer);
    });
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(120)), std::future_status::timeout);
    reader.Close();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0);
    EXPECT_EQ(backend.OpenStreams(), 0);
}

TEST(CAWaveInReader, VanishedDeviceEndsTheStreamAfterWhatWasCaptured)
{
    FakeWaveInBackend backend;
    CAWaveInReader reader(backend);
    ASSERT_EQ(reader.Open("", nullptr, nullptr, nullptr), 1);
    const std::vector<int16_t> sound = Ramp(2205 * 2, 7);
    backend.Feed(sound);
    EXPECT_EQ(ReadExactly(reader, 8820), sound);
    backend.Vanish();
    char buffer[64];
    EXPECT_EQ(reader.Read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(reader.Device().IsRunning());
    EXPECT_EQ(reader.SetDevice(1), 1) << "a dead device no longer counts as capturing";
    reader.Close();
    EXPECT_EQ(backend.OpenStreams(), 0);
}

TEST(CAWaveInReader, DiscardDropsCapturedSound)
{
    FakeWaveInBackend backend;
    CAWaveInReader reader(backend);
    ASSERT_EQ(reader.Open("", nullptr, nullptr, nullptr), 1);
    const auto waitDelivered = [&](uint64_t bytes) {
        const uint64_t deadline = platform::GetTickCount64() + 10000;
        while (reader.Device().GetDeliveredBytes() < bytes && platform::GetTickCount64() < deadline)
            platform::Sleep(1);
        ASSERT_GE(reader.Device().GetDeliveredBytes(), bytes);
    };
    backend.Feed(Ramp(2205 * 2, 1));
    waitDelivered(8820);
    EXPECT_EQ(reader.SetDiscard(true), 1) << "drops what is queued";
    char buffer[64];
    EXPECT_EQ(reader.Read(buffer, sizeof buffer), 0) << "returns at once while discarding";
    backend.Feed(Ramp(2205 * 2, 2));
    waitDelivered(2 * 8820);

    const std::vector<int16_t> kept = Ramp(2205 * 2, 300);
    EXPECT_EQ(reader.SetDiscard(false), 1);
    backend.Feed(kept);
    EXPECT_EQ(ReadExactly(reader, 8820), kept);
}

TEST(CAWaveInReader, BacklogOfAStalledPumpStaysBounded)
{
    FakeWaveInBackend backend;
    CAWaveInReader reader(backend);
    reader.SetFormat(8000);
    ASSERT_EQ(reader.Open("", nullptr, nullptr, nullptr), 1);
    const size_t period = 400 * 2; // 50 ms of 8 kHz stereo, in samples
    const int kept = CAWaveInReader::kMaxBacklogSeconds * 20;
    const int periods = kept + 40;
    std::vector<int16_t> sound;
    for (int i = 0; i < periods; ++i)
        sound.insert(sound.end(), period, static_cast<int16_t>(i));
    backend.Feed(sound);
    const uint64_t total = sound.size() * 2;
    const uint64_t deadline = platform::GetTickCount64() + 10000;
    while (reader.Device().GetDeliveredBytes() < total && platform::GetTickCount64() < deadline)
        platform::Sleep(1);
    ASSERT_EQ(reader.Device().GetDeliveredBytes(), total);

    // Nobody read for 12 s of sound: the first 10 s wait in order, the rest
    // was dropped, and what is captured next follows them.
    const std::vector<int16_t> waiting(sound.begin(), sound.begin() + static_cast<ptrdiff_t>(kept * period));
    EXPECT_EQ(ReadExactly(reader, static_cast<int>(waiting.size() * 2)), waiting);
    const std::vector<int16_t> next = Ramp(period, 5000);
    backend.Feed(next);
    EXPECT_EQ(ReadExactly(reader, static_cast<int>(next.size() * 2)), next);
}

// Capture through real ALSA, with a configuration of the test's own: the
// "default" device is a file plugin that plays a generated tone into the
// capture stream, so no sound card is needed.
#include "engine/audio/capture/CAWaveInReader.h"
#include "engine/audio/codec/CALameMp3Writer.h"
#include "engine/audio/road/CARWMan.h"

#include "peers/SoundFixtures.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr int kRate = 44100;
constexpr int kPeriodBytes = 8820;

class WaveInAlsa : public ::testing::Test {
protected:
    // "default" plays `samples` into every capture stream.
    void UseToneDevice(const std::vector<int16_t>& samples)
    {
        const std::string tonePath = m_dir / "tone.raw";
        ASSERT_TRUE(peers::WriteRaw(tonePath, samples));
        UseAlsaConfig("pcm.!default " + peers::ToneDevice(tonePath, "{ type null }") + "\n");
    }

    void UseAlsaConfig(const std::string& body) { peers::UseAlsaConfig(m_dir, m_env, body); }

    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
};

struct Pieces {
    std::vector<char> bytes;
    std::vector<int> sizes;
    size_t limit = 0;
};

int CollectPiece(void* pUser, const char* pData, int nBytes)
{
    auto* pieces = static_cast<Pieces*>(pUser);
    if (pieces->bytes.size() < pieces->limit) {
        pieces->bytes.insert(pieces->bytes.end(), pData, pData + nBytes);
        pieces->sizes.push_back(nBytes);
    }
    return nBytes;
}

} // namespace

TEST_F(WaveInAlsa, FileDeviceDeliversTheToneBitExactInFiftyMillisecondPieces)
{
    // Longer than what is read: past its end the plugin repeats stale bytes.
    std::vector<int16_t> tone = peers::StereoTone(kRate, 997.0, 12000.0, 5 * kRate);
    for (size_t i = 0; i < tone.size(); i += 7)
        tone[i] = static_cast<int16_t>(tone[i] ^ static_cast<int16_t>(i & 0xff));
    UseToneDevice(tone);
    const std::vector<char> expected(
        reinterpret_cast<const char*>(tone.data()), reinterpret_cast<const char*>(tone.data()) + kRate * 4);

    {
        CWaveInDevice device;
        Pieces pieces;
        pieces.limit = expected.size();
        pieces.bytes.reserve(expected.size() + kPeriodBytes);
        pieces.sizes.reserve(64);
        ASSERT_EQ(device.Open(kRate, 2, 2, &CollectPiece, &pieces), 1);
        EXPECT_EQ(device.GetBufferBytes(), kPeriodBytes);
        ASSERT_TRUE(
            peers::WaitFor([&] { return device.GetDeliveredBytes() >= expected.size(); }, std::chrono::seconds(10)));
        device.Close();
        for (const int size : pieces.sizes)
            ASSERT_EQ(size, kPeriodBytes);
        ASSERT_GE(pieces.bytes.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pieces.bytes.begin()));
    }

    CAWaveInReader reader;
    int rate = 0, bits = 0, channels = 0;
    ASSERT_EQ(reader.Open("", &rate, &bits, &channels), 1);
    EXPECT_EQ(rate, kRate);
    std::vector<char> got(expected.size());
    size_t filled = 0;
    while (filled < got.size()) {
        const int n = reader.Read(got.data() + filled, static_cast<int>(std::min<size_t>(got.size() - filled, 9216)));
        ASSERT_GT(n, 0);
        filled += static_cast<size_t>(n);
    }
    reader.Close();
    EXPECT_TRUE(got == expected);
}

TEST_F(WaveInAlsa, RefusedRateAndUnknownDeviceFailCleanly)
{
    // A device that captures at 48000 Hz only and never resamples for us.
    UseAlsaConfig("pcm.!default {\n type plug\n slave { pcm { type null } rate 48000 format S16_LE channels 2 }\n}\n");
    const int fdsBefore = peers::OpenFileDescriptors();
    CAWaveInReader reader;
    int rate = 0;
    EXPECT_EQ(reader.Open("", &rate, nullptr, nullptr), 0);
    EXPECT_EQ(rate, 0);
    EXPECT_FALSE(reader.Device().IsRunning());
    reader.SetFormat(22050);
    EXPECT_EQ(reader.Open("", &rate, nullptr, nullptr), 0);
    EXPECT_EQ(peers::OpenFileDescriptors(), fdsBefore) << "a refused open leaves nothing open";

    const int count = platform::WaveInBackend::System().GetDeviceCount();
    ASSERT_GE(count, 1);
    EXPECT_EQ(platform::WaveInBackend::System().GetDeviceName(0), "default");
    EXPECT_EQ(reader.SetDevice(count), 0);
    EXPECT_EQ(reader.GetDevice(), 0);

    reader.SetFormat(48000);
    ASSERT_EQ(reader.Open("", &rate, nullptr, nullptr), 1) << "the device itself works";
    EXPECT_EQ(rate, 48000);
    char buffer[9600];
    EXPECT_GT(reader.Read(buffer, sizeof buffer), 0);
    reader.Close();
    EXPECT_EQ(peers::OpenFileDescriptors(), fdsBefore);
}

namespace {

int AppendToFile(void* pUser, const char* pData, int nBytes)
{
    return static_cast<int>(std::fwrite(pData, 1, static_cast<size_t>(nBytes), static_cast<std::FILE*>(pUser)));
}

} // namespace

TEST_F(WaveInAlsa, CaptureThroughThePumpIntoAnMp3FileThatDecodes)
{
    REQUIRE_TOOL("ffprobe");
    REQUIRE_TOOL("mpg123");
    UseToneDevice(peers::StereoTone(kRate, 1000.0, 8000.0, 10 * kRate));
    const std::string mp3 = m_dir / "capture.mp3";
    std::FILE* file = std::fopen(mp3.c_str(), "wb");
    ASSERT_NE(file, nullptr);

    CAWaveInReader reader;
    CALameMp3Writer writer;
    writer.SetBitrate(128);
    ASSERT_EQ(writer.SetOutputCallback(&AppendToFile, file), 1);
    {
        CARWMan pump;
        ASSERT_EQ(pump.SetReader(&reader), 1);
        ASSERT_EQ(pump.SetWriter(&writer), 1);
        int error = -1;
        ASSERT_EQ(pump.Start(&error), 1) << "error " << error;
        EXPECT_TRUE(peers::WaitFor([&] { return pump.GetReadBytes() >= 2u * kRate * 4; }, std::chrono::seconds(20)));
        pump.Stop();
    }
    std::fclose(file);
    const uint64_t fedFrames = writer.GetByteCount() / 4;
    ASSERT_GT(fedFrames, static_cast<uint64_t>(kRate));

    std::string probe;
    ASSERT_EQ(peers::Run("ffprobe -v error -show_entries stream=sample_rate,channels -of default=noprint_wrappers=1 '"
                      + mp3 + "' 2>&1",
                  &probe),
        0);
    EXPECT_EQ(probe, "sample_rate=44100\nchannels=2\n");
    const std::string wavPath = m_dir / "capture.wav";
    std::string decoderErrors;
    ASSERT_EQ(peers::Run("mpg123 -q -w '" + wavPath + "' '" + mp3 + "' 2>&1", &decoderErrors), 0);
    EXPECT_EQ(decoderErrors, "");
    peers::Wav wav;
    ASSERT_TRUE(peers::ReadWav(wavPath, &wav));
    EXPECT_EQ(wav.rate, kRate);
    // The decoder also returns the encoder's fixed delay of 1105 samples and
    // pads to whole frames; beyond that the length matches what was fed in
    // to within one frame.
    const auto decodedFrames = static_cast<int64_t>(wav.samples.size() / 2);
    EXPECT_NEAR(static_cast<double>(decodedFrames - 1105), static_cast<double>(fedFrames), 1152.0);
    EXPECT_NEAR(peers::ToneAmplitude(wav.samples, 2, 0, kRate, 1000.0, kRate / 2, kRate), 8000.0, 400.0);
}

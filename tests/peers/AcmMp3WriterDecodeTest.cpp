// The codec writer's MP3 output checked by real decoders: mpg123 tests and
// decodes the stream, ffprobe reads its parameters.
#include "engine/audio/codec/CAAcmMp3Writer.h"

#include "peers/PeerSupport.h"
#include "platform/AcmLame.h"
#include "support/RequireTool.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr double kAmplitude = 8000.0;

struct Case {
    const char* format;
    bool callback;
    int rate;
    int channels;
    int kbps;
    double toneHz;
};

constexpr Case kCases[] = {
    { "128 kBit/s, 44,100 Hz, Stereo", false, 44100, 2, 128, 1000.0 },
    { "320 kBit/s, 48,000 Hz, Stereo", false, 48000, 2, 320, 1000.0 },
    { "64 kBit/s, 22,050 Hz, Mono", true, 22050, 1, 64, 1000.0 },
    { "56 kBit/s, 24,000 Hz, Stereo", true, 24000, 2, 56, 1000.0 },
    { "32 kBit/s, 8,000 Hz, Mono", true, 8000, 1, 32, 440.0 },
};

int FindFormat(const CAAcmMp3Writer& writer, const std::string& name)
{
    for (int f = 0; f < writer.GetFormatCount(0); ++f)
        if (writer.GetFormatName(0, f) == name)
            return f;
    return -1;
}

int AppendToFile(void* pUser, const char* pData, int nBytes)
{
    auto* pOut = static_cast<std::ofstream*>(pUser);
    pOut->write(pData, nBytes);
    return *pOut ? nBytes : 0;
}

std::vector<int16_t> Tone(int rate, int channels, double hz, int frames)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(i * channels + c)]
                = static_cast<int16_t>(std::lround(kAmplitude * std::sin(2.0 * M_PI * hz * i / rate)));
    return samples;
}

std::map<std::string, std::string> Probe(const std::string& mp3)
{
    std::string text;
    if (peers::Run("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,bit_rate"
                   " -of default=noprint_wrappers=1 '"
                + mp3 + "' 2>&1",
            &text)
        != 0)
        return {};
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (const size_t eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

double ZeroCrossingHz(const peers::Wav& wav, size_t first, size_t frames)
{
    int crossings = 0;
    for (size_t i = first + 1; i < first + frames; ++i)
        if ((wav.samples[(i - 1) * static_cast<size_t>(wav.channels)] < 0)
            != (wav.samples[i * static_cast<size_t>(wav.channels)] < 0))
            ++crossings;
    return crossings / 2.0 * wav.rate / static_cast<double>(frames);
}

// Tests and decodes the file; checks rate, channels, bit rate, length, and
// that every channel carries the tone at its level.
void ExpectDecodes(
    const peers::TempDir& dir, const std::string& mp3, int rate, int channels, int kbps, double hz, double seconds)
{
    // mpg123's test mode exits 0 even on noise; its complaints tell.
    std::string test;
    EXPECT_EQ(peers::Run("mpg123 -t '" + mp3 + "' 2>&1", &test), 0);
    EXPECT_NE(test.find("finished"), std::string::npos) << test;
    for (const char* complaint : { "warning", "error", "resync", "Cannot" })
        EXPECT_EQ(test.find(complaint), std::string::npos) << test;
    const auto values = Probe(mp3);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values.at("codec_name"), "mp3");
    EXPECT_EQ(values.at("sample_rate"), std::to_string(rate));
    EXPECT_EQ(values.at("channels"), std::to_string(channels));
    EXPECT_EQ(values.at("bit_rate"), std::to_string(kbps * 1000));

    const std::string wavPath = dir / "decoded.wav";
    ASSERT_EQ(peers::Run("mpg123 -q -w '" + wavPath + "' '" + mp3 + "' 2>&1"), 0);
    peers::Wav wav;
    ASSERT_TRUE(peers::ReadWav(wavPath, &wav));
    EXPECT_EQ(wav.rate, rate);
    ASSERT_EQ(wav.channels, channels);
    const size_t frames = wav.samples.size() / static_cast<size_t>(channels);
    const auto expected = static_cast<size_t>(seconds * rate);
    // The codec's lead-in and last partial frame; the drained tail is kept
    // in files only.
    EXPECT_GE(frames + 2 * 1152, expected);
    EXPECT_LE(frames, expected + 3 * 1152);
    const size_t from = static_cast<size_t>(rate) / 4;
    const size_t window = static_cast<size_t>(rate) / 2;
    EXPECT_NEAR(ZeroCrossingHz(wav, from, window), hz, hz * 0.01);
    for (int c = 0; c < channels; ++c) {
        const double level = peers::ToneAmplitude(wav.samples, channels, c, rate, hz, from, window);
        EXPECT_LT(std::abs(20.0 * std::log10(level / kAmplitude)), 1.5) << "channel " << c << " level " << level;
    }
}

} // namespace

TEST(AcmMp3WriterDecode, FileAndCallbackOutputDecodeAtTheChosenFormat)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("mpg123"), "mpg123");
    TAVDJ_REQUIRE_TOOL(ToolOnPath("ffprobe"), "ffprobe");
    peers::TempDir dir;
    platform::AcmLame acm(platform::AcmLame::Codecs::Installed);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.format);
        CAAcmMp3Writer writer(acm);
        ASSERT_EQ(writer.SetCodec(0, FindFormat(writer, c.format)), 1);
        const std::string mp3 = dir / "out.mp3";
        std::ofstream collected;
        if (c.callback) {
            collected.open(mp3, std::ios::binary | std::ios::trunc);
            ASSERT_EQ(writer.SetOutputCallback(AppendToFile, &collected), 1);
        }
        int rate = 44100, bits = 16, channels = 2;
        ASSERT_EQ(writer.Open(dir / "out", &rate, &bits, &channels, {}), 1);
        EXPECT_EQ(rate, c.rate);
        EXPECT_EQ(bits, 16);
        EXPECT_EQ(channels, c.channels);
        const double seconds = 2.0;
        const auto frames = static_cast<int>(seconds * rate);
        const std::vector<int16_t> tone = Tone(rate, channels, c.toneHz, frames);
        const int frameBytes = 2 * channels;
        for (int done = 0; done < frames; done += CAWriter::kBlockFrames) {
            const int n = std::min(CAWriter::kBlockFrames, frames - done);
            ASSERT_EQ(writer.Write(reinterpret_cast<const char*>(tone.data() + static_cast<ptrdiff_t>(done) * channels),
                          n * frameBytes),
                n * frameBytes);
        }
        EXPECT_EQ(writer.GetElapsedMs(), 2000u);
        writer.Close();
        collected.close();
        ExpectDecodes(dir, mp3, c.rate, c.channels, c.kbps, c.toneHz, seconds);
    }
}

// 8-bit mono at 22050 Hz into a 44.1 kHz stereo format: widened, doubled to
// both channels and resampled on the way in.
TEST(AcmMp3WriterDecode, EightBitMonoInputDecodesOnBothChannelsAtTheCodecRate)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("mpg123"), "mpg123");
    TAVDJ_REQUIRE_TOOL(ToolOnPath("ffprobe"), "ffprobe");
    peers::TempDir dir;
    platform::AcmLame acm(platform::AcmLame::Codecs::Installed);
    COutputMP3 output(acm);
    int format = -1;
    for (int f = 0; f < output.GetFormatCount(0); ++f)
        if (output.GetFormatName(0, f) == "128 kBit/s, 44,100 Hz, Stereo")
            format = f;
    const std::string mp3 = dir / "eight.mp3";
    ASSERT_EQ(output.OpenFile(mp3, 0, format, 22050, 1, 1), 1);
    const int frames = 2 * 22050;
    std::vector<uint8_t> tone(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        tone[static_cast<size_t>(i)]
            = static_cast<uint8_t>(128 + std::lround(kAmplitude / 256.0 * std::sin(2.0 * M_PI * 1000.0 * i / 22050)));
    for (int done = 0; done < frames; done += 1000)
        ASSERT_EQ(output.Write(reinterpret_cast<const char*>(tone.data() + done), std::min(1000, frames - done)),
            std::min(1000, frames - done));
    output.Close();
    ExpectDecodes(dir, mp3, 44100, 2, 128, 1000.0, 2.0);
}

// The writer's MP3 files checked by real decoders: ffprobe reads the stream
// parameters, mpg123 decodes the sound back.
#include "engine/audio/codec/CALameMp3Writer.h"

#include "peers/PeerSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Preset {
    int kbps;
    int rate;
    int channels;
};

// The eight quality rows the controller offers.
constexpr Preset kPresets[] = {
    { 320, 44100, 2 },
    { 256, 44100, 2 },
    { 192, 44100, 2 },
    { 128, 44100, 2 },
    { 128, 32000, 2 },
    { 96, 44100, 2 },
    { 64, 32000, 2 },
    { 56, 24000, 2 },
};

constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 8000.0;

// key=value lines of ffprobe's default writer.
std::map<std::string, std::string> ParseKeyValues(const std::string& text)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// Zero crossings of channel 0 give the frequency to well under 1 %.
double MeasureFrequency(const peers::Wav& wav, size_t first, size_t frames)
{
    int crossings = 0;
    for (size_t i = first + 1; i < first + frames; ++i) {
        const int16_t a = wav.samples[(i - 1) * static_cast<size_t>(wav.channels)];
        const int16_t b = wav.samples[i * static_cast<size_t>(wav.channels)];
        if ((a < 0) != (b < 0))
            ++crossings;
    }
    return crossings / 2.0 * wav.rate / static_cast<double>(frames);
}

bool EncodeTone(const std::string& target, const Preset& preset, double seconds)
{
    CALameMp3Writer writer;
    writer.SetBitrate(preset.kbps);
    writer.SetFormatOverride(preset.rate, preset.channels);
    int rate = 44100, bits = 16, channels = 2;
    CATags tags;
    tags.title = "tone";
    tags.genre = "Rock";
    if (!writer.Open(target, &rate, &bits, &channels, tags))
        return false;
    const auto frames = static_cast<int>(seconds * rate);
    const std::vector<int16_t> tone = peers::StereoTone(rate, kToneHz, kAmplitude, frames);
    // Pump-sized blocks, the way the writer is fed live.
    for (int done = 0; done < frames; done += CAWriter::kBlockFrames) {
        const int n = std::min(CAWriter::kBlockFrames, frames - done);
        if (writer.Write(reinterpret_cast<const char*>(tone.data() + static_cast<ptrdiff_t>(done) * 2), n * 4) != n * 4)
            return false;
    }
    writer.Close();
    return true;
}

} // namespace

TEST(LameMp3WriterDecode, EveryPresetDecodesWithItsRateChannelsAndBitrate)
{
    REQUIRE_TOOL("ffprobe");
    REQUIRE_TOOL("mpg123");
    peers::TempDir dir;
    for (size_t row = 0; row < std::size(kPresets); ++row) {
        const Preset& preset = kPresets[row];
        SCOPED_TRACE("preset row " + std::to_string(row));
        const std::string mp3 = dir / ("row" + std::to_string(row) + ".mp3");
        ASSERT_TRUE(EncodeTone(dir / ("row" + std::to_string(row)), preset, 2.0));

        std::string probe;
        ASSERT_EQ(peers::Run("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,"
                             "channels,bit_rate -of default=noprint_wrappers=1 '"
                          + mp3 + "' 2>&1",
                      &probe),
            0);
        const auto values = ParseKeyValues(probe);
        EXPECT_EQ(values.size(), 4u) << "ffprobe said more than asked:\n" << probe;
        EXPECT_EQ(values.at("codec_name"), "mp3");
        EXPECT_EQ(values.at("sample_rate"), std::to_string(preset.rate));
        EXPECT_EQ(values.at("channels"), std::to_string(preset.channels));
        EXPECT_EQ(values.at("bit_rate"), std::to_string(preset.kbps * 1000));

        const std::string wavPath = dir / ("row" + std::to_string(row) + ".wav");
        ASSERT_EQ(peers::Run("mpg123 -q -w '" + wavPath + "' '" + mp3 + "' 2>&1"), 0);
        peers::Wav wav;
        ASSERT_TRUE(peers::ReadWav(wavPath, &wav));
        EXPECT_EQ(wav.rate, preset.rate);
        ASSERT_EQ(wav.channels, 2);
        const size_t frames = wav.samples.size() / 2;
        // Encoder delay and padding add at most a few frames of 1152.
        EXPECT_GE(frames, static_cast<size_t>(2 * preset.rate));
        EXPECT_LE(frames, static_cast<size_t>(2 * preset.rate) + 3 * 1152);
        const size_t from = static_cast<size_t>(preset.rate) / 2;
        const size_t window = static_cast<size_t>(preset.rate);
        EXPECT_NEAR(MeasureFrequency(wav, from, window), kToneHz, kToneHz * 0.005);
        // Within 1 dB: the lowest rows quantise a pure tone audibly but not
        // by more.
        for (int channel = 0; channel < 2; ++channel) {
            const double level = peers::ToneAmplitude(wav.samples, 2, channel, wav.rate, kToneHz, from, window);
            EXPECT_LT(std::abs(20.0 * std::log10(level / kAmplitude)), 1.0) << "level " << level;
        }
    }
}

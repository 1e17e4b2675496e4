#include "engine/audio/codec/CALameMp3Writer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

int Collect(void* pUser, const char* pData, int nBytes)
{
    static_cast<std::string*>(pUser)->append(pData, static_cast<size_t>(nBytes));
    return nBytes;
}

std::vector<int16_t> Tone(int frames, int channels)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(8000 * std::sin(0.05 * static_cast<double>(i / channels)));
    return samples;
}

int WriteSamples(CALameMp3Writer& writer, const std::vector<int16_t>& samples)
{
    return writer.Write(reinterpret_cast<const char*>(samples.data()), static_cast<int>(samples.size() * 2));
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// The text of an ID3v2.3/2.4 text frame (after its encoding byte), or "".
std::string Id3v2Text(const std::string& file, const std::string& frameId)
{
    if (file.compare(0, 3, "ID3") != 0)
        return {};
    const size_t pos = file.find(frameId, 10);
    if (pos == std::string::npos || pos + 11 > file.size())
        return {};
    const size_t size = (static_cast<unsigned char>(file[pos + 6]) << 8) | static_cast<unsigned char>(file[pos + 7]);
    std::string text = file.substr(pos + 11, size - 1);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavdj-lame-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace

TEST(CALameMp3Writer, SnapsRatesAndBitrates)
{
    CALameMp3Writer writer;
    EXPECT_EQ(writer.GetName(), "고음질 코덱");
    EXPECT_EQ(writer.GetBitrate(), 128);
    writer.SetBitrate(0);
    EXPECT_EQ(writer.GetBitrate(), 8);
    writer.SetBitrate(500);
    EXPECT_EQ(writer.GetBitrate(), 320);

    EXPECT_EQ(CALameMp3Writer::SnapRate(100), 8000);
    EXPECT_EQ(CALameMp3Writer::SnapRate(11025), 11025);
    EXPECT_EQ(CALameMp3Writer::SnapRate(22051), 24000);
    EXPECT_EQ(CALameMp3Writer::SnapRate(44100), 44100);
    EXPECT_EQ(CALameMp3Writer::SnapRate(44101), 48000);
    EXPECT_EQ(CALameMp3Writer::SnapBitrate(150, 44100), 160);
    EXPECT_EQ(CALameMp3Writer::SnapBitrate(150, 24000), 144);
    EXPECT_EQ(CALameMp3Writer::SnapBitrate(36, 44100), 32) << "a tie goes to the lower rate";
    EXPECT_EQ(CALameMp3Writer::SnapBitrate(320, 22050), 160);
    EXPECT_EQ(CALameMp3Writer::SnapBitrate(8, 32000), 32);
}

TEST(CALameMp3Writer, OpenTakesOverridesAndReportsTheFormat)
{
    std::string out;
    CALameMp3Writer writer;
    ASSERT_EQ(writer.SetOutputCallback(&Collect, &out), 1);
    writer.SetBitrate(56);
    writer.SetFormatOverride(24000, -1);
    int rate = 44100, bits = 8, channels = 2;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(rate, 24000);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(writer.GetSamplesPerFrame(), 576) << "24 kHz is MPEG-2";
    EXPECT_EQ(writer.GetBitrate(), 56);

    writer.SetFormatOverride(22051, 1);
    writer.SetBitrate(150);
    rate = 44100;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(rate, 24000);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(writer.GetBitrate(), 144);

    writer.SetFormatOverride(-1, -1);
    writer.SetBitrate(128);
    rate = 44100;
    channels = 2;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.GetSamplesPerFrame(), 1152);

    writer.SetFormatOverride(-1, 6);
    EXPECT_EQ(writer.Open("", &rate, &bits, &channels, {}), 0) << "MP3 carries at most two channels";
}

TEST(CALameMp3Writer, CallbackModeEncodesCountsAndFlushes)
{
    std::string out;
    CALameMp3Writer writer;
    ASSERT_EQ(writer.SetOutputCallback(&Collect, &out), 1);
    int rate = 44100, bits = 16, channels = 2;
    CATags tags;
    tags.title = "Morning show";
    tags.genre = "no such genre number 999";
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, tags), 1);
    EXPECT_EQ(writer.GetElapsedMs(), 0u);
    const std::vector<int16_t> second = Tone(44100, 2);
    ASSERT_EQ(WriteSamples(writer, second), 176400);
    EXPECT_EQ(writer.GetElapsedMs(), 1000u);
    writer.Close();
    EXPECT_FALSE(writer.IsEncoding());
    EXPECT_EQ(writer.GetElapsedMs(), 0u) << "no encoder, no time";
    ASSERT_GT(out.size(), 128u);
    EXPECT_EQ(out.compare(0, 3, "ID3"), 0) << "version 2 tag first";
    EXPECT_EQ(out.compare(out.size() - 128, 3, "TAG"), 0) << "version 1 tag last";
    EXPECT_EQ(Id3v2Text(out, "TIT2"), "Morning show");
    // One second at 128 kbit/s is about 16000 bytes of audio.
    EXPECT_NEAR(static_cast<double>(out.size()), 16000.0, 2500.0);
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(second.data()), 4), 0) << "closed";
}

TEST(CALameMp3Writer, PausedWriterTakesNothing)
{
    std::string out;
    CALameMp3Writer writer;
    writer.SetOutputCallback(&Collect, &out);
    int rate = 44100, bits = 16, channels = 2;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.GetWritableBytes(), 9216);
    EXPECT_EQ(writer.SetPaused(true), 1);
    EXPECT_EQ(writer.GetWritableBytes(), 0);
    writer.Close();
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.GetWritableBytes(), 9216) << "Close clears the pause";
}

TEST(CALameMp3Writer, FileModeSplitsIntoNumberedParts)
{
    TempFolder dir;
    CALameMp3Writer writer;
    int rate = 44100, bits = 16, channels = 2;
    CATags tags;
    tags.title = "show";
    tags.track = "1";
    ASSERT_EQ(writer.Open(dir / "show", &rate, &bits, &channels, tags), 1);
    EXPECT_EQ(writer.GetTarget(), dir / "show.mp3");
    const std::vector<int16_t> half = Tone(22050, 2);
    ASSERT_GT(WriteSamples(writer, half), 0);
    ASSERT_EQ(writer.NewPart(), 1);
    EXPECT_EQ(writer.GetPartCount(), 1);
    EXPECT_EQ(writer.GetPartTitle(), "show-1");
    ASSERT_GT(WriteSamples(writer, half), 0);
    // A name that cannot be created is extended until one can.
    std::filesystem::create_directory(dir / "show-2.mp3");
    ASSERT_EQ(writer.NewPart(), 1);
    ASSERT_GT(WriteSamples(writer, half), 0);
    EXPECT_EQ(writer.GetElapsedMs(), 1500u) << "elapsed time runs across parts";
    writer.Close();
    EXPECT_EQ(writer.GetPartCount(), 0);

    const std::string first = Slurp(dir / "show.mp3");
    const std::string second = Slurp(dir / "show-1.mp3");
    const std::string third = Slurp(dir / "show-2-2.mp3");
    EXPECT_EQ(Id3v2Text(first, "TIT2"), "show");
    EXPECT_EQ(Id3v2Text(first, "TRCK"), "1");
    EXPECT_EQ(Id3v2Text(second, "TIT2"), "show-1");
    EXPECT_EQ(Id3v2Text(second, "TRCK"), "2");
    EXPECT_EQ(Id3v2Text(third, "TRCK"), "3");
    for (const std::string* part : { &first, &second, &third })
        EXPECT_GT(part->size(), 4000u) << "each part holds its half second";

    ASSERT_EQ(writer.Open(dir / "Loud.MP3", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.GetTarget(), dir / "Loud.MP3");
}

TEST(CALameMp3Writer, BadOpensFailAndLeaveNothingOpen)
{
    std::string out; // outlives the writer, whose destructor flushes into it
    CALameMp3Writer writer;
    int rate = 44100, bits = 16, channels = 2;
    EXPECT_EQ(writer.Open("", &rate, &bits, &channels, {}), 0) << "neither callback nor file";
    EXPECT_EQ(writer.Open("x", nullptr, &bits, &channels, {}), 0);
    int zero = 0;
    EXPECT_EQ(writer.Open("x", &zero, &bits, &channels, {}), 0);
    EXPECT_EQ(writer.Open("/nonexistent-folder/sub/show", &rate, &bits, &channels, {}), 0);
    EXPECT_FALSE(writer.IsEncoding());
    EXPECT_EQ(writer.GetElapsedMs(), 0u);
    EXPECT_EQ(writer.NewPart(), 0);
    const std::vector<int16_t> block = Tone(1152, 2);
    EXPECT_EQ(WriteSamples(writer, block), 0);

    writer.SetOutputCallback(&Collect, &out);
    int three = 3;
    EXPECT_EQ(writer.Open("", &rate, &bits, &three, {}), 0) << "the encoder refuses three channels";
    EXPECT_FALSE(writer.IsEncoding());
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.NewPart(), 0) << "parts exist only in file mode";
}

#include "engine/audio/codec/CAAcmMp3Writer.h"

#include "engine/audio/PumpFakes.h"
#include "engine/audio/road/CARWMan.h"
#include "fakes/FakeAcm.h"
#include "fakes/FakeClock.h"
#include "platform/AcmLame.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// Two codecs with MP3 formats around one without; the settings page shows
// codecs 0 and 1.
void InstallCodecs(FakeAcm* pAcm)
{
    pAcm->drivers = {
        { 1, "Alpha MP3", platform::kAcmDriverSupportCodec, false, false, false, false,
            { FakeAcm::Mp3(128, 44100, 2), FakeAcm::Mp3(64, 22050, 2), FakeAcm::Mp3(32, 22050, 1) } },
        { 2, "Speech Only", platform::kAcmDriverSupportCodec, false, false, false, false,
            { { 2, "ADPCM", 8000, 1, 0, 32 } } },
        { 3, "Beta MP3", platform::kAcmDriverSupportCodec, false, false, false, false, { FakeAcm::Mp3(8, 8000, 1) } },
    };
}

struct Collected {
    std::vector<char> bytes;
    int answer = -1; // -1: take everything
};

int Collect(void* pUser, const char* pData, int nBytes)
{
    auto* c = static_cast<Collected*>(pUser);
    c->bytes.insert(c->bytes.end(), pData, pData + nBytes);
    return c->answer < 0 ? nBytes : c->answer;
}

int16_t SampleAt(const std::vector<uint8_t>& bytes, size_t i)
{
    int16_t s = 0;
    std::memcpy(&s, bytes.data() + 2 * i, 2);
    return s;
}

} // namespace

TEST(CAAcmMp3Writer, SettingsListsComeFromTheCodecIndex)
{
    FakeAcm acm;
    InstallCodecs(&acm);
    CAAcmMp3Writer writer(acm);
    EXPECT_EQ(writer.GetName(), "ACM MP3 Writer");
    ASSERT_EQ(writer.GetCodecCount(), 2);
    EXPECT_EQ(writer.GetCodecName(0), "Alpha MP3");
    EXPECT_EQ(writer.GetCodecName(1), "Beta MP3");
    EXPECT_EQ(writer.GetCodecName(2), "");
    EXPECT_EQ(writer.GetFormatCount(0), 3);
    EXPECT_EQ(writer.GetFormatCount(1), 1);
    EXPECT_EQ(writer.GetFormatCount(-1), 0);
    EXPECT_EQ(writer.GetFormatName(0, 1), "64 kBit/s, 22,050 Hz, Stereo");
    EXPECT_EQ(writer.GetFormatName(1, 0), "8 kBit/s, 8,000 Hz, Mono");
    EXPECT_EQ(writer.GetFormatName(1, 1), "");
    EXPECT_EQ(writer.GetFormatBitrate(0, 0), 128000);
    int rate = 0, bits = -1, channels = 0;
    ASSERT_TRUE(writer.GetFormatInfo(0, 2, &rate, &bits, &channels));
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(channels, 1);
    EXPECT_FALSE(writer.GetFormatInfo(0, 3, &rate, &bits, &channels));
}

// A stored CodecN/FormatN that no longer exists is told apart by SetCodec,
// so the caller falls back to the LAME writer instead of failing.
TEST(CAAcmMp3Writer, SelectionOutsideTheIndexIsRefusedAndOpenFails)
{
    FakeAcm acm;
    InstallCodecs(&acm);
    CAAcmMp3Writer writer(acm);
    writer.SetOutputCallback(Collect, nullptr);
    int rate = 44100, bits = 16, channels = 2;
    EXPECT_EQ(writer.Open("", &rate, &bits, &channels, {}), 0) << "nothing selected";
    EXPECT_EQ(writer.SetCodec(1, 0), 1);
    EXPECT_EQ(writer.SetCodec(1, 1), 0);
    EXPECT_EQ(writer.GetCodec(), -1) << "a refused choice leaves nothing selected";
    EXPECT_EQ(writer.SetCodec(2, 0), 0);
    EXPECT_EQ(writer.SetCodec(-1, 0), 0);
    EXPECT_EQ(writer.Open("", &rate, &bits, &channels, {}), 0);
    EXPECT_EQ(rate, 44100) << "a failed Open leaves the offer alone";
}

TEST(CAAcmMp3Writer, OpenReportsTheCodecFormatAndNamesTheFile)
{
    FakeAcm acm;
    InstallCodecs(&acm);
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("acm-writer"));
    CAAcmMp3Writer writer(acm);
    ASSERT_EQ(writer.SetCodec(0, 1), 1);
    int rate = 44100, bits = 16, channels = 2;
    CATags tags;
    tags.title = "show";
    ASSERT_EQ(writer.Open((sandbox.Dir() / "rec").string(), &rate, &bits, &channels, tags), 1);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(writer.GetTarget(), (sandbox.Dir() / "rec.mp3").string());
    EXPECT_EQ(acm.lastSource.samplesPerSec, 22050u);

    std::vector<int16_t> pcm(22050 * 2, 100);
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(pcm.data()), 22050 * 4), 22050 * 4);
    EXPECT_EQ(writer.GetElapsedMs(), 1000u);
    writer.Close();
    EXPECT_EQ(writer.GetElapsedMs(), 0u);
    EXPECT_EQ(writer.GetTarget(), "");
    // The file holds what the codec produced plus the drained tail.
    EXPECT_EQ(std::filesystem::file_size(sandbox.Dir() / "rec.mp3"), 22050u + FakeAcm::kDrainBytes);

    ASSERT_EQ(writer.Open((sandbox.Dir() / "show.MP3").string(), &rate, &bits, &channels, tags), 1);
    EXPECT_EQ(writer.GetTarget(), (sandbox.Dir() / "show.MP3").string());
    writer.Close();
    EXPECT_TRUE(std::filesystem::exists(sandbox.Dir() / "show.MP3"));

    // Neither a callback nor a name; a bad sample width; a folder that does
    // not exist.
    EXPECT_EQ(writer.Open("", &rate, &bits, &channels, tags), 0);
    bits = 0;
    EXPECT_EQ(writer.Open("x", &rate, &bits, &channels, tags), 0);
    bits = 16;
    EXPECT_EQ(writer.Open((sandbox.Dir() / "no" / "such").string(), &rate, &bits, &channels, tags), 0);
    EXPECT_EQ(acm.openStreams, 0);
    EXPECT_EQ(acm.openDrivers, 0);
}

// Driven by the pump: the 44.1 kHz capture reaches the codec at the
// format's 22.05 kHz, because Open told the pump so.
TEST(CAAcmMp3Writer, PumpDeliversTheCodecRate)
{
    FakeAcm acm;
    InstallCodecs(&acm);
    CAAcmMp3Writer writer(acm);
    ASSERT_EQ(writer.SetCodec(0, 1), 1);
    Collected sink;
    ASSERT_EQ(writer.SetOutputCallback(Collect, &sink), 1);
    audiotest::FakeReader reader(44100, 16, 2);
    reader.data.assign(44100 * 4, 0);
    FakeClock clock;
    audiotest::MessageLog log;
    CARWMan pump(clock);
    pump.SetNotifyWindow(log.Handle());
    ASSERT_EQ(pump.SetReader(&reader), 1);
    ASSERT_EQ(pump.SetWriter(&writer), 1);
    int code = -1;
    ASSERT_EQ(pump.Start(&code), 1);
    ASSERT_TRUE(log.WaitFor(platform::RegisterMessage("WM_ARWMAN_END")));
    pump.Stop();
    EXPECT_EQ(acm.lastSource.samplesPerSec, 22050u);
    EXPECT_EQ(writer.GetRate(), 22050);
    EXPECT_NEAR(static_cast<double>(acm.converted.size()) / 4, 22050.0, 64.0);
    EXPECT_EQ(sink.bytes.size(), acm.converted.size() / 4) << "everything the codec made reached the callback";
}

TEST(CAAcmMp3Writer, CallbackIsFixedWhileOpenAndARefusalStopsTheWrite)
{
    FakeAcm acm;
    InstallCodecs(&acm);
    CAAcmMp3Writer writer(acm);
    ASSERT_EQ(writer.SetCodec(0, 0), 1);
    Collected first;
    Collected second;
    ASSERT_EQ(writer.SetOutputCallback(Collect, &first), 1);
    int rate = 44100, bits = 16, channels = 2;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.SetOutputCallback(Collect, &second), 0);

    std::vector<int16_t> pcm(4608 * 2 + 2, 1);
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(pcm.data()), 4609 * 4), 4609 * 4);
    EXPECT_EQ(first.bytes.size(), 4609u);
    EXPECT_TRUE(second.bytes.empty());
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(pcm.data()), 6), 4) << "whole frames only";
    first.answer = 0;
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(pcm.data()), 9216), -1);
    first.answer = -1;
    acm.failConvert = true;
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(pcm.data()), 9216), -1);
    acm.failConvert = false;

    const size_t before = first.bytes.size();
    writer.Close();
    EXPECT_EQ(first.bytes.size(), before) << "a callback gets no drained tail";
    EXPECT_EQ(writer.SetOutputCallback(Collect, &second), 1);
    EXPECT_EQ(writer.Write(reinterpret_cast<const char*>(pcm.data()), 4), -1) << "closed";
}

// The codec sees 16-bit samples at its own rate: 8-bit input is widened
// around 128, mono input is written to both channels of a stereo format.
TEST(CAAcmMp3Writer, EightBitAndMonoInputAreWidenedAndDuplicated)
{
    FakeAcm acm;
    InstallCodecs(&acm);
    COutputMP3 output(acm);
    Collected sink;
    ASSERT_EQ(output.OpenCallback(0, 0, Collect, &sink, 44100, 1, 1), 1);
    EXPECT_EQ(output.GetStreamBits(), 16);
    EXPECT_EQ(output.GetStreamChannels(), 2);
    EXPECT_EQ(acm.lastSource.channels, 2);
    EXPECT_EQ(acm.lastSource.bitsPerSample, 16);
    std::vector<uint8_t> input(5000);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(output.Write(reinterpret_cast<const char*>(input.data()), 5000), 5000);
    ASSERT_EQ(acm.converted.size(), 5000u * 4);
    for (size_t i = 0; i < input.size(); ++i) {
        const auto expected = static_cast<int16_t>((input[i] - 128) * 256);
        ASSERT_EQ(SampleAt(acm.converted, 2 * i), expected) << i;
        ASSERT_EQ(SampleAt(acm.converted, 2 * i + 1), expected) << i;
    }
    EXPECT_EQ(output.GetFramesIn(), 5000u);

    // 16-bit mono into the same stereo format.
    acm.converted.clear();
    ASSERT_EQ(output.OpenCallback(0, 0, Collect, &sink, 44100, 2, 1), 1);
    std::vector<int16_t> mono(3000);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = static_cast<int16_t>(i * 11 - 16000);
    ASSERT_EQ(output.Write(reinterpret_cast<const char*>(mono.data()), 6000), 6000);
    ASSERT_EQ(acm.converted.size(), 12000u);
    for (size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(SampleAt(acm.converted, 2 * i), mono[i]);
        ASSERT_EQ(SampleAt(acm.converted, 2 * i + 1), mono[i]);
    }

    // 8-bit mono at 44100 into a 22050 Hz stereo format: widened,
    // duplicated, then resampled to about half as many frames.
    acm.converted.clear();
    ASSERT_EQ(output.OpenCallback(0, 1, Collect, &sink, 44100, 1, 1), 1);
    EXPECT_EQ(output.GetStreamRate(), 22050);
    std::vector<uint8_t> quiet(44100, 128);
    for (int n = 0; n < 44100; n += 4410)
        ASSERT_EQ(output.Write(reinterpret_cast<const char*>(quiet.data() + n), 4410), 4410);
    const size_t frames = acm.converted.size() / 4;
    EXPECT_NEAR(static_cast<double>(frames), 22050.0, 40.0);
    for (size_t i = 0; i < frames * 2; ++i)
        ASSERT_EQ(SampleAt(acm.converted, i), 0);
    output.Close();
    EXPECT_EQ(acm.openStreams, 0);

    // Widths the pump never delivers are refused.
    EXPECT_EQ(output.OpenCallback(0, 0, Collect, &sink, 44100, 3, 2), 0);
    EXPECT_EQ(output.OpenCallback(0, 0, Collect, &sink, 44100, 2, 3), 0);
    EXPECT_EQ(output.OpenFile("", 0, 0, 44100, 2, 2), 0);
}

TEST(CAAcmMp3Writer, WithoutAnyCodecTheListsAreEmptyAndNothingOpens)
{
    platform::AcmLame none(platform::AcmLame::Codecs::None);
    CAAcmMp3Writer writer(none);
    EXPECT_EQ(writer.GetCodecCount(), 0);
    EXPECT_EQ(writer.GetCodecName(0), "");
    EXPECT_EQ(writer.GetFormatCount(0), 0);
    EXPECT_EQ(writer.GetFormatName(0, 0), "");
    EXPECT_EQ(writer.GetFormatBitrate(0, 0), 0);
    EXPECT_FALSE(writer.GetFormatInfo(0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(writer.SetCodec(0, 0), 0);
    int rate = 44100, bits = 16, channels = 2;
    EXPECT_EQ(writer.Open("rec", &rate, &bits, &channels, {}), 0);
    EXPECT_EQ(writer.Write("abcd", 4), -1);
    EXPECT_EQ(writer.GetElapsedMs(), 0u);
    writer.Close();
}

#include "engine/audio/codec/CAcmDriverList.h"

#include "fakes/FakeAcm.h"

#include <gtest/gtest.h>

namespace {

constexpr uint16_t kAdpcm = 2;

FakeAcm::Format Adpcm(const char* description)
{
    return { kAdpcm, description, 22050, 2, 0, 32 };
}

std::vector<std::string> DriverNames(const CAcmDriverList& list)
{
    std::vector<std::string> names;
    for (const CAcmDriverInfo& d : list.GetDrivers())
        names.push_back(d.m_details.longName);
    return names;
}

} // namespace

TEST(CAcmDriverList, ListingSkipsUnfitCodecsAndStopsAtOneThatCannotBeRead)
{
    FakeAcm acm;
    acm.drivers = {
        { 1, "Filter Only", 0, false, false, false, false, { FakeAcm::Mp3(128, 44100, 2) } },
        { 2, "No PCM Codec", platform::kAcmDriverSupportCodec, false, false, true, false,
            { FakeAcm::Mp3(64, 22050, 1) } },
        { 3, "Mixed Codec", platform::kAcmDriverSupportCodec, false, false, false, false,
            { Adpcm("ADPCM 22 kHz"), FakeAcm::Mp3(128, 44100, 2), FakeAcm::Mp3(64, 22050, 1) } },
        { 4, "Broken Codec", platform::kAcmDriverSupportCodec, true, false, false, false,
            { FakeAcm::Mp3(32, 8000, 1) } },
        { 5, "Late Codec", platform::kAcmDriverSupportCodec, false, false, false, false,
            { FakeAcm::Mp3(32, 8000, 1) } },
    };
    CAcmDriverList list(acm);
    list.Enumerate();
    EXPECT_EQ(DriverNames(list), std::vector<std::string> { "Mixed Codec" });
    const std::vector<CAcmFormat>& formats = list.GetDrivers()[0].m_formats;
    ASSERT_EQ(formats.size(), 3u) << "every tag but PCM";
    EXPECT_EQ(formats[0].m_nFormatTag, kAdpcm);
    EXPECT_EQ(formats[1].m_strDescription, "128 kBit/s, 44,100 Hz, Stereo");
    EXPECT_EQ(formats[1].m_block.size(), 30u);
    EXPECT_EQ(acm.openDrivers, 0) << "every driver opened for listing is closed again";

    // Details or formats that cannot be read end the listing there.
    acm.drivers[3].failOpen = false;
    acm.drivers[3].failDetails = true;
    list.Enumerate();
    EXPECT_EQ(DriverNames(list), std::vector<std::string> { "Mixed Codec" });
    acm.drivers[3].failDetails = false;
    acm.drivers[3].failFormatDetails = true;
    list.Enumerate();
    EXPECT_EQ(DriverNames(list), std::vector<std::string> { "Mixed Codec" });
    acm.drivers[3].failFormatDetails = false;
    list.Enumerate();
    EXPECT_EQ(DriverNames(list), (std::vector<std::string> { "Mixed Codec", "Broken Codec", "Late Codec" }));
    EXPECT_EQ(acm.openDrivers, 0);
}

TEST(CAcmDriverList, CodecIndexHoldsOnlyTheWantedTagInDriverOrder)
{
    FakeAcm acm;
    acm.drivers = {
        { 7, "ADPCM Only", platform::kAcmDriverSupportCodec, false, false, false, false, { Adpcm("a"), Adpcm("b") } },
        { 8, "Mixed Codec", platform::kAcmDriverSupportCodec, false, false, false, false,
            { Adpcm("ADPCM"), FakeAcm::Mp3(128, 44100, 2), Adpcm("ADPCM 2"), FakeAcm::Mp3(64, 22050, 1) } },
    };
    CAcmDriverList list(acm);
    const std::vector<CCodecIndex> index = list.BuildCodecIndex(platform::kWaveFormatMpegLayer3);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].m_nDriver, 1);
    // Formats are listed tag by tag, so both ADPCM formats come first.
    EXPECT_EQ(index[0].m_formats, (std::vector<int> { 2, 3 }));

    EXPECT_EQ(list.GetDriverName(0, 0), "ADPCM Only") << "tag 0 shows every codec";
    EXPECT_EQ(list.GetDriverFormatBitrate(1, 0, platform::kWaveFormatMpegLayer3), 0) << "another tag";

    acm.drivers.clear();
    EXPECT_TRUE(list.BuildCodecIndex(platform::kWaveFormatMpegLayer3).empty()) << "no codec installed";
}

// "8 kBit/s, 8,000 Hz, Mono" is contained in "128 kBit/s, 8,000 Hz, Mono";
// a name taken from the list must select exactly its own format.
TEST(CAcmDriverList, FormatNamesMatchWholeAndCodecNamesMayBeAFragmentOnPurpose)
{
    FakeAcm acm;
    acm.drivers = {
        { 1, "First Codec", platform::kAcmDriverSupportCodec, false, false, false, false,
            { FakeAcm::Mp3(128, 8000, 1), FakeAcm::Mp3(8, 8000, 1) } },
        { 2, "Second Codec", platform::kAcmDriverSupportCodec, false, false, false, false,
            { FakeAcm::Mp3(56, 24000, 2) } },
    };
    CAcmDriverList list(acm);
    list.Enumerate();
    int rate = 0, bits = -1, channels = 0;
    EXPECT_EQ(list.FindFormat("First Codec", "8 kBit/s, 8,000 Hz, Mono", 85, &rate, &bits, &channels), 0);
    EXPECT_EQ(rate, 8000);
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(channels, 1);
    ASSERT_EQ(list.OpenStream("8 kBit/s, 8,000 Hz, Mono", "First Codec", 85, 8000, 1, 2), 0);
    EXPECT_EQ(acm.lastDest.avgBytesPerSec, 1000u) << "the 8 kbit/s format, not the 128 kbit/s one before it";
    EXPECT_EQ(list.CloseStream(nullptr, 0, nullptr), 0);

    EXPECT_EQ(list.FindFormat("First", "8 kBit/s, 8,000 Hz, Mono", 85, nullptr, nullptr, nullptr), 1)
        << "a fragment is not a whole name";
    EXPECT_EQ(
        list.FindFormat("Second", "56 kBit/s", 85, &rate, nullptr, &channels, CAcmDriverList::NameMatch::Part), 0);
    EXPECT_EQ(rate, 24000);
    EXPECT_EQ(channels, 2);
    // With fragments the first codec containing the name is the only one
    // searched, even when a later one has the format.
    EXPECT_EQ(list.FindFormat("Codec", "56 kBit/s", 85, nullptr, nullptr, nullptr, CAcmDriverList::NameMatch::Part), 1);

    // A format without extra bytes is not a usable MP3 format.
    acm.drivers[1].formats[0].extraBytes = 0;
    list.Enumerate();
    EXPECT_EQ(list.FindFormat("Second Codec", "56 kBit/s, 24,000 Hz, Stereo", 85, &rate, nullptr, nullptr), 1);
    EXPECT_EQ(list.OpenStream("56 kBit/s, 24,000 Hz, Stereo", "Second Codec", 85, 24000, 2, 2), 1);
    EXPECT_EQ(acm.openDrivers, 0);
}

TEST(CAcmDriverList, StreamConvertsDrainsOnCloseAndReleasesEverything)
{
    FakeAcm acm;
    acm.drivers = { { 1, "Codec", platform::kAcmDriverSupportCodec, false, false, false, false,
        { FakeAcm::Mp3(128, 44100, 2) } } };
    CAcmDriverList list(acm);
    list.Enumerate();
    std::vector<uint8_t> out(20000);
    int produced = -1;
    EXPECT_EQ(list.Convert("x", 1, out.data(), 10, &produced, 0), 0) << "nothing open: nothing done";
    EXPECT_EQ(produced, 0);

    ASSERT_EQ(list.OpenStream("128 kBit/s, 44,100 Hz, Stereo", "Codec", 85, 44100, 2, 2), 0);
    EXPECT_EQ(acm.lastSource.formatTag, platform::kWaveFormatPcm);
    EXPECT_EQ(acm.lastSource.blockAlign, 4);
    EXPECT_EQ(acm.lastSource.avgBytesPerSec, 176400u);
    EXPECT_EQ(acm.lastSource.bitsPerSample, 16);
    EXPECT_EQ(acm.lastSource.extraSize, 0);
    // The output is sized by what the codec says a full block can become.
    EXPECT_EQ(list.GetMaxOutputBytes(), 9216 / 4 + FakeAcm::kDrainBytes);

    std::vector<int16_t> pcm(2304 * 2, 7);
    ASSERT_EQ(list.Convert(pcm.data(), 2304, out.data(), static_cast<int>(out.size()), &produced,
                  platform::kAcmConvertBlockAlign),
        0);
    EXPECT_EQ(produced, 2304);
    EXPECT_EQ(acm.converted.size(), 9216u);
    EXPECT_EQ(list.Convert(pcm.data(), 2304, out.data(), 100, &produced, 0), 1) << "output too small";
    acm.failConvert = true;
    EXPECT_EQ(list.Convert(pcm.data(), 10, out.data(), static_cast<int>(out.size()), &produced, 0), 1);
    acm.failConvert = false;

    ASSERT_EQ(list.CloseStream(out.data(), static_cast<int>(out.size()), &produced), 0);
    EXPECT_EQ(produced, FakeAcm::kDrainBytes);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(acm.drains, 1);
    EXPECT_EQ(acm.openStreams, 0);
    EXPECT_EQ(acm.openDrivers, 0);
    EXPECT_FALSE(list.IsStreamOpen());

    acm.failStreamOpen = true;
    EXPECT_EQ(list.OpenStream("128 kBit/s, 44,100 Hz, Stereo", "Codec", 85, 44100, 2, 2), 1);
    EXPECT_EQ(acm.openDrivers, 0);
}

#include "platform/AcmLame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>

using namespace platform;

namespace {

struct Mp3Format {
    int index;
    WaveFormat wave;
    std::string description;
    std::vector<uint8_t> block;
};

std::vector<Mp3Format> ListMp3Formats(AcmLame& acm, AcmDriverHandle driver)
{
    AcmFormatTagDetails tag;
    if (!acm.GetFormatTagDetailsByTag(driver, kWaveFormatMpegLayer3, &tag))
        return {};
    std::vector<Mp3Format> formats;
    for (int i = 0; i < tag.formatCount; ++i) {
        std::vector<uint8_t> block(static_cast<size_t>(tag.formatSize) + kWaveFormatHeaderBytes);
        AcmFormatDetails details;
        if (!acm.GetFormatDetails(driver, kWaveFormatMpegLayer3, i, block, &details))
            break;
        block.resize(static_cast<size_t>(details.formatSize));
        Mp3Format format { i, {}, details.description, block };
        (void)ReadWaveFormat(block, &format.wave);
        formats.push_back(format);
    }
    return formats;
}

std::vector<uint8_t> PcmBlock(int rate, int channels, int bits)
{
    WaveFormat pcm;
    pcm.formatTag = kWaveFormatPcm;
    pcm.channels = static_cast<uint16_t>(channels);
    pcm.samplesPerSec = static_cast<uint32_t>(rate);
    pcm.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    pcm.avgBytesPerSec = pcm.samplesPerSec * pcm.blockAlign;
    pcm.bitsPerSample = static_cast<uint16_t>(bits);
    std::vector<uint8_t> block(kWaveFormatHeaderBytes);
    (void)WriteWaveFormat(pcm, block);
    return block;
}

// The fields of an MPEG audio frame header.
struct FrameHeader {
    int rate = 0;
    int kbps = 0;
    int channels = 0;
    bool layer3 = false;
};

bool ParseFrameHeader(const std::vector<uint8_t>& bytes, FrameHeader* pHeader)
{
    static const int kRates[4][3]
        = { { 11025, 12000, 8000 }, { 0, 0, 0 }, { 22050, 24000, 16000 }, { 44100, 48000, 32000 } };
    static const int kMpeg1[16] = { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0 };
    static const int kMpeg2[16] = { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 };
    if (bytes.size() < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return false;
    const int version = (bytes[1] >> 3) & 3;
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (version == 1 || rateIndex == 3)
        return false;
    pHeader->layer3 = ((bytes[1] >> 1) & 3) == 1;
    pHeader->rate = kRates[version][rateIndex];
    pHeader->kbps = (version == 3 ? kMpeg1 : kMpeg2)[bytes[2] >> 4];
    pHeader->channels = (bytes[3] >> 6) == 3 ? 1 : 2;
    return true;
}

} // namespace

TEST(AcmLame, OffersOneMp3CodecWithEveryLameRateChannelAndBitrate)
{
    AcmLame acm(AcmLame::Codecs::Installed);
    const std::vector<AcmDriverEntry> drivers = acm.ListDrivers();
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_TRUE(drivers[0].support & kAcmDriverSupportCodec);
    AcmDriverDetails details;
    ASSERT_TRUE(acm.GetDriverDetails(drivers[0].id, &details));
    EXPECT_FALSE(details.longName.empty());
    EXPECT_EQ(details.formatTagCount, 2);

    const AcmDriverHandle driver = acm.OpenDriver(drivers[0].id);
    ASSERT_NE(driver, 0u);
    AcmFormatTagDetails pcm;
    ASSERT_TRUE(acm.GetFormatTagDetailsByTag(driver, kWaveFormatPcm, &pcm));
    EXPECT_EQ(pcm.formatTag, kWaveFormatPcm);

    const std::vector<Mp3Format> formats = ListMp3Formats(acm, driver);
    std::set<std::string> descriptions;
    std::set<int> rates;
    const std::regex shape(R"((\d+) kBit/s, (\d{1,2}),(\d{3}) Hz, (Mono|Stereo))");
    for (const Mp3Format& f : formats) {
        SCOPED_TRACE(f.description);
        EXPECT_EQ(f.block.size(), static_cast<size_t>(kWaveFormatHeaderBytes + kMpegLayer3ExtraBytes));
        EXPECT_EQ(f.wave.formatTag, kWaveFormatMpegLayer3);
        EXPECT_EQ(f.wave.extraSize, kMpegLayer3ExtraBytes);
        EXPECT_EQ(f.wave.bitsPerSample, 0);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(f.description, m, shape));
        EXPECT_EQ(std::stoi(m[1]) * 125, static_cast<int>(f.wave.avgBytesPerSec));
        EXPECT_EQ(std::stoi(m[2].str() + m[3].str()), static_cast<int>(f.wave.samplesPerSec));
        EXPECT_EQ(m[4] == "Mono" ? 1 : 2, f.wave.channels);
        descriptions.insert(f.description);
        rates.insert(static_cast<int>(f.wave.samplesPerSec));
    }
    EXPECT_EQ(descriptions.size(), formats.size()) << "descriptions must tell formats apart";
    EXPECT_EQ(rates, (std::set<int> { 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000 }));
    EXPECT_TRUE(descriptions.count("128 kBit/s, 44,100 Hz, Stereo"));
    EXPECT_TRUE(descriptions.count("320 kBit/s, 48,000 Hz, Stereo"));
    EXPECT_TRUE(descriptions.count("8 kBit/s, 8,000 Hz, Mono"));
    EXPECT_TRUE(descriptions.count("160 kBit/s, 24,000 Hz, Mono"));
    // Past the last format, or into too small a block, nothing is read.
    std::vector<uint8_t> small(kWaveFormatHeaderBytes);
    AcmFormatDetails unused;
    EXPECT_FALSE(acm.GetFormatDetails(driver, kWaveFormatMpegLayer3, static_cast<int>(formats.size()), small, &unused));
    EXPECT_FALSE(acm.GetFormatDetails(driver, kWaveFormatMpegLayer3, 0, small, &unused));
    acm.CloseDriver(driver);
    EXPECT_FALSE(acm.GetFormatTagDetailsByTag(driver, kWaveFormatPcm, &pcm)) << "a closed handle answers nothing";
}

// Every listed format must really be what LAME writes: the first frame of
// each stream carries the format's MPEG rate, bit rate and channel mode.
TEST(AcmLame, EveryFormatEncodesFramesOfItsOwnRateBitrateAndMode)
{
    AcmLame acm(AcmLame::Codecs::Installed);
    const AcmDriverHandle driver = acm.OpenDriver(AcmLame::kDriverId);
    ASSERT_NE(driver, 0u);
    const std::vector<Mp3Format> formats = ListMp3Formats(acm, driver);
    ASSERT_GT(formats.size(), 100u);
    for (const Mp3Format& f : formats) {
        SCOPED_TRACE(f.description);
        const int rate = static_cast<int>(f.wave.samplesPerSec);
        const int channels = f.wave.channels;
        const AcmStreamHandle stream = acm.OpenStream(driver, PcmBlock(rate, channels, 16), f.block);
        ASSERT_NE(stream, 0u);
        const int frames = 2304;
        std::vector<int16_t> pcm(static_cast<size_t>(frames * channels));
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * static_cast<double>(i / channels) / rate));
        const int sourceBytes = frames * channels * 2;
        EXPECT_EQ(acm.GetStreamSize(stream, sourceBytes), (frames * 5 + 3) / 4 + 7200);
        std::vector<uint8_t> out(static_cast<size_t>(acm.GetStreamSize(stream, sourceBytes)));
        AcmStreamHeader header { reinterpret_cast<const uint8_t*>(pcm.data()), sourceBytes, 0, out.data(),
            static_cast<int>(out.size()), 0, false };
        ASSERT_TRUE(acm.PrepareHeader(stream, &header));
        std::vector<uint8_t> encoded;
        for (int pass = 0; pass < 3; ++pass) {
            ASSERT_TRUE(acm.Convert(stream, &header, kAcmConvertBlockAlign));
            EXPECT_EQ(header.sourceLengthUsed, sourceBytes);
            encoded.insert(encoded.end(), out.begin(), out.begin() + header.destLengthUsed);
        }
        header.sourceLength = 0;
        ASSERT_TRUE(acm.Convert(stream, &header, kAcmConvertEnd | kAcmConvertBlockAlign));
        encoded.insert(encoded.end(), out.begin(), out.begin() + header.destLengthUsed);
        EXPECT_FALSE(acm.Convert(stream, &header, 0)) << "a drained stream takes nothing more";
        acm.UnprepareHeader(stream, &header);
        acm.CloseStream(stream);

        FrameHeader frame;
        ASSERT_TRUE(ParseFrameHeader(encoded, &frame));
        EXPECT_TRUE(frame.layer3);
        EXPECT_EQ(frame.rate, rate);
        EXPECT_EQ(frame.kbps * 125, static_cast<int>(f.wave.avgBytesPerSec));
        EXPECT_EQ(frame.channels, channels);
        // Constant bit rate: the stream's length follows the bit rate.
        const double seconds = 3.0 * frames / rate;
        EXPECT_NEAR(static_cast<double>(encoded.size()), seconds * f.wave.avgBytesPerSec,
            0.1 * seconds * f.wave.avgBytesPerSec + 3000);
    }
    acm.CloseDriver(driver);
}

TEST(AcmLame, StreamsRefuseConversionsTheCodecCannotDo)
{
    AcmLame acm(AcmLame::Codecs::Installed);
    const AcmDriverHandle driver = acm.OpenDriver(AcmLame::kDriverId);
    const std::vector<Mp3Format> formats = ListMp3Formats(acm, driver);
    const auto it = std::find_if(formats.begin(), formats.end(),
        [](const Mp3Format& f) { return f.description == "128 kBit/s, 44,100 Hz, Stereo"; });
    ASSERT_NE(it, formats.end());
    EXPECT_EQ(acm.OpenStream(driver, PcmBlock(44100, 2, 8), it->block), 0u) << "8-bit PCM";
    EXPECT_EQ(acm.OpenStream(driver, PcmBlock(44100, 1, 16), it->block), 0u) << "mono into stereo";
    EXPECT_EQ(acm.OpenStream(driver, PcmBlock(22050, 2, 16), it->block), 0u) << "another rate";
    std::vector<uint8_t> odd = it->block;
    odd[8] = 1; // an average byte rate no format has
    EXPECT_EQ(acm.OpenStream(driver, PcmBlock(44100, 2, 16), odd), 0u);

    const AcmStreamHandle stream = acm.OpenStream(driver, PcmBlock(44100, 2, 16), it->block);
    ASSERT_NE(stream, 0u);
    std::vector<int16_t> pcm(1152 * 2);
    std::vector<uint8_t> out(100);
    AcmStreamHeader header { reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int>(pcm.size() * 2), 0,
        out.data(), static_cast<int>(out.size()), 0, false };
    ASSERT_TRUE(acm.PrepareHeader(stream, &header));
    EXPECT_FALSE(acm.Convert(stream, &header, 0)) << "an output smaller than the codec's worst case";
    header.destLength = 0;
    EXPECT_FALSE(acm.Convert(stream, &header, 0));
    acm.UnprepareHeader(stream, &header);
    acm.CloseStream(stream);
    acm.CloseDriver(driver);
}

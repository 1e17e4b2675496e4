#include "engine/audio/road/CASampleConverter.h"

#include "engine/audio/AudioSignals.h"

#include <gtest/gtest.h>

using namespace audiotest;
using Format = CASampleConverter::Format;

namespace {

std::vector<unsigned char> Convert(const Format& in, const Format& out, const std::vector<unsigned char>& input)
{
    CASampleConverter conv;
    EXPECT_TRUE(conv.Prepare(in, out, 8192, 2304, 0));
    const int bytes = conv.Convert(reinterpret_cast<const char*>(input.data()), static_cast<int>(input.size()));
    const auto* p = reinterpret_cast<const unsigned char*>(conv.GetBlockBytes());
    return { p, p + bytes };
}

std::vector<unsigned char> Le16(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values) {
        out.push_back(static_cast<unsigned char>(v & 0xFF));
        out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    }
    return out;
}

} // namespace

TEST(CASampleConverter, WidthAndChannelsBothWays)
{
    const Format m8 { 44100, 8, 1 };
    const Format s8 { 44100, 8, 2 };
    const Format m16 { 44100, 16, 1 };
    const Format s16 { 44100, 16, 2 };
    struct Case {
        const char* name;
        Format in;
        Format out;
        std::vector<unsigned char> input;
        std::vector<unsigned char> expected;
    };
    const Case cases[] = {
        { "16 -> 8 mono", m16, m8, Le16({ -32768, -1, 0, 127, 32767 }), { 0, 127, 128, 128, 255 } },
        { "8 -> 16 mono", m8, m16, { 0, 1, 128, 255 }, Le16({ -32768, -32512, 0, 32512 }) },
        { "16 mono -> stereo", m16, s16, Le16({ 5, -7 }), Le16({ 5, 5, -7, -7 }) },
        // The mean truncates toward zero: -3 / 2 is -1.
        { "16 stereo -> mono", s16, m16, Le16({ 3, 0, -3, 0, -32768, -32768, 32767, 32766 }),
            Le16({ 1, -1, -32768, 32766 }) },
        { "8 mono -> stereo", m8, s8, { 7, 200 }, { 7, 7, 200, 200 } },
        { "8 stereo -> mono", s8, m8, { 0, 255, 10, 13 }, { 127, 11 } },
        { "8 stereo -> 16 mono", s8, m16, { 0, 255, 128, 129 }, Le16({ -128, 128 }) },
        { "8 mono -> 16 stereo", m8, s16, { 0, 255 }, Le16({ -32768, -32768, 32512, 32512 }) },
        { "16 stereo -> 8 mono", s16, m8, Le16({ 1000, -1000, 32767, 32767, -32768, -32768 }), { 128, 255, 0 } },
        { "16 mono -> 8 stereo", m16, s8, Le16({ -256, 256 }), { 127, 127, 129, 129 } },
        { "16 stereo unchanged", s16, s16, Le16({ 1, -2, 3, -4 }), Le16({ 1, -2, 3, -4 }) },
        { "8 mono unchanged", m8, m8, { 0, 9, 255 }, { 0, 9, 255 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Convert(c.in, c.out, c.input), c.expected) << c.name;
}

TEST(CASampleConverter, EightBitRateChangeGoesThroughSixteenBits)
{
    // A steady unsigned level survives widening, resampling and narrowing.
    const std::vector<unsigned char> input(4000, 200);
    const std::vector<unsigned char> out = Convert({ 44100, 8, 1 }, { 22050, 8, 2 }, input);
    ASSERT_GT(out.size(), 2 * 2000u - 2 * 40u);
    for (unsigned char v : out)
        ASSERT_EQ(v, 200);
}

TEST(CASampleConverter, StereoRateChangeKeepsEachToneOnItsSide)
{
    // Fed in pieces of the pump's size (whole frames, 2304 output frames'
    // worth), left stays 440 Hz and right 1 kHz.
    constexpr double kAmp = 12000.0;
    for (int outRate : { 32000, 48000 }) {
        SCOPED_TRACE(outRate);
        const int inRate = outRate == 48000 ? 22050 : 44100;
        const std::vector<int16_t> in = StereoTones(440.0, 1000.0, inRate, kAmp, inRate);
        CASampleConverter conv;
        ASSERT_TRUE(conv.Prepare({ inRate, 16, 2 }, { outRate, 16, 2 }, 8192, 2304, 0));
        std::vector<int16_t> out;
        const int piece = 4 * 1058;
        const std::vector<char> bytes = Bytes(in);
        for (size_t at = 0; at < bytes.size(); at += piece) {
            const int n = static_cast<int>(std::min<size_t>(piece, bytes.size() - at));
            const int got = conv.Convert(bytes.data() + at, n);
            const auto* p = static_cast<const int16_t*>(conv.GetBlock());
            out.insert(out.end(), p, p + got / 2);
        }
        const std::vector<int16_t> left = Channel(out, 2, 0, 64, out.size() / 2 - 64);
        const std::vector<int16_t> right = Channel(out, 2, 1, 64, out.size() / 2 - 64);
        EXPECT_NEAR(ToneAmplitude(left, 440.0, outRate), kAmp, kAmp * 0.01);
        EXPECT_NEAR(ToneAmplitude(right, 1000.0, outRate), kAmp, kAmp * 0.01);
        EXPECT_LT(ToneAmplitude(left, 1000.0, outRate), kAmp * 0.01);
        EXPECT_LT(ToneAmplitude(right, 440.0, outRate), kAmp * 0.01);
    }
}

TEST(CASampleConverter, RefusesWhatItCannotHold)
{
    CASampleConverter conv;
    EXPECT_FALSE(conv.Prepare({ 44100, 24, 2 }, { 44100, 16, 2 }, 8192, 2304, 0));
    EXPECT_FALSE(conv.Prepare({ 44100, 16, 6 }, { 44100, 16, 2 }, 8192, 2304, 0));
    EXPECT_FALSE(conv.Prepare({ 44100, 16, 2 }, { 0, 16, 2 }, 8192, 2304, 0));
    std::vector<char> big(8193);
    EXPECT_EQ(conv.Convert(big.data(), 4), 0);
    ASSERT_TRUE(conv.Prepare({ 44100, 16, 2 }, { 32000, 16, 2 }, 8192, 2304, 0));
    EXPECT_EQ(conv.Convert(big.data(), 8193), 0);
    // One frame is less than the filter needs; it waits for the next piece.
    EXPECT_EQ(conv.Convert(big.data(), 4), 0);
    EXPECT_GT(conv.GetBlockCapacityBytes(), 2304 * 4 - 1);
}

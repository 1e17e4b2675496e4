#include "engine/audio/road/GAVResample.h"
#include "engine/audio/road/GAVStreamResample.h"

#include "engine/audio/AudioSignals.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace audiotest;

namespace {

struct RatePair {
    int in;
    int out;
    int taps;
};

// The presets' conversions and the fallback capture rate going up.
constexpr RatePair kPairs[] = {
    { 44100, 32000, 23 },
    { 44100, 24000, 30 },
    { 44100, 22050, 32 },
    { 22050, 44100, 16 },
};

std::vector<int16_t> ResampleInPieces(const RatePair& p, const std::vector<int16_t>& in, const std::vector<int>& pieces)
{
    GAVStreamResample r;
    const int maxPiece = *std::max_element(pieces.begin(), pieces.end());
    EXPECT_TRUE(r.Create(p.out, p.in, 1.0, maxPiece));
    std::vector<int16_t> out;
    std::vector<int16_t> buf(static_cast<size_t>(GAVStreamResample::MaxOutput(p.out, p.in, maxPiece)));
    size_t at = 0;
    for (size_t k = 0; at < in.size(); ++k) {
        const int n
            = static_cast<int>(std::min<size_t>(static_cast<size_t>(pieces[k % pieces.size()]), in.size() - at));
        const int got = r.Process(buf.data(), in.data() + at, n);
        EXPECT_GE(got, 0);
        EXPECT_LE(got, GAVStreamResample::MaxOutput(p.out, p.in, n));
        out.insert(out.end(), buf.begin(), buf.begin() + std::max(got, 0));
        at += static_cast<size_t>(n);
    }
    return out;
}

std::vector<int16_t> ResampleWhole(const RatePair& p, const std::vector<int16_t>& in)
{
    return ResampleInPieces(p, in, { static_cast<int>(in.size()) });
}

} // namespace

TEST(GAVResample, FilterTableHasUnityGainInEveryPhase)
{
    for (const RatePair& p : kPairs) {
        SCOPED_TRACE(testing::Message() << p.in << " -> " << p.out);
        GAVResample r(p.out, p.in, 1.0);
        const int taps = r.GetTaps();
        ASSERT_EQ(taps, p.taps);
        for (int phase = 0; phase < GAVResample::kPhases; ++phase) {
            const int16_t* row = r.GetPhase(phase);
            int sum = 0;
            for (int k = 0; k < taps; ++k)
                sum += row[k];
            ASSERT_NEAR(sum, 32768, 1) << "phase " << phase;
        }
        // Phase 0 peaks at the centre tap; the extra last row is phase 0 one
        // tap later.
        const int16_t* zero = r.GetPhase(0);
        EXPECT_EQ(std::max_element(zero, zero + taps) - zero, (taps - 1) / 2);
        const int16_t* extra = r.GetPhase(GAVResample::kPhases);
        EXPECT_EQ(extra[0], zero[taps - 1]);
        for (int k = 1; k < taps; ++k)
            EXPECT_EQ(extra[k], zero[k - 1]);
    }
}

TEST(GAVResample, RefusesRatesItCannotBound)
{
    EXPECT_TRUE(GAVResample::SupportsRates(32000, 44100));
    EXPECT_FALSE(GAVResample::SupportsRates(0, 44100));
    EXPECT_FALSE(GAVResample::SupportsRates(44100, -1));
    EXPECT_FALSE(GAVResample::SupportsRates(1000, 44100));
    EXPECT_FALSE(GAVResample::SupportsRates(2000000, 1000000));
    GAVStreamResample s;
    EXPECT_FALSE(s.Create(1000, 44100, 1.0, 100));
    int16_t out[32] = {};
    const int16_t in[4] = {};
    EXPECT_EQ(s.Process(out, in, 4), -1);
    ASSERT_TRUE(s.Create(32000, 44100, 1.0, 4));
    EXPECT_EQ(s.Process(out, in, 5), -1);
}

TEST(GAVStreamResample, SineKeepsItsFrequencyAndLevel)
{
    constexpr double kAmp = 16000.0;
    for (const RatePair& p : kPairs) {
        for (double freq : { 1000.0, 5000.0 }) {
            SCOPED_TRACE(testing::Message() << p.in << " -> " << p.out << " at " << freq << " Hz");
            const std::vector<int16_t> out = ResampleWhole(p, Sine(freq, p.in, kAmp, p.in));
            // One second in gives one second out, less the filter's tail.
            EXPECT_NEAR(static_cast<double>(out.size()), p.out, p.out / 100.0 + p.taps);
            const std::vector<int16_t> body(out.begin() + 64, out.end() - 64);
            EXPECT_NEAR(ToneAmplitude(body, freq, p.out), kAmp, kAmp * 0.01);
            EXPECT_NEAR(ZeroCrossingFrequency(body, p.out), freq, freq * 0.00002);
        }
    }
}

TEST(GAVStreamResample, TonesAboveTheNewNyquistDoNotFoldBack)
{
    // 20 kHz at 44.1 kHz would fold to 12 kHz at 32 kHz, 4 kHz at 24 kHz and
    // 2.05 kHz at 22.05 kHz.
    constexpr double kAmp = 16000.0;
    for (const RatePair& p : kPairs) {
        if (p.out > p.in)
            continue;
        SCOPED_TRACE(testing::Message() << p.in << " -> " << p.out);
        const std::vector<int16_t> out = ResampleWhole(p, Sine(20000.0, p.in, kAmp, p.in / 2));
        const double alias = p.out - 20000.0;
        const std::vector<int16_t> body(out.begin() + 64, out.end() - 64);
        EXPECT_LT(ToneAmplitude(body, alias, p.out), kAmp * 0.03);
    }
}

TEST(GAVStreamResample, OddPiecesGiveTheSameStreamAsOnePiece)
{
    const std::vector<int> pieces = { 1, 7, 2, 13, 511, 3, 1058, 64, 5, 990, 17 };
    for (const RatePair& p : kPairs) {
        SCOPED_TRACE(testing::Message() << p.in << " -> " << p.out);
        const std::vector<int16_t> in = Sine(997.0, p.in, 20000.0, p.in / 2);
        const std::vector<int16_t> whole = ResampleWhole(p, in);
        const std::vector<int16_t> cut = ResampleInPieces(p, in, pieces);
        // The cap per call may hold back a sample or two at the very end.
        ASSERT_NEAR(static_cast<double>(cut.size()), static_cast<double>(whole.size()), 2.0);
        const size_t n = std::min(cut.size(), whole.size());
        EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + static_cast<long>(n), whole.begin()));
    }
}

TEST(GAVStreamResample, StartsWithoutAClick)
{
    // The filter reaches before the first sample; mirroring the stream there
    // keeps a steady level steady from the first output on. A sine that
    // starts at zero mirrors into a kink, which rounds off into a slightly
    // steeper start but never a jump.
    for (const RatePair& p : kPairs) {
        SCOPED_TRACE(testing::Message() << p.in << " -> " << p.out);
        const std::vector<int16_t> dc(static_cast<size_t>(p.in / 10), 12000);
        const std::vector<int16_t> flat = ResampleWhole(p, dc);
        ASSERT_FALSE(flat.empty());
        for (size_t i = 0; i + 64 < flat.size(); ++i)
            ASSERT_NEAR(flat[i], 12000, 2) << "sample " << i;

        constexpr double kAmp = 16000.0;
        constexpr double kFreq = 1000.0;
        const std::vector<int16_t> out = ResampleWhole(p, Sine(kFreq, p.in, kAmp, p.in / 10));
        EXPECT_LT(std::abs(out[0]), kAmp * 0.05);
        const double maxStep = 2.0 * std::numbers::pi * kFreq * kAmp / p.out;
        for (size_t i = 1; i + 64 < out.size(); ++i)
            ASSERT_LT(std::abs(out[i] - out[i - 1]), maxStep * 1.5) << "sample " << i;
    }
}

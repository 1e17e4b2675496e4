#pragma once

#include "engine/audio/road/GAVResampleBase.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Thread: one thread at a time per instance; the constructor allocates the
// table, Process never allocates.
// Polyphase windowed-sinc resampler for one channel of 16-bit samples:
// 1024 phases of a Blackman-Nuttall windowed sinc, quantised to 16 bits, and
// an exact rational step (integer part plus a remainder carried in units of
// the output rate), so long streams never drift.
class GAVResample final : public GAVResampleBase {
public:
    static constexpr int kPhaseBits = 10;
    static constexpr int kPhases = 1 << kPhaseBits;
    static constexpr int kPhaseMask = kPhases - 1;
    // The filter grows with the rate ratio (taps = 16 / cutoff) and the output
    // with the ratio, so both are bounded by refusing wider ratios; real
    // devices and encoders stay well inside it.
    static constexpr int kMaxRatio = 16;
    static constexpr int kMaxRate = 1000000;

    // True when both rates are positive, at most kMaxRate, and within
    // kMaxRatio of each other.
    [[nodiscard]] static bool SupportsRates(int outRate, int inRate);

    // The rates must pass SupportsRates. scale narrows the pass band below
    // the lower Nyquist frequency (1.0 = no narrowing).
    GAVResample(int outRate, int inRate, double scale);

    int Process(int16_t* pOut, const int16_t* pIn, int nIn, int nMaxOut, int* pConsumed) override;

    [[nodiscard]] int GetTaps() const { return m_nTaps; }
    // Row phase (0 .. kPhases) of the coefficient table, GetTaps() values.
    [[nodiscard]] const int16_t* GetPhase(int phase) const;

private:
    void BuildTable(double cutoff);

    int m_nTaps = 16;
    std::vector<int16_t> m_coefs; // (kPhases + 1) rows of m_nTaps
    // Input position in 1/kPhases of a sample, relative to the first sample
    // the caller passes; negative while the filter still reaches before the
    // start of the stream.
    int64_t m_nPos = 0;
    int m_nStepInt = 0;
    int m_nStepRem = 0;
    int m_nAccum = 0;
    int m_nOutRate = 1;
};

#include "engine/audio/road/GAVResample.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

double BlackmanNuttall(double t, int taps)
{
    // Shifted by pi so the window is 1 at the filter's centre (t = 0).
    const double h = 2.0 * std::numbers::pi * t / taps + std::numbers::pi;
    return 0.3635819 - 0.4891775 * std::cos(h) + 0.1365995 * std::cos(2.0 * h) - 0.0106411 * std::cos(3.0 * h);
}

} // namespace

bool GAVResample::SupportsRates(int outRate, int inRate)
{
    if (outRate <= 0 || inRate <= 0 || outRate > kMaxRate || inRate > kMaxRate)
        return false;
    return static_cast<int64_t>(outRate) <= static_cast<int64_t>(inRate) * kMaxRatio
        && static_cast<int64_t>(inRate) <= static_cast<int64_t>(outRate) * kMaxRatio;
}

GAVResample::GAVResample(int outRate, int inRate, double scale)
{
    if (!SupportsRates(outRate, inRate)) {
        // A caller bug; fall back to a unit step so nothing reads out of range.
        outRate = inRate = 1;
    }
    if (!(scale > 0.0) || scale > 1.0)
        scale = 1.0;
    double cutoff = std::min(1.0, static_cast<double>(outRate) * scale / inRate);
    cutoff = std::max(cutoff, 1.0 / kMaxRatio);
    m_nTaps = static_cast<int>(std::ceil(16.0 / cutoff));
    BuildTable(cutoff);

    const int64_t scaledIn = static_cast<int64_t>(inRate) * kPhases;
    m_nStepInt = static_cast<int>(scaledIn / outRate);
    m_nStepRem = static_cast<int>(scaledIn % outRate);
    m_nOutRate = outRate;
    m_nAccum = 0;
    // Centres the filter on the first input sample.
    m_nPos = -static_cast<int64_t>((m_nTaps - 1) / 2) * kPhases;
}

const int16_t* GAVResample::GetPhase(int phase) const
{
    phase = std::clamp(phase, 0, kPhases);
    return &m_coefs[static_cast<size_t>(phase) * static_cast<size_t>(m_nTaps)];
}

void GAVResample::BuildTable(double cutoff)
{
    const int taps = m_nTaps;
    m_coefs.assign(static_cast<size_t>(kPhases + 1) * static_cast<size_t>(taps), 0);
    std::vector<double> raw(static_cast<size_t>(taps));
    for (int p = 0; p < kPhases; ++p) {
        const double frac = static_cast<double>(p) / kPhases;
        double sum = 0.0;
        for (int k = 0; k < taps; ++k) {
            const double t = static_cast<double>(k - (taps - 1) / 2) - frac;
            const double x = cutoff * std::numbers::pi * t;
            const double sinc = x == 0.0 ? 1.0 : std::sin(x) / x;
            raw[static_cast<size_t>(k)] = BlackmanNuttall(t, taps) * sinc;
            sum += raw[static_cast<size_t>(k)];
        }
        // Error feedback keeps each phase's taps summing to unity gain
        // (32768) within one unit, so a constant passes unchanged.
        int16_t* row = &m_coefs[static_cast<size_t>(p) * static_cast<size_t>(taps)];
        float err = 0.0f;
        for (int k = 0; k < taps; ++k) {
            const float q = static_cast<float>(raw[static_cast<size_t>(k)] * 32768.0 / sum);
            const float r = std::clamp(std::nearbyint(q + err), -32768.0f, 32767.0f);
            row[k] = static_cast<int16_t>(r);
            err = err + q - r;
        }
    }
    // The next phase after the last is phase 0 one tap later; kept for
    // interpolation between phases, which is left off.
    const int16_t* first = &m_coefs[0];
    int16_t* last = &m_coefs[static_cast<size_t>(kPhases) * static_cast<size_t>(taps)];
    last[0] = first[taps - 1];
    for (int k = 1; k < taps; ++k)
        last[k] = first[k - 1];
}

int GAVResample::Process(int16_t* pOut, const int16_t* pIn, int nIn, int nMaxOut, int* pConsumed)
{
    int written = 0;
    if (pOut && pIn && nIn > 0) {
        const int taps = m_nTaps;
        while (written < nMaxOut) {
            const int64_t index = m_nPos >> kPhaseBits;
            const int phase = static_cast<int>(m_nPos & kPhaseMask);
            // Wait for the whole filter span, also at the start: a first
            // piece shorter than the filter would otherwise wrap around and
            // differ from the same stream fed in one piece.
            if (index + taps > nIn)
                break;
            const int16_t* coef = &m_coefs[static_cast<size_t>(phase) * static_cast<size_t>(taps)];
            // A phase's taps add up in magnitude to under 61000, so even a
            // full-scale input matched to their signs stays inside 32 bits;
            // 64 bits keeps that true without relying on the table's shape.
            int64_t sum = 0;
            if (index < 0) {
                // Before the first sample, mirror the stream about it.
                for (int j = 0; j < taps; ++j) {
                    int64_t at = index + j;
                    at = (at < 0 ? -at : at) % nIn;
                    sum += static_cast<int64_t>(coef[j]) * pIn[at];
                }
            } else {
                const int16_t* x = pIn + index;
                for (int j = 0; j < taps; ++j)
                    sum += static_cast<int32_t>(coef[j]) * x[j];
            }
            const int64_t value = (sum + 16384) >> 15;
            pOut[written++] = static_cast<int16_t>(std::clamp<int64_t>(value, -32768, 32767));

            m_nAccum += m_nStepRem;
            m_nPos += m_nStepInt;
            if (m_nAccum >= m_nOutRate) {
                m_nAccum -= m_nOutRate;
                ++m_nPos;
            }
        }
    }
    int consumed = 0;
    if (m_nPos >= 0) {
        consumed = static_cast<int>(std::min<int64_t>(m_nPos >> kPhaseBits, std::max(nIn, 0)));
        m_nPos -= static_cast<int64_t>(consumed) << kPhaseBits;
    }
    if (pConsumed)
        *pConsumed = consumed;
    return written;
}

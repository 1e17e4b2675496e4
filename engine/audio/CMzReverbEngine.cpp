#include "engine/audio/CMzReverbEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numbers>

namespace {

constexpr int kMask = CMzReverbEngine::kLineSamples - 1;
// Comb lengths in milliseconds: lines 0-3 are the left channel's, 4-7 the
// right's; the right differs slightly so the two sides decorrelate.
constexpr int kLineMs[CMzReverbEngine::kLines] = {17, 18, 21, 25, 17, 18, 22, 23};
constexpr int kLinesPerChannel = 4;

int16_t Saturate16(long long v)
{
    return static_cast<int16_t>(std::clamp<long long>(v, INT16_MIN, INT16_MAX));
}

// A runaway filter must not turn into undefined behaviour on the cast.
int TruncFilterOutput(double y)
{
    return static_cast<int>(std::clamp(y, -1e9, 1e9));
}

}  // namespace

bool CMzReverbEngine::Init(int nBits, int nChannels, int nRate)
{
    if (nBits != 16 || nChannels != 2 || nRate <= 0)
        return false;
    m_nChannels = 2;
    m_nRate = nRate;
    for (int i = 0; i < kLines; ++i) {
        m_nDelay[i] = static_cast<int>(static_cast<long long>(nRate) * kLineMs[i] / 1000);
        m_nWriteIndex[i] = 0;
    }
    std::memset(m_lines, 0, sizeof m_lines);
    std::fill(std::begin(m_dY1), std::end(m_dY1), 0.0);
    std::fill(std::begin(m_dY2), std::end(m_dY2), 0.0);
    m_dRT = 0.5;
    m_nWet = 24;
    m_nDry = 24;
    m_nFc = 4000;
    ComputeCoefficients();
    return true;
}

void CMzReverbEngine::SetParams(int nWet, int nFc, double dRT)
{
    m_nWet = nWet;
    if (nFc == m_nFc && dRT == m_dRT)
        return;
    m_nFc = nFc;
    m_dRT = dRT;
    ComputeCoefficients();
}

void CMzReverbEngine::ComputeCoefficients()
{
    // Each comb decays by 60 dB in the reverb time.
    for (int i = 0; i < kLines; ++i)
        m_nGain[i] = static_cast<int>(65536.0 * std::exp(std::log(0.001) * kLineMs[i] / 1000.0 / m_dRT));
    const double pi = std::numbers::pi;
    m_dC3 = std::exp(-2.0 * pi * 0.8 * m_nFc / m_nRate);
    m_dC2 = -4.0 * m_dC3 * std::cos(2.0 * pi * m_nFc / m_nRate) / (1.0 + m_dC3);
    m_dC1 = (1.0 - m_dC3) * std::sqrt(1.0 - m_dC2 * m_dC2 / (4.0 * m_dC3));
}

void CMzReverbEngine::Process(int16_t* pSamples, int nFrames)
{
    for (int f = 0; f < nFrames; ++f) {
        for (int ch = 0; ch < 2; ++ch) {
            int16_t& sample = pSamples[2 * f + ch];
            const int input = sample;
            long long sum = 0;
            for (int k = ch * kLinesPerChannel; k < (ch + 1) * kLinesPerChannel; ++k) {
                const int w = m_nWriteIndex[k];
                m_nWriteIndex[k] = (w + 1) & kMask;
                const int delayed = m_lines[k][(w - m_nDelay[k]) & kMask];
                sum += delayed;
                m_lines[k][w] = Saturate16((input >> 2) + ((static_cast<long long>(delayed) * m_nGain[k]) >> 16));
            }
            const double y = m_dC1 * static_cast<double>(sum) - m_dC2 * m_dY1[ch] - m_dC3 * m_dY2[ch];
            m_dY2[ch] = m_dY1[ch];
            m_dY1[ch] = y;
            sample = Saturate16(((static_cast<long long>(input) * m_nDry) >> 5)
                                + ((static_cast<long long>(TruncFilterOutput(y)) * m_nWet) >> 5));
        }
    }
}

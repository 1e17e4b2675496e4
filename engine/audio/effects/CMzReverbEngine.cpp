#include "engine/audio/effects/CMzReverbEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numbers>

namespace {

constexpr int kMask = CMzReverbEngine::kLineSamples - 1;
// Comb lengths in milliseconds: lines 0-3 are the left channel's, 4-7 the
// right's; the right differs slightly so the two sides decorrelate.
constexpr int kLineMs[CMzReverbEngine::kLines] = { 17, 18, 21, 25, 17, 18, 22, 23 };
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

} // namespace

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
    for (int ch = 0; ch < 2; ++ch) {
        // One channel at a time with its state in locals: the channels share
        // nothing, and the compiler need not reload members after each store.
        const int first = ch * kLinesPerChannel;
        int write[kLinesPerChannel];
        int delay[kLinesPerChannel];
        int gain[kLinesPerChannel];
        for (int k = 0; k < kLinesPerChannel; ++k) {
            write[k] = m_nWriteIndex[first + k];
            delay[k] = m_nDelay[first + k];
            gain[k] = m_nGain[first + k];
        }
        const double c1 = m_dC1;
        const double c2 = m_dC2;
        const double c3 = m_dC3;
        const long long dry = m_nDry;
        const long long wet = m_nWet;
        double y1 = m_dY1[ch];
        double y2 = m_dY2[ch];
        for (int f = 0; f < nFrames; ++f) {
            int16_t& sample = pSamples[2 * f + ch];
            const int input = sample;
            long long sum = 0;
            for (int k = 0; k < kLinesPerChannel; ++k) {
                int16_t* line = m_lines[first + k];
                const int w = write[k];
                write[k] = (w + 1) & kMask;
                const int delayed = line[(w - delay[k]) & kMask];
                sum += delayed;
                line[w] = Saturate16((input >> 2) + ((static_cast<long long>(delayed) * gain[k]) >> 16));
            }
            const double y = c1 * static_cast<double>(sum) - c2 * y1 - c3 * y2;
            y2 = y1;
            y1 = y;
            sample = Saturate16(((input * dry) >> 5) + ((TruncFilterOutput(y) * wet) >> 5));
        }
        for (int k = 0; k < kLinesPerChannel; ++k)
            m_nWriteIndex[first + k] = write[k];
        m_dY1[ch] = y1;
        m_dY2[ch] = y2;
    }
}

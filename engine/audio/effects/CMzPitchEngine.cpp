#include "engine/audio/effects/CMzPitchEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

namespace {

// A length in whole frames. percent / 100 has no exact binary form, so a
// value meant to be whole can land a hair below it; the nudge keeps the
// stretch period and the resampler step the same fraction.
int TruncFrames(double x)
{
    return std::max(1, static_cast<int>(std::floor(std::fabs(x) + 1e-7)));
}

int16_t Blend(int nNew, int nEarlier)
{
    const long long v = static_cast<long long>(nNew) * 28333 + static_cast<long long>(nEarlier) * 12055;
    return static_cast<int16_t>(std::clamp<long long>(v, -(1LL << 30), (1LL << 30) - 1) >> 15);
}

} // namespace

CMzPitchEngine::CMzPitchEngine(int nMaxBlockFrames)
    : m_nMaxBlockSamples(nMaxBlockFrames * kMaxChannels)
{
    const int g = kMaxChannels;
    const int stretched = static_cast<int>(std::ceil(m_nMaxBlockSamples * kMaxPitch));
    // One stretched block and four windows is what the heads and the blend
    // reach at the largest shape; twice that leaves room for the carries.
    m_nRingSize = 2 * (g * ((stretched + g - 1) / g) + 4 * g * Window(kMaxRate));
    m_pRing.reset(new (std::nothrow) int16_t[static_cast<size_t>(m_nRingSize)]());
    m_pStage.reset(new (std::nothrow) int16_t[kStageSamples]());
}

int CMzPitchEngine::Window(int nRate)
{
    return static_cast<int>(nRate / 50000.0 * 882);
}

bool CMzPitchEngine::Accepts(int nSamples, int nChannels, int nWindow, double dPitch) const
{
    return m_pRing && m_pStage && nChannels >= 1 && nChannels <= kMaxChannels && nSamples > 0
        && nSamples <= m_nMaxBlockSamples && nSamples % nChannels == 0 && nWindow >= 1 && nWindow <= Window(kMaxRate)
        && dPitch > 0.0 && dPitch <= kMaxPitch;
}

int CMzPitchEngine::Wrap(long long nPos) const
{
    const long long r = nPos % m_nRingSize;
    return static_cast<int>(r < 0 ? r + m_nRingSize : r);
}

int CMzPitchEngine::Process(int16_t* pSamples, int nSamples, int nChannels, int nWindow, double dPitch, double dSpeed)
{
    if (!Accepts(nSamples, nChannels, nWindow, dPitch))
        return nSamples;
    ConfigureIfChanged(nChannels, nWindow, dPitch, dSpeed);
    WriteBlock(pSamples, nSamples);
    const int staged = Stretch(nSamples);
    return Resample(staged, pSamples, nSamples / nChannels + kMaxExtraFrames) * nChannels;
}

void CMzPitchEngine::ConfigureIfChanged(int nChannels, int nWindow, double dPitch, double dSpeed)
{
    if (m_bConfigured && nChannels == m_nChannels && nWindow == m_nWindow && dPitch == m_dPitch && dSpeed == m_dSpeed)
        return;
    const bool fresh = !m_bConfigured || nChannels != m_nChannels;
    m_bConfigured = true;
    m_nChannels = nChannels;
    m_nWindow = nWindow;
    m_dPitch = dPitch;
    m_dSpeed = dSpeed;

    const double f = dSpeed / dPitch;
    m_bBlend = f != 1.0;
    if (std::fabs(f - 1.0) > 0.001) {
        const double m = nWindow / (1.0 / f - 1.0);
        m_nPeriod = TruncFrames(m + nWindow);
        m_nAdvance = TruncFrames(m);
    } else {
        m_nPeriod = m_nAdvance = 10;
    }

    if (dPitch == 1.0) {
        m_nStepNum = m_nStepDen = 1;
    } else {
        const double m = nWindow / (1.0 / dPitch - 1.0);
        m_nStepNum = TruncFrames(m);
        m_nStepDen = TruncFrames(m + nWindow);
        if (m_nStepDen > 65536) {
            m_nStepNum = std::max(1, static_cast<int>(std::lround(65536.0 / m_nStepDen * m_nStepNum)));
            m_nStepDen = 65536;
        }
    }

    if (fresh) {
        std::memset(m_pRing.get(), 0, sizeof(int16_t) * static_cast<size_t>(m_nRingSize));
        m_nReadPos = 0;
        m_nResPos = 0;
        m_nResFrac = 0;
        std::fill(std::begin(m_prevFrame), std::end(m_prevFrame), int16_t { 0 });
    }
    // The sound already in the ring up to one window ahead of the read head
    // is kept; writing resumes there, so a new factor takes over smoothly.
    const int ahead = (nChannels * nWindow + nChannels - 1) / nChannels * nChannels;
    m_nWritePos = Wrap(static_cast<long long>(m_nReadPos) + ahead);
    m_nPhase = 0;
    m_nCarry = 0;
}

void CMzPitchEngine::WriteBlock(const int16_t* pIn, int nSamples)
{
    const int back = m_nChannels * m_nWindow;
    int16_t* ring = m_pRing.get();
    for (int i = 0; i < nSamples; ++i) {
        ring[m_nWritePos] = m_bBlend ? Blend(pIn[i], ring[Wrap(static_cast<long long>(m_nWritePos) - back)]) : pIn[i];
        m_nWritePos = m_nWritePos + 1 == m_nRingSize ? 0 : m_nWritePos + 1;
    }
}

int CMzPitchEngine::Stretch(int nSamples)
{
    const long long total = static_cast<long long>(nSamples) * m_nPeriod + m_nCarry;
    long long count = total / m_nAdvance;
    count &= ~1LL;
    count = std::min<long long>(count, kStageSamples);
    m_nCarry = total - count * m_nAdvance;

    const long long periodSamples = static_cast<long long>(m_nChannels) * m_nPeriod;
    const long long lag = static_cast<long long>(m_nChannels) * (m_nPeriod - m_nAdvance);
    const int16_t* ring = m_pRing.get();
    int16_t* stage = m_pStage.get();
    for (long long k = 0; k < count; ++k) {
        const long long w = m_nPhase * 65536 / periodSamples;
        const long long main = ring[m_nReadPos];
        const long long second = ring[Wrap(m_nReadPos - lag)];
        stage[k] = static_cast<int16_t>((second * w + main * (65536 - w)) >> 16);
        m_nReadPos = m_nReadPos + 1 == m_nRingSize ? 0 : m_nReadPos + 1;
        if (++m_nPhase == periodSamples) {
            // The main head lands where the second head was, which the
            // fade has just reached in full, so the jump is inaudible.
            m_nPhase = 0;
            m_nReadPos = Wrap(m_nReadPos - lag);
        }
    }
    return static_cast<int>(count);
}

int CMzPitchEngine::Resample(int nStageSamples, int16_t* pOut, int nMaxOutFrames)
{
    const int g = m_nChannels;
    const long long frames = nStageSamples / g;
    const int16_t* stage = m_pStage.get();
    // Frame 0 is the previous block's last frame, 1..frames this block's.
    auto at = [&](long long frame, int ch) -> long long {
        return frame == 0 ? m_prevFrame[ch] : stage[(frame - 1) * g + ch];
    };
    const long long den = m_nStepDen;
    int out = 0;
    while (m_nResPos + 1 <= frames && out < nMaxOutFrames) {
        for (int ch = 0; ch < g; ++ch) {
            const long long a = at(m_nResPos, ch);
            const long long b = at(m_nResPos + 1, ch);
            pOut[out * g + ch] = static_cast<int16_t>((a * (den - m_nResFrac) + b * m_nResFrac) / den);
        }
        ++out;
        m_nResFrac += m_nStepNum;
        m_nResPos += m_nResFrac / den;
        m_nResFrac %= den;
    }
    if (frames > 0) {
        for (int ch = 0; ch < g; ++ch)
            m_prevFrame[ch] = static_cast<int16_t>(at(frames, ch));
    }
    m_nResPos = std::max<long long>(0, m_nResPos - frames);
    return out;
}

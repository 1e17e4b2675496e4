#include "engine/audio/effects/CMzDspSpeed.h"

#include <algorithm>
#include <cstdint>

CMzDspSpeed::CMzDspSpeed()
    : m_engine(kMaxBlockFrames)
{
}

void CMzDspSpeed::SetPitch(int nPercent)
{
    std::lock_guard guard(m_lock);
    m_dSpeed = 1.0;
    m_dPitch = std::clamp(nPercent, kMinPercent, kMaxPercent) / 100.0;
    m_bInUse = m_dPitch != 1.0;
}

double CMzDspSpeed::GetPitchFactor()
{
    std::lock_guard guard(m_lock);
    return m_dPitch;
}

bool CMzDspSpeed::IsInUse()
{
    std::lock_guard guard(m_lock);
    return m_bInUse;
}

int CMzDspSpeed::Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate)
{
    std::lock_guard guard(m_lock);
    const int window = CMzPitchEngine::Window(nRate);
    if (!m_bActive || !m_bInUse || nBits != 16 || pSamples == nullptr || nFrames <= 0 || nChannels <= 0
        || nChannels > CMzPitchEngine::kMaxChannels || nFrames > kMaxBlockFrames
        || !m_engine.Accepts(nFrames * nChannels, nChannels, window, m_dPitch)) {
        m_engine.Restart();
        return nFrames;
    }
    StoreFormatLocked(nBits, nChannels, nRate);
    const int samples
        = m_engine.Process(static_cast<int16_t*>(pSamples), nFrames * nChannels, nChannels, window, m_dPitch, m_dSpeed);
    return samples / nChannels;
}

#include "engine/audio/effects/CMzDspReverb.h"

#include <cstdint>

void CMzDspReverb::SetFormat(int nBits, int nChannels, int nRate)
{
    std::lock_guard guard(m_lock);
    InitLocked(nBits, nChannels, nRate);
}

void CMzDspReverb::SetLevel(int nLevel)
{
    std::lock_guard guard(m_lock);
    m_nLevel = nLevel;
    m_nFc = 6000;
    m_dRT = 0.5;
}

void CMzDspReverb::InitLocked(int nBits, int nChannels, int nRate)
{
    StoreFormatLocked(nBits, nChannels, nRate);
    m_bReady = m_engine.Init(nBits, nChannels, nRate);
}

int CMzDspReverb::Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate)
{
    std::lock_guard guard(m_lock);
    if (!m_bActive || pSamples == nullptr || nFrames <= 0)
        return nFrames;
    if (nBits != m_nBits || nChannels != m_nChannels || nRate != m_nRate)
        InitLocked(nBits, nChannels, nRate);
    if (!m_bReady)
        return nFrames;
    m_engine.SetParams(m_nLevel, m_nFc, m_dRT);
    m_engine.Process(static_cast<int16_t*>(pSamples), nFrames);
    return nFrames;
}

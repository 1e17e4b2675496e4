#include "engine/audio/effects/CMzDsp.h"

CMzDsp::~CMzDsp() = default;

void CMzDsp::SetFormat(int nBits, int nChannels, int nRate)
{
    std::lock_guard guard(m_lock);
    StoreFormatLocked(nBits, nChannels, nRate);
}

int CMzDsp::Process(void* /*pSamples*/, int /*nFrames*/, int /*nBits*/, int /*nChannels*/, int /*nRate*/)
{
    return -1;
}

void CMzDsp::SetActive(bool bActive)
{
    std::lock_guard guard(m_lock);
    m_bActive = bActive;
}

void CMzDsp::StoreFormatLocked(int nBits, int nChannels, int nRate)
{
    m_nBits = nBits;
    m_nChannels = nChannels;
    m_nRate = nRate;
}

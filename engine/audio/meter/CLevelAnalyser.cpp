#include "engine/audio/meter/CLevelAnalyser.h"

#include <algorithm>
#include <cstring>
#include <new>

int CLevelAnalyser::Reset(int nRate)
{
    m_pBlock.reset();
    m_pSlots.reset();
    m_nRate = nRate;
    m_nChannels = 2;
    m_nBits = 16;
    m_nBytesPerSample = 2;
    m_pBlock.reset(new (std::nothrow) int16_t[kBlockSamples]());
    m_pSlots.reset(new (std::nothrow) Slot[kSlots]());
    m_nFill = 0;
    m_nCurrent = -1;
    m_bInitialised = m_pBlock && m_pSlots;
    return m_bInitialised ? 0 : kEFail;
}

int CLevelAnalyser::Feed(const int16_t* pSamples, uint32_t nTime, int nBytes)
{
    if (!m_bInitialised || pSamples == nullptr || nBytes <= 0)
        return 0;
    const int frames = nBytes / (m_nChannels * m_nBytesPerSample);
    for (int i = 0; i < frames; ++i) {
        m_pBlock[m_nFill] = pSamples[static_cast<size_t>(i) * m_nChannels];
        if (++m_nFill == kBlockSamples)
            CompleteFrame(nTime);
    }
    return 0;
}

void CLevelAnalyser::CompleteFrame(uint32_t nTime)
{
    m_nCurrent = m_nCurrent + 1 == kSlots ? 0 : m_nCurrent + 1;
    Slot& slot = m_pSlots[m_nCurrent];
    // 1024 samples spread over 576 bytes; the index is accumulated, not
    // multiplied, so it runs 0..1022.
    double position = 0.0;
    for (int i = 0; i < kFrameBytes; ++i) {
        const int j = static_cast<int>(position);
        slot.bytes[i] = static_cast<uint8_t>(m_pBlock[j] / 256 + 128);
        position += 16.0 / 9.0;
    }
    slot.nTime = nTime;
    m_nFill = 0;
}

int CLevelAnalyser::Fetch(uint8_t* pOut) const
{
    if (!m_bInitialised || m_nCurrent < 0 || pOut == nullptr)
        return kEFail;
    std::memcpy(pOut, m_pSlots[m_nCurrent].bytes, kFrameBytes);
    return 0;
}

void CLevelAnalyser::ClearCurrent()
{
    if (m_bInitialised && m_nCurrent >= 0)
        std::memset(m_pSlots[m_nCurrent].bytes, 0, kFrameBytes);
}

int CLevelAnalyser::PeakLevel(const uint8_t* pFrame)
{
    int peak = 0;
    for (int i = 0; i < kFrameBytes; ++i)
        peak = std::max(peak, pFrame[i] - 128);
    return 2 * peak;
}

#include "engine/audio/capture/CAWaveInReader.h"

CAWaveInReader::CAWaveInReader(platform::WaveInBackend& backend, platform::Clock& clock)
    : CAReader("Wave Input Reader")
    , m_clock(clock)
    , m_pRing(std::make_unique<GLockedRingBuffer>())
    , m_pDevice(std::make_unique<CWaveInDevice>(backend))
{
}

CAWaveInReader::~CAWaveInReader()
{
    Close();
}

int CAWaveInReader::Open(const std::string& /*sourceName*/, int* pRate, int* pBits, int* pChannels)
{
    if (!m_pDevice)
        return 0;
    Close();
    m_nMaxBacklogBytes = kMaxBacklogSeconds * m_nRate * (m_nBits / 8) * m_nChannels;
    if (!m_pDevice->Open(m_nRate, m_nBits / 8, m_nChannels, &CAWaveInReader::OnCaptured, this))
        return 0;
    if (pRate)
        *pRate = m_nRate;
    if (pBits)
        *pBits = m_nBits;
    if (pChannels)
        *pChannels = m_nChannels;
    return 1;
}

int CAWaveInReader::Close()
{
    // Also when not running: a device that went away on its own still holds
    // its stream until closed.
    if (m_pDevice)
        m_pDevice->Close();
    if (m_pRing)
        m_pRing->Clear();
    m_bDiscard = false;
    return 1;
}

int CAWaveInReader::Read(char* pBuffer, int maxBytes)
{
    if (!m_pRing)
        return 0;
    while (m_pDevice && m_pDevice->IsRunning() && m_pRing->GetLength() == 0 && !m_bDiscard)
        m_clock.SleepMs(kPollMs);
    return m_pRing->Read(maxBytes, pBuffer);
}

int CAWaveInReader::SetDiscard(bool discard)
{
    if (m_bDiscard.exchange(discard) != discard && discard && m_pRing)
        m_pRing->Clear();
    return 1;
}

void CAWaveInReader::SetFormat(int rate)
{
    m_nRate = rate;
    m_nBits = 16;
    m_nChannels = kChannels;
}

void CAWaveInReader::GetRate(int* pRate) const
{
    if (pRate)
        *pRate = m_nRate;
}

int CAWaveInReader::SetDevice(int index)
{
    return m_pDevice ? m_pDevice->SetDevice(index) : 0;
}

int CAWaveInReader::GetDevice() const
{
    return m_pDevice ? m_pDevice->GetDevice() : 0;
}

int CAWaveInReader::OnCaptured(void* pSelf, const char* pData, int nBytes)
{
    auto* self = static_cast<CAWaveInReader*>(pSelf);
    if (!self->m_pRing)
        return 0;
    if (self->m_bDiscard) {
        self->m_pRing->Clear();
        return nBytes;
    }
    if (self->m_pRing->GetLength() > self->m_nMaxBacklogBytes - nBytes)
        return nBytes;
    return self->m_pRing->Write(nBytes, pData) ? nBytes : 0;
}

#include "engine/audio/capture/CWaveInDevice.h"

CWaveInDevice::CWaveInDevice(platform::WaveInBackend& backend)
    : m_backend(backend)
    , m_waveIn(backend)
{
}

CWaveInDevice::~CWaveInDevice()
{
    Close();
}

int CWaveInDevice::Open(int rate, int bytesPerSample, int channels, DataCallback pfn, void* pUser)
{
    if (rate <= 0 || bytesPerSample <= 0 || channels <= 0)
        return 0;
    Close();
    if (bytesPerSample != 2)
        return 0;
    m_pfnData = pfn;
    m_pUser = pUser;
    if (m_waveIn.Open(m_nDevice, rate, channels, &CWaveInDevice::OnPeriod, this) != platform::WaveInResult::Ok) {
        m_pfnData = nullptr;
        m_pUser = nullptr;
        return 0;
    }
    m_nBufferBytes = m_waveIn.GetPeriodBytes();
    return 1;
}

void CWaveInDevice::Close()
{
    m_waveIn.Close();
    m_pfnData = nullptr;
    m_pUser = nullptr;
    m_nDelivered = 0;
    m_nBufferBytes = 0;
}

int CWaveInDevice::SetDevice(int index)
{
    if (IsRunning() || index >= m_backend.GetDeviceCount())
        return 0;
    m_nDevice = index;
    return 1;
}

int CWaveInDevice::GetDevice() const
{
    return m_nDevice < 0 ? 0 : m_nDevice;
}

void CWaveInDevice::OnPeriod(void* pSelf, const char* pData, int nBytes)
{
    auto* self = static_cast<CWaveInDevice*>(pSelf);
    if (!self->m_pfnData)
        return;
    self->m_pfnData(self->m_pUser, pData, nBytes);
    self->m_nDelivered += static_cast<uint64_t>(nBytes);
}

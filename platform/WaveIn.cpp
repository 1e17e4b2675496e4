#include "platform/WaveIn.h"

#include "platform/MulDiv.h"
#include "platform/ThreadPriority.h"

#include <new>
#include <system_error>

namespace platform {

namespace {

// Capture runs a little above normal so a busy desktop delays it less. Only
// a privileged or rlimit-allowed process may raise it; a refusal is fine.
void RaiseThreadPriorityBestEffort()
{
    (void)RaiseThreadPriority(2);
}

} // namespace

int WaveIn::PeriodFrames(int rate)
{
    return MulDiv(rate, kPeriodMs, 1000);
}

WaveInFormat WaveIn::StreamFormat(int rate, int channels)
{
    return { rate, channels, PeriodFrames(rate), kPeriods };
}

WaveInResult WaveIn::Open(int device, int rate, int channels, WaveInDataCallback pfn, void* pUser)
{
    Close();
    const WaveInFormat format = StreamFormat(rate, channels);
    const int frames = format.periodFrames;
    if (rate <= 0 || frames <= 0 || channels < 1 || channels > 2)
        return WaveInResult::FormatRefused;

    std::unique_ptr<WaveInStream> stream;
    const WaveInResult result = m_backend.OpenStream(device < 0 ? 0 : device, format, &stream);
    if (result != WaveInResult::Ok || !stream)
        return result == WaveInResult::Ok ? WaveInResult::Failed : result;

    m_pPeriod.reset(new (std::nothrow) int16_t[static_cast<size_t>(frames) * channels]);
    if (!m_pPeriod)
        return WaveInResult::Failed;
    m_pStream = std::move(stream);
    m_nPeriodFrames = frames;
    m_nChannels = channels;
    m_pfnData = pfn;
    m_pUser = pUser;
    m_bRunning = true;
    try {
        m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (const std::system_error&) {
        // Without its thread the device would sit open delivering nothing.
        Close();
        return WaveInResult::Failed;
    }
    return WaveInResult::Ok;
}

void WaveIn::Close()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_pStream->Interrupt();
        m_thread.join();
    }
    m_bRunning = false;
    m_bBridging = false;
    m_pStream.reset();
    m_pPeriod.reset();
    m_nPeriodFrames = 0;
    m_nChannels = 0;
    m_pfnData = nullptr;
    m_pUser = nullptr;
}

void WaveIn::Run(std::stop_token stop)
{
    RaiseThreadPriorityBestEffort();
    const int bytes = GetPeriodBytes();
    while (!stop.stop_requested()) {
        if (m_pStream->ReadPeriod(m_pPeriod.get(), m_nPeriodFrames) != WaveInStream::ReadResult::Ok)
            break;
        m_bBridging = m_pStream->IsBridging();
        if (m_pfnData)
            m_pfnData(m_pUser, reinterpret_cast<const char*>(m_pPeriod.get()), bytes);
    }
    m_bRunning = false;
}

} // namespace platform

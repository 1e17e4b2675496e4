#include "app/CIntroPlayer.h"

#include "platform/Mp3Decoder.h"

#include <vector>

namespace {

constexpr int kChunkFrames = 1152;

} // namespace

CIntroPlayer::CIntroPlayer(platform::WaveOutBackend& output)
    : m_output(output)
{
}

CIntroPlayer::~CIntroPlayer()
{
    Close();
}

bool CIntroPlayer::Open(const std::string& path)
{
    Close();
    if (!platform::Mp3Decoder::Open(path))
        return false;
    m_strPath = path;
    return true;
}

bool CIntroPlayer::Play()
{
    Stop();
    if (m_strPath.empty())
        return false;
    auto pDecoder = platform::Mp3Decoder::Open(m_strPath);
    if (!pDecoder)
        return false;
    std::unique_ptr<platform::WaveOutStream> pStream;
    if (!m_output.Open({ pDecoder->Rate(), pDecoder->Channels() }, &pStream))
        return false;
    {
        std::lock_guard lock(m_lock);
        m_pStream = std::move(pStream);
    }
    m_bPlaying = true;
    m_thread = std::jthread(
        [this, decoder = std::shared_ptr<platform::Mp3Decoder>(std::move(pDecoder))](std::stop_token stop) {
            std::vector<int16_t> samples(size_t(kChunkFrames) * size_t(decoder->Channels()));
            for (;;) {
                if (stop.stop_requested())
                    break;
                const int frames = decoder->Read(samples.data(), kChunkFrames);
                if (frames <= 0) {
                    m_pStream->Drain();
                    break;
                }
                if (!m_pStream->Write(samples.data(), frames))
                    break;
            }
            m_bPlaying = false;
        });
    return true;
}

std::string CIntroPlayer::Status() const
{
    return m_bPlaying ? "playing" : "stopped";
}

void CIntroPlayer::Stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        {
            std::lock_guard lock(m_lock);
            if (m_pStream)
                m_pStream->Interrupt();
        }
        m_thread.join();
    }
    std::lock_guard lock(m_lock);
    m_pStream.reset();
    m_bPlaying = false;
}

void CIntroPlayer::Close()
{
    Stop();
    m_strPath.clear();
}

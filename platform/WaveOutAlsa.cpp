#include "platform/WaveOut.h"

#include <alsa/asoundlib.h>

#include <atomic>

namespace platform {
namespace {

// How much sound the device holds ahead, and how long one wait for room
// lasts before the interrupt flag is looked at again.
constexpr unsigned kLatencyUs = 200000;
constexpr int kWaitMs = 50;

class AlsaWaveOutStream final : public WaveOutStream {
public:
    AlsaWaveOutStream(snd_pcm_t* pPcm, int channels)
        : m_pPcm(pPcm)
        , m_nChannels(channels)
    {
    }
    ~AlsaWaveOutStream() override
    {
        snd_pcm_drop(m_pPcm);
        snd_pcm_close(m_pPcm);
    }

    bool Write(const int16_t* pSamples, int frames) override
    {
        while (frames > 0) {
            if (m_bInterrupted.load())
                return false;
            const snd_pcm_sframes_t n = snd_pcm_writei(m_pPcm, pSamples, snd_pcm_uframes_t(frames));
            if (n == -EAGAIN) {
                snd_pcm_wait(m_pPcm, kWaitMs);
                continue;
            }
            if (n < 0) {
                if (snd_pcm_recover(m_pPcm, int(n), 1) < 0)
                    return false;
                continue;
            }
            pSamples += n * m_nChannels;
            frames -= int(n);
        }
        return true;
    }

    void Drain() override
    {
        for (;;) {
            if (m_bInterrupted.load())
                return;
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_state(m_pPcm) != SND_PCM_STATE_RUNNING || snd_pcm_delay(m_pPcm, &delay) < 0 || delay <= 0)
                return;
            snd_pcm_wait(m_pPcm, kWaitMs);
        }
    }

    void Interrupt() override { m_bInterrupted.store(true); }

private:
    snd_pcm_t* m_pPcm;
    int m_nChannels;
    std::atomic<bool> m_bInterrupted { false };
};

class AlsaWaveOutBackend final : public WaveOutBackend {
public:
    bool Open(const WaveOutFormat& format, std::unique_ptr<WaveOutStream>* pStream) override
    {
        if (format.rate <= 0 || format.channels < 1 || format.channels > 2)
            return false;
        snd_pcm_t* pPcm = nullptr;
        if (snd_pcm_open(&pPcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
            return false;
        if (snd_pcm_set_params(pPcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, unsigned(format.channels),
                unsigned(format.rate), 1, kLatencyUs)
            < 0) {
            snd_pcm_close(pPcm);
            return false;
        }
        *pStream = std::make_unique<AlsaWaveOutStream>(pPcm, format.channels);
        return true;
    }
};

} // namespace

WaveOutBackend& WaveOutBackend::System()
{
    static AlsaWaveOutBackend backend;
    return backend;
}

} // namespace platform

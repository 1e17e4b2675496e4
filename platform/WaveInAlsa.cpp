// The only file that includes ALSA: the wave-in backend over libasound.
#include "platform/WaveIn.h"

#include <alsa/asoundlib.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace platform {

namespace {

struct AlsaDevice {
    std::string pcmName; // what snd_pcm_open takes
    std::string label; // what a person reads
};

// Index 0 is "default" (whatever the user's configuration routes there:
// PulseAudio, PipeWire, a card); then every card/device that can capture.
std::vector<AlsaDevice> ListDevices()
{
    std::vector<AlsaDevice> devices;
    devices.push_back({ "default", "default" });
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char ctlName[32];
        std::snprintf(ctlName, sizeof ctlName, "hw:%d", card);
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, ctlName, 0) < 0)
            continue;
        snd_ctl_card_info_t* cardInfo = nullptr;
        snd_pcm_info_t* pcmInfo = nullptr;
        snd_ctl_card_info_alloca(&cardInfo);
        snd_pcm_info_alloca(&pcmInfo);
        const std::string cardName
            = snd_ctl_card_info(ctl, cardInfo) == 0 ? snd_ctl_card_info_get_name(cardInfo) : ctlName;
        int device = -1;
        while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
            snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
            snd_pcm_info_set_subdevice(pcmInfo, 0);
            snd_pcm_info_set_stream(pcmInfo, SND_PCM_STREAM_CAPTURE);
            if (snd_ctl_pcm_info(ctl, pcmInfo) < 0)
                continue;
            // plughw converts sample format and channels but, with
            // resampling switched off at open, never the rate.
            char pcmName[48];
            std::snprintf(pcmName, sizeof pcmName, "plughw:%d,%d", card, device);
            devices.push_back({ pcmName, cardName + ": " + snd_pcm_info_get_name(pcmInfo) });
        }
        snd_ctl_close(ctl);
    }
    return devices;
}

// Thread: ReadPeriod on the capture thread; Interrupt from any thread (it
// only writes the eventfd).
class AlsaWaveInStream final : public WaveInStream {
public:
    AlsaWaveInStream(snd_pcm_t* pcm, int wakeFd, int channels)
        : m_pPcm(pcm)
        , m_nWakeFd(wakeFd)
        , m_nChannels(channels)
    {
        const int count = snd_pcm_poll_descriptors_count(pcm);
        m_fds.resize(static_cast<size_t>(count > 0 ? count : 0) + 1);
        m_fds[0] = { wakeFd, POLLIN, 0 };
        if (count > 0)
            snd_pcm_poll_descriptors(pcm, m_fds.data() + 1, static_cast<unsigned>(count));
        m_pcmFds = m_fds;
    }

    ~AlsaWaveInStream() override
    {
        snd_pcm_drop(m_pPcm);
        snd_pcm_close(m_pPcm);
        close(m_nWakeFd);
    }

    ReadResult ReadPeriod(int16_t* pSamples, int frames) override
    {
        int done = 0;
        while (done < frames) {
            const snd_pcm_sframes_t got = snd_pcm_readi(m_pPcm, pSamples + static_cast<ptrdiff_t>(done) * m_nChannels,
                static_cast<snd_pcm_uframes_t>(frames - done));
            if (got > 0) {
                done += static_cast<int>(got);
                continue;
            }
            if (got == 0 || got == -EAGAIN) {
                switch (WaitForData()) {
                case Wait::Data:
                    continue;
                case Wait::Interrupted:
                    return ReadResult::Interrupted;
                case Wait::Failed:
                    return ReadResult::Gone;
                }
            }
            // Overrun (-EPIPE) and suspend (-ESTRPIPE) are recoverable: the
            // lost stretch is a gap in the sound, not the end of it.
            if (snd_pcm_recover(m_pPcm, static_cast<int>(got), 1) < 0)
                return ReadResult::Gone;
            (void)snd_pcm_start(m_pPcm);
            if (Interrupted())
                return ReadResult::Interrupted;
        }
        return Interrupted() ? ReadResult::Interrupted : ReadResult::Ok;
    }

    void Interrupt() override
    {
        const uint64_t one = 1;
        (void)!write(m_nWakeFd, &one, sizeof one);
    }

private:
    enum class Wait { Data, Interrupted, Failed };

    // A poll that fails for any reason but a signal would fail again at
    // once: report the device as gone rather than spin on it.
    Wait WaitForData()
    {
        for (;;) {
            for (size_t i = 0; i < m_fds.size(); ++i)
                m_fds[i] = m_pcmFds[i];
            const int ready = poll(m_fds.data(), static_cast<nfds_t>(m_fds.size()), 1000);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return Interrupted() ? Wait::Interrupted : Wait::Failed;
            }
            if (m_fds[0].revents & POLLIN)
                return Wait::Interrupted;
            if (ready > 0)
                return Wait::Data;
        }
    }

    bool Interrupted()
    {
        pollfd wake { m_nWakeFd, POLLIN, 0 };
        return poll(&wake, 1, 0) > 0 && (wake.revents & POLLIN);
    }

    snd_pcm_t* m_pPcm;
    int m_nWakeFd;
    int m_nChannels;
    std::vector<pollfd> m_fds; // scratch for poll, sized at open
    std::vector<pollfd> m_pcmFds; // the wake fd then the device's fds
};

WaveInResult ConfigureHardware(snd_pcm_t* pcm, const WaveInFormat& format)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    if (snd_pcm_hw_params_any(pcm, hw) < 0)
        return WaveInResult::Failed;
    if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0)
        return WaveInResult::Failed;
    // The controller falls back to another rate when this one is refused,
    // so a silent resample to a "near" rate would hide the refusal.
    snd_pcm_hw_params_set_rate_resample(pcm, hw, 0);
    if (snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0
        || snd_pcm_hw_params_set_channels(pcm, hw, static_cast<unsigned>(format.channels)) < 0
        || snd_pcm_hw_params_set_rate(pcm, hw, static_cast<unsigned>(format.rate), 0) < 0)
        return WaveInResult::FormatRefused;
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(format.periodFrames);
    int dir = 0;
    (void)snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
    snd_pcm_uframes_t buffer
        = static_cast<snd_pcm_uframes_t>(format.periodFrames) * static_cast<unsigned>(format.periods);
    (void)snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    if (snd_pcm_hw_params(pcm, hw) < 0)
        return WaveInResult::Failed;
    return WaveInResult::Ok;
}

class AlsaWaveInBackend final : public WaveInBackend {
public:
    int GetDeviceCount() override { return static_cast<int>(ListDevices().size()); }

    std::string GetDeviceName(int index) override
    {
        const std::vector<AlsaDevice> devices = ListDevices();
        if (index < 0 || index >= static_cast<int>(devices.size()))
            return {};
        return devices[static_cast<size_t>(index)].label;
    }

    WaveInResult Open(int index, const WaveInFormat& format, std::unique_ptr<WaveInStream>* pStream) override
    {
        pStream->reset();
        const std::vector<AlsaDevice> devices = ListDevices();
        if (index < 0 || index >= static_cast<int>(devices.size()))
            return WaveInResult::NoDevice;
        snd_pcm_t* pcm = nullptr;
        const int opened = snd_pcm_open(
            &pcm, devices[static_cast<size_t>(index)].pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (opened < 0)
            return opened == -ENOENT || opened == -ENODEV ? WaveInResult::NoDevice : WaveInResult::Failed;
        WaveInResult result = ConfigureHardware(pcm, format);
        const int wakeFd = result == WaveInResult::Ok ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
        if (result == WaveInResult::Ok && (wakeFd < 0 || snd_pcm_start(pcm) < 0))
            result = WaveInResult::Failed;
        if (result != WaveInResult::Ok) {
            if (wakeFd >= 0)
                close(wakeFd);
            snd_pcm_close(pcm);
            return result;
        }
        *pStream = std::make_unique<AlsaWaveInStream>(pcm, wakeFd, format.channels);
        return WaveInResult::Ok;
    }
};

} // namespace

WaveInBackend& WaveInBackend::System()
{
    static AlsaWaveInBackend backend;
    return backend;
}

} // namespace platform

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

enum class WaveInResult {
    Ok,
    NoDevice, // the index names no capture device
    FormatRefused, // the device cannot capture at exactly this rate/format
    Failed, // anything else: busy device, driver error
};

// What a capture stream delivers: 16-bit signed little-endian interleaved
// PCM, in periods of a fixed number of frames.
struct WaveInFormat {
    int rate = 0;
    int channels = 0;
    int periodFrames = 0;
    // Periods of device-side buffer: the slack a stalled reader has before
    // the device overruns.
    int periods = 0;

    bool operator==(const WaveInFormat&) const = default;
};

// Thread: ReadPeriod on the capture thread only; Interrupt from any thread.
// One opened capture device.
class WaveInStream {
public:
    enum class ReadResult { Ok, Interrupted, Gone };

    virtual ~WaveInStream() = default;
    // Blocks until exactly `frames` frames are in pSamples. Overruns and
    // suspends are recovered inside (the gap is lost, capture goes on); Gone
    // means the device cannot deliver any more (unplugged, driver died).
    virtual ReadResult ReadPeriod(int16_t* pSamples, int frames) = 0;
    // Makes a pending ReadPeriod, or the next one, return Interrupted at once.
    virtual void Interrupt() = 0;
    // Thread: the capture thread. True after a ReadPeriod that gave silence
    // in place of a sound server that has gone away; capture goes on, and
    // sound comes back when the server does.
    [[nodiscard]] virtual bool IsBridging() { return false; }
};

class WaveInAhead;

// Thread: any, one call at a time; a WaveInAhead's opening runs beside them.
// The machine's capture devices. Index 0 is the system's default capture
// device, then one index per capture-capable card/device.
class WaveInBackend {
public:
    virtual ~WaveInBackend() = default;
    [[nodiscard]] virtual int GetDeviceCount() = 0;
    // Empty for an index out of range.
    [[nodiscard]] virtual std::string GetDeviceName(int index) = 0;
    // On Ok *pStream holds the running stream; otherwise it stays empty and
    // nothing is left open.
    virtual WaveInResult Open(int index, const WaveInFormat& format, std::unique_ptr<WaveInStream>* pStream) = 0;

    // Open, as WaveIn opens: a WaveInAhead's stream when it was opened for
    // this device and format. Any other opening ends that stream first, so
    // a device that gives one stream at a time is free for it.
    WaveInResult OpenStream(int index, const WaveInFormat& format, std::unique_ptr<WaveInStream>* pStream);

    // The real sound system (ALSA).
    static WaveInBackend& System();

private:
    friend class WaveInAhead;

    std::mutex m_aheadLock; // guards: m_pAhead
    WaveInAhead* m_pAhead = nullptr;
};

// Called once for every filled period, on the capture thread.
using WaveInDataCallback = void (*)(void* pUser, const char* pData, int nBytes);

// Thread: Open/Close on one controlling thread; IsRunning from any thread;
// the callback runs on the capture thread and must not call Close.
// Live capture of one device: a stream from the backend and an owned capture
// thread that hands every filled 50 ms period to the data callback.
class WaveIn {
public:
    static constexpr int kPeriodMs = 50;
    static constexpr int kPeriods = 20;

    explicit WaveIn(WaveInBackend& backend)
        : m_backend(backend)
    {
    }
    ~WaveIn() { Close(); }
    WaveIn(const WaveIn&) = delete;
    WaveIn& operator=(const WaveIn&) = delete;

    // Closes any earlier capture, then opens `device` (-1: the default) at
    // exactly `rate` with 16-bit samples and starts capturing.
    WaveInResult Open(int device, int rate, int channels, WaveInDataCallback pfn, void* pUser);
    // Stops the thread promptly and releases the device. Safe when closed.
    void Close();
    // False once closed, and once the device is gone.
    [[nodiscard]] bool IsRunning() const { return m_bRunning.load(); }
    // Thread: any. True while the periods handed over are silence bridging
    // a sound server that went away.
    [[nodiscard]] bool IsBridging() const { return m_bBridging.load(); }
    // Bytes of one period as opened; 0 when closed.
    [[nodiscard]] int GetPeriodBytes() const { return m_nPeriodFrames * m_nChannels * 2; }

    // Frames in one 50 ms period at `rate`, rounded to nearest.
    [[nodiscard]] static int PeriodFrames(int rate);
    // What Open asks of the backend for that rate and channel count.
    [[nodiscard]] static WaveInFormat StreamFormat(int rate, int channels);

private:
    void Run(std::stop_token stop);

    WaveInBackend& m_backend;
    std::unique_ptr<WaveInStream> m_pStream;
    std::unique_ptr<int16_t[]> m_pPeriod;
    int m_nPeriodFrames = 0;
    int m_nChannels = 0;
    WaveInDataCallback m_pfnData = nullptr;
    void* m_pUser = nullptr;
    std::atomic<bool> m_bRunning { false };
    std::atomic<bool> m_bBridging { false };
    std::jthread m_thread;
};

} // namespace platform

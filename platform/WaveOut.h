#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// What a playback stream takes: 16-bit signed little-endian interleaved PCM.
struct WaveOutFormat {
    int rate = 0;
    int channels = 0;
};

// Thread: Write and Drain on the playing thread only; Interrupt from any
// thread.
// One opened playback device.
class WaveOutStream {
public:
    virtual ~WaveOutStream() = default;
    // Blocks until all frames are queued to the device. False when the
    // device is gone or the stream was interrupted.
    virtual bool Write(const int16_t* pSamples, int frames) = 0;
    // Waits until the queued sound has been played (or the stream was
    // interrupted).
    virtual void Drain() = 0;
    // Makes a pending Write or Drain, and every later one, return at once.
    virtual void Interrupt() = 0;
};

// Thread: any, one call at a time.
// The machine's playback device (the system's default one).
class WaveOutBackend {
public:
    virtual ~WaveOutBackend() = default;
    // On success *pStream holds the open stream; otherwise false and
    // nothing is left open.
    virtual bool Open(const WaveOutFormat& format, std::unique_ptr<WaveOutStream>* pStream) = 0;

    // The real sound system (ALSA).
    static WaveOutBackend& System();
};

} // namespace platform

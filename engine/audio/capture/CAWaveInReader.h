#pragma once

#include "engine/audio/capture/CWaveInDevice.h"
#include "engine/audio/road/CAReader.h"
#include "foundation/GLockedRingBuffer.h"
#include "platform/Clock.h"

#include <atomic>
#include <memory>

// The live source of the audio pump: 16-bit stereo from a capture device,
// queued in a locked ring between the capture thread and the pump.
// Thread: Open/Read on the pump thread; Close from any thread (it releases
// a waiting Read); SetFormat/SetDevice only while the pump is stopped.
class CAWaveInReader final : public CAReader {
public:
    static constexpr int kPollMs = 50;
    static constexpr int kChannels = 2;
    // Sound queued for a pump that stopped reading (a paused writer, a
    // stalled encoder) is kept up to this much; past it new periods are
    // dropped until the pump reads again, so memory stays bounded.
    static constexpr int kMaxBacklogSeconds = 10;

    explicit CAWaveInReader(platform::WaveInBackend& backend = platform::WaveInBackend::System(),
        platform::Clock& clock = platform::Clock::System());
    ~CAWaveInReader() override;

    int Open(const std::string& sourceName, int* pRate, int* pBits, int* pChannels) override;
    int Close() override;
    int Read(char* pBuffer, int maxBytes) override;
    int SetDiscard(bool discard) override;

    // The capture rate for the next Open; bits and channels go back to
    // 16-bit stereo.
    void SetFormat(int rate);
    void GetRate(int* pRate) const;
    int SetDevice(int index);
    [[nodiscard]] int GetDevice() const;

    [[nodiscard]] CWaveInDevice& Device() { return *m_pDevice; }

private:
    static int OnCaptured(void* pSelf, const char* pData, int nBytes);

    platform::Clock& m_clock;
    std::unique_ptr<GLockedRingBuffer> m_pRing;
    int m_nRate = 44100;
    int m_nBits = 16;
    int m_nChannels = kChannels;
    std::atomic<bool> m_bDiscard { false };
    // Set by Open before the capture thread starts; read only by it.
    int m_nMaxBacklogBytes = 0;
    // Last: its capture thread fills the ring, so it goes first.
    std::unique_ptr<CWaveInDevice> m_pDevice;
};

#pragma once

#include "platform/WaveIn.h"

#include <atomic>
#include <cstdint>

// Thread: Open/Close/SetDevice on the controller's thread while the pump is
// stopped; the data callback runs on the capture thread; IsRunning and
// GetDeliveredBytes from any thread.
// One capture device: 50 ms periods of PCM from the sound system, handed to
// a data callback as they fill.
class CWaveInDevice {
public:
    // Returns the bytes it took; the device counts what it handed over.
    using DataCallback = int (*)(void* pUser, const char* pData, int nBytes);

    explicit CWaveInDevice(platform::WaveInBackend& backend = platform::WaveInBackend::System());
    ~CWaveInDevice();
    CWaveInDevice(const CWaveInDevice&) = delete;
    CWaveInDevice& operator=(const CWaveInDevice&) = delete;

    // 1 when capturing, else 0 with nothing left open. Only 16-bit samples
    // (bytesPerSample 2) and 1 or 2 channels are captured.
    [[nodiscard]] int Open(int rate, int bytesPerSample, int channels, DataCallback pfn, void* pUser);
    void Close();
    // False when closed and once the device has gone away.
    [[nodiscard]] bool IsRunning() const { return m_waveIn.IsRunning(); }
    // Thread: any. True while capture hands over silence in place of a
    // sound server that went away.
    [[nodiscard]] bool IsBridging() const { return m_waveIn.IsBridging(); }
    // 0 while running or for an index not below the device count; else 1.
    int SetDevice(int index);
    // The stored index; 0 for the default (-1).
    [[nodiscard]] int GetDevice() const;
    // Bytes of one 50 ms buffer as opened; 0 when closed.
    [[nodiscard]] int GetBufferBytes() const { return m_nBufferBytes; }
    [[nodiscard]] uint64_t GetDeliveredBytes() const { return m_nDelivered.load(); }

private:
    static void OnPeriod(void* pSelf, const char* pData, int nBytes);

    platform::WaveInBackend& m_backend;
    int m_nDevice = -1;
    DataCallback m_pfnData = nullptr;
    void* m_pUser = nullptr;
    std::atomic<uint64_t> m_nDelivered { 0 };
    int m_nBufferBytes = 0;
    // Last: its capture thread calls back into the fields above, so it must
    // stop before they go.
    platform::WaveIn m_waveIn;
};

#pragma once

#include "engine/audio/effects/CMzDsp.h"
#include "foundation/GRingBuffer.h"

#include <memory>

// Thread: setters on the main thread, Process on the pump thread, both under
// m_lock; the delay line grows (allocates) only under that lock.
// Echo: every block is mixed with the output of one delay earlier at half
// level, and the mixed output is what goes round again, so each repeat is
// half the one before.
class CMzDspEcho final : public CMzDsp {
public:
    // Passed to SetParamsLocked for a value that stays as it is.
    static constexpr int kUnchanged = -1;
    // Longer is no echo any more; the bound keeps the delay line's size in
    // range whatever the settings file says.
    static constexpr int kMaxDelayMs = 10000;

    CMzDspEcho();

    // Thread: main thread. Empties the delay line and refills it with one
    // delay of silence, so switching off and on forgets the old echo.
    void SetActive(bool bActive) override;
    // Thread: main thread.
    void SetDelay(int nMs);
    void SetFormat(int nBits, int nChannels, int nRate) override;
    // Thread: pump thread. 8- and 16-bit samples; other widths pass unchanged.
    int Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate) override;

    [[nodiscard]] int GetDelayBytes();

private:
    void SetParamsLocked(int nMs, int nChannels, int nRate, int nBits);
    void ResetLineLocked();
    void AppendSilenceLocked(int nBytes);
    void MixPieceLocked(char* pPiece, int nBytes, int nBytesPerSample);

    GRingBuffer m_delayLine;
    int m_nDelayBytes = 0;
    int m_nDelayMs = 0;
    // Sized once for the largest block; larger blocks are mixed in pieces.
    std::unique_ptr<char[]> m_pScratch;
    int m_nScratchSize = 0;
};

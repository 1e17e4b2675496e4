#pragma once

#include <cstdint>
#include <memory>

// Thread: Feed and Fetch on the pump thread; Reset and ClearCurrent on the
// main thread while the pump is stopped.
// Turns the captured sound into display frames for the level meter: every
// 1024 frames the left channel becomes a 576-byte waveform snapshot (offset
// binary, 128 is silence) kept in a ring of 129 slots.
class CLevelAnalyser {
public:
    static constexpr int kBlockSamples = 1024;
    static constexpr int kFrameBytes = 576;
    static constexpr int kSlots = 129;
    static constexpr int kEFail = static_cast<int>(0x80004005u);

    // (Re)creates the buffers for 16-bit stereo at nRate; returns 0, or
    // kEFail when they cannot be allocated (Feed then ignores blocks).
    int Reset(int nRate);
    // Adds nBytes of interleaved 16-bit stereo; returns 0. Does nothing
    // before the first Reset.
    int Feed(const int16_t* pSamples, uint32_t nTime, int nBytes);
    // Copies the newest display frame into pOut (576 bytes) and returns 0,
    // or kEFail while no frame is complete yet.
    [[nodiscard]] int Fetch(uint8_t* pOut) const;
    void ClearCurrent();

    // The meter's level of a display frame: twice the largest excursion
    // above silence, 0..254.
    [[nodiscard]] static int PeakLevel(const uint8_t* pFrame);

private:
    struct Slot {
        uint8_t bytes[kFrameBytes];
        uint32_t nTime;
    };

    void CompleteFrame(uint32_t nTime);

    int m_nRate = 0;
    int m_nChannels = 2;
    int m_nBits = 16;
    int m_nBytesPerSample = 2;
    std::unique_ptr<int16_t[]> m_pBlock;
    int m_nFill = 0;
    std::unique_ptr<Slot[]> m_pSlots;
    int m_nCurrent = -1;
    bool m_bInitialised = false;
};

#pragma once

#include <cstdint>
#include <memory>

// Thread: one thread at a time (the owning effect holds its lock).
// Pitch shifter in two stages: a time stretch by the pitch factor P that
// keeps the pitch (two read heads cross-fading over each period), then a
// linear resampler with step P that restores the duration and so moves the
// pitch by P. All buffers are allocated by the constructor for the largest
// block, never per block.
class CMzPitchEngine {
public:
    static constexpr int kMaxChannels = 2;
    // The highest rate whose window the ring is sized for.
    static constexpr int kMaxRate = 48000;
    static constexpr double kMaxPitch = 1.6;
    static constexpr int kStageSamples = 65536;
    // The output of a block exceeds its input by at most this many frames
    // (the carried fractions of both stages); the caller's buffer must have
    // room for them.
    static constexpr int kMaxExtraFrames = 8;

    explicit CMzPitchEngine(int nMaxBlockFrames);

    // The stretch window in frames for a rate (777 at 44100 Hz).
    [[nodiscard]] static int Window(int nRate);
    // Whether a block of this shape fits the buffers prepared (false for
    // every block when they could not be allocated).
    [[nodiscard]] bool Accepts(int nSamples, int nChannels, int nWindow, double dPitch) const;
    // Shifts nSamples interleaved samples in place and returns the number of
    // output samples. pSamples must hold nSamples + kMaxExtraFrames frames.
    int Process(int16_t* pSamples, int nSamples, int nChannels, int nWindow, double dPitch, double dSpeed);
    // The next block starts from silence instead of whatever sound was left
    // in the ring when the effect was last in use.
    void Restart() { m_bConfigured = false; }

private:
    void ConfigureIfChanged(int nChannels, int nWindow, double dPitch, double dSpeed);
    void WriteBlock(const int16_t* pIn, int nSamples);
    int Stretch(int nSamples);
    int Resample(int nStageSamples, int16_t* pOut, int nMaxOutFrames);
    int Wrap(long long nPos) const;

    int m_nMaxBlockSamples = 0;
    std::unique_ptr<int16_t[]> m_pRing;
    int m_nRingSize = 0;
    std::unique_ptr<int16_t[]> m_pStage;

    bool m_bConfigured = false;
    int m_nChannels = 0;
    int m_nWindow = 0;
    double m_dPitch = 1.0;
    double m_dSpeed = 1.0;
    bool m_bBlend = false;

    // Stretch: period L and advance B in frames, the write position, the
    // main read head, the position inside the current period (samples) and
    // the output fraction carried between blocks (units of 1/B samples).
    int m_nPeriod = 10;
    int m_nAdvance = 10;
    int m_nWritePos = 0;
    int m_nReadPos = 0;
    long long m_nPhase = 0;
    long long m_nCarry = 0;

    // Resampler: step numerator / denominator input frames per output frame;
    // the position counts frames from the previous block's last frame.
    int m_nStepNum = 1;
    int m_nStepDen = 1;
    long long m_nResPos = 0;
    long long m_nResFrac = 0;
    int16_t m_prevFrame[kMaxChannels] = {};
};

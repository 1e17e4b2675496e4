#pragma once

#include <cstdint>

// Thread: one thread at a time (the owning effect holds its lock).
// A stereo reverb: four feedback comb lines per channel summed through a
// two-pole resonant filter, added to the dry sound. The lines are fixed
// arrays inside the object, so processing never allocates.
class CMzReverbEngine {
public:
    static constexpr int kLines = 8;
    static constexpr int kLineSamples = 4096;

    // Clears all state for the format; true only for 16-bit stereo, the one
    // layout the lines are built for.
    bool Init(int nBits, int nChannels, int nRate);
    // Takes effect from the next frame; the coefficients are recomputed only
    // when the filter frequency or the reverb time changed.
    void SetParams(int nWet, int nFc, double dRT);
    // Interleaved 16-bit stereo, in place.
    void Process(int16_t* pSamples, int nFrames);

private:
    void ComputeCoefficients();

    int m_nChannels = 0;
    int m_nRate = 0;
    int m_nWet = 0;
    int m_nDry = 0;
    int m_nFc = 0;
    double m_dRT = 0.0;
    int16_t m_lines[kLines][kLineSamples] = {};
    int m_nDelay[kLines] = {};
    int m_nWriteIndex[kLines] = {};
    // Feedback gains in 16.16 fixed point.
    int m_nGain[kLines] = {};
    double m_dC1 = 0.0;
    double m_dC2 = 0.0;
    double m_dC3 = 0.0;
    // The filter's last two outputs per channel, carried across blocks.
    double m_dY1[2] = {};
    double m_dY2[2] = {};
};

#pragma once

#include "engine/audio/effects/CMzDsp.h"
#include "engine/audio/effects/CMzReverbEngine.h"

// Thread: setters on the main thread, Process on the pump thread, both under
// m_lock.
// Reverb on 16-bit stereo; any other layout passes through untouched.
class CMzDspReverb final : public CMzDsp {
public:
    // Thread: main thread. Rebuilds the reverb for the format.
    void SetFormat(int nBits, int nChannels, int nRate) override;
    // Thread: main thread. The level is the wet gain in 32nds; it reaches
    // the sound with the next block.
    void SetLevel(int nLevel);
    // Thread: pump thread.
    int Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate) override;

private:
    void InitLocked(int nBits, int nChannels, int nRate);

    CMzReverbEngine m_engine;
    bool m_bReady = false;
    int m_nLevel = 0;
    int m_nFc = 6000;
    double m_dRT = 0.5;
};

#pragma once

#include "engine/audio/effects/CMzDsp.h"
#include "engine/audio/effects/CMzPitchEngine.h"

// Thread: setters on the main thread, Process on the pump thread, both under
// m_lock.
// Pitch shift of 16-bit sound by 60 to 160 percent at unchanged speed.
class CMzDspSpeed final : public CMzDsp {
public:
    static constexpr int kMinPercent = 60;
    static constexpr int kMaxPercent = 160;
    // A processed block may come out this many frames longer than it went
    // in; the caller's buffer must have room for them.
    static constexpr int kMaxExtraFrames = CMzPitchEngine::kMaxExtraFrames;

    CMzDspSpeed();

    // Thread: main thread. Clamped to 60..160; 100 takes the effect out.
    void SetPitch(int nPercent);
    [[nodiscard]] double GetPitchFactor();
    [[nodiscard]] bool IsInUse();

    // Thread: pump thread. Blocks of more than kMaxBlockFrames, of more
    // than two channels, above 48000 Hz or of a width other than 16 bits
    // pass unchanged. Returns the new frame count.
    int Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate) override;

private:
    CMzPitchEngine m_engine;
    double m_dSpeed = 1.0;
    double m_dPitch = 1.0;
    bool m_bInUse = false;
};

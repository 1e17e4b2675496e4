#pragma once

#include "platform/MessageTarget.h"

#include <cstdint>

// Thread: main thread only (the main window's timers drive it).
// Talk-over: the music fades down to the BGM level while the microphone
// fades up, one 50-ms timer step at a time, and back. It keeps the step
// counter and the direction; the controller turns each step's levels into
// mixer-line volumes.
class CTalkOverFade {
public:
    static constexpr uint32_t kTimerFadeOn = 1025;
    static constexpr uint32_t kTimerFadeOff = 1026;
    static constexpr uint32_t kFadePeriodMs = 50;

    // The levels one step asks for, before they are bounded to the lines'
    // range.
    struct Levels {
        int mic = 0;
        int music = 0;
    };
    // What a step is counted against, from the settings.
    struct Range {
        int fadeTime = 0; // steps; 0 or less ends a fade at once
        int normal = 0;
        int bgm = 0;
        int mic = 0;
    };

    // Stores the direction and, with a live window, starts its timer (and
    // kills the opposite one). 0 without a live window, else the timer's
    // result.
    int Start(bool on, platform::TargetHandle window);
    // One step towards the end of the direction; the end kills the timer.
    [[nodiscard]] Levels Step(bool on, const Range& range, platform::TargetHandle window);

    // The settings were loaded: the counter starts where "off" ends.
    void ResetStep(int fadeTime);
    // Init: the fade time the counter is counted against.
    void SetFadeTimeInUse(int fadeTime) { m_nFadeTimeInUse = fadeTime; }
    void ClearTalkOver() { m_bTalkOver = false; }

    [[nodiscard]] int Step() const { return m_nFadeStep; }
    [[nodiscard]] bool IsTalkOver() const { return m_bTalkOver; }
    [[nodiscard]] bool IsRunning() const { return m_bRunning; }

private:
    int m_nFadeStep = 20;
    // The fade time the step counter was last counted against.
    int m_nFadeTimeInUse = 20;
    bool m_bTalkOver = false;
    bool m_bRunning = false;
};

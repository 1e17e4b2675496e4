#include "engine/stream/CTalkOverFade.h"

#include "platform/MulDiv.h"

#include <algorithm>

int CTalkOverFade::Start(bool on, platform::TargetHandle window)
{
    m_bTalkOver = on;
    if (!platform::IsTarget(window))
        return 0;
    (void)platform::KillTimer(window, on ? kTimerFadeOff : kTimerFadeOn);
    const bool started = platform::SetTimer(window, on ? kTimerFadeOn : kTimerFadeOff, kFadePeriodMs);
    m_bRunning = on;
    return started ? 1 : 0;
}

void CTalkOverFade::ResetStep(int fadeTime)
{
    m_nFadeStep = fadeTime;
}

CTalkOverFade::Levels CTalkOverFade::Step(bool on, const Range& range, platform::TargetHandle window)
{
    const int f = range.fadeTime;
    // A fade time changed half way (the slider allows 0) would leave the
    // counter outside the new range: it moves to where this direction ends.
    if (f != m_nFadeTimeInUse) {
        m_nFadeTimeInUse = f;
        m_nFadeStep = on ? 0 : std::max(f, 0);
    }
    const int n = range.normal;
    const int b = range.bgm;
    const int m = range.mic;
    const int old = std::clamp(m_nFadeStep, 0, std::max(f, 0));
    if (on) {
        m_nFadeStep = std::max(old - 1, 0);
        if (f > 0 && old > 0) {
            const int s = m_nFadeStep;
            return { platform::MulDiv(m, f - s, f), platform::MulDiv(n - b, s, f) + b };
        }
        (void)platform::KillTimer(window, kTimerFadeOn);
        m_bRunning = false;
        m_nFadeStep = 0;
        return { m, b };
    }
    m_nFadeStep = std::min(old + 1, std::max(f, 0));
    if (f > 0 && old < f) {
        const int s = m_nFadeStep;
        return { platform::MulDiv(m, f - s, f), platform::MulDiv(n - b, s, f) + b };
    }
    (void)platform::KillTimer(window, kTimerFadeOff);
    m_bRunning = false;
    m_nFadeStep = std::max(f, 0);
    return { 0, n };
}

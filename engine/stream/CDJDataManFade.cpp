// Talk-over: the music fades down to the BGM level while the microphone
// fades up, one 50-ms timer step at a time, and back.
#include "engine/stream/CDJDataMan.h"

#include "platform/MulDiv.h"

#include <algorithm>

int CDJDataMan::StartTalkOverFade(bool on)
{
    m_bTalkOver = on;
    if (!platform::IsTarget(m_hMainWindow))
        return 0;
    (void)platform::KillTimer(m_hMainWindow, on ? kTimerFadeOff : kTimerFadeOn);
    const bool started = platform::SetTimer(m_hMainWindow, on ? kTimerFadeOn : kTimerFadeOff, kFadePeriodMs);
    m_bFadeRunning = on;
    return started ? 1 : 0;
}

void CDJDataMan::StepTalkOverFade(bool on)
{
    const int f = m_nFadeTime;
    // A fade time changed half way (the slider allows 0) would leave the
    // counter outside the new range: it moves to where this direction ends.
    if (f != m_nFadeTimeInUse) {
        m_nFadeTimeInUse = f;
        m_nFadeStep = on ? 0 : std::max(f, 0);
    }
    const int n = m_nNormal;
    const int b = m_nBGM;
    const int m = m_nMic;
    const int old = std::clamp(m_nFadeStep, 0, std::max(f, 0));
    if (on) {
        m_nFadeStep = std::max(old - 1, 0);
        if (f > 0 && old > 0) {
            const int s = m_nFadeStep;
            ApplyFadeVolumes(platform::MulDiv(m, f - s, f), platform::MulDiv(n - b, s, f) + b);
            return;
        }
        (void)platform::KillTimer(m_hMainWindow, kTimerFadeOn);
        m_bFadeRunning = false;
        m_nFadeStep = 0;
        ApplyFadeVolumes(m, b);
    } else {
        m_nFadeStep = std::min(old + 1, std::max(f, 0));
        if (f > 0 && old < f) {
            const int s = m_nFadeStep;
            ApplyFadeVolumes(platform::MulDiv(m, f - s, f), platform::MulDiv(n - b, s, f) + b);
            return;
        }
        (void)platform::KillTimer(m_hMainWindow, kTimerFadeOff);
        m_bFadeRunning = false;
        m_nFadeStep = std::max(f, 0);
        ApplyFadeVolumes(0, n);
    }
}

void CDJDataMan::ApplyFadeVolumes(int mic, int music)
{
    mic = std::clamp(mic, 0, kMaxVolume);
    music = std::clamp(music, 0, kMaxVolume);
    m_micVolume.SetVolume(mic);
    m_musicVolume.SetVolume(music);
    if (m_nLineinFade)
        m_lineInVolume.SetVolume(music);
}

// Talk-over on the controller's side: CTalkOverFade counts the steps, the
// controller turns each step's levels into the three mixer lines' volumes.
#include "engine/stream/CDJDataMan.h"

#include <algorithm>

int CDJDataMan::StartTalkOverFade(bool on)
{
    m_mainThread.CheckOwner();
    return m_fade.Start(on, m_hMainWindow);
}

void CDJDataMan::StepTalkOverFade(bool on)
{
    m_mainThread.CheckOwner();
    const CTalkOverFade::Range range { m_settings.m_nFadeTime, m_settings.m_nNormal, m_settings.m_nBGM,
        m_settings.m_nMic };
    const CTalkOverFade::Levels levels = m_fade.Step(on, range, m_hMainWindow);
    ApplyFadeVolumes(levels.mic, levels.music);
}

void CDJDataMan::SetFadeTimeInUse(int fadeTime)
{
    m_mainThread.CheckOwner();
    m_fade.SetFadeTimeInUse(fadeTime);
    m_fade.ResetStep(std::max(fadeTime, 0));
}

bool CDJDataMan::IsFadeRunning() const
{
    return m_fade.IsRunning();
}

int CDJDataMan::GetFadeStep() const
{
    m_mainThread.CheckOwner();
    return m_fade.Step();
}

bool CDJDataMan::IsTalkOver() const
{
    m_mainThread.CheckOwner();
    return m_fade.IsTalkOver();
}

void CDJDataMan::ApplyFadeVolumes(int mic, int music)
{
    mic = std::clamp(mic, 0, kMaxVolume);
    music = std::clamp(music, 0, kMaxVolume);
    m_micVolume.SetVolume(mic);
    m_musicVolume.SetVolume(music);
    if (m_settings.m_nLineinFade)
        m_lineInVolume.SetVolume(music);
}

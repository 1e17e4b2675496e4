#include "engine/audio/mixer/CMixerLineDest.h"

namespace {

// Reads a line's controls, keeping the ones the model works with.
std::vector<CMixerLineControl> ReadControls(platform::MixerDevice* pMixer, const platform::MixerLineInfo& line)
{
    std::vector<CMixerLineControl> controls;
    std::vector<platform::MixerControlInfo> infos;
    if (!pMixer->GetLineControls(line.lineId, &infos))
        return controls;
    for (const auto& info : infos) {
        CMixerLineControl control;
        if (control.Init(pMixer, line, info))
            controls.push_back(std::move(control));
    }
    return controls;
}

} // namespace

bool CMixerLineDest::Build(platform::MixerDevice* pMixer, int nDestination)
{
    m_sources.clear();
    m_controls.clear();
    if (!pMixer || !pMixer->GetDestination(nDestination, &m_line))
        return false;
    const platform::MixerLineInfo& line = m_line;

    for (auto& control : ReadControls(pMixer, line)) {
        if (control.GetKind() != CMixerLineControl::kFader) {
            m_controls.push_back(std::move(control));
            continue;
        }
        CMixerLineSrc pseudo;
        pseudo.m_line = line;
        pseudo.m_bPseudo = true;
        pseudo.m_controls.push_back(std::move(control));
        m_sources.push_back(std::move(pseudo));
    }

    for (int s = 0; s < line.connections; ++s) {
        CMixerLineSrc source;
        if (!pMixer->GetSource(nDestination, s, &source.m_line))
            continue;
        source.m_controls = ReadControls(pMixer, source.m_line);
        m_sources.push_back(std::move(source));
    }
    return true;
}

CMixerLineSrc* CMixerLineDest::GetSource(int i)
{
    return i >= 0 && i < GetSourceCount() ? &m_sources[size_t(i)] : nullptr;
}

const CMixerLineSrc* CMixerLineDest::GetSource(int i) const
{
    return i >= 0 && i < GetSourceCount() ? &m_sources[size_t(i)] : nullptr;
}

void CMixerLineDest::SelectSource(int i)
{
    CMixerLineSrc* selected = GetSource(i);
    if (!selected)
        return;
    bool hasList = false;
    for (auto& control : m_controls) {
        if (control.GetKind() != CMixerLineControl::kList)
            continue;
        hasList = true;
        control.SelectItem(selected->m_line.name);
    }
    if (hasList)
        return;
    for (int j = 0; j < GetSourceCount(); ++j) {
        int muted = j == i || selected->m_bPseudo ? 0 : 1;
        for (auto& control : m_sources[size_t(j)].m_controls) {
            if (control.IsMute())
                control.SetValue(muted);
        }
    }
}

bool CMixerLineDest::SaveSwitchStates(std::vector<int>* pValues)
{
    pValues->clear();
    for (auto& source : m_sources) {
        for (auto& control : source.m_controls) {
            if (control.IsMute())
                pValues->push_back(control.GetValue());
        }
    }
    return true;
}

bool CMixerLineDest::RestoreSwitchStates(const std::vector<int>& values)
{
    size_t next = 0;
    for (auto& source : m_sources) {
        for (auto& control : source.m_controls) {
            if (!control.IsMute())
                continue;
            if (next >= values.size() || (values[next] != 0 && values[next] != 1))
                return true;
            control.SetValue(values[next++]);
        }
    }
    return true;
}

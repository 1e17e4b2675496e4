#include "engine/audio/mixer/CMixerLineControl.h"

#include "platform/TextCase.h"

#include <algorithm>

namespace {

using namespace platform::mixer;

} // namespace

bool CMixerLineControl::IsAccepted(uint32_t type)
{
    return (type & kCtlClassMask) == kCtlClassMeter || type == kCtlVolume || type == kCtlMute || type == kCtlMux
        || type == kCtlMixer;
}

bool CMixerLineControl::Init(
    platform::MixerDevice* pMixer, const platform::MixerLineInfo& line, const platform::MixerControlInfo& control)
{
    m_bValid = false;
    if (!pMixer || !IsAccepted(control.type))
        return false;
    m_pMixer = pMixer;
    m_line = line;
    m_control = control;
    m_nChannels = control.uniform ? 1 : std::max(line.channels, 1);
    m_nItems = control.items > 0 ? control.items : 1;
    m_values.assign(size_t(m_nChannels) * size_t(m_nItems), 0);
    m_itemNames.clear();
    if (GetKind() == kList
        && (!m_pMixer->GetItemNames(control.controlId, &m_itemNames) || int(m_itemNames.size()) != m_nItems))
        return false;
    m_bValid = true;
    return true;
}

int CMixerLineControl::GetKind() const
{
    switch (m_control.type & kCtlClassMask) {
    case kCtlClassSwitch:
        return kSwitch;
    case kCtlClassList:
        return kList;
    case kCtlClassFader:
    case kCtlClassMeter:
        return kFader;
    default:
        return kOther;
    }
}

bool CMixerLineControl::Read()
{
    size_t count = size_t(m_nChannels) * size_t(m_nItems);
    if (!m_bValid || !m_pMixer->GetValues(m_control.controlId, m_nChannels, m_nItems, &m_values))
        return false;
    bool whole = m_values.size() == count;
    m_values.resize(count, 0);
    return whole;
}

bool CMixerLineControl::Write()
{
    return m_bValid && m_pMixer->SetValues(m_control.controlId, m_nChannels, m_nItems, m_values);
}

int CMixerLineControl::GetValue()
{
    if (IsMute())
        return Read() ? m_values[0] : 0;
    if (GetKind() == kFader) {
        std::vector<int32_t> value;
        return m_bValid && m_pMixer->GetValues(m_control.controlId, 1, 1, &value) && !value.empty() ? value[0] : 0;
    }
    return 0;
}

bool CMixerLineControl::SetValue(int value)
{
    if (IsMute()) {
        std::fill(m_values.begin(), m_values.end(), value);
        return Write();
    }
    if (GetKind() == kFader)
        return m_bValid && m_pMixer->SetValues(m_control.controlId, 1, 1, { value });
    return false;
}

bool CMixerLineControl::SelectItem(const std::string& name)
{
    if (GetKind() != kList || !Read())
        return false;
    auto found = std::find_if(m_itemNames.begin(), m_itemNames.end(),
        [&](const std::string& item) { return platform::EqualsNoCase(item, name); });
    int selected = found == m_itemNames.end() ? -1 : int(found - m_itemNames.begin());
    if (selected < 0 && m_control.type != kCtlMixer)
        return false;
    for (int channel = 0; channel < m_nChannels; ++channel) {
        for (int item = 0; item < m_nItems; ++item)
            m_values[size_t(channel) * size_t(m_nItems) + size_t(item)] = selected < 0 || item == selected ? 1 : 0;
    }
    return Write();
}

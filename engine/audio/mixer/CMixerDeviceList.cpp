#include "engine/audio/mixer/CMixerDeviceList.h"

namespace {

bool HasWaveInDestination(platform::MixerDevice& mixer)
{
    for (int d = 0; d < mixer.DestinationCount(); ++d) {
        platform::MixerLineInfo line;
        if (mixer.GetDestination(d, &line) && line.componentType == platform::mixer::kDstWaveIn)
            return true;
    }
    return false;
}

} // namespace

CMixerDeviceList::CMixerDeviceList(platform::MixerSystem& system)
    : m_system(system)
{
}

int CMixerDeviceList::EnumCaptureMixers()
{
    m_mixerNames.clear();
    m_mixerIds.clear();
    int count = m_system.MixerCount();
    if (count <= 0)
        return 0;
    for (int id = 0; id < count; ++id) {
        std::shared_ptr<platform::MixerDevice> mixer = m_system.Open(id);
        if (mixer && HasWaveInDestination(*mixer)) {
            m_mixerNames.push_back(mixer->ProductName());
            m_mixerIds.push_back(id);
        }
    }
    return 1;
}

void CMixerDeviceList::Close()
{
    m_dests.clear();
    m_pMixer.reset();
    m_strMixerName.clear();
    m_nMixer = m_nDest = m_nSource = m_nVolumeControl = -1;
}

int CMixerDeviceList::SelectMixer(int nIndex)
{
    // Selecting the open mixer again shares its handle.
    const std::shared_ptr<platform::MixerDevice> previous = m_pMixer;
    Close();
    if (nIndex < 0 || nIndex >= GetMixerCount())
        return 0;
    m_pMixer = m_system.Open(m_mixerIds[size_t(nIndex)]);
    if (!m_pMixer)
        return 0;
    m_strMixerName = m_pMixer->ProductName();
    for (int d = 0; d < m_pMixer->DestinationCount(); ++d) {
        CMixerLineDest dest;
        if (dest.Build(m_pMixer.get(), d) && dest.GetComponentType() == platform::mixer::kDstWaveIn)
            m_dests.push_back(std::move(dest));
    }
    m_nMixer = nIndex;
    return 1;
}

int CMixerDeviceList::SelectSourceLine(int nSource, int nDestination)
{
    CMixerLineDest* dest = GetDest(nDestination);
    CMixerLineSrc* source = dest ? dest->GetSource(nSource) : nullptr;
    if (!source)
        return 0;
    dest->SelectSource(nSource);
    m_nDest = nDestination;
    m_nSource = nSource;
    m_nVolumeControl = -1;
    for (size_t i = 0; i < source->m_controls.size(); ++i) {
        if (source->m_controls[i].GetKind() == CMixerLineControl::kFader) {
            m_nVolumeControl = int(i);
            return 1;
        }
    }
    return 0;
}

int CMixerDeviceList::SaveSwitchStates(int nDestination, std::vector<int>* pValues)
{
    CMixerLineDest* dest = GetDest(nDestination);
    return pValues && dest && dest->SaveSwitchStates(pValues) ? 1 : 0;
}

int CMixerDeviceList::RestoreSwitchStates(int nDestination, const std::vector<int>& values)
{
    CMixerLineDest* dest = GetDest(nDestination);
    return dest && dest->RestoreSwitchStates(values) ? 1 : 0;
}

void CMixerDeviceList::GetMixerName(std::string* pName) const
{
    *pName = m_pMixer ? m_strMixerName : std::string();
}

void CMixerDeviceList::GetMixerNameAt(int nIndex, std::string* pName) const
{
    *pName = nIndex >= 0 && nIndex < GetMixerCount() ? m_mixerNames[size_t(nIndex)] : std::string();
}

void CMixerDeviceList::GetDestinationName(int nDestination, std::string* pName) const
{
    const CMixerLineDest* dest = GetDest(nDestination);
    *pName = dest ? dest->GetName() : std::string();
}

int CMixerDeviceList::GetSourceCount(int nDestination) const
{
    const CMixerLineDest* dest = GetDest(nDestination);
    return dest ? dest->GetSourceCount() : 0;
}

void CMixerDeviceList::GetSourceName(int nDestination, int nSource, std::string* pName) const
{
    const CMixerLineDest* dest = GetDest(nDestination);
    const CMixerLineSrc* source = dest ? dest->GetSource(nSource) : nullptr;
    *pName = source ? source->m_line.name : std::string();
}

int CMixerDeviceList::GetSourceVolume()
{
    CMixerLineControl* control = GetVolumeControl();
    return control ? control->GetValue() : 0;
}

void CMixerDeviceList::SetSourceVolume(int nValue)
{
    if (CMixerLineControl* control = GetVolumeControl())
        control->SetValue(nValue);
}

int CMixerDeviceList::FindWaveInMixer(int nWaveIn) const
{
    int id = m_system.MixerOfWaveIn(nWaveIn);
    for (size_t i = 0; id >= 0 && i < m_mixerIds.size(); ++i) {
        if (m_mixerIds[i] == id)
            return int(i);
    }
    return -1;
}

CMixerLineDest* CMixerDeviceList::GetDest(int nDestination)
{
    return m_pMixer && nDestination >= 0 && nDestination < int(m_dests.size()) ? &m_dests[size_t(nDestination)]
                                                                               : nullptr;
}

const CMixerLineDest* CMixerDeviceList::GetDest(int nDestination) const
{
    return m_pMixer && nDestination >= 0 && nDestination < int(m_dests.size()) ? &m_dests[size_t(nDestination)]
                                                                               : nullptr;
}

CMixerLineControl* CMixerDeviceList::GetVolumeControl()
{
    CMixerLineDest* dest = GetDest(m_nDest);
    CMixerLineSrc* source = dest ? dest->GetSource(m_nSource) : nullptr;
    if (!source || m_nVolumeControl < 0 || m_nVolumeControl >= int(source->m_controls.size()))
        return nullptr;
    return &source->m_controls[size_t(m_nVolumeControl)];
}

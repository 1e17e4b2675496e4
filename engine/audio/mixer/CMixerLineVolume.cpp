#include "engine/audio/mixer/CMixerLineVolume.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace platform::mixer;

struct PresetRow {
    uint32_t dstType;
    uint32_t srcType;
};
constexpr PresetRow kPresets[CMixerLineVolume::kPresetCount] = {
    { kDstSpeakers, CMixerLineVolume::kDestinationItself },
    { kDstSpeakers, kSrcWaveOut },
    { kDstSpeakers, kSrcLine },
    { kDstSpeakers, kSrcCompactDisc },
    { kDstSpeakers, kSrcSynthesizer },
    { kDstSpeakers, kSrcMicrophone },
};

// Value units the details can hold: boolean, signed, unsigned, decibels, percent.
bool HasUsableUnits(uint32_t type)
{
    uint32_t units = type & kCtlUnitsMask;
    return units >= kCtlUnitsBoolean && units <= kCtlUnitsPercent;
}

int32_t ToDetail(double value, int64_t maximum)
{
    return int32_t(std::clamp<double>(std::round(value), 0, double(maximum)));
}

} // namespace

CMixerLineVolume::CMixerLineVolume(platform::MixerSystem& system)
    : m_system(system)
    , m_nMixerIndex(system.MixerOfWaveOut(0))
{
}

int CMixerLineVolume::OpenPreset(int nRow)
{
    if (nRow < 0 || nRow >= kPresetCount)
        return 0;
    return Open(m_hCallbackWnd, kPresets[nRow].dstType, kPresets[nRow].srcType, kCtlVolume, kKeepBalance);
}

int CMixerLineVolume::Fail()
{
    Close();
    return 0;
}

void CMixerLineVolume::ResetState()
{
    m_pMixer.reset();
    m_control = {};
    m_details.clear();
    m_nChannels = 0;
    m_strLineName.clear();
    m_strDstName.clear();
    m_nMin = m_nMax = 0;
    m_nSteps = 1;
    m_dStepSize = 1;
    m_dPosition = m_dBalance = m_dLevel = 0;
}

void CMixerLineVolume::Close()
{
    ResetState();
    m_dScaleMin = 0;
    m_dScaleMax = 100;
}

int CMixerLineVolume::Open(
    platform::TargetHandle hCallbackWnd, uint32_t nDstType, uint32_t nSrcType, uint32_t nCtlType, int nChannelMode)
{
    if (m_system.MixerCount() <= 0)
        return 0;
    // The handle in use goes only once the new one is there, so reopening
    // a line on the same mixer shares the handle instead of opening anew.
    const std::shared_ptr<platform::MixerDevice> previous = m_pMixer;
    ResetState();
    m_hCallbackWnd = hCallbackWnd;
    m_nDstType = nDstType;
    m_nSrcType = nSrcType;
    m_nCtlType = nCtlType;
    m_nChannelMode = nChannelMode;
    if (nChannelMode < kFirstChannel || nChannelMode > kRawFirst)
        return Fail();
    m_pMixer = m_system.Open(m_nMixerIndex);
    if (!m_pMixer)
        return Fail();

    platform::MixerLineInfo dest;
    int nDest = 0;
    for (; nDest < m_pMixer->DestinationCount(); ++nDest) {
        if (m_pMixer->GetDestination(nDest, &dest) && dest.componentType == nDstType)
            break;
    }
    if (nDest == m_pMixer->DestinationCount())
        return Fail();
    m_strDstName = dest.name;

    platform::MixerLineInfo line = dest;
    if (nSrcType != kDestinationItself) {
        bool found = false;
        for (int s = 0; s < dest.connections && !found; ++s)
            found = m_pMixer->GetSource(nDest, s, &line) && line.componentType == nSrcType;
        if (!found)
            return Fail();
    }
    m_strLineName = line.name;
    if (line.channels <= 0)
        return Fail();

    std::vector<platform::MixerControlInfo> controls;
    if (!m_pMixer->GetLineControls(line.lineId, &controls))
        return Fail();
    auto control = std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c.type == nCtlType; });
    if (control == controls.end() || !HasUsableUnits(control->type))
        return Fail();
    m_control = *control;
    m_nChannels = line.channels;
    m_details.assign(m_control.uniform ? 1 : size_t(m_nChannels), 0);

    m_nMin = m_control.minimum;
    m_nMax = m_control.maximum;
    // A control whose bounds meet has no scale to map onto.
    if (m_nMax <= m_nMin)
        return Fail();
    m_nSteps = std::max(m_control.steps, 1);
    m_dStepSize = double(m_nMax - m_nMin) / m_nSteps;
    m_dScaleMin = double(m_nMin);
    m_dScaleMax = double(m_nMax);
    if (!ReadDetails())
        return Fail();
    return 1;
}

int CMixerLineVolume::SetMixer(int nMixerIndex)
{
    if (nMixerIndex < 0 || nMixerIndex >= m_system.MixerCount())
        return 0;
    if (nMixerIndex == m_nMixerIndex)
        return 1;
    m_nMixerIndex = nMixerIndex;
    if (!m_pMixer)
        return 1;
    double scaleMin = m_dScaleMin;
    double scaleMax = m_dScaleMax;
    if (!Open(m_hCallbackWnd, m_nDstType, m_nSrcType, m_nCtlType, m_nChannelMode))
        return 0;
    m_dScaleMin = scaleMin;
    m_dScaleMax = scaleMax;
    return 1;
}

int CMixerLineVolume::SetRange(double dMinimum, double dMaximum)
{
    m_dScaleMin = dMinimum;
    m_dScaleMax = dMaximum;
    return GetVolume();
}

bool CMixerLineVolume::ReadDetails()
{
    size_t count = m_details.size();
    if (!m_pMixer || count == 0 || !m_pMixer->GetValues(m_control.controlId, int(count), 1, &m_details))
        return false;
    // The details keep their size whatever a backend hands back.
    bool whole = m_details.size() == count;
    m_details.resize(count, 0);
    return whole;
}

bool CMixerLineVolume::WriteDetails()
{
    return m_pMixer && m_pMixer->SetValues(m_control.controlId, int(m_details.size()), 1, m_details);
}

int CMixerLineVolume::GetVolume()
{
    int value = -1;
    return ReadVolume(&value) ? value : -1;
}

bool CMixerLineVolume::ReadVolume(int* pValue)
{
    if (!ReadDetails())
        return false;
    double left = double(uint32_t(m_details[0]));
    double right = m_details.size() > 1 ? double(uint32_t(m_details[1])) : left;
    double level = left;
    if (m_details.size() > 1) {
        level = std::max(left, right);
        // Silence has no balance; the last one is kept for when sound returns.
        if (level > 0)
            m_dBalance = (right - left) / level;
    }
    m_dLevel = level;

    switch (m_nChannelMode) {
    case kFirstChannel:
        m_dPosition = left / m_dStepSize;
        break;
    case kSecondChannel:
        m_dPosition = right / m_dStepSize;
        break;
    case kKeepBalance:
        m_dPosition = level / m_dStepSize;
        break;
    case kPan:
        if (level > 0)
            m_dPosition = (m_dBalance + 1) * m_nSteps / 2;
        break;
    default:
        m_dPosition = left;
        break;
    }
    double value = m_dScaleMin + m_dPosition * (m_dScaleMax - m_dScaleMin) / m_nSteps;
    value = std::clamp(value, std::min(m_dScaleMin, m_dScaleMax), std::max(m_dScaleMin, m_dScaleMax));
    *pValue = int(value);
    return true;
}

void CMixerLineVolume::SetVolume(int nValue)
{
    // The scale may run below zero, so -1 is a volume here, not a failure.
    int current = 0;
    if (!ReadVolume(&current))
        return;
    if (m_nChannelMode != kRawFirst && std::abs(int64_t(nValue) - current) < 2)
        return;
    // An empty scale maps every value to nothing; refuse it rather than divide by zero.
    if (m_dScaleMax == m_dScaleMin)
        return;
    double value = std::clamp(double(nValue), std::min(m_dScaleMin, m_dScaleMax), std::max(m_dScaleMin, m_dScaleMax));
    m_dPosition = m_nSteps * (value - m_dScaleMin) / (m_dScaleMax - m_dScaleMin);
    // Round towards the larger scale value so that GetVolume, which truncates,
    // reads back the value just set.
    constexpr double kSlack = 1e-6;
    double exact = m_dPosition * m_dStepSize;
    double raw = m_dScaleMax > m_dScaleMin ? std::ceil(exact - kSlack) : std::floor(exact + kSlack);

    // A one-channel control has only the first value, whatever the mode.
    int32_t* first = &m_details[0];
    int32_t* second = m_details.size() > 1 ? &m_details[1] : first;
    switch (m_nChannelMode) {
    case kFirstChannel:
    case kRawFirst:
        *first = ToDetail(raw, m_nMax);
        break;
    case kSecondChannel:
        *second = ToDetail(raw, m_nMax);
        break;
    case kKeepBalance:
        if (m_details.size() < 2) {
            *first = ToDetail(raw, m_nMax);
        } else if (m_dBalance > 0) {
            *second = ToDetail(raw, m_nMax);
            *first = ToDetail(raw * (1 - m_dBalance), m_nMax);
        } else {
            *first = ToDetail(raw, m_nMax);
            *second = ToDetail(raw * (1 + m_dBalance), m_nMax);
        }
        break;
    case kPan: {
        double range = double(m_nMax - m_nMin);
        if (raw > range / 2) {
            *second = ToDetail(m_dLevel, m_nMax);
            *first = ToDetail((1 - raw / range) * 2 * m_dLevel, m_nMax);
        } else {
            *second = ToDetail(raw * 2 * m_dLevel / range, m_nMax);
            *first = ToDetail(m_dLevel, m_nMax);
        }
        break;
    }
    }
    (void)WriteDetails();
}

int CMixerLineVolume::GetWaveOutMixerId(int nWaveOutDevice)
{
    return m_system.MixerOfWaveOut(nWaveOutDevice);
}

#pragma once

#include "platform/Mixer.h"

#include <cstdint>
#include <string>
#include <vector>

// Thread: main thread only.
// One control of one capture-mixer line (fader, meter, mute switch or input
// list) with a buffer for its values.
class CMixerLineControl {
public:
    enum Kind { kOther = 0, kSwitch = 1, kList = 2, kFader = 3 };

    // The types the capture model works with; every other control is dropped.
    [[nodiscard]] static bool IsAccepted(uint32_t type);

    // pMixer is not owned and must outlive this control. False for a type
    // the model does not use or a list whose entries cannot be read.
    [[nodiscard]] bool Init(
        platform::MixerDevice* pMixer, const platform::MixerLineInfo& line, const platform::MixerControlInfo& control);

    [[nodiscard]] int GetKind() const;
    [[nodiscard]] bool IsMute() const { return m_control.type == platform::mixer::kCtlMute; }
    [[nodiscard]] bool IsValid() const { return m_bValid; }
    [[nodiscard]] const platform::MixerControlInfo& GetInfo() const { return m_control; }
    [[nodiscard]] int GetItemCount() const { return m_nItems; }
    [[nodiscard]] int GetChannelCount() const { return m_nChannels; }

    // A mute switch's first value, a fader's one uniform value, else 0.
    [[nodiscard]] int GetValue();
    // A mute switch takes the value in every item and channel, a fader as
    // one uniform value; other kinds are left alone.
    bool SetValue(int value);

    // Lists only: selects the entry with that name (without regard to case).
    // A single-select list selects exactly it; a multiple-select list selects
    // only it when it exists, otherwise every entry.
    bool SelectItem(const std::string& name);

private:
    bool Read();
    bool Write();

    platform::MixerDevice* m_pMixer = nullptr; // not owned
    platform::MixerLineInfo m_line;
    platform::MixerControlInfo m_control;
    int m_nChannels = 0;
    int m_nItems = 0;
    std::vector<int32_t> m_values; // m_nItems × m_nChannels
    std::vector<std::string> m_itemNames;
    bool m_bValid = false;
};

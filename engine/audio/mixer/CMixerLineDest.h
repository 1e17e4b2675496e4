#pragma once

#include "engine/audio/mixer/CMixerLineSrc.h"

#include <string>
#include <vector>

// Thread: main thread only.
// A recording destination of an open mixer: its source lines (pseudo
// sources for its own faders first) and its own other controls, such as the
// input list.
class CMixerLineDest {
public:
    // Reads destination nDestination of the mixer. pMixer is not owned and
    // must outlive this object.
    [[nodiscard]] bool Build(platform::MixerDevice* pMixer, int nDestination);
    [[nodiscard]] uint32_t GetComponentType() const { return m_line.componentType; }

    // Routes recording to source i: through the input lists when the
    // destination has any, else by muting every other source.
    void SelectSource(int i);

    // Every mute switch of every source, in source and control order.
    [[nodiscard]] bool SaveSwitchStates(std::vector<int>* pValues);
    // Stops at the end of values or at the first value that is neither 0 nor 1.
    [[nodiscard]] bool RestoreSwitchStates(const std::vector<int>& values);

    [[nodiscard]] const std::string& GetName() const { return m_line.name; }
    [[nodiscard]] int GetSourceCount() const { return int(m_sources.size()); }
    // Null when out of range.
    [[nodiscard]] CMixerLineSrc* GetSource(int i);
    [[nodiscard]] const CMixerLineSrc* GetSource(int i) const;

private:
    platform::MixerLineInfo m_line;
    std::vector<CMixerLineSrc> m_sources;
    std::vector<CMixerLineControl> m_controls;
};

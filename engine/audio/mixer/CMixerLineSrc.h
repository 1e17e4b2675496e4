#pragma once

#include "engine/audio/mixer/CMixerLineControl.h"

#include <vector>

// Thread: main thread only.
// A source line of a recording destination and its controls. A pseudo
// source stands for one fader of the destination itself, so the
// destination's own level can be picked like an input.
class CMixerLineSrc {
public:
    platform::MixerLineInfo m_line;
    std::vector<CMixerLineControl> m_controls;
    bool m_bPseudo = false;
};

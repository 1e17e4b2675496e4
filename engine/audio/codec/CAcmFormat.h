#pragma once

#include "platform/Acm.h"

#include <cstdint>
#include <string>
#include <vector>

// Thread: a value; no sharing.
// One format a codec offers: its position among the tag's formats, and an
// owned copy of its format block (copying the object copies the block).
struct CAcmFormat {
    int m_nIndex = 0;
    uint16_t m_nFormatTag = 0;
    uint32_t m_nSupport = 0;
    std::vector<uint8_t> m_block;
    std::string m_strDescription;

    // False when there is no block (or too short a one to hold the header).
    [[nodiscard]] bool GetWaveFormat(platform::WaveFormat* pFormat) const
    {
        return platform::ReadWaveFormat(m_block, pFormat);
    }
};

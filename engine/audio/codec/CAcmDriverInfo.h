#pragma once

#include "engine/audio/codec/CAcmFormat.h"
#include "platform/Acm.h"

#include <vector>

// Thread: a value; no sharing.
// One installed codec with every format of every tag but PCM.
struct CAcmDriverInfo {
    platform::AcmDriverId m_nDriverId = 0;
    platform::AcmDriverDetails m_details;
    std::vector<CAcmFormat> m_formats;
};

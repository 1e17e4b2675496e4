#pragma once

#include "engine/audio/codec/COutputACM.h"

// Thread: as COutputACM.
// The codec output for MP3 formats (tag 85).
class COutputMP3 final : public COutputACM {
public:
    explicit COutputMP3(platform::Acm& acm);
    ~COutputMP3() override;
};

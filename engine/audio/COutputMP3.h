#pragma once

#include "engine/audio/COutputACM.h"

// The codec output for MP3 formats (tag 85).
// Thread: as COutputACM.
class COutputMP3 final : public COutputACM {
public:
    explicit COutputMP3(platform::Acm& acm);
    ~COutputMP3() override;
};

#include "engine/audio/codec/COutputMP3.h"

COutputMP3::COutputMP3(platform::Acm& acm)
    : COutputACM(acm, platform::kWaveFormatMpegLayer3)
{
}

COutputMP3::~COutputMP3()
{
    Close();
}

#include "platform/Acm.h"

#include "platform/AcmLame.h"

namespace platform {

namespace {

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(Get16(p)) | (static_cast<uint32_t>(Get16(p + 2)) << 16);
}

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace

bool ReadWaveFormat(std::span<const uint8_t> block, WaveFormat* pFormat)
{
    if (block.size() < static_cast<size_t>(kWaveFormatHeaderBytes) || !pFormat)
        return false;
    const uint8_t* p = block.data();
    pFormat->formatTag = Get16(p);
    pFormat->channels = Get16(p + 2);
    pFormat->samplesPerSec = Get32(p + 4);
    pFormat->avgBytesPerSec = Get32(p + 8);
    pFormat->blockAlign = Get16(p + 12);
    pFormat->bitsPerSample = Get16(p + 14);
    pFormat->extraSize = Get16(p + 16);
    return true;
}

bool WriteWaveFormat(const WaveFormat& format, std::span<uint8_t> block)
{
    if (block.size() < static_cast<size_t>(kWaveFormatHeaderBytes))
        return false;
    uint8_t* p = block.data();
    Put16(p, format.formatTag);
    Put16(p + 2, format.channels);
    Put32(p + 4, format.samplesPerSec);
    Put32(p + 8, format.avgBytesPerSec);
    Put16(p + 12, format.blockAlign);
    Put16(p + 14, format.bitsPerSample);
    Put16(p + 16, format.extraSize);
    return true;
}

Acm& Acm::System()
{
    static AcmLame system(AcmLame::Codecs::Installed);
    return system;
}

} // namespace platform

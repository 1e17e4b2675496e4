#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// Format tags, as wave format blocks number them.
inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatMpegLayer3 = 85;

// The common header every format block starts with; its extra bytes follow.
inline constexpr int kWaveFormatHeaderBytes = 18;
// The extra bytes of an MPEG layer-3 block: id, flags, block size, frames
// per block, codec delay.
inline constexpr int kMpegLayer3ExtraBytes = 12;

// Driver support flag: the driver converts between format tags.
inline constexpr uint32_t kAcmDriverSupportCodec = 0x1;
// Convert flags: whole output blocks only; the end of the stream (drain).
inline constexpr uint32_t kAcmConvertBlockAlign = 0x4;
inline constexpr uint32_t kAcmConvertEnd = 0x20;
// Format descriptions are cut to this many bytes.
inline constexpr int kAcmFormatDescriptionChars = 128;

// The common header of a format block, stored little-endian in 18 bytes.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

// False when the block is shorter than the header.
[[nodiscard]] bool ReadWaveFormat(std::span<const uint8_t> block, WaveFormat* pFormat);
[[nodiscard]] bool WriteWaveFormat(const WaveFormat& format, std::span<uint8_t> block);

// Handles are never 0; 0 is "none" and the answer of a failed open.
using AcmDriverId = uint32_t;
using AcmDriverHandle = uint32_t;
using AcmStreamHandle = uint32_t;

struct AcmDriverEntry {
    AcmDriverId id = 0;
    uint32_t support = 0;
};

struct AcmDriverDetails {
    std::string shortName;
    std::string longName;
    uint32_t support = 0;
    int formatTagCount = 0;
};

struct AcmFormatTagDetails {
    int index = 0;
    uint16_t formatTag = 0;
    // The largest format block of the tag, header and extra bytes.
    int formatSize = 0;
    uint32_t support = 0;
    int formatCount = 0;
    std::string name;
};

struct AcmFormatDetails {
    int index = 0;
    uint16_t formatTag = 0;
    uint32_t support = 0;
    // Bytes of the block the driver filled.
    int formatSize = 0;
    std::string description;
};

// One conversion: the caller owns both buffers and keeps them alive from
// PrepareHeader to UnprepareHeader.
struct AcmStreamHeader {
    const uint8_t* pSource = nullptr;
    int sourceLength = 0;
    int sourceLengthUsed = 0;
    uint8_t* pDest = nullptr;
    int destLength = 0;
    int destLengthUsed = 0;
    bool prepared = false;
};

// Thread: listing and describing from any thread; one stream is used by one
// thread at a time.
// The codecs installed on this machine as codec drivers: list, open,
// describe, then convert PCM through a stream. The encoding settings name a
// codec and format by their place in these lists. Handles stay valid until
// closed.
class Acm {
public:
    // The codecs of this machine: one MP3 driver backed by LAME.
    static Acm& System();

    virtual ~Acm() = default;

    // The installed global drivers, in the order they are offered.
    [[nodiscard]] virtual std::vector<AcmDriverEntry> ListDrivers() = 0;
    [[nodiscard]] virtual bool GetDriverDetails(AcmDriverId id, AcmDriverDetails* pDetails) = 0;
    // 0 when the driver cannot be opened.
    [[nodiscard]] virtual AcmDriverHandle OpenDriver(AcmDriverId id) = 0;
    virtual void CloseDriver(AcmDriverHandle driver) = 0;

    [[nodiscard]] virtual bool GetFormatTagDetailsByTag(
        AcmDriverHandle driver, uint16_t formatTag, AcmFormatTagDetails* pDetails)
        = 0;
    [[nodiscard]] virtual bool GetFormatTagDetailsByIndex(
        AcmDriverHandle driver, int index, AcmFormatTagDetails* pDetails)
        = 0;
    // Fills the block (which must hold the tag's largest format) with the
    // index-th format of the tag. False past the last format or when the
    // block is too small.
    [[nodiscard]] virtual bool GetFormatDetails(
        AcmDriverHandle driver, uint16_t formatTag, int index, std::span<uint8_t> block, AcmFormatDetails* pDetails)
        = 0;

    // A conversion from the source format block to the destination block; 0
    // when the driver cannot convert between them.
    [[nodiscard]] virtual AcmStreamHandle OpenStream(
        AcmDriverHandle driver, std::span<const uint8_t> source, std::span<const uint8_t> dest)
        = 0;
    // The largest output a conversion of sourceBytes may produce, so callers
    // can size their destination buffers; -1 for an unknown stream.
    [[nodiscard]] virtual int GetStreamSize(AcmStreamHandle stream, int sourceBytes) = 0;
    [[nodiscard]] virtual bool PrepareHeader(AcmStreamHandle stream, AcmStreamHeader* pHeader) = 0;
    // Converts the header's source into its destination; with
    // kAcmConvertEnd also drains what the codec still holds.
    [[nodiscard]] virtual bool Convert(AcmStreamHandle stream, AcmStreamHeader* pHeader, uint32_t flags) = 0;
    virtual void UnprepareHeader(AcmStreamHandle stream, AcmStreamHeader* pHeader) = 0;
    virtual void CloseStream(AcmStreamHandle stream) = 0;
};

} // namespace platform

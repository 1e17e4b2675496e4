#include "platform/AcmLame.h"

#include "platform/Mp3BitRates.h"
#include "platform/Mp3Encoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform {

namespace {

constexpr const char* kShortName = "LAME MP3";
constexpr const char* kLongName = "LAME MPEG Layer-3 Codec";
constexpr const char* kTagName = "MPEG Layer-3";
constexpr int kFormatBlockBytes = kWaveFormatHeaderBytes + kMpegLayer3ExtraBytes;
constexpr int kPcmFormatTagIndex = 0;
constexpr int kMp3FormatTagIndex = 1;
// Extra-byte fields of an MPEG layer-3 block: plain MPEG frames, padded as
// the standard says, one frame per block, and LAME's encoder delay in
// samples (its 576-sample lead-in plus the filter bank's 529).
constexpr uint16_t kMpegLayer3IdMpeg = 1;
constexpr uint32_t kMpegLayer3PaddingIso = 0;
constexpr uint16_t kLameEncoderDelay = 576 + 529;
constexpr int kFlushBytes = 7200;

struct RateRow {
    int rate;
    std::vector<int> kbps;
};

// The layer III bit rates of each MPEG version; MPEG-2.5 keeps to the lower
// half of MPEG-2's table, where its narrow band leaves anything to spend.
std::vector<RateRow> RateTable()
{
    const auto rates = [](const std::array<int, 16>& table, int last) {
        return std::vector<int>(table.begin() + kFirstLayer3RateIndex, table.begin() + last + 1);
    };
    const std::vector<int> mpeg1 = rates(kMpeg1Layer3Kbps, kLastLayer3RateIndex);
    const std::vector<int> mpeg2 = rates(kMpeg2Layer3Kbps, kLastLayer3RateIndex);
    constexpr int kLastMpeg25RateIndex = 8; // 64 kbit/s
    const std::vector<int> mpeg25 = rates(kMpeg2Layer3Kbps, kLastMpeg25RateIndex);
    return {
        { 8000, mpeg25 },
        { 11025, mpeg25 },
        { 12000, mpeg25 },
        { 16000, mpeg2 },
        { 22050, mpeg2 },
        { 24000, mpeg2 },
        { 32000, mpeg1 },
        { 44100, mpeg1 },
        { 48000, mpeg1 },
    };
}

int SamplesPerFrame(int rate)
{
    return rate >= 32000 ? 1152 : 576;
}

// "128 kBit/s, 44,100 Hz, Stereo": the rate with a thousands separator.
std::string Describe(int kbps, int rate, int channels)
{
    const std::string digits = std::to_string(rate);
    std::string hz = digits.substr(0, digits.size() > 3 ? digits.size() - 3 : 0);
    if (!hz.empty())
        hz += ',';
    hz.append(digits, hz.empty() ? 0 : digits.size() - 3);
    return std::to_string(kbps) + " kBit/s, " + hz + " Hz, " + (channels == 1 ? "Mono" : "Stereo");
}

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

struct AcmLame::Stream {
    std::unique_ptr<Mp3Encoder> encoder;
    int channels = 0;
    bool ended = false;
    // The caller's bytes need not be aligned for int16_t; they are copied
    // here, sized when the header is prepared.
    std::vector<int16_t> samples;
};

AcmLame::AcmLame(Codecs codecs)
    : m_formats([codecs] {
        std::vector<Format> formats;
        if (codecs == Codecs::Installed)
            for (const RateRow& row : RateTable())
                for (const int kbps : row.kbps)
                    for (const int channels : { 1, 2 })
                        formats.push_back({ row.rate, channels, kbps });
        return formats;
    }())
{
}

AcmLame::~AcmLame() = default;

std::vector<AcmDriverEntry> AcmLame::ListDrivers()
{
    if (m_formats.empty())
        return {};
    return { { kDriverId, kAcmDriverSupportCodec } };
}

bool AcmLame::GetDriverDetails(AcmDriverId id, AcmDriverDetails* pDetails)
{
    if (id != kDriverId || m_formats.empty() || !pDetails)
        return false;
    pDetails->shortName = kShortName;
    pDetails->longName = kLongName;
    pDetails->support = kAcmDriverSupportCodec;
    pDetails->formatTagCount = 2;
    return true;
}

AcmDriverHandle AcmLame::OpenDriver(AcmDriverId id)
{
    if (id != kDriverId || m_formats.empty())
        return 0;
    std::lock_guard lock(m_lock);
    const AcmDriverHandle handle = m_nNextHandle++;
    m_drivers.insert(handle);
    return handle;
}

void AcmLame::CloseDriver(AcmDriverHandle driver)
{
    std::lock_guard lock(m_lock);
    m_drivers.erase(driver);
}

bool AcmLame::IsOpenDriver(AcmDriverHandle driver)
{
    std::lock_guard lock(m_lock);
    return m_drivers.count(driver) != 0;
}

bool AcmLame::GetFormatTagDetailsByTag(AcmDriverHandle driver, uint16_t formatTag, AcmFormatTagDetails* pDetails)
{
    if (formatTag == kWaveFormatPcm)
        return GetFormatTagDetailsByIndex(driver, kPcmFormatTagIndex, pDetails);
    if (formatTag == kWaveFormatMpegLayer3)
        return GetFormatTagDetailsByIndex(driver, kMp3FormatTagIndex, pDetails);
    return false;
}

bool AcmLame::GetFormatTagDetailsByIndex(AcmDriverHandle driver, int index, AcmFormatTagDetails* pDetails)
{
    if (!pDetails || !IsOpenDriver(driver))
        return false;
    if (index == kPcmFormatTagIndex) {
        // The PCM side is described for the conversion's sake; its formats
        // are whatever matches an MP3 format, so none is listed.
        *pDetails = { kPcmFormatTagIndex, kWaveFormatPcm, kWaveFormatHeaderBytes, kAcmDriverSupportCodec, 0, "PCM" };
        return true;
    }
    if (index == kMp3FormatTagIndex) {
        *pDetails = { kMp3FormatTagIndex, kWaveFormatMpegLayer3, kFormatBlockBytes, kAcmDriverSupportCodec,
            static_cast<int>(m_formats.size()), kTagName };
        return true;
    }
    return false;
}

bool AcmLame::GetFormatDetails(
    AcmDriverHandle driver, uint16_t formatTag, int index, std::span<uint8_t> block, AcmFormatDetails* pDetails)
{
    if (!pDetails || formatTag != kWaveFormatMpegLayer3 || index < 0 || index >= static_cast<int>(m_formats.size())
        || block.size() < static_cast<size_t>(kFormatBlockBytes) || !IsOpenDriver(driver))
        return false;
    const Format& format = m_formats[static_cast<size_t>(index)];
    const int bytesPerSecond = format.kbps * 1000 / 8;
    WaveFormat header;
    header.formatTag = kWaveFormatMpegLayer3;
    header.channels = static_cast<uint16_t>(format.channels);
    header.samplesPerSec = static_cast<uint32_t>(format.rate);
    header.avgBytesPerSec = static_cast<uint32_t>(bytesPerSecond);
    header.blockAlign = 1;
    header.bitsPerSample = 0;
    header.extraSize = kMpegLayer3ExtraBytes;
    (void)WriteWaveFormat(header, block);
    uint8_t* extra = block.data() + kWaveFormatHeaderBytes;
    Put16(extra, kMpegLayer3IdMpeg);
    Put16(extra + 2, static_cast<uint16_t>(kMpegLayer3PaddingIso));
    Put16(extra + 4, static_cast<uint16_t>(kMpegLayer3PaddingIso >> 16));
    Put16(extra + 6, static_cast<uint16_t>(SamplesPerFrame(format.rate) * bytesPerSecond / format.rate));
    Put16(extra + 8, 1);
    Put16(extra + 10, kLameEncoderDelay);
    pDetails->index = index;
    pDetails->formatTag = kWaveFormatMpegLayer3;
    pDetails->support = kAcmDriverSupportCodec;
    pDetails->formatSize = kFormatBlockBytes;
    pDetails->description = Describe(format.kbps, format.rate, format.channels);
    return true;
}

const AcmLame::Format* AcmLame::FindFormat(const WaveFormat& format) const
{
    if (format.formatTag != kWaveFormatMpegLayer3 || format.avgBytesPerSec % 125 != 0)
        return nullptr;
    const int kbps = static_cast<int>(format.avgBytesPerSec / 125);
    for (const Format& candidate : m_formats)
        if (candidate.rate == static_cast<int>(format.samplesPerSec) && candidate.channels == format.channels
            && candidate.kbps == kbps)
            return &candidate;
    return nullptr;
}

AcmStreamHandle AcmLame::OpenStream(
    AcmDriverHandle driver, std::span<const uint8_t> source, std::span<const uint8_t> dest)
{
    WaveFormat pcm;
    WaveFormat mp3;
    if (!ReadWaveFormat(source, &pcm) || !ReadWaveFormat(dest, &mp3) || !IsOpenDriver(driver))
        return 0;
    const Format* format = FindFormat(mp3);
    if (!format || pcm.formatTag != kWaveFormatPcm || pcm.bitsPerSample != 16 || pcm.channels != format->channels
        || pcm.blockAlign != 2 * format->channels || static_cast<int>(pcm.samplesPerSec) != format->rate)
        return 0;
    auto stream = std::make_unique<Stream>();
    stream->encoder = Mp3Encoder::Create();
    stream->channels = format->channels;
    if (!stream->encoder || !stream->encoder->Configure(format->rate, format->channels, format->kbps)
        || !stream->encoder->InitParams())
        return 0;
    std::lock_guard lock(m_lock);
    const AcmStreamHandle handle = m_nNextHandle++;
    m_streams.emplace(handle, std::move(stream));
    return handle;
}

AcmLame::Stream* AcmLame::FindStream(AcmStreamHandle stream)
{
    std::lock_guard lock(m_lock);
    const auto it = m_streams.find(stream);
    return it == m_streams.end() ? nullptr : it->second.get();
}

int AcmLame::GetStreamSize(AcmStreamHandle stream, int sourceBytes)
{
    const Stream* pStream = FindStream(stream);
    if (!pStream || sourceBytes < 0)
        return -1;
    // LAME's own bound for one call: 1.25 x samples + 7200 bytes.
    const int64_t frames = sourceBytes / (2 * pStream->channels);
    return static_cast<int>((frames * 5 + 3) / 4 + kFlushBytes);
}

bool AcmLame::PrepareHeader(AcmStreamHandle stream, AcmStreamHeader* pHeader)
{
    Stream* pStream = FindStream(stream);
    if (!pStream || !pHeader || pHeader->prepared || pHeader->sourceLength < 0 || pHeader->destLength < 0
        || (pHeader->sourceLength > 0 && !pHeader->pSource) || (pHeader->destLength > 0 && !pHeader->pDest))
        return false;
    pStream->samples.resize(static_cast<size_t>(pHeader->sourceLength) / 2);
    pHeader->prepared = true;
    return true;
}

bool AcmLame::Convert(AcmStreamHandle stream, AcmStreamHeader* pHeader, uint32_t flags)
{
    Stream* pStream = FindStream(stream);
    if (!pStream || !pHeader || !pHeader->prepared || pStream->ended)
        return false;
    const int frameBytes = 2 * pStream->channels;
    const int frames = pHeader->sourceLength / frameBytes;
    if (pHeader->sourceLength < 0 || static_cast<size_t>(frames) * pStream->channels > pStream->samples.size())
        return false;
    // LAME takes an output size of 0 as "unbounded"; never let it guess.
    if (pHeader->destLength < GetStreamSize(stream, pHeader->sourceLength))
        return false;
    pHeader->sourceLengthUsed = 0;
    pHeader->destLengthUsed = 0;
    int produced = 0;
    if (frames > 0) {
        std::memcpy(pStream->samples.data(), pHeader->pSource, static_cast<size_t>(frames) * frameBytes);
        produced = pStream->channels == 1
            ? pStream->encoder->EncodeMono(pStream->samples.data(), frames, pHeader->pDest, pHeader->destLength)
            : pStream->encoder->EncodeInterleaved(pStream->samples.data(), frames, pHeader->pDest, pHeader->destLength);
        if (produced < 0)
            return false;
    }
    if (flags & kAcmConvertEnd) {
        // A drain writes at most 7200 bytes; it normally comes with no new
        // input, so the whole buffer is free for it.
        if (pHeader->destLength - produced < kFlushBytes)
            return false;
        pStream->ended = true;
        const int flushed = pStream->encoder->Flush(pHeader->pDest + produced, pHeader->destLength - produced);
        if (flushed < 0)
            return false;
        produced += flushed;
    }
    pHeader->sourceLengthUsed = frames * frameBytes;
    pHeader->destLengthUsed = produced;
    return true;
}

void AcmLame::UnprepareHeader(AcmStreamHandle /*stream*/, AcmStreamHeader* pHeader)
{
    if (pHeader)
        pHeader->prepared = false;
}

void AcmLame::CloseStream(AcmStreamHandle stream)
{
    std::unique_ptr<Stream> closing;
    std::lock_guard lock(m_lock);
    const auto it = m_streams.find(stream);
    if (it != m_streams.end()) {
        closing = std::move(it->second);
        m_streams.erase(it);
    }
}

} // namespace platform

#include "engine/audio/codec/CAcmDriverList.h"

#include <algorithm>
#include <cstring>

namespace {

// A format block's extra bytes are counted in 16 bits.
constexpr int kMaxFormatBlockBytes = platform::kWaveFormatHeaderBytes + 0xFFFF;

bool NameMatches(const std::string& shown, const std::string& wanted, CAcmDriverList::NameMatch match)
{
    if (shown.empty())
        return false;
    return match == CAcmDriverList::NameMatch::Whole ? shown == wanted : shown.find(wanted) != std::string::npos;
}

} // namespace

CAcmDriverList::CAcmDriverList(platform::Acm& acm)
    : m_acm(acm)
{
}

CAcmDriverList::~CAcmDriverList()
{
    ReleaseStream();
}

void CAcmDriverList::Enumerate()
{
    m_drivers.clear();
    for (const platform::AcmDriverEntry& entry : m_acm.ListDrivers())
        if (!AddDriver(entry))
            break;
}

// False ends the enumeration.
bool CAcmDriverList::AddDriver(const platform::AcmDriverEntry& entry)
{
    if (!(entry.support & platform::kAcmDriverSupportCodec))
        return true;
    const platform::AcmDriverHandle driver = m_acm.OpenDriver(entry.id);
    if (!driver)
        return false;
    CAcmDriverInfo info;
    info.m_nDriverId = entry.id;
    platform::AcmFormatTagDetails tag;
    if (!m_acm.GetDriverDetails(entry.id, &info.m_details)) {
        m_acm.CloseDriver(driver);
        return false;
    }
    // A codec that cannot take PCM is of no use to the encoder.
    if (!m_acm.GetFormatTagDetailsByTag(driver, platform::kWaveFormatPcm, &tag)) {
        m_acm.CloseDriver(driver);
        return true;
    }
    for (int index = 0; index < info.m_details.formatTagCount; ++index) {
        if (!m_acm.GetFormatTagDetailsByIndex(driver, index, &tag) || !ReadFormats(driver, tag, &info)) {
            m_acm.CloseDriver(driver);
            return false;
        }
    }
    m_drivers.push_back(std::move(info));
    m_acm.CloseDriver(driver);
    return true;
}

bool CAcmDriverList::ReadFormats(
    platform::AcmDriverHandle driver, const platform::AcmFormatTagDetails& tag, CAcmDriverInfo* pInfo)
{
    if (tag.formatTag == platform::kWaveFormatPcm)
        return true;
    if (tag.formatSize < 0 || tag.formatSize > kMaxFormatBlockBytes)
        return false;
    std::vector<uint8_t> block(static_cast<size_t>(tag.formatSize) + platform::kWaveFormatHeaderBytes);
    for (int index = 0; index < tag.formatCount; ++index) {
        std::fill(block.begin(), block.end(), 0);
        block[0] = static_cast<uint8_t>(tag.formatTag);
        block[1] = static_cast<uint8_t>(tag.formatTag >> 8);
        platform::AcmFormatDetails details;
        if (!m_acm.GetFormatDetails(driver, tag.formatTag, index, block, &details))
            return false;
        CAcmFormat format;
        format.m_nIndex = details.index;
        format.m_nFormatTag = details.formatTag;
        format.m_nSupport = details.support;
        const size_t used = std::min(block.size(), static_cast<size_t>(std::max(details.formatSize, 0)));
        format.m_block.assign(block.begin(), block.begin() + static_cast<ptrdiff_t>(used));
        // The description field holds 128 characters with its terminator.
        format.m_strDescription = details.description.substr(0, platform::kAcmFormatDescriptionChars - 1);
        pInfo->m_formats.push_back(std::move(format));
    }
    return true;
}

std::vector<CCodecIndex> CAcmDriverList::BuildCodecIndex(uint16_t formatTag)
{
    Enumerate();
    std::vector<CCodecIndex> index;
    for (int driver = 0; driver < static_cast<int>(m_drivers.size()); ++driver) {
        if (GetDriverName(driver, formatTag).empty())
            continue;
        CCodecIndex codec;
        codec.m_nDriver = driver;
        const int count = static_cast<int>(m_drivers[static_cast<size_t>(driver)].m_formats.size());
        for (int format = 0; format < count; ++format)
            if (!GetDriverFormatName(driver, format, formatTag).empty())
                codec.m_formats.push_back(format);
        if (!codec.m_formats.empty())
            index.push_back(std::move(codec));
    }
    return index;
}

const CAcmFormat* CAcmDriverList::FormatAt(int driver, int format) const
{
    if (driver < 0 || driver >= static_cast<int>(m_drivers.size()))
        return nullptr;
    const std::vector<CAcmFormat>& formats = m_drivers[static_cast<size_t>(driver)].m_formats;
    if (format < 0 || format >= static_cast<int>(formats.size()))
        return nullptr;
    return &formats[static_cast<size_t>(format)];
}

std::string CAcmDriverList::GetDriverName(int driver, uint16_t formatTag) const
{
    if (driver < 0 || driver >= static_cast<int>(m_drivers.size()))
        return {};
    const CAcmDriverInfo& info = m_drivers[static_cast<size_t>(driver)];
    const bool hasTag = formatTag == 0
        || std::any_of(info.m_formats.begin(), info.m_formats.end(),
            [&](const CAcmFormat& f) { return f.m_nFormatTag == formatTag; });
    return hasTag ? info.m_details.longName : std::string();
}

std::string CAcmDriverList::GetDriverFormatName(int driver, int format, uint16_t formatTag) const
{
    const CAcmFormat* pFormat = FormatAt(driver, format);
    if (!pFormat || (formatTag != 0 && pFormat->m_nFormatTag != formatTag))
        return {};
    return pFormat->m_strDescription;
}

int CAcmDriverList::GetDriverFormatBitrate(int driver, int format, uint16_t formatTag) const
{
    const CAcmFormat* pFormat = FormatAt(driver, format);
    platform::WaveFormat wave;
    if (!pFormat || (formatTag != 0 && pFormat->m_nFormatTag != formatTag) || !pFormat->GetWaveFormat(&wave))
        return 0;
    return static_cast<int>(std::min<uint64_t>(uint64_t { wave.avgBytesPerSec } * 8, INT32_MAX));
}

bool CAcmDriverList::Locate(const std::string& codecName, const std::string& formatName, uint16_t formatTag,
    NameMatch match, int* pDriver, int* pFormat) const
{
    for (int driver = 0; driver < static_cast<int>(m_drivers.size()); ++driver) {
        if (!NameMatches(GetDriverName(driver, formatTag), codecName, match))
            continue;
        // Only the first codec with the name is searched.
        const int count = static_cast<int>(m_drivers[static_cast<size_t>(driver)].m_formats.size());
        for (int format = 0; format < count; ++format) {
            if (!NameMatches(GetDriverFormatName(driver, format, formatTag), formatName, match))
                continue;
            platform::WaveFormat wave;
            if (!FormatAt(driver, format)->GetWaveFormat(&wave) || wave.extraSize == 0)
                return false;
            *pDriver = driver;
            *pFormat = format;
            return true;
        }
        return false;
    }
    return false;
}

int CAcmDriverList::FindFormat(const std::string& codecName, const std::string& formatName, uint16_t formatTag,
    int* pRate, int* pBits, int* pChannels, NameMatch match) const
{
    int driver = -1;
    int format = -1;
    platform::WaveFormat wave;
    if (!Locate(codecName, formatName, formatTag, match, &driver, &format)
        || !FormatAt(driver, format)->GetWaveFormat(&wave))
        return 1;
    if (pRate)
        *pRate = static_cast<int>(std::min<uint32_t>(wave.samplesPerSec, INT32_MAX));
    if (pBits)
        *pBits = wave.bitsPerSample;
    if (pChannels)
        *pChannels = wave.channels;
    return 0;
}

int CAcmDriverList::OpenStream(const std::string& formatName, const std::string& codecName, uint16_t formatTag,
    int rate, int channels, int bytesPerSample, NameMatch match)
{
    ReleaseStream();
    if (rate <= 0 || channels <= 0 || channels > 0xFFFF || bytesPerSample <= 0 || bytesPerSample > 4)
        return 1;
    int driver = -1;
    int format = -1;
    if (!Locate(codecName, formatName, formatTag, match, &driver, &format))
        return 1;
    platform::WaveFormat pcm;
    pcm.formatTag = platform::kWaveFormatPcm;
    pcm.channels = static_cast<uint16_t>(channels);
    pcm.samplesPerSec = static_cast<uint32_t>(rate);
    pcm.blockAlign = static_cast<uint16_t>(channels * bytesPerSample);
    pcm.avgBytesPerSec = static_cast<uint32_t>(rate) * pcm.blockAlign;
    pcm.bitsPerSample = static_cast<uint16_t>(8 * bytesPerSample);
    uint8_t source[platform::kWaveFormatHeaderBytes];
    (void)platform::WriteWaveFormat(pcm, source);

    m_hDriver = m_acm.OpenDriver(m_drivers[static_cast<size_t>(driver)].m_nDriverId);
    if (m_hDriver)
        m_hStream = m_acm.OpenStream(m_hDriver, source, FormatAt(driver, format)->m_block);
    if (!m_hStream) {
        ReleaseStream();
        return 1;
    }
    // The destination holds what the codec says one full source block can
    // become; an encoder's output is not bounded by the PCM's size.
    const int sourceBytes = channels * bytesPerSample * kBlockFrames;
    const int destBytes = m_acm.GetStreamSize(m_hStream, sourceBytes);
    if (destBytes <= 0) {
        ReleaseStream();
        return 1;
    }
    m_source.assign(static_cast<size_t>(sourceBytes), 0);
    m_dest.assign(static_cast<size_t>(destBytes), 0);
    m_header = {};
    m_header.pSource = m_source.data();
    m_header.sourceLength = sourceBytes;
    m_header.pDest = m_dest.data();
    m_header.destLength = destBytes;
    if (!m_acm.PrepareHeader(m_hStream, &m_header)) {
        ReleaseStream();
        return 1;
    }
    m_nDriver = driver;
    m_nFormat = format;
    m_nBytesPerSample = bytesPerSample;
    m_nChannels = channels;
    return 0;
}

int CAcmDriverList::Convert(const void* pData, int frames, uint8_t* pOut, int outSize, int* pOutBytes, uint32_t flags)
{
    if (pOutBytes)
        *pOutBytes = 0;
    if (!m_hStream)
        return 0;
    if (frames < 0 || frames > kBlockFrames || (frames > 0 && !pData))
        return 1;
    const int bytes = frames * m_nBytesPerSample * m_nChannels;
    if (bytes > 0)
        std::memcpy(m_source.data(), pData, static_cast<size_t>(bytes));
    m_header.sourceLength = bytes;
    m_header.destLength = static_cast<int>(m_dest.size());
    if (!m_acm.Convert(m_hStream, &m_header, flags))
        return 1;
    const int produced = m_header.destLengthUsed;
    if (produced < 0 || produced > static_cast<int>(m_dest.size()) || (produced > 0 && (!pOut || produced > outSize)))
        return 1;
    if (produced > 0)
        std::memcpy(pOut, m_dest.data(), static_cast<size_t>(produced));
    if (pOutBytes)
        *pOutBytes = produced;
    return 0;
}

int CAcmDriverList::CloseStream(uint8_t* pOut, int outSize, int* pOutBytes)
{
    int result = 0;
    if (pOutBytes)
        *pOutBytes = 0;
    if (pOut && m_hStream)
        result
            = Convert(nullptr, 0, pOut, outSize, pOutBytes, platform::kAcmConvertEnd | platform::kAcmConvertBlockAlign);
    ReleaseStream();
    return result;
}

void CAcmDriverList::ReleaseStream()
{
    if (m_hStream) {
        if (m_header.prepared)
            m_acm.UnprepareHeader(m_hStream, &m_header);
        m_acm.CloseStream(m_hStream);
    }
    if (m_hDriver)
        m_acm.CloseDriver(m_hDriver);
    m_hStream = 0;
    m_hDriver = 0;
    m_header = {};
    m_source = {};
    m_dest = {};
    m_nDriver = -1;
    m_nFormat = -1;
    m_nBytesPerSample = 0;
    m_nChannels = 0;
}

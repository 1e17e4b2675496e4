#pragma once

#include "platform/Acm.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Thread: the test's thread only.
// Codecs a test describes: which drivers there are, what they offer and how
// they fail. A stream records every PCM byte it is fed and answers with a
// quarter as many bytes of 0xAB; a drain adds kDrainBytes bytes of 0xEE.
class FakeAcm final : public platform::Acm {
public:
    static constexpr int kDrainBytes = 16;

    struct Format {
        uint16_t tag = platform::kWaveFormatMpegLayer3;
        std::string description;
        int rate = 44100;
        int channels = 2;
        int kbps = 128;
        int extraBytes = platform::kMpegLayer3ExtraBytes;
    };
    struct Driver {
        platform::AcmDriverId id = 0;
        std::string longName;
        uint32_t support = platform::kAcmDriverSupportCodec;
        bool failOpen = false;
        bool failDetails = false;
        bool noPcm = false;
        bool failFormatDetails = false;
        std::vector<Format> formats;
    };

    // An MP3 format described the way the codec of this system does.
    static Format Mp3(int kbps, int rate, int channels)
    {
        const std::string digits = std::to_string(rate);
        std::string hz = digits.substr(0, digits.size() > 3 ? digits.size() - 3 : 0);
        if (!hz.empty())
            hz += ',';
        hz.append(digits, hz.empty() ? 0 : digits.size() - 3);
        return { platform::kWaveFormatMpegLayer3,
            std::to_string(kbps) + " kBit/s, " + hz + " Hz, " + (channels == 1 ? "Mono" : "Stereo"), rate, channels,
            kbps, platform::kMpegLayer3ExtraBytes };
    }

    std::vector<Driver> drivers;
    bool failStreamOpen = false;
    bool failConvert = false;

    // What the codec was asked to do.
    std::vector<uint8_t> converted;
    platform::WaveFormat lastSource;
    platform::WaveFormat lastDest;
    int openDrivers = 0;
    int openStreams = 0;
    int drains = 0;

    std::vector<platform::AcmDriverEntry> ListDrivers() override
    {
        std::vector<platform::AcmDriverEntry> list;
        for (const Driver& d : drivers)
            list.push_back({ d.id, d.support });
        return list;
    }

    bool GetDriverDetails(platform::AcmDriverId id, platform::AcmDriverDetails* pDetails) override
    {
        const Driver* d = ById(id);
        if (!d || d->failDetails)
            return false;
        pDetails->shortName = d->longName.substr(0, d->longName.find(' '));
        pDetails->longName = d->longName;
        pDetails->support = d->support;
        pDetails->formatTagCount = static_cast<int>(Tags(*d).size());
        return true;
    }

    platform::AcmDriverHandle OpenDriver(platform::AcmDriverId id) override
    {
        const Driver* d = ById(id);
        if (!d || d->failOpen)
            return 0;
        ++openDrivers;
        m_handles[m_nNext] = id;
        return m_nNext++;
    }

    void CloseDriver(platform::AcmDriverHandle driver) override
    {
        if (m_handles.erase(driver))
            --openDrivers;
    }

    bool GetFormatTagDetailsByTag(
        platform::AcmDriverHandle driver, uint16_t tag, platform::AcmFormatTagDetails* pDetails) override
    {
        const Driver* d = ByHandle(driver);
        if (!d)
            return false;
        const std::vector<uint16_t> tags = Tags(*d);
        const auto it = std::find(tags.begin(), tags.end(), tag);
        return it != tags.end() && GetFormatTagDetailsByIndex(driver, static_cast<int>(it - tags.begin()), pDetails);
    }

    bool GetFormatTagDetailsByIndex(
        platform::AcmDriverHandle driver, int index, platform::AcmFormatTagDetails* pDetails) override
    {
        const Driver* d = ByHandle(driver);
        if (!d)
            return false;
        const std::vector<uint16_t> tags = Tags(*d);
        if (index < 0 || index >= static_cast<int>(tags.size()))
            return false;
        const uint16_t tag = tags[static_cast<size_t>(index)];
        int largest = platform::kWaveFormatHeaderBytes;
        int count = 0;
        for (const Format& f : d->formats)
            if (f.tag == tag) {
                largest = std::max(largest, platform::kWaveFormatHeaderBytes + f.extraBytes);
                ++count;
            }
        *pDetails = { index, tag, largest, d->support, count, "tag " + std::to_string(tag) };
        return true;
    }

    bool GetFormatDetails(platform::AcmDriverHandle driver, uint16_t tag, int index, std::span<uint8_t> block,
        platform::AcmFormatDetails* pDetails) override
    {
        const Driver* d = ByHandle(driver);
        if (!d || d->failFormatDetails)
            return false;
        int position = 0;
        for (const Format& f : d->formats) {
            if (f.tag != tag || position++ != index)
                continue;
            const size_t size = static_cast<size_t>(platform::kWaveFormatHeaderBytes + f.extraBytes);
            if (block.size() < size)
                return false;
            platform::WaveFormat wave;
            wave.formatTag = f.tag;
            wave.channels = static_cast<uint16_t>(f.channels);
            wave.samplesPerSec = static_cast<uint32_t>(f.rate);
            wave.avgBytesPerSec = static_cast<uint32_t>(f.kbps * 125);
            wave.blockAlign = 1;
            wave.extraSize = static_cast<uint16_t>(f.extraBytes);
            (void)platform::WriteWaveFormat(wave, block);
            *pDetails = { index, f.tag, d->support, static_cast<int>(size), f.description };
            return true;
        }
        return false;
    }

    platform::AcmStreamHandle OpenStream(
        platform::AcmDriverHandle driver, std::span<const uint8_t> source, std::span<const uint8_t> dest) override
    {
        if (failStreamOpen || !ByHandle(driver) || !platform::ReadWaveFormat(source, &lastSource)
            || !platform::ReadWaveFormat(dest, &lastDest))
            return 0;
        ++openStreams;
        m_streams[m_nNext] = lastSource.blockAlign;
        return m_nNext++;
    }

    int GetStreamSize(platform::AcmStreamHandle stream, int sourceBytes) override
    {
        return m_streams.count(stream) ? sourceBytes / 4 + kDrainBytes : -1;
    }

    bool PrepareHeader(platform::AcmStreamHandle stream, platform::AcmStreamHeader* pHeader) override
    {
        if (!m_streams.count(stream) || pHeader->prepared)
            return false;
        pHeader->prepared = true;
        return true;
    }

    bool Convert(platform::AcmStreamHandle stream, platform::AcmStreamHeader* pHeader, uint32_t flags) override
    {
        if (failConvert || !m_streams.count(stream) || !pHeader->prepared)
            return false;
        converted.insert(converted.end(), pHeader->pSource, pHeader->pSource + pHeader->sourceLength);
        int produced = pHeader->sourceLength / 4;
        std::fill(pHeader->pDest, pHeader->pDest + produced, 0xAB);
        if (flags & platform::kAcmConvertEnd) {
            ++drains;
            std::fill(pHeader->pDest + produced, pHeader->pDest + produced + kDrainBytes, 0xEE);
            produced += kDrainBytes;
        }
        pHeader->sourceLengthUsed = pHeader->sourceLength;
        pHeader->destLengthUsed = produced;
        return true;
    }

    void UnprepareHeader(platform::AcmStreamHandle, platform::AcmStreamHeader* pHeader) override
    {
        pHeader->prepared = false;
    }

    void CloseStream(platform::AcmStreamHandle stream) override
    {
        if (m_streams.erase(stream))
            --openStreams;
    }

private:
    const Driver* ById(platform::AcmDriverId id) const
    {
        for (const Driver& d : drivers)
            if (d.id == id)
                return &d;
        return nullptr;
    }
    const Driver* ByHandle(platform::AcmDriverHandle driver) const
    {
        const auto it = m_handles.find(driver);
        return it == m_handles.end() ? nullptr : ById(it->second);
    }
    // PCM first (unless the driver lacks it), then each other tag in the
    // order its first format appears.
    static std::vector<uint16_t> Tags(const Driver& d)
    {
        std::vector<uint16_t> tags;
        if (!d.noPcm)
            tags.push_back(platform::kWaveFormatPcm);
        for (const Format& f : d.formats)
            if (std::find(tags.begin(), tags.end(), f.tag) == tags.end())
                tags.push_back(f.tag);
        return tags;
    }

    std::map<uint32_t, platform::AcmDriverId> m_handles;
    std::map<uint32_t, int> m_streams;
    uint32_t m_nNext = 1;
};

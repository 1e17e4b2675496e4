#pragma once

#include "platform/Acm.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace platform {

// Thread: any; the tables of open handles are guarded, a stream's encoder
// is used by one thread at a time.
// The MP3 codec of this system: one driver whose formats are MPEG-1, 2 and
// 2.5 layer III at constant bit rates, encoded by LAME (through
// Mp3Encoder). A stream takes 16-bit PCM at the format's own rate and
// channel count; it neither resamples nor mixes channels, like the codecs
// it stands in for.
class AcmLame final : public Acm {
public:
    // None is the machine without any codec: no driver is listed.
    enum class Codecs { Installed, None };

    static constexpr AcmDriverId kDriverId = 1;

    explicit AcmLame(Codecs codecs);
    ~AcmLame() override;

    std::vector<AcmDriverEntry> ListDrivers() override;
    bool GetDriverDetails(AcmDriverId id, AcmDriverDetails* pDetails) override;
    AcmDriverHandle OpenDriver(AcmDriverId id) override;
    void CloseDriver(AcmDriverHandle driver) override;
    bool GetFormatTagDetailsByTag(AcmDriverHandle driver, uint16_t formatTag, AcmFormatTagDetails* pDetails) override;
    bool GetFormatTagDetailsByIndex(AcmDriverHandle driver, int index, AcmFormatTagDetails* pDetails) override;
    bool GetFormatDetails(AcmDriverHandle driver, uint16_t formatTag, int index, std::span<uint8_t> block,
        AcmFormatDetails* pDetails) override;
    AcmStreamHandle OpenStream(
        AcmDriverHandle driver, std::span<const uint8_t> source, std::span<const uint8_t> dest) override;
    int GetStreamSize(AcmStreamHandle stream, int sourceBytes) override;
    bool PrepareHeader(AcmStreamHandle stream, AcmStreamHeader* pHeader) override;
    bool Convert(AcmStreamHandle stream, AcmStreamHeader* pHeader, uint32_t flags) override;
    void UnprepareHeader(AcmStreamHandle stream, AcmStreamHeader* pHeader) override;
    void CloseStream(AcmStreamHandle stream) override;

private:
    struct Format {
        int rate;
        int channels;
        int kbps;
    };
    struct Stream;

    [[nodiscard]] bool IsOpenDriver(AcmDriverHandle driver);
    [[nodiscard]] Stream* FindStream(AcmStreamHandle stream);
    [[nodiscard]] const Format* FindFormat(const WaveFormat& format) const;

    const std::vector<Format> m_formats;

    std::mutex m_lock; // guards: m_drivers, m_streams, m_nNextHandle
    std::set<AcmDriverHandle> m_drivers;
    std::map<AcmStreamHandle, std::unique_ptr<Stream>> m_streams;
    uint32_t m_nNextHandle = 1;
};

} // namespace platform

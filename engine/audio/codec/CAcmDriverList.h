#pragma once

#include "engine/audio/codec/CAcmDriverInfo.h"
#include "engine/audio/codec/CCodecIndex.h"
#include "platform/Acm.h"

#include <string>
#include <vector>

// Thread: one thread at a time (its owner's). The lists change only in
// Enumerate; the stream calls touch only the conversion state.
// The installed codecs with all their formats, and one conversion stream
// from PCM to a format chosen by codec and format name.
class CAcmDriverList {
public:
    // How a codec or format name is compared with the shown one. Whole is
    // the rule for names taken from the lists; Part is for a caller that
    // means a fragment, such as a codec's first word.
    enum class NameMatch { Whole, Part };

    // The frames of PCM one conversion takes at most.
    static constexpr int kBlockFrames = 2304;

    explicit CAcmDriverList(platform::Acm& acm);
    ~CAcmDriverList();
    CAcmDriverList(const CAcmDriverList&) = delete;
    CAcmDriverList& operator=(const CAcmDriverList&) = delete;

    // Empties the list and lists the installed codecs again. A codec that
    // cannot be opened or described ends the listing with what came before.
    void Enumerate();
    // Enumerates, then returns, in driver order, each codec with formats of
    // the tag and the positions of those formats.
    [[nodiscard]] std::vector<CCodecIndex> BuildCodecIndex(uint16_t formatTag);

    [[nodiscard]] const std::vector<CAcmDriverInfo>& GetDrivers() const { return m_drivers; }
    // The codec's long name when it has a format of the tag (0: any), else "".
    [[nodiscard]] std::string GetDriverName(int driver, uint16_t formatTag) const;
    // The format's description when its tag is formatTag (0: any), else "".
    [[nodiscard]] std::string GetDriverFormatName(int driver, int format, uint16_t formatTag) const;
    // Average bytes per second x 8; 0 for another tag or a missing block.
    [[nodiscard]] int GetDriverFormatBitrate(int driver, int format, uint16_t formatTag) const;

    // 0 when found, 1 when not. Only the first codec whose name matches is
    // searched, and a format counts only when its block carries extra bytes.
    // Stores the format's rate, bits per sample and channels through the
    // pointers that are not null.
    [[nodiscard]] int FindFormat(const std::string& codecName, const std::string& formatName, uint16_t formatTag,
        int* pRate, int* pBits, int* pChannels, NameMatch match = NameMatch::Whole) const;

    // Opens the conversion from PCM (rate, channels, bytesPerSample) to the
    // named format; 0 when open, 1 on failure. An open stream is closed
    // first, without draining.
    [[nodiscard]] int OpenStream(const std::string& formatName, const std::string& codecName, uint16_t formatTag,
        int rate, int channels, int bytesPerSample, NameMatch match = NameMatch::Whole);
    [[nodiscard]] bool IsStreamOpen() const { return m_hStream != 0; }
    // Encoded bytes one Convert or the drain may produce at most; 0 while
    // no stream is open.
    [[nodiscard]] int GetMaxOutputBytes() const { return static_cast<int>(m_dest.size()); }
    // Converts frames of PCM (at most kBlockFrames) and copies the output
    // to pOut; 0 on success (also without an open stream, with nothing
    // produced), 1 on a conversion error or when the output does not fit.
    [[nodiscard]] int Convert(
        const void* pData, int frames, uint8_t* pOut, int outSize, int* pOutBytes, uint32_t flags);
    // With pOut, drains the codec into it first; then closes the stream and
    // the driver and frees the buffers. 0 on success, 1 when the drain
    // failed (the stream is closed all the same).
    int CloseStream(uint8_t* pOut, int outSize, int* pOutBytes);

private:
    [[nodiscard]] bool AddDriver(const platform::AcmDriverEntry& entry);
    [[nodiscard]] bool ReadFormats(
        platform::AcmDriverHandle driver, const platform::AcmFormatTagDetails& tag, CAcmDriverInfo* pInfo);
    [[nodiscard]] const CAcmFormat* FormatAt(int driver, int format) const;
    // The matching format's positions, under FindFormat's rules.
    [[nodiscard]] bool Locate(const std::string& codecName, const std::string& formatName, uint16_t formatTag,
        NameMatch match, int* pDriver, int* pFormat) const;
    void ReleaseStream();

    platform::Acm& m_acm;
    std::vector<CAcmDriverInfo> m_drivers;

    // Conversion state.
    int m_nDriver = -1;
    int m_nFormat = -1;
    platform::AcmDriverHandle m_hDriver = 0;
    platform::AcmStreamHandle m_hStream = 0;
    platform::AcmStreamHeader m_header;
    std::vector<uint8_t> m_source;
    std::vector<uint8_t> m_dest;
    int m_nBytesPerSample = 0;
    int m_nChannels = 0;
};

#pragma once

#include "engine/audio/codec/COutputMP3.h"
#include "engine/audio/road/CAWriter.h"
#include "platform/Acm.h"

#include <memory>
#include <string>

// Thread: Open/Write/Close on the pump thread; SetCodec and
// SetOutputCallback only while the pump is stopped; the codec lists and
// GetElapsedMs from any thread.
// The writer that encodes with an installed MP3 codec chosen by its
// positions in the codec index (the settings' CodecN - 1 and FormatN). With
// an output callback the encoded bytes go to the owner, otherwise to an .mp3
// file. Encoding runs inside Write, on the caller's thread.
class CAAcmMp3Writer final : public CAWriter {
public:
    // Lists the codecs once, for the life of the writer.
    explicit CAAcmMp3Writer(platform::Acm& acm = platform::Acm::System());
    ~CAAcmMp3Writer() override;

    // The codec format to encode with. 1 when both positions are in the
    // codec index; 0 otherwise, and the writer is left without a selection
    // (Open fails), so a caller holding a stored choice that no longer
    // exists can tell and fall back to the LAME writer.
    int SetCodec(int codec, int format);
    [[nodiscard]] int GetCodec() const { return m_nCodec; }
    [[nodiscard]] int GetFormat() const { return m_nFormat; }

    // Reports the codec format's rate and channel count back through the
    // pointers, so the pump delivers exactly that.
    int Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags) override;
    void Close() override;
    int Write(const char* pData, int nBytes) override;
    uint64_t GetElapsedMs() override;
    // 0 while the encoder is open (the old callback stays).
    int SetOutputCallback(CAOutputCallback pfn, void* pUser) override;

    [[nodiscard]] const std::string& GetTarget() const { return m_strTarget; }

    // The codec index for the settings page. Counts are -1 without an
    // output object; names are empty out of range.
    [[nodiscard]] int GetCodecCount() const;
    [[nodiscard]] std::string GetCodecName(int codec) const;
    [[nodiscard]] int GetFormatCount(int codec) const;
    [[nodiscard]] std::string GetFormatName(int codec, int format) const;
    // bit/s (the controller divides by 1000 for "icy-br"); 0 out of range.
    [[nodiscard]] int GetFormatBitrate(int codec, int format) const;
    [[nodiscard]] bool GetFormatInfo(int codec, int format, int* pRate, int* pBits, int* pChannels) const;

private:
    std::unique_ptr<COutputMP3> m_pOutput;
    int m_nCodec = -1;
    int m_nFormat = -1;
};

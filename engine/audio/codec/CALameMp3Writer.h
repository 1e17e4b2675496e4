#pragma once

#include "engine/audio/road/CAWriter.h"
#include "platform/Mp3Encoder.h"

#include <atomic>
#include <cstdio>
#include <memory>

// Thread: Open/Write/Close on the pump thread; GetElapsedMs and NewPart may
// come from another thread (they share m_lock with Write); SetBitrate,
// SetFormatOverride and SetOutputCallback only while the pump is stopped.
// The MP3 writer: encodes the broadcast at a constant bit rate. With an
// output callback the encoded bytes go to the owner; without one it writes
// an .mp3 file of its own, which NewPart splits into numbered parts.
class CALameMp3Writer final : public CAWriter {
public:
    CALameMp3Writer();
    ~CALameMp3Writer() override;

    // Constant bit rate, clamped to 8 ... 320 kbit/s; snapped at Open.
    void SetBitrate(int kbps);
    // A positive rate / channel count replaces the offered one at Open.
    void SetFormatOverride(int rate, int channels);

    int Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags) override;
    void Close() override;
    int Write(const char* pData, int nBytes) override;
    int GetWritableBytes() override;
    uint64_t GetElapsedMs() override;
    int SetPaused(bool paused) override;
    int SetOutputCallback(CAOutputCallback pfn, void* pUser) override;
    int NewPart() override;

    [[nodiscard]] int GetBitrate() const { return m_nBitrate; }
    [[nodiscard]] int GetSamplesPerFrame() const { return m_nSamplesPerFrame; }
    [[nodiscard]] int GetPartCount() const { return m_nPartCount; }
    [[nodiscard]] const std::string& GetPartTitle() const { return m_strPartTitle; }
    [[nodiscard]] const std::string& GetTarget() const { return m_strTarget; }
    [[nodiscard]] bool IsEncoding() const { return m_bEncoding; }

    // The smallest MPEG rate not below `rate` (48000 above 44100).
    [[nodiscard]] static int SnapRate(int rate);
    // The nearest Layer III bit rate of the MPEG version `rate` belongs to;
    // of two equally near the lower.
    [[nodiscard]] static int SnapBitrate(int kbps, int rate);

private:
    struct FileCloser {
        void operator()(std::FILE* pFile) const { std::fclose(pFile); }
    };

    [[nodiscard]] bool ConfigureLocked(const std::string& id3Title);
    void FinishLocked();
    void CloseLocked();
    [[nodiscard]] bool EmitLocked(const unsigned char* pData, int nBytes);
    [[nodiscard]] bool OpenPartFileLocked();

    // m_lock (from CAWriter) guards: m_pEncoder, m_pFile, m_bEncoding,
    // m_nSamplesPerFrame, m_nPartCount, m_strPartTitle, the byte counter
    // and the tags.
    std::unique_ptr<platform::Mp3Encoder> m_pEncoder;
    std::unique_ptr<std::FILE, FileCloser> m_pFile;
    bool m_bEncoding = false;
    int m_nBitrate = 128;
    int m_nRateOverride = -1;
    int m_nChannelOverride = -1;
    int m_nSamplesPerFrame = 1152;
    std::atomic<bool> m_bPaused { false };
    int m_nPartCount = 0;
    std::string m_strPartTitle;
};

#pragma once

#include "engine/audio/codec/CAcmDriverList.h"
#include "engine/audio/codec/CCodecIndex.h"
#include "engine/audio/road/CASampleConverter.h"
#include "engine/audio/road/CAWriter.h"
#include "platform/Acm.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Thread: Open*, Write and Close from one thread at a time (the pump's while
// it runs); the codec lists never change after construction, and
// GetElapsedMs may be read from any thread.
// Encodes PCM with an installed codec: brings the input to the codec
// format's rate (and a mono input to a stereo format's two channels), feeds
// it through the conversion stream in blocks of 2304 frames and hands the
// encoded bytes to an output callback or writes them to a file.
class COutputACM {
public:
    static constexpr int kBlockFrames = CAcmDriverList::kBlockFrames;

    // Lists the codecs and indexes those offering formats of the tag.
    COutputACM(platform::Acm& acm, uint16_t formatTag);
    virtual ~COutputACM();
    COutputACM(const COutputACM&) = delete;
    COutputACM& operator=(const COutputACM&) = delete;

    // Drains the codec (into the file; a callback gets nothing more) and
    // returns to the closed state.
    virtual void Close();

    // 1 when open. Both close first; both fail on positions outside the
    // codec index or non-positive format values.
    [[nodiscard]] int OpenFile(
        const std::string& path, int codec, int format, int rate, int bytesPerSample, int channels);
    [[nodiscard]] int OpenCallback(
        int codec, int format, CAOutputCallback pfn, void* pUser, int rate, int bytesPerSample, int channels);
    // The input bytes taken (whole frames), or -1 when closed or when the
    // codec or the output failed.
    [[nodiscard]] int Write(const char* pData, int nBytes);

    [[nodiscard]] bool IsOpen() const { return m_bOpen; }
    // Duration of the sound fed to the codec; 0 while closed.
    [[nodiscard]] uint64_t GetElapsedMs() const;
    [[nodiscard]] uint64_t GetFramesIn() const { return m_nFramesIn.load(); }
    [[nodiscard]] uint64_t GetBytesOut() const { return m_nBytesOut; }
    [[nodiscard]] int GetStreamRate() const { return m_nStreamRate.load(); }
    [[nodiscard]] int GetStreamBits() const { return m_nStreamBits; }
    [[nodiscard]] int GetStreamChannels() const { return m_nStreamChannels; }

    // The codec index, for the settings page and the writer.
    [[nodiscard]] int GetCodecCount() const { return static_cast<int>(m_codecs.size()); }
    [[nodiscard]] std::string GetCodecName(int codec) const;
    // 0 for a codec outside the index.
    [[nodiscard]] int GetFormatCount(int codec) const;
    [[nodiscard]] std::string GetFormatName(int codec, int format) const;
    // bit/s; 0 outside the index.
    [[nodiscard]] int GetFormatBitrate(int codec, int format) const;
    // False outside the index; fills the non-null pointers otherwise.
    [[nodiscard]] bool GetFormatInfo(int codec, int format, int* pRate, int* pBits, int* pChannels) const;

protected:
    virtual bool AllocBuffers();
    virtual void FreeBuffers();

private:
    struct FileCloser {
        void operator()(std::FILE* pFile) const { std::fclose(pFile); }
    };

    [[nodiscard]] bool Open(int codec, int format, int rate, int bytesPerSample, int channels);
    // Positions in the driver list of a codec index entry; false outside it.
    [[nodiscard]] bool Resolve(int codec, int format, int* pDriver, int* pFormat) const;
    [[nodiscard]] bool Emit(const uint8_t* pData, int nBytes);

    const uint16_t m_nFormatTag;
    CAcmDriverList m_drivers;
    std::vector<CCodecIndex> m_codecs;

    std::unique_ptr<std::FILE, FileCloser> m_pFile;
    std::string m_strPath;
    CAOutputCallback m_pfnOutput = nullptr;
    void* m_pOutputUser = nullptr;

    int m_nCodec = -1;
    int m_nFormat = -1;
    int m_nInRate = 0;
    int m_nInBits = 0;
    int m_nInChannels = 0;
    std::atomic<int> m_nStreamRate { 0 };
    int m_nStreamBits = 0;
    int m_nStreamChannels = 0;
    // Brings each chunk to the stream's width, channels and rate.
    CASampleConverter m_converter;

    std::vector<uint8_t> m_encoded;

    std::atomic<uint64_t> m_nFramesIn { 0 };
    uint64_t m_nBytesOut = 0;
    bool m_bOpen = false;
};

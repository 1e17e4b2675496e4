#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

struct Mp3EncoderHandle;

enum class Mp3Tag { Title, Artist, Album, Year, Comment, Track, Genre };

// Thread: one thread at a time; the owner serialises.
// One MPEG-1/2/2.5 Layer III encoder (LAME). The call order is the
// library's: Configure and the tag calls, then InitParams, then encoding.
class Mp3Encoder {
public:
    // Enough for one call with up to 1152 frames; LAME needs
    // 1.25 * frames + 7200 at worst.
    static constexpr int kMinOutputBytes = 16384;

    // Null when the library cannot make an encoder.
    [[nodiscard]] static std::unique_ptr<Mp3Encoder> Create();
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // Constant bit rate; the input is already at `rate` (no resampling);
    // mono for one channel, stereo otherwise; no VBR header frame. False
    // when the library refuses a value (it would otherwise keep its default
    // and misread the input).
    [[nodiscard]] bool Configure(int rate, int channels, int kbps);
    // ID3 version 1 and, with AddId3v2, version 2 tags. SetTag is false when
    // the library rejects the text.
    void InitTags();
    bool SetTag(Mp3Tag tag, const std::string& text);
    void AddId3v2();
    // Decodes the output as it goes to find the peak sample.
    void SetDecodeOnTheFly(bool on);
    [[nodiscard]] bool InitParams();
    // True for 32/44.1/48 kHz (1152 samples per frame), false for MPEG-2/2.5.
    [[nodiscard]] bool IsMpeg1() const;

    // Each returns the bytes written to pOut (possibly 0), negative on error.
    int EncodeMono(const int16_t* pSamples, int frames, unsigned char* pOut, int outSize);
    int EncodeInterleaved(const int16_t* pSamples, int frames, unsigned char* pOut, int outSize);
    int Flush(unsigned char* pOut, int outSize);
    // Writes the library's header frame into a file written from its start.
    void WriteHeaderFrame(std::FILE* pFile);

private:
    explicit Mp3Encoder(std::unique_ptr<Mp3EncoderHandle> handle);

    std::unique_ptr<Mp3EncoderHandle> m_pHandle;
};

} // namespace platform

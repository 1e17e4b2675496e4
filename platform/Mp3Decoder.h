#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

struct Mp3DecoderHandle;

// Thread: one thread at a time; the owner serialises.
// Decodes an MP3 file to 16-bit interleaved PCM at the file's own rate and
// channel count (libmpg123).
class Mp3Decoder {
public:
    // Null when the file cannot be opened or holds no MP3 frame.
    [[nodiscard]] static std::unique_ptr<Mp3Decoder> Open(const std::string& path);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    [[nodiscard]] int Rate() const { return m_nRate; }
    [[nodiscard]] int Channels() const { return m_nChannels; }
    // Up to maxFrames frames into pSamples; 0 at the end of the sound (also
    // when the format changes midway), -1 on an error.
    int Read(int16_t* pSamples, int maxFrames);

private:
    Mp3Decoder(std::unique_ptr<Mp3DecoderHandle> handle, int rate, int channels);

    std::unique_ptr<Mp3DecoderHandle> m_pHandle;
    int m_nRate;
    int m_nChannels;
};

} // namespace platform

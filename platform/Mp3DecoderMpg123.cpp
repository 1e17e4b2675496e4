#include "platform/Mp3Decoder.h"

#include <mpg123.h>

#include <mutex>

namespace platform {

struct Mp3DecoderHandle {
    mpg123_handle* pHandle = nullptr;
    ~Mp3DecoderHandle()
    {
        if (pHandle) {
            mpg123_close(pHandle);
            mpg123_delete(pHandle);
        }
    }
};

std::unique_ptr<Mp3Decoder> Mp3Decoder::Open(const std::string& path)
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });

    auto handle = std::make_unique<Mp3DecoderHandle>();
    int error = MPG123_OK;
    handle->pHandle = mpg123_new(nullptr, &error);
    if (!handle->pHandle)
        return nullptr;
    // Failures are answered by return values; the library keeps quiet.
    mpg123_param(handle->pHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Every rate, mono or stereo, always 16-bit: what the playback layer takes.
    mpg123_format_none(handle->pHandle);
    const long* pRates = nullptr;
    size_t nRates = 0;
    mpg123_rates(&pRates, &nRates);
    for (size_t i = 0; i < nRates; ++i)
        mpg123_format(handle->pHandle, pRates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(handle->pHandle, path.c_str()) != MPG123_OK)
        return nullptr;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle->pHandle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels < 1
        || channels > 2 || encoding != MPG123_ENC_SIGNED_16)
        return nullptr;
    return std::unique_ptr<Mp3Decoder>(new Mp3Decoder(std::move(handle), int(rate), channels));
}

Mp3Decoder::Mp3Decoder(std::unique_ptr<Mp3DecoderHandle> handle, int rate, int channels)
    : m_pHandle(std::move(handle))
    , m_nRate(rate)
    , m_nChannels(channels)
{
}

Mp3Decoder::~Mp3Decoder() = default;

int Mp3Decoder::Read(int16_t* pSamples, int maxFrames)
{
    if (maxFrames <= 0)
        return 0;
    const size_t bytes = size_t(maxFrames) * size_t(m_nChannels) * sizeof(int16_t);
    size_t done = 0;
    const int result = mpg123_read(m_pHandle->pHandle, reinterpret_cast<unsigned char*>(pSamples), bytes, &done);
    const int frames = int(done / (size_t(m_nChannels) * sizeof(int16_t)));
    // A format change midway ends the sound: the stream was opened for the first one.
    if (result == MPG123_OK || result == MPG123_DONE || result == MPG123_NEW_FORMAT || result == MPG123_NEED_MORE)
        return frames;
    return frames > 0 ? frames : -1;
}

} // namespace platform

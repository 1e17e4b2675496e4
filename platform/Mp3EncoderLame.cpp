// The only file that includes LAME: the MP3 encoder layer.
#include "platform/Mp3Encoder.h"

#include <lame/lame.h>

namespace platform {

struct Mp3EncoderHandle {
    lame_t lame = nullptr;
};

std::unique_ptr<Mp3Encoder> Mp3Encoder::Create()
{
    lame_t lame = lame_init();
    if (!lame)
        return nullptr;
    auto handle = std::make_unique<Mp3EncoderHandle>();
    handle->lame = lame;
    return std::unique_ptr<Mp3Encoder>(new Mp3Encoder(std::move(handle)));
}

Mp3Encoder::Mp3Encoder(std::unique_ptr<Mp3EncoderHandle> handle)
    : m_pHandle(std::move(handle))
{
}

Mp3Encoder::~Mp3Encoder()
{
    lame_close(m_pHandle->lame);
}

bool Mp3Encoder::Configure(int rate, int channels, int kbps)
{
    lame_t lame = m_pHandle->lame;
    int refused = 0;
    refused |= lame_set_in_samplerate(lame, rate);
    refused |= lame_set_out_samplerate(lame, rate);
    refused |= lame_set_num_channels(lame, channels);
    refused |= lame_set_mode(lame, channels == 1 ? MONO : STEREO);
    refused |= lame_set_brate(lame, kbps);
    refused |= lame_set_VBR(lame, vbr_off);
    refused |= lame_set_bWriteVbrTag(lame, 0);
    return refused == 0;
}

void Mp3Encoder::InitTags()
{
    id3tag_init(m_pHandle->lame);
}

bool Mp3Encoder::SetTag(Mp3Tag tag, const std::string& text)
{
    lame_t lame = m_pHandle->lame;
    const char* value = text.c_str();
    switch (tag) {
    case Mp3Tag::Title:
        id3tag_set_title(lame, value);
        return true;
    case Mp3Tag::Artist:
        id3tag_set_artist(lame, value);
        return true;
    case Mp3Tag::Album:
        id3tag_set_album(lame, value);
        return true;
    case Mp3Tag::Year:
        id3tag_set_year(lame, value);
        return true;
    case Mp3Tag::Comment:
        id3tag_set_comment(lame, value);
        return true;
    case Mp3Tag::Track:
        return id3tag_set_track(lame, value) == 0;
    case Mp3Tag::Genre:
        return id3tag_set_genre(lame, value) == 0;
    }
    return false;
}

void Mp3Encoder::AddId3v2()
{
    id3tag_add_v2(m_pHandle->lame);
}

void Mp3Encoder::SetDecodeOnTheFly(bool on)
{
    lame_set_decode_on_the_fly(m_pHandle->lame, on ? 1 : 0);
}

bool Mp3Encoder::InitParams()
{
    return lame_init_params(m_pHandle->lame) >= 0;
}

bool Mp3Encoder::IsMpeg1() const
{
    return lame_get_version(m_pHandle->lame) == 1;
}

int Mp3Encoder::EncodeMono(const int16_t* pSamples, int frames, unsigned char* pOut, int outSize)
{
    return lame_encode_buffer(m_pHandle->lame, pSamples, pSamples, frames, pOut, outSize);
}

int Mp3Encoder::EncodeInterleaved(const int16_t* pSamples, int frames, unsigned char* pOut, int outSize)
{
    // LAME takes the samples as non-const but only reads them.
    return lame_encode_buffer_interleaved(m_pHandle->lame, const_cast<short*>(pSamples), frames, pOut, outSize);
}

int Mp3Encoder::Flush(unsigned char* pOut, int outSize)
{
    return lame_encode_flush(m_pHandle->lame, pOut, outSize);
}

void Mp3Encoder::WriteHeaderFrame(std::FILE* pFile)
{
    lame_mp3_tags_fid(m_pHandle->lame, pFile);
}

} // namespace platform

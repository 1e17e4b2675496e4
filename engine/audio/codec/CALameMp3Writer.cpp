#include "engine/audio/codec/CALameMp3Writer.h"

#include "foundation/Paths.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr std::array<int, 14> kMpeg1Bitrates = { 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 };
constexpr std::array<int, 14> kMpeg2Bitrates = { 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 };
constexpr int kMaxFrameSamples = 1152;
constexpr int kPartNameAttempts = 4;

std::string CurrentLocalYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return std::to_string(local.tm_year + 1900);
}

} // namespace

CALameMp3Writer::CALameMp3Writer()
    : CAWriter("고음질 코덱")
{
}

CALameMp3Writer::~CALameMp3Writer()
{
    Close();
}

int CALameMp3Writer::SnapRate(int rate)
{
    for (const int mpegRate : { 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100 })
        if (rate <= mpegRate)
            return mpegRate;
    return 48000;
}

int CALameMp3Writer::SnapBitrate(int kbps, int rate)
{
    const bool mpeg1 = SnapRate(rate) >= 32000;
    const auto& table = mpeg1 ? kMpeg1Bitrates : kMpeg2Bitrates;
    int best = table[0];
    for (const int candidate : table)
        if (std::abs(candidate - kbps) < std::abs(best - kbps))
            best = candidate;
    return best;
}

void CALameMp3Writer::SetBitrate(int kbps)
{
    m_nBitrate = std::clamp(kbps, 8, 320);
}

void CALameMp3Writer::SetFormatOverride(int rate, int channels)
{
    m_nRateOverride = rate;
    m_nChannelOverride = channels;
}

int CALameMp3Writer::Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags)
{
    if (!m_pfnOutput && target.empty())
        return 0;
    if (!pRate || !pBits || !pChannels || *pRate <= 0 || *pBits <= 0 || *pChannels <= 0)
        return 0;
    const int rate = m_nRateOverride > 0 ? m_nRateOverride : *pRate;
    const int channels = m_nChannelOverride >= 1 ? m_nChannelOverride : *pChannels;
    // MP3 holds one or two channels, and Write's aligned copy of a frame is
    // sized for two: anything wider is refused here, not left to the encoder.
    if (channels > 2)
        return 0;

    Close();
    std::lock_guard lock(m_lock);
    m_pEncoder = platform::Mp3Encoder::Create();
    if (!m_pEncoder)
        return 0;
    std::string name = target;
    if (!platform::EqualsNoCase(GetFileExtension(name.c_str()), ".mp3"))
        name += ".mp3";
    if (!m_pfnOutput) {
        m_pFile.reset(std::fopen(name.c_str(), "wb+"));
        if (!m_pFile) {
            m_pEncoder.reset();
            return 0;
        }
    }
    m_strTarget = name;
    m_nByteCount = 0;
    m_nRate = SnapRate(rate);
    m_nBits = 16;
    m_nChannels = channels;
    SetTags(tags);
    if (!ConfigureLocked(m_tags.title)) {
        m_pEncoder.reset();
        m_pFile.reset();
        m_nRate = m_nBits = m_nChannels = -1;
        return 0;
    }
    *pRate = m_nRate;
    *pBits = m_nBits;
    *pChannels = m_nChannels;
    m_bEncoding = true;
    return 1;
}

bool CALameMp3Writer::ConfigureLocked(const std::string& id3Title)
{
    m_nBitrate = SnapBitrate(m_nBitrate, m_nRate);
    platform::Mp3Encoder& encoder = *m_pEncoder;
    encoder.InitTags();
    if (!encoder.Configure(m_nRate, m_nChannels, m_nBitrate))
        return false;
    const std::pair<platform::Mp3Tag, const std::string*> tags[] = {
        { platform::Mp3Tag::Title, &id3Title },
        { platform::Mp3Tag::Artist, &m_tags.artist },
        { platform::Mp3Tag::Album, &m_tags.album },
        { platform::Mp3Tag::Year, &m_tags.year },
        { platform::Mp3Tag::Comment, &m_tags.comment },
        { platform::Mp3Tag::Track, &m_tags.track },
    };
    for (const auto& [tag, text] : tags)
        if (!text->empty())
            (void)encoder.SetTag(tag, *text);
    if (!m_tags.genre.empty() && !encoder.SetTag(platform::Mp3Tag::Genre, m_tags.genre))
        (void)encoder.SetTag(platform::Mp3Tag::Genre, "Other");
    encoder.AddId3v2();
    encoder.SetDecodeOnTheFly(true);
    if (!encoder.InitParams())
        return false;
    m_nSamplesPerFrame = encoder.IsMpeg1() ? 1152 : 576;
    return true;
}

void CALameMp3Writer::Close()
{
    std::lock_guard lock(m_lock);
    CloseLocked();
}

void CALameMp3Writer::CloseLocked()
{
    if (m_pEncoder) {
        FinishLocked();
        m_bPaused = false;
        m_nPartCount = 0;
    }
    m_bEncoding = false;
}

void CALameMp3Writer::FinishLocked()
{
    if (m_bEncoding) {
        unsigned char out[platform::Mp3Encoder::kMinOutputBytes];
        const int flushed = m_pEncoder->Flush(out, sizeof out);
        if (flushed > 0)
            (void)EmitLocked(out, flushed);
        if (m_pFile)
            m_pEncoder->WriteHeaderFrame(m_pFile.get());
    }
    m_pEncoder.reset();
    m_pFile.reset();
}

int CALameMp3Writer::Write(const char* pData, int nBytes)
{
    std::lock_guard lock(m_lock);
    if (!m_pEncoder || !m_bEncoding || !pData || nBytes <= 0)
        return 0;
    m_nByteCount += static_cast<uint64_t>(nBytes);
    const int frameBytes = 2 * m_nChannels;
    const int frames = nBytes / frameBytes;
    // The caller's bytes need not be aligned for int16_t; one frame's worth
    // is copied into an aligned buffer on the way.
    int16_t pcm[kMaxFrameSamples * 2];
    unsigned char out[platform::Mp3Encoder::kMinOutputBytes];
    for (int done = 0; done < frames;) {
        const int piece = std::min(m_nSamplesPerFrame, frames - done);
        std::memcpy(pcm, pData + static_cast<ptrdiff_t>(done) * frameBytes, static_cast<size_t>(piece) * frameBytes);
        const int encoded = m_nChannels == 1 ? m_pEncoder->EncodeMono(pcm, piece, out, sizeof out)
                                             : m_pEncoder->EncodeInterleaved(pcm, piece, out, sizeof out);
        if (encoded < 0)
            return 0;
        if (encoded > 0 && !EmitLocked(out, encoded))
            return 0;
        done += piece;
    }
    return nBytes;
}

bool CALameMp3Writer::EmitLocked(const unsigned char* pData, int nBytes)
{
    if (m_pfnOutput) {
        m_pfnOutput(m_pOutputUser, reinterpret_cast<const char*>(pData), nBytes);
        return true;
    }
    if (m_pFile)
        return std::fwrite(pData, 1, static_cast<size_t>(nBytes), m_pFile.get()) == static_cast<size_t>(nBytes);
    return true;
}

int CALameMp3Writer::GetWritableBytes()
{
    return m_bPaused ? 0 : CAWriter::GetWritableBytes();
}

uint64_t CALameMp3Writer::GetElapsedMs()
{
    std::lock_guard lock(m_lock);
    return m_pEncoder ? CAWriter::GetElapsedMs() : 0;
}

int CALameMp3Writer::SetPaused(bool paused)
{
    m_bPaused = paused;
    return 1;
}

int CALameMp3Writer::SetOutputCallback(CAOutputCallback pfn, void* pUser)
{
    m_pfnOutput = pfn;
    m_pOutputUser = pUser;
    return 1;
}

int CALameMp3Writer::NewPart()
{
    std::lock_guard lock(m_lock);
    if (m_pfnOutput || !m_pFile)
        return 0;
    m_tags.year = CurrentLocalYear();
    FinishLocked();
    m_pEncoder = platform::Mp3Encoder::Create();
    if (m_pEncoder) {
        ++m_nPartCount;
        m_tags.track = std::to_string(m_nPartCount + 1);
        m_strPartTitle
            = m_tags.title.empty() ? std::to_string(m_nPartCount) : m_tags.title + "-" + std::to_string(m_nPartCount);
        if (OpenPartFileLocked() && ConfigureLocked(m_strPartTitle))
            return 1;
    }
    // Without a file or an encoder nothing more can be recorded; leaving the
    // writer closed makes the next Write fail instead of dropping the sound.
    m_pEncoder.reset();
    m_pFile.reset();
    m_bEncoding = false;
    return 0;
}

bool CALameMp3Writer::OpenPartFileLocked()
{
    std::string base = m_strTarget.substr(0, m_strTarget.size() >= 4 ? m_strTarget.size() - 4 : 0);
    for (int attempt = 0; attempt < kPartNameAttempts; ++attempt) {
        base.append("-").append(std::to_string(m_nPartCount));
        m_pFile.reset(std::fopen((base + ".mp3").c_str(), "wb+"));
        if (m_pFile)
            return true;
    }
    return false;
}

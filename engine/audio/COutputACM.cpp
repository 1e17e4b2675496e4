#include "engine/audio/COutputACM.h"

#include <algorithm>
#include <cstring>

namespace {

// MP3 codecs take 16-bit PCM only, so every input is brought to 16 bits.
constexpr int kStreamBits = 16;

int16_t Sample16(const uint8_t* p)
{
    int16_t s = 0;
    std::memcpy(&s, p, sizeof s);
    return s;
}

void PutSample16(uint8_t* p, int16_t s)
{
    std::memcpy(p, &s, sizeof s);
}

}  // namespace

COutputACM::COutputACM(platform::Acm& acm, uint16_t formatTag)
    : m_nFormatTag(formatTag)
    , m_drivers(acm)
{
    m_codecs = m_drivers.BuildCodecIndex(m_nFormatTag);
}

COutputACM::~COutputACM()
{
    COutputACM::Close();
}

bool COutputACM::Resolve(int codec, int format, int* pDriver, int* pFormat) const
{
    if (codec < 0 || codec >= GetCodecCount())
        return false;
    const CCodecIndex& entry = m_codecs[static_cast<size_t>(codec)];
    if (format < 0 || format >= static_cast<int>(entry.m_formats.size()))
        return false;
    *pDriver = entry.m_nDriver;
    *pFormat = entry.m_formats[static_cast<size_t>(format)];
    return true;
}

std::string COutputACM::GetCodecName(int codec) const
{
    if (codec < 0 || codec >= GetCodecCount())
        return {};
    return m_drivers.GetDriverName(m_codecs[static_cast<size_t>(codec)].m_nDriver, m_nFormatTag);
}

int COutputACM::GetFormatCount(int codec) const
{
    if (codec < 0 || codec >= GetCodecCount())
        return 0;
    return static_cast<int>(m_codecs[static_cast<size_t>(codec)].m_formats.size());
}

std::string COutputACM::GetFormatName(int codec, int format) const
{
    int driver = -1;
    int position = -1;
    return Resolve(codec, format, &driver, &position) ? m_drivers.GetDriverFormatName(driver, position, m_nFormatTag)
                                                      : std::string();
}

int COutputACM::GetFormatBitrate(int codec, int format) const
{
    int driver = -1;
    int position = -1;
    return Resolve(codec, format, &driver, &position) ? m_drivers.GetDriverFormatBitrate(driver, position, m_nFormatTag)
                                                      : 0;
}

bool COutputACM::GetFormatInfo(int codec, int format, int* pRate, int* pBits, int* pChannels) const
{
    int driver = -1;
    int position = -1;
    platform::WaveFormat wave;
    if (!Resolve(codec, format, &driver, &position) ||
        !m_drivers.GetDrivers()[static_cast<size_t>(driver)].m_formats[static_cast<size_t>(position)].GetWaveFormat(
            &wave))
        return false;
    if (pRate)
        *pRate = static_cast<int>(std::min<uint32_t>(wave.samplesPerSec, INT32_MAX));
    if (pBits)
        *pBits = wave.bitsPerSample;
    if (pChannels)
        *pChannels = wave.channels;
    return true;
}

int COutputACM::OpenFile(const std::string& path, int codec, int format, int rate, int bytesPerSample, int channels)
{
    Close();
    if (path.empty() || !Open(codec, format, rate, bytesPerSample, channels))
        return 0;
    m_pFile.reset(std::fopen(path.c_str(), "wb"));
    if (!m_pFile) {
        Close();
        return 0;
    }
    m_strPath = path;
    return 1;
}

int COutputACM::OpenCallback(int codec, int format, CAOutputCallback pfn, void* pUser, int rate, int bytesPerSample,
                             int channels)
{
    Close();
    if (!pfn || !Open(codec, format, rate, bytesPerSample, channels))
        return 0;
    m_pfnOutput = pfn;
    m_pOutputUser = pUser;
    return 1;
}

bool COutputACM::Open(int codec, int format, int rate, int bytesPerSample, int channels)
{
    int driver = -1;
    int position = -1;
    // Sample widths and channel counts beyond what the pump delivers are
    // refused rather than misread.
    if (!Resolve(codec, format, &driver, &position) || rate <= 0 || bytesPerSample < 1 || bytesPerSample > 2 ||
        channels < 1 || channels > 2)
        return false;
    const std::string codecName = m_drivers.GetDriverName(driver, m_nFormatTag);
    const std::string formatName = m_drivers.GetDriverFormatName(driver, position, m_nFormatTag);
    int streamRate = 0;
    int formatChannels = 0;
    if (m_drivers.FindFormat(codecName, formatName, m_nFormatTag, &streamRate, nullptr, &formatChannels) != 0 ||
        streamRate <= 0)
        return false;

    m_nCodec = codec;
    m_nFormat = format;
    m_nInRate = rate;
    m_nInBits = 8 * bytesPerSample;
    m_nInChannels = channels;
    m_nStreamRate = streamRate;
    m_nStreamBits = kStreamBits;
    m_nStreamChannels = channels == 1 && formatChannels == 2 ? 2 : channels;
    if (streamRate != rate) {
        if (!GAVResample::SupportsRates(streamRate, rate)) {
            Close();
            return false;
        }
        m_resamplers.resize(static_cast<size_t>(m_nStreamChannels));
        for (GAVStreamResample& resampler : m_resamplers)
            if (!resampler.Create(streamRate, rate, 1.0, kBlockFrames)) {
                Close();
                return false;
            }
    }
    if (m_drivers.OpenStream(formatName, codecName, m_nFormatTag, streamRate, m_nStreamChannels, kStreamBits / 8) !=
            0 ||
        !AllocBuffers()) {
        Close();
        return false;
    }
    m_bOpen = true;
    return true;
}

bool COutputACM::AllocBuffers()
{
    const int encodedBytes = m_drivers.GetMaxOutputBytes();
    if (encodedBytes <= 0 || m_nStreamChannels <= 0)
        return false;
    const auto channels = static_cast<size_t>(m_nStreamChannels);
    // A chunk of 2304 input frames, widened and doubled to the stream's
    // sample and channel counts; resampling writes elsewhere.
    m_work.assign(channels * (kStreamBits / 8) * kBlockFrames, 0);
    m_encoded.assign(static_cast<size_t>(encodedBytes), 0);
    if (!m_resamplers.empty()) {
        const auto outFrames =
            static_cast<size_t>(GAVStreamResample::MaxOutput(m_nStreamRate.load(), m_nInRate, kBlockFrames));
        m_channelIn.assign(kBlockFrames, 0);
        m_channelOut.assign(outFrames, 0);
        m_scratch.assign(outFrames * channels, 0);
    }
    return true;
}

void COutputACM::FreeBuffers()
{
    m_work = {};
    m_encoded = {};
    m_channelIn = {};
    m_channelOut = {};
    m_scratch = {};
}

void COutputACM::Close()
{
    if (m_bOpen && m_pFile) {
        int drained = 0;
        if (m_drivers.CloseStream(m_encoded.data(), static_cast<int>(m_encoded.size()), &drained) == 0 && drained > 0)
            (void)Emit(m_encoded.data(), drained);
    }
    // Without a file the drained tail is not handed on: the callback's owner
    // may already have let go of the connection it writes to.
    (void)m_drivers.CloseStream(nullptr, 0, nullptr);
    m_pFile.reset();
    m_bOpen = false;
    m_resamplers.clear();
    FreeBuffers();
    m_strPath.clear();
    m_nCodec = -1;
    m_nFormat = -1;
    m_nInRate = m_nInBits = m_nInChannels = 0;
    m_nStreamRate = 0;
    m_nStreamBits = m_nStreamChannels = 0;
    m_nFramesIn = 0;
    m_nBytesOut = 0;
    m_pfnOutput = nullptr;
    m_pOutputUser = nullptr;
}

int COutputACM::Write(const char* pData, int nBytes)
{
    if (!m_bOpen || m_work.empty() || m_nInBits <= 0 || m_nInChannels <= 0 || !pData || nBytes < 0)
        return -1;
    const int inFrameBytes = m_nInChannels * (m_nInBits / 8);
    const int streamFrameBytes = m_nStreamChannels * (m_nStreamBits / 8);
    const int chunkBytes = inFrameBytes * kBlockFrames;
    const int pieceFrames = chunkBytes / streamFrameBytes;
    const int total = nBytes / inFrameBytes * inFrameBytes;
    for (int done = 0; done < total; done += chunkBytes) {
        const int n = std::min(chunkBytes, total - done);
        std::memcpy(m_work.data(), pData + done, static_cast<size_t>(n));
        const uint8_t* pPrepared = nullptr;
        const int prepared = PrepareChunk(n, &pPrepared);
        for (int offset = 0; offset + streamFrameBytes <= prepared;) {
            const int frames = std::min(pieceFrames, (prepared - offset) / streamFrameBytes);
            int encoded = 0;
            if (m_drivers.Convert(pPrepared + offset, frames, m_encoded.data(), static_cast<int>(m_encoded.size()),
                                  &encoded, platform::kAcmConvertBlockAlign) != 0)
                return -1;
            if (encoded > 0 && !Emit(m_encoded.data(), encoded))
                return -1;
            m_nBytesOut += static_cast<uint64_t>(encoded);
            m_nFramesIn += static_cast<uint64_t>(frames);
            offset += frames * streamFrameBytes;
        }
    }
    return total;
}

int COutputACM::PrepareChunk(int nBytes, const uint8_t** ppPrepared)
{
    uint8_t* work = m_work.data();
    int bytes = nBytes;
    if (m_nInBits == 8 && m_nStreamBits == 16) {
        // Unsigned 8-bit centred on 128 becomes signed 16-bit; backwards so
        // the samples are widened in place.
        for (int i = bytes - 1; i >= 0; --i)
            PutSample16(work + 2 * i, static_cast<int16_t>((work[i] - 128) * 256));
        bytes *= 2;
    }
    if (m_nStreamChannels == 2 && m_nInChannels == 1) {
        const int sampleBytes = m_nStreamBits / 8;
        for (int i = bytes / sampleBytes - 1; i >= 0; --i) {
            std::memmove(work + 2 * i * sampleBytes, work + i * sampleBytes, static_cast<size_t>(sampleBytes));
            std::memmove(work + (2 * i + 1) * sampleBytes, work + 2 * i * sampleBytes, static_cast<size_t>(sampleBytes));
        }
        bytes *= 2;
    }
    *ppPrepared = work;
    if (m_resamplers.empty())
        return bytes;

    const int channels = m_nStreamChannels;
    const int frames = bytes / (2 * channels);
    int produced = static_cast<int>(m_channelOut.size());
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < frames; ++i)
            m_channelIn[static_cast<size_t>(i)] = Sample16(work + 2 * (i * channels + c));
        const int out = m_resamplers[static_cast<size_t>(c)].Process(m_channelOut.data(), m_channelIn.data(), frames);
        // Every channel's resampler has seen the same counts, so they agree;
        // the smallest count keeps the frames whole if they ever did not.
        produced = std::min(produced, std::max(out, 0));
        for (int i = 0; i < produced; ++i)
            m_scratch[static_cast<size_t>(i * channels + c)] = m_channelOut[static_cast<size_t>(i)];
    }
    *ppPrepared = reinterpret_cast<const uint8_t*>(m_scratch.data());
    return produced * channels * 2;
}

bool COutputACM::Emit(const uint8_t* pData, int nBytes)
{
    if (m_pfnOutput)
        return m_pfnOutput(m_pOutputUser, reinterpret_cast<const char*>(pData), nBytes) > 0;
    return m_pFile && std::fwrite(pData, 1, static_cast<size_t>(nBytes), m_pFile.get()) == static_cast<size_t>(nBytes);
}

uint64_t COutputACM::GetElapsedMs() const
{
    const int rate = m_nStreamRate.load();
    return rate > 0 ? m_nFramesIn.load() * 1000 / static_cast<uint64_t>(rate) : 0;
}

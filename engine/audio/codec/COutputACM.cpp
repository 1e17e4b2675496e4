#include "engine/audio/codec/COutputACM.h"

#include <algorithm>

namespace {

// MP3 codecs take 16-bit PCM only, so every input is brought to 16 bits.
constexpr int kStreamBits = 16;

} // namespace

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
    if (!Resolve(codec, format, &driver, &position)
        || !m_drivers.GetDrivers()[static_cast<size_t>(driver)].m_formats[static_cast<size_t>(position)].GetWaveFormat(
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

int COutputACM::OpenCallback(
    int codec, int format, CAOutputCallback pfn, void* pUser, int rate, int bytesPerSample, int channels)
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
    if (!Resolve(codec, format, &driver, &position) || rate <= 0 || bytesPerSample < 1 || bytesPerSample > 2
        || channels < 1 || channels > 2)
        return false;
    const std::string codecName = m_drivers.GetDriverName(driver, m_nFormatTag);
    const std::string formatName = m_drivers.GetDriverFormatName(driver, position, m_nFormatTag);
    int streamRate = 0;
    int formatChannels = 0;
    if (m_drivers.FindFormat(codecName, formatName, m_nFormatTag, &streamRate, nullptr, &formatChannels) != 0
        || streamRate <= 0)
        return false;

    m_nCodec = codec;
    m_nFormat = format;
    m_nInRate = rate;
    m_nInBits = 8 * bytesPerSample;
    m_nInChannels = channels;
    m_nStreamRate = streamRate;
    m_nStreamBits = kStreamBits;
    m_nStreamChannels = channels == 1 && formatChannels == 2 ? 2 : channels;
    if (m_drivers.OpenStream(formatName, codecName, m_nFormatTag, streamRate, m_nStreamChannels, kStreamBits / 8) != 0
        || !AllocBuffers()) {
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
    m_encoded.assign(static_cast<size_t>(encodedBytes), 0);
    // Input arrives in chunks of 2304 frames; the converter widens 8-bit
    // input, doubles a mono one for a stereo format and resamples to the
    // format's rate, refusing rates it cannot convert between.
    const CASampleConverter::Format in { m_nInRate, m_nInBits, m_nInChannels };
    const CASampleConverter::Format out { m_nStreamRate.load(), m_nStreamBits, m_nStreamChannels };
    return m_converter.Prepare(in, out, in.FrameBytes() * kBlockFrames, 0, 0);
}

void COutputACM::FreeBuffers()
{
    m_encoded = {};
    m_converter.Release();
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
    if (!m_bOpen || m_encoded.empty() || m_nInBits <= 0 || m_nInChannels <= 0 || !pData || nBytes < 0)
        return -1;
    const int inFrameBytes = m_nInChannels * (m_nInBits / 8);
    const int streamFrameBytes = m_nStreamChannels * (m_nStreamBits / 8);
    const int chunkBytes = inFrameBytes * kBlockFrames;
    const int pieceFrames = chunkBytes / streamFrameBytes;
    const int total = nBytes / inFrameBytes * inFrameBytes;
    for (int done = 0; done < total; done += chunkBytes) {
        const int prepared = m_converter.Convert(pData + done, std::min(chunkBytes, total - done));
        const auto* pPrepared = reinterpret_cast<const uint8_t*>(m_converter.GetBlockBytes());
        for (int offset = 0; offset + streamFrameBytes <= prepared;) {
            const int frames = std::min(pieceFrames, (prepared - offset) / streamFrameBytes);
            int encoded = 0;
            if (m_drivers.Convert(pPrepared + offset, frames, m_encoded.data(), static_cast<int>(m_encoded.size()),
                    &encoded, platform::kAcmConvertBlockAlign)
                != 0)
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

#include "engine/audio/codec/CAAcmMp3Writer.h"

#include "foundation/Paths.h"
#include "platform/TextCase.h"

CAAcmMp3Writer::CAAcmMp3Writer(platform::Acm& acm)
    : CAWriter("ACM MP3 Writer")
    , m_pOutput(std::make_unique<COutputMP3>(acm))
{
}

CAAcmMp3Writer::~CAAcmMp3Writer()
{
    Close();
}

int CAAcmMp3Writer::SetCodec(int codec, int format)
{
    if (!m_pOutput || codec < 0 || codec >= m_pOutput->GetCodecCount() || format < 0
        || format >= m_pOutput->GetFormatCount(codec)) {
        m_nCodec = -1;
        m_nFormat = -1;
        return 0;
    }
    m_nCodec = codec;
    m_nFormat = format;
    return 1;
}

int CAAcmMp3Writer::Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags)
{
    if (!m_pOutput || (!m_pfnOutput && target.empty()) || !pRate || !pBits || !pChannels || *pBits <= 0
        || *pChannels <= 0)
        return 0;
    int rate = 0;
    int bits = 0;
    int channels = 0;
    if (!m_pOutput->GetFormatInfo(m_nCodec, m_nFormat, &rate, &bits, &channels) || rate <= 0 || channels <= 0)
        return 0;
    // MP3 formats leave the sample width open: the offered one is kept.
    if (bits == 0)
        bits = *pBits;
    *pRate = rate;
    *pBits = bits;
    *pChannels = channels;
    std::string name = target;
    if (!platform::EqualsNoCase(GetFileExtension(name.c_str()), ".mp3"))
        name += ".mp3";
    const int opened = m_pfnOutput
        ? m_pOutput->OpenCallback(m_nCodec, m_nFormat, m_pfnOutput, m_pOutputUser, rate, bits / 8, channels)
        : m_pOutput->OpenFile(name, m_nCodec, m_nFormat, rate, bits / 8, channels);
    if (!opened)
        return 0;
    m_nRate = rate;
    m_nBits = bits;
    m_nChannels = channels;
    m_nByteCount = 0;
    m_strTarget = name;
    SetTags(tags);
    return 1;
}

void CAAcmMp3Writer::Close()
{
    if (m_pOutput)
        m_pOutput->Close();
    m_strTarget.clear();
}

int CAAcmMp3Writer::Write(const char* pData, int nBytes)
{
    if (!m_pOutput)
        return 0;
    const int taken = m_pOutput->Write(pData, nBytes);
    if (taken > 0)
        m_nByteCount += static_cast<uint64_t>(taken);
    return taken;
}

uint64_t CAAcmMp3Writer::GetElapsedMs()
{
    return m_pOutput ? m_pOutput->GetElapsedMs() : 0;
}

int CAAcmMp3Writer::SetOutputCallback(CAOutputCallback pfn, void* pUser)
{
    if (m_pOutput && m_pOutput->IsOpen())
        return 0;
    m_pfnOutput = pfn;
    m_pOutputUser = pUser;
    return 1;
}

int CAAcmMp3Writer::GetCodecCount() const
{
    return m_pOutput ? m_pOutput->GetCodecCount() : -1;
}

std::string CAAcmMp3Writer::GetCodecName(int codec) const
{
    return m_pOutput ? m_pOutput->GetCodecName(codec) : std::string();
}

int CAAcmMp3Writer::GetFormatCount(int codec) const
{
    return m_pOutput ? m_pOutput->GetFormatCount(codec) : -1;
}

std::string CAAcmMp3Writer::GetFormatName(int codec, int format) const
{
    return m_pOutput ? m_pOutput->GetFormatName(codec, format) : std::string();
}

int CAAcmMp3Writer::GetFormatBitrate(int codec, int format) const
{
    return m_pOutput ? m_pOutput->GetFormatBitrate(codec, format) : -1;
}

bool CAAcmMp3Writer::GetFormatInfo(int codec, int format, int* pRate, int* pBits, int* pChannels) const
{
    return m_pOutput && m_pOutput->GetFormatInfo(codec, format, pRate, pBits, pChannels);
}

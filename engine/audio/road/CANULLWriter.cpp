#include "engine/audio/road/CANULLWriter.h"

int CANULLWriter::Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags)
{
    if (!pRate || !pBits || !pChannels)
        return 0;
    m_strTarget = target;
    m_nRate = *pRate;
    m_nBits = *pBits;
    m_nChannels = *pChannels;
    m_nByteCount = 0;
    SetTags(tags);
    return 1;
}

int CANULLWriter::Write(const char* pData, int nBytes)
{
    m_nByteCount += static_cast<uint64_t>(nBytes > 0 ? nBytes : 0);
    if (m_pfnOutput)
        return m_pfnOutput(m_pOutputUser, pData, nBytes);
    return nBytes;
}

int CANULLWriter::SetOutputCallback(CAOutputCallback pfn, void* pUser)
{
    m_pfnOutput = pfn;
    m_pOutputUser = pUser;
    return 1;
}

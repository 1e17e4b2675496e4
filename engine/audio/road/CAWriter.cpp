#include "engine/audio/road/CAWriter.h"

#include "platform/MulDiv.h"

int CAWriter::GetWritableBytes()
{
    return platform::MulDiv(kBlockFrames, m_nBits * m_nChannels, 8);
}

uint64_t CAWriter::GetElapsedMs()
{
    // Before Open the format is -1: report no time rather than divide by a
    // non-positive frame size.
    const int64_t bytesPerSecond = static_cast<int64_t>(m_nRate) * (m_nBits / 8) * m_nChannels;
    if (m_nRate <= 0 || m_nBits / 8 <= 0 || m_nChannels <= 0 || bytesPerSecond <= 0)
        return 0;
    return m_nByteCount * 1000 / static_cast<uint64_t>(bytesPerSecond);
}

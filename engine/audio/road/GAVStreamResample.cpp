#include "engine/audio/road/GAVStreamResample.h"

#include <cstring>

int GAVStreamResample::MaxOutput(int outRate, int inRate, int nIn)
{
    if (inRate <= 0 || nIn < 0)
        return 16;
    const double ratio = static_cast<double>(outRate) / inRate;
    return static_cast<int>(ratio * nIn) + 16;
}

bool GAVStreamResample::Create(int outRate, int inRate, double scale, int nMaxInput)
{
    Destroy();
    if (!GAVResample::SupportsRates(outRate, inRate) || nMaxInput <= 0)
        return false;
    m_pResample = std::make_unique<GAVResample>(outRate, inRate, scale);
    m_nOutRate = outRate;
    m_nInRate = inRate;
    m_nMaxInput = nMaxInput;
    // The carried input stays below one filter span plus what one capped
    // call can leave behind; twice the span plus slack covers both.
    const int carry = 2 * m_pResample->GetTaps() + 64;
    m_scratch.assign(static_cast<size_t>(nMaxInput + carry), 0);
    m_nLeft = 0;
    return true;
}

void GAVStreamResample::Destroy()
{
    m_pResample.reset();
    m_scratch = {};
    m_nLeft = 0;
    m_nMaxInput = 0;
}

int GAVStreamResample::Process(int16_t* pOut, const int16_t* pIn, int nIn)
{
    if (!m_pResample || nIn < 0 || nIn > m_nMaxInput || (nIn > 0 && !pIn))
        return -1;
    if (static_cast<size_t>(m_nLeft) + static_cast<size_t>(nIn) > m_scratch.size())
        return -1;
    if (nIn > 0)
        std::memcpy(m_scratch.data() + m_nLeft, pIn, static_cast<size_t>(nIn) * sizeof(int16_t));
    const int total = m_nLeft + nIn;
    int consumed = 0;
    const int written
        = m_pResample->Process(pOut, m_scratch.data(), total, MaxOutput(m_nOutRate, m_nInRate, nIn), &consumed);
    m_nLeft = total - consumed;
    if (consumed > 0 && m_nLeft > 0)
        std::memmove(m_scratch.data(), m_scratch.data() + consumed, static_cast<size_t>(m_nLeft) * sizeof(int16_t));
    return written;
}

#include "platform/WaveInAhead.h"

#include <utility>

namespace platform {

WaveInAhead::WaveInAhead(WaveInBackend& backend, int index, const WaveInFormat& format)
    : m_backend(backend)
    , m_nIndex(index)
    , m_format(format)
{
    std::lock_guard lock(m_backend.m_aheadLock);
    // One opening ahead at a time: a second one would hold a device the
    // first one's taker may need.
    if (m_backend.m_pAhead != nullptr)
        return;
    m_backend.m_pAhead = this;
    // A failed opening leaves the stream empty.
    m_thread = std::thread([this] { (void)m_backend.Open(m_nIndex, m_format, &m_pStream); });
}

WaveInAhead::~WaveInAhead()
{
    {
        std::lock_guard lock(m_backend.m_aheadLock);
        if (m_backend.m_pAhead == this)
            m_backend.m_pAhead = nullptr;
    }
    // A taker that came first has joined the thread and has the stream.
    if (m_thread.joinable())
        m_thread.join();
    m_pStream.reset();
}

std::unique_ptr<WaveInStream> WaveInAhead::Take(int index, const WaveInFormat& format)
{
    if (m_thread.joinable())
        m_thread.join();
    std::unique_ptr<WaveInStream> stream = std::move(m_pStream);
    if (index != m_nIndex || format != m_format)
        stream.reset();
    return stream;
}

WaveInResult WaveInBackend::OpenStream(int index, const WaveInFormat& format, std::unique_ptr<WaveInStream>* pStream)
{
    pStream->reset();
    std::unique_ptr<WaveInStream> ahead;
    {
        std::lock_guard lock(m_aheadLock);
        if (WaveInAhead* pAhead = std::exchange(m_pAhead, nullptr))
            ahead = pAhead->Take(index, format);
    }
    if (ahead) {
        *pStream = std::move(ahead);
        return WaveInResult::Ok;
    }
    return Open(index, format, pStream);
}

} // namespace platform

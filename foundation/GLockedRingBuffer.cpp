#include "foundation/GLockedRingBuffer.h"

#include <algorithm>
#include <new>

GLockedRingBuffer::GLockedRingBuffer()
    : m_pRing(new (std::nothrow) GRingBuffer)
{
}

GLockedRingBuffer::~GLockedRingBuffer()
{
    Clear();
}

bool GLockedRingBuffer::Write(int len, const char* data)
{
    std::lock_guard guard(m_lock);
    // A negative count is refused like 0: the ring would take it as an
    // empty write and report success for bytes that were never queued.
    if (!m_pRing || !data || len <= 0)
        return false;
    return m_pRing->Write(len, data);
}

int GLockedRingBuffer::Read(int len, char* out)
{
    std::lock_guard guard(m_lock);
    // A negative count is refused like 0: it would otherwise come back as a
    // negative "bytes read".
    if (!m_pRing || !out || len <= 0)
        return -1;
    const int n = std::min(len, m_pRing->GetLength());
    if (n > 0 && !m_pRing->Read(n, out, GRingBuffer::Consume::Yes))
        return 0;
    return n;
}

void GLockedRingBuffer::Clear()
{
    std::lock_guard guard(m_lock);
    if (m_pRing)
        m_pRing->Clear();
}

int GLockedRingBuffer::GetLength()
{
    std::lock_guard guard(m_lock);
    return m_pRing ? m_pRing->GetLength() : 0;
}

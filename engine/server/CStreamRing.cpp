#include "engine/server/CStreamRing.h"

#include <cstring>
#include <new>

bool CStreamRing::Allocate()
{
    // Not cleared: a slot is read only after it was written (its sequence
    // number says so), and untouched pages cost no memory until the stream
    // fills them.
    m_pSlots.reset(new (std::nothrow) char[static_cast<size_t>(kSlots) * kSlotBytes]);
    m_pSlotSeq.reset(new (std::nothrow) uint64_t[kSlots]());
    m_nWritten = 0;
    if (!m_pSlots || !m_pSlotSeq) {
        Free();
        return false;
    }
    return true;
}

void CStreamRing::Free()
{
    m_pSlots.reset();
    m_pSlotSeq.reset();
    m_nWritten = 0;
}

void CStreamRing::Write(const char* block)
{
    if (!m_pSlots || !block)
        return;
    const uint64_t seq = m_nWritten + 1;
    const size_t slot = static_cast<size_t>((seq - 1) % kSlots);
    std::memcpy(m_pSlots.get() + slot * kSlotBytes, block, kSlotBytes);
    m_pSlotSeq[slot] = seq;
    m_nWritten = seq;
}

uint64_t CStreamRing::StartPosition() const
{
    return m_nWritten > kBurstBlocks ? m_nWritten - kBurstBlocks + 1 : 1;
}

CStreamRing::Fetch CStreamRing::Next(uint64_t seq, const char** block) const
{
    if (!m_pSlots || seq == 0 || seq > m_nWritten)
        return Fetch::NotYet;
    const size_t slot = static_cast<size_t>((seq - 1) % kSlots);
    if (m_pSlotSeq[slot] != seq)
        return Fetch::Overwritten;
    *block = m_pSlots.get() + slot * kSlotBytes;
    return Fetch::Ready;
}

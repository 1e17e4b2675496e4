#include "foundation/GRingBuffer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

GRingBuffer::GRingBuffer()
    : m_pStorage(new (std::nothrow) char[kInitialCapacity])
    , m_nCapacity(m_pStorage ? kInitialCapacity : 0)
{
}

bool GRingBuffer::Write(int len, const char* data)
{
    if (len <= 0)
        return true;
    if (len >= m_nCapacity - m_nLength && !Grow(static_cast<long long>(m_nLength) + len - m_nCapacity))
        return false;

    const int firstRun = std::min(len, m_nCapacity - m_nWritePos);
    std::memcpy(m_pStorage.get() + m_nWritePos, data, static_cast<size_t>(firstRun));
    if (firstRun < len)
        std::memcpy(m_pStorage.get(), data + firstRun, static_cast<size_t>(len - firstRun));
    m_nWritePos = (m_nWritePos + len) % m_nCapacity;
    m_nLength += len;
    return true;
}

bool GRingBuffer::Grow(long long extra)
{
    // Computed in 64 bits: a capacity past INT_MAX cannot be indexed by the
    // int positions, so such a growth is refused rather than wrapped.
    const long long needed = m_nCapacity + extra;
    long long capacity = m_nCapacity > 0 ? m_nCapacity : kInitialCapacity / 2;
    do {
        capacity *= 2;
    } while (capacity < needed);
    if (capacity > INT_MAX)
        return false;

    std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<size_t>(capacity)]);
    if (!block)
        return false;
    if (m_nLength > 0)
        CopyOut(m_nLength, block.get());
    m_pStorage = std::move(block);
    m_nCapacity = static_cast<int>(capacity);
    m_nReadPos = 0;
    m_nWritePos = m_nLength % m_nCapacity;
    return true;
}

void GRingBuffer::CopyOut(int len, char* out) const
{
    const int firstRun = std::min(len, m_nCapacity - m_nReadPos);
    std::memcpy(out, m_pStorage.get() + m_nReadPos, static_cast<size_t>(firstRun));
    if (firstRun < len)
        std::memcpy(out + firstRun, m_pStorage.get(), static_cast<size_t>(len - firstRun));
}

bool GRingBuffer::Read(int len, char* out, Consume consume)
{
    if (len <= 0 || len > m_nLength)
        return false;
    CopyOut(len, out);
    if (consume == Consume::Yes)
        Skip(len);
    return true;
}

bool GRingBuffer::Skip(int len)
{
    if (len <= 0 || len > m_nLength)
        return false;
    m_nReadPos = (m_nReadPos + len) % m_nCapacity;
    m_nLength -= len;
    return true;
}

int GRingBuffer::Clear()
{
    const int had = m_nLength;
    m_nReadPos = m_nWritePos = m_nLength = 0;
    return had;
}

void GRingBuffer::Release()
{
    if (m_nLength != 0)
        return;
    m_pStorage.reset();
    m_nCapacity = 0;
    m_nReadPos = m_nWritePos = 0;
}

int GRingBuffer::Front(const char** data) const
{
    if (m_nLength == 0) {
        *data = nullptr;
        return 0;
    }
    *data = m_pStorage.get() + m_nReadPos;
    return std::min(m_nLength, m_nCapacity - m_nReadPos);
}

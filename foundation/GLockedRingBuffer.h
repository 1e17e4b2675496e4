#pragma once

#include "foundation/GRingBuffer.h"

#include <memory>
#include <mutex>

// A GRingBuffer behind a lock, for one producer thread and one consumer
// thread: capture to pump, encoder to writer, encoder callback to sender.
// Thread: any; every operation takes the buffer's own lock and calls out to
// nothing while holding it.
class GLockedRingBuffer {
public:
    GLockedRingBuffer();
    ~GLockedRingBuffer();
    GLockedRingBuffer(const GLockedRingBuffer&) = delete;
    GLockedRingBuffer& operator=(const GLockedRingBuffer&) = delete;

    // False when data is null, len is 0 or less, or the ring cannot grow.
    [[nodiscard]] bool Write(int len, const char* data);
    // Takes up to len bytes out; returns how many (0 when empty), or -1 when
    // out is null or len <= 0. There is no peek: every read consumes.
    [[nodiscard]] int Read(int len, char* out);
    void Clear();
    [[nodiscard]] int GetLength();

private:
    std::mutex m_lock; // guards: m_pRing's contents
    std::unique_ptr<GRingBuffer> m_pRing;
};

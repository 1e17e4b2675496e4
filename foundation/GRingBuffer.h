#pragma once

#include <memory>

// A growable circular byte queue for a single owner: a socket's send and
// receive queues, the echo's delay line. Starts at 4096 bytes and doubles
// when full; never shrinks by itself, so steady streaming allocates nothing.
// An owner that holds many mostly empty queues gives their storage back
// with Release.
// Thread: one owner thread; not thread-safe (see GLockedRingBuffer).
class GRingBuffer {
public:
    static constexpr int kInitialCapacity = 4096;
    // Whether Read takes the bytes out or only looks at them.
    enum class Consume { Yes, No };

    GRingBuffer();
    GRingBuffer(const GRingBuffer&) = delete;
    GRingBuffer& operator=(const GRingBuffer&) = delete;

    // Appends len bytes. len <= 0 does nothing and succeeds. False only when
    // a needed growth fails; then nothing changes.
    [[nodiscard]] bool Write(int len, const char* data);
    // Copies exactly len bytes from the front; Consume::No peeks. False and
    // nothing copied when len <= 0 or more than stored.
    [[nodiscard]] bool Read(int len, char* out, Consume consume);
    // Drops len bytes from the front; same refusals as Read.
    bool Skip(int len);
    // Empties the buffer, keeping its capacity; returns the length it had.
    int Clear();
    // Frees the storage of an empty buffer (capacity 0); the next Write
    // allocates again. Does nothing while bytes are stored.
    void Release();
    // The bytes at the front that lie in one piece (all of them, or up to
    // the wrap): their count, and where they start in *data.
    [[nodiscard]] int Front(const char** data) const;

    [[nodiscard]] int GetLength() const { return m_nLength; }
    [[nodiscard]] int GetCapacity() const { return m_nCapacity; }

private:
    bool Grow(long long extra);
    void CopyOut(int len, char* out) const;

    std::unique_ptr<char[]> m_pStorage;
    int m_nCapacity = 0;
    int m_nReadPos = 0;
    int m_nWritePos = 0;
    int m_nLength = 0;
};

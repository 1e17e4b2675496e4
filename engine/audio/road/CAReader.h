#pragma once

#include <string>

// The source end of the audio pump: hands out interleaved little-endian PCM
// (16-bit, or unsigned 8-bit) in whatever format it decides at Open.
// Thread: Open/Read on the pump thread; Close from any thread, and it must
// release a Read that is waiting.
// Close may run on the controller's thread while the pump thread is inside
// Read, and it may be called more than once (the pump closes the reader when
// it ends, the controller's Stop closes it to release a blocked Read, a
// failed Start closes it unopened). Implementations serialise Close (a mutex
// of their own), make every call after the first a no-op, and from then on
// answer Read with 0 or a negative value at once until the next Open.
class CAReader {
public:
    explicit CAReader(std::string name)
        : m_strName(std::move(name))
    {
    }
    virtual ~CAReader() = default;
    CAReader(const CAReader&) = delete;
    CAReader& operator=(const CAReader&) = delete;

    // 1 on success, 0 on failure. Writes the format it delivers through the
    // pointers that are given.
    virtual int Open(const std::string& sourceName, int* pRate, int* pBits, int* pChannels) = 0;
    // Stops the source and releases a pending Read. Idempotent, serialised,
    // safe on a reader that was never opened.
    virtual int Close() = 0;
    // Total bytes the source will deliver; -1 for a live source.
    virtual int GetTotalBytes() { return -1; }
    // Bytes delivered (> 0), 0 at the end of the stream, negative on error.
    // May block until data is there.
    virtual int Read(char* pBuffer, int maxBytes) = 0;
    // While set, a live source drops what it captures.
    virtual int SetDiscard(bool /*discard*/) { return 1; }

    [[nodiscard]] const std::string& GetName() const { return m_strName; }

private:
    std::string m_strName;
};

#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// An encoding writer hands each piece of its output to this callback, on the
// thread that called Write, Close or NewPart. Returns the bytes it consumed.
using CAOutputCallback = int (*)(void* pUser, const char* pData, int nBytes);

// The seven tag strings a writer may embed, in their fixed order.
struct CATags {
    std::string title;
    std::string album;
    std::string artist;
    std::string genre;
    std::string track;
    std::string year;
    std::string comment;
};

// The sink end of the audio pump. Open may replace the offered format with
// the one the writer wants; the pump converts to it.
// Thread: Open/Write/GetWritableBytes/Drain/Close on the pump thread;
// SetOutputCallback and format setters only while the pump is stopped.
class CAWriter {
public:
    // The pump hands a writer at most this many frames at a time.
    static constexpr int kBlockFrames = 2304;

    explicit CAWriter(std::string name)
        : m_strName(std::move(name))
    {
    }
    virtual ~CAWriter() = default;
    CAWriter(const CAWriter&) = delete;
    CAWriter& operator=(const CAWriter&) = delete;

    virtual int Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags) = 0;
    // Flushes and ends the encoded stream.
    virtual void Close() = 0;
    // Bytes accepted (whole frames); 0 or negative stops the pump.
    virtual int Write(const char* pData, int nBytes) = 0;
    // How much Write takes now; 0 makes the pump wait 50 ms and ask again.
    virtual int GetWritableBytes();
    // Nonzero while buffered work remains after the source ended.
    virtual int Drain() { return 0; }
    // Duration of the PCM fed in since Open; 0 before a format is known.
    virtual uint64_t GetElapsedMs();
    virtual int SetPaused(bool /*paused*/) { return 1; }
    // 1 when stored; a writer that cannot take a callback refuses with 0.
    virtual int SetOutputCallback(CAOutputCallback /*pfn*/, void* /*pUser*/) { return 0; }
    // Starts the next part file; only file-writing encoders act on it.
    virtual int NewPart() { return 1; }

    void SetTags(const CATags& tags) { m_tags = tags; }

    [[nodiscard]] const std::string& GetName() const { return m_strName; }
    [[nodiscard]] int GetRate() const { return m_nRate; }
    [[nodiscard]] int GetBits() const { return m_nBits; }
    [[nodiscard]] int GetChannels() const { return m_nChannels; }
    [[nodiscard]] uint64_t GetByteCount() const { return m_nByteCount; }

protected:
    std::string m_strName;
    std::string m_strTarget;
    int m_nRate = -1;
    int m_nBits = -1;
    int m_nChannels = -1;
    CAOutputCallback m_pfnOutput = nullptr;
    void* m_pOutputUser = nullptr;
    uint64_t m_nByteCount = 0;
    CATags m_tags;
    // Taken by writers used from two threads around their encoder state.
    std::mutex m_lock;
};

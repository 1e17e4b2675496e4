#pragma once

#include "engine/audio/road/CAWriter.h"

#include <mutex>

// Thread: the setters run on the main thread and Process on the audio pump's
// thread; both hold m_lock, so a setter waits at most for one block and
// Process takes one uncontended lock per block.
// The common shape of the broadcast's sound effects: interleaved PCM is
// changed in place, block by block.
class CMzDsp {
public:
    // The largest block the pump hands over: one writer block plus the
    // resampler's overshoot of up to 16 frames.
    static constexpr int kMaxBlockFrames = CAWriter::kBlockFrames + 16;

    CMzDsp() = default;
    CMzDsp(const CMzDsp&) = delete;
    CMzDsp& operator=(const CMzDsp&) = delete;
    virtual ~CMzDsp();

    // Thread: main thread.
    virtual void SetFormat(int nBits, int nChannels, int nRate);
    // Thread: pump thread. Returns the frame count after processing; the
    // base changes nothing and returns -1.
    virtual int Process(void* pSamples, int nFrames, int nBits, int nChannels, int nRate);
    // Thread: main thread.
    virtual void SetActive(bool bActive);

protected:
    void StoreFormatLocked(int nBits, int nChannels, int nRate);

    // guards: m_nBits, m_nChannels, m_nRate, m_bActive and every field of
    // the derived effects
    std::mutex m_lock;
    int m_nBits = 0;
    int m_nChannels = 0;
    int m_nRate = 0;
    bool m_bActive = false;
};

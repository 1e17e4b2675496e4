#pragma once

#include "platform/WaveOut.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// A playback device that counts what it is given. While held, a write
// waits (as a full device would) until released or interrupted, so a test
// can stop a sound in the middle.
// Thread: the player's thread writes; the test's thread reads and steers.
class FakeWaveOutBackend final : public platform::WaveOutBackend {
public:
    bool Open(const platform::WaveOutFormat& format, std::unique_ptr<platform::WaveOutStream>* pStream) override
    {
        std::lock_guard lock(m_lock);
        m_format = format;
        ++m_nOpens;
        *pStream = std::make_unique<Stream>(*this);
        return true;
    }

    void Hold(bool hold)
    {
        std::lock_guard lock(m_lock);
        m_bHold = hold;
        m_changed.notify_all();
    }
    // Waits (bounded) until at least `frames` frames were written.
    bool WaitForFrames(long frames, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, timeout, [&] { return m_nFrames >= frames; });
    }
    long Frames()
    {
        std::lock_guard lock(m_lock);
        return m_nFrames;
    }
    platform::WaveOutFormat Format()
    {
        std::lock_guard lock(m_lock);
        return m_format;
    }

private:
    class Stream final : public platform::WaveOutStream {
    public:
        explicit Stream(FakeWaveOutBackend& owner)
            : m_owner(owner)
        {
        }
        bool Write(const int16_t*, int frames) override
        {
            std::unique_lock lock(m_owner.m_lock);
            m_owner.m_nFrames += frames;
            m_owner.m_changed.notify_all();
            m_owner.m_changed.wait(lock, [&] { return !m_owner.m_bHold || m_bInterrupted; });
            return !m_bInterrupted;
        }
        void Drain() override { }
        void Interrupt() override
        {
            std::lock_guard lock(m_owner.m_lock);
            m_bInterrupted = true;
            m_owner.m_changed.notify_all();
        }

    private:
        FakeWaveOutBackend& m_owner;
        bool m_bInterrupted = false;
    };

    std::mutex m_lock;
    std::condition_variable m_changed;
    platform::WaveOutFormat m_format;
    bool m_bHold = false;
    long m_nFrames = 0;
    int m_nOpens = 0;
};

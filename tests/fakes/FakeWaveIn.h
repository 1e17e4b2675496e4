#pragma once

#include "platform/WaveIn.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

// A capture backend the test drives: it decides which rates are refused,
// whether opening fails, what sound arrives and when the device vanishes.
// Thread: the test thread feeds; the capture thread reads.
class FakeWaveInBackend final : public platform::WaveInBackend {
public:
    int deviceCount = 2;
    std::set<int> refusedRates;
    bool failOpen = false;
    // Set before any opening: the next this many openings fail.
    int failingOpens = 0;
    // Like a card without a sound server: a second stream is refused
    // while one is open.
    bool oneStreamAtATime = false;

    int GetDeviceCount() override { return deviceCount; }
    std::string GetDeviceName(int index) override
    {
        return index >= 0 && index < deviceCount ? "fake " + std::to_string(index) : std::string();
    }

    platform::WaveInResult Open(
        int index, const platform::WaveInFormat& format, std::unique_ptr<platform::WaveInStream>* pStream) override
    {
        if (index < 0 || index >= deviceCount)
            return platform::WaveInResult::NoDevice;
        if (refusedRates.count(format.rate))
            return platform::WaveInResult::FormatRefused;
        if (failOpen)
            return platform::WaveInResult::Failed;
        std::lock_guard lock(m_state->lock);
        ++m_state->opens;
        if (failingOpens > 0) {
            --failingOpens;
            return platform::WaveInResult::Failed;
        }
        if (oneStreamAtATime && m_state->openStreams > 0)
            return platform::WaveInResult::Failed;
        m_state->samples.clear();
        m_state->interrupted = false;
        m_state->gone = false;
        m_state->lastDevice = index;
        m_state->lastFormat = format;
        ++m_state->openStreams;
        *pStream = std::make_unique<Stream>(m_state);
        return platform::WaveInResult::Ok;
    }

    // Sound the device "records"; handed out a period at a time.
    void Feed(const std::vector<int16_t>& samples)
    {
        std::lock_guard lock(m_state->lock);
        m_state->samples.insert(m_state->samples.end(), samples.begin(), samples.end());
        m_state->changed.notify_all();
    }
    // The device is unplugged: the next read fails for good.
    void Vanish()
    {
        std::lock_guard lock(m_state->lock);
        m_state->gone = true;
        m_state->changed.notify_all();
    }
    // Samples fed and not yet read.
    size_t PendingSamples()
    {
        std::lock_guard lock(m_state->lock);
        return m_state->samples.size();
    }
    // Openings asked of the backend, whatever came of them.
    int Opens()
    {
        std::lock_guard lock(m_state->lock);
        return m_state->opens;
    }
    int OpenStreams()
    {
        std::lock_guard lock(m_state->lock);
        return m_state->openStreams;
    }
    platform::WaveInFormat LastFormat()
    {
        std::lock_guard lock(m_state->lock);
        return m_state->lastFormat;
    }
    int LastDevice()
    {
        std::lock_guard lock(m_state->lock);
        return m_state->lastDevice;
    }

private:
    struct State {
        std::mutex lock; // guards: everything below
        std::condition_variable changed;
        std::deque<int16_t> samples;
        bool interrupted = false;
        bool gone = false;
        int opens = 0;
        int openStreams = 0;
        int lastDevice = -1;
        platform::WaveInFormat lastFormat;
    };

    class Stream final : public platform::WaveInStream {
    public:
        explicit Stream(std::shared_ptr<State> state)
            : m_state(std::move(state))
        {
            m_nChannels = m_state->lastFormat.channels;
        }
        ~Stream() override
        {
            std::lock_guard lock(m_state->lock);
            --m_state->openStreams;
        }
        ReadResult ReadPeriod(int16_t* pSamples, int frames) override
        {
            const size_t wanted = static_cast<size_t>(frames) * static_cast<size_t>(m_nChannels);
            std::unique_lock lock(m_state->lock);
            m_state->changed.wait(
                lock, [&] { return m_state->interrupted || m_state->gone || m_state->samples.size() >= wanted; });
            if (m_state->interrupted)
                return ReadResult::Interrupted;
            if (m_state->gone)
                return ReadResult::Gone;
            std::copy_n(m_state->samples.begin(), wanted, pSamples);
            m_state->samples.erase(m_state->samples.begin(), m_state->samples.begin() + static_cast<ptrdiff_t>(wanted));
            return ReadResult::Ok;
        }
        void Interrupt() override
        {
            std::lock_guard lock(m_state->lock);
            m_state->interrupted = true;
            m_state->changed.notify_all();
        }

    private:
        std::shared_ptr<State> m_state;
        int m_nChannels = 2;
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

#pragma once

// A reader and a writer for driving the audio pump in tests.

#include "engine/audio/road/CAReader.h"
#include "engine/audio/road/CAWriter.h"
#include "platform/MessageTarget.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace audiotest {

// Delivers `data` in reads of at most `readSize`, then `endResult`, or, with
// `blockAtEnd`, waits in Read until closed. Close is what every reader must
// be: serialised by its own mutex, a no-op after the first call, and after it
// Read answers `closedResult` at once.
// Thread: any; Close may run while another thread is in Read.
class FakeReader final : public CAReader {
public:
    FakeReader(int nRate, int nBits, int nChannels)
        : CAReader("Fake Reader")
        , rate(nRate)
        , bits(nBits)
        , channels(nChannels)
    {
    }

    int Open(const std::string& /*source*/, int* pRate, int* pBits, int* pChannels) override
    {
        std::lock_guard guard(m_lock);
        if (!openResult)
            return 0;
        m_closed = false;
        m_pos = 0;
        ++opens;
        if (pRate)
            *pRate = rate;
        if (pBits)
            *pBits = bits;
        if (pChannels)
            *pChannels = channels;
        return 1;
    }

    int Close() override
    {
        if (++m_inClose > 1)
            overlappingCloses = true;
        {
            std::lock_guard guard(m_lock);
            ++closeCalls;
            if (!m_closed) {
                m_closed = true;
                ++closes;
            }
        }
        m_wake.notify_all();
        --m_inClose;
        return 1;
    }

    int Read(char* pBuffer, int maxBytes) override
    {
        std::unique_lock guard(m_lock);
        if (m_closed)
            return closedResult;
        if (m_pos < data.size()) {
            const size_t n
                = std::min({ static_cast<size_t>(maxBytes), static_cast<size_t>(readSize), data.size() - m_pos });
            std::memcpy(pBuffer, data.data() + m_pos, n);
            m_pos += n;
            return static_cast<int>(n);
        }
        if (!blockAtEnd)
            return endResult;
        inBlockedRead = true;
        m_wake.wait(guard, [this] { return m_closed; });
        inBlockedRead = false;
        return closedResult;
    }

    // Set before Start.
    int rate;
    int bits;
    int channels;
    int openResult = 1;
    std::vector<char> data;
    int readSize = 8192;
    int endResult = 0;
    bool blockAtEnd = false;
    int closedResult = 0;

    std::atomic<int> opens { 0 };
    std::atomic<int> closes { 0 }; // calls that closed an open reader
    std::atomic<int> closeCalls { 0 }; // every call
    std::atomic<bool> overlappingCloses { false };
    std::atomic<bool> inBlockedRead { false };

private:
    std::mutex m_lock; // guards: m_closed, m_pos
    std::condition_variable m_wake;
    bool m_closed = true;
    size_t m_pos = 0;
    std::atomic<int> m_inClose { 0 };
};

// Records what the pump writes. Inspect only after the pump has ended (its
// END or ERROR message arrived, or Stop returned).
class CaptureWriter final : public CAWriter {
public:
    CaptureWriter()
        : CAWriter("Capture Writer")
    {
    }

    int Open(const std::string& /*target*/, int* pRate, int* pBits, int* pChannels, const CATags& tags) override
    {
        ++opens;
        if (!openResult)
            return 0;
        if (wantRate > 0)
            *pRate = wantRate;
        m_nRate = *pRate;
        m_nBits = *pBits;
        m_nChannels = *pChannels;
        m_nByteCount = 0;
        SetTags(tags);
        return 1;
    }
    void Close() override { ++closes; }
    int GetWritableBytes() override
    {
        if (zeroWritableAnswers > 0) {
            --zeroWritableAnswers;
            return 0;
        }
        return writable > 0 ? writable : CAWriter::GetWritableBytes();
    }
    int Write(const char* pData, int nBytes) override
    {
        if (failWrites)
            return failResult;
        writes.push_back(nBytes);
        out.insert(out.end(), pData, pData + nBytes);
        m_nByteCount += static_cast<uint64_t>(nBytes);
        return nBytes;
    }
    int Drain() override
    {
        ++drains;
        if (drainBusyAnswers > 0) {
            --drainBusyAnswers;
            return 1;
        }
        return 0;
    }

    // Set before Start.
    int openResult = 1;
    int wantRate = -1;
    int writable = -1;
    int zeroWritableAnswers = 0;
    bool failWrites = false; // every Write returns failResult
    int failResult = 0;
    int drainBusyAnswers = 0;

    std::atomic<int> opens { 0 };
    std::atomic<int> closes { 0 };
    std::atomic<int> drains { 0 };
    std::vector<int> writes;
    std::vector<char> out;
};

// A message loop for the test thread.
class MessageLog final : public platform::MessageTarget {
public:
    ~MessageLog() override { Detach(); }

    struct Entry {
        platform::MessageId msg;
        platform::WParam wParam;
    };
    std::vector<Entry> seen;

    // Dispatches until msg has arrived, at most ten seconds.
    bool WaitFor(platform::MessageId msg)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Has(msg)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            WaitAndDispatch(100);
        }
        return true;
    }
    [[nodiscard]] bool Has(platform::MessageId msg) const
    {
        return std::any_of(seen.begin(), seen.end(), [msg](const Entry& e) { return e.msg == msg; });
    }

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam wParam, platform::LParam) override
    {
        seen.push_back({ msg, wParam });
        return 0;
    }
};

// Waits on a condition another thread makes true, at most ten seconds.
template <typename Pred> bool Eventually(Pred pred)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace audiotest

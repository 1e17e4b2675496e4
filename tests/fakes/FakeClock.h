#pragma once

#include "platform/Clock.h"

#include <atomic>

// A clock that only moves when told to, or when someone sleeps on it, so
// polling code runs in tests without real waits.
class FakeClock final : public platform::Clock {
public:
    uint64_t NowMs() override { return m_now.load(); }
    void SleepMs(uint32_t ms) override { m_now += ms; }
    void Advance(uint64_t ms) { m_now += ms; }
    // The time of day moves with NowMs from the moment it is set.
    int64_t UnixSeconds() override { return (static_cast<int64_t>(m_now.load()) + m_unixOffsetMs.load()) / 1000; }
    void SetUnixSeconds(int64_t seconds) { m_unixOffsetMs = seconds * 1000 - static_cast<int64_t>(m_now.load()); }

private:
    std::atomic<uint64_t> m_now { 1000 };
    std::atomic<int64_t> m_unixOffsetMs { 0 };
};

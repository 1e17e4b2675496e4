#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

// A clock that moves only when the test advances it. Sleeps yield for a
// real millisecond without moving time, so a worker that polls real sockets
// keeps running while minutes of its schedule pass at the test's command.
// Sleeps are counted: a worker that sleeps once per round has finished a
// round when the count moved past it, which a test can wait for instead of
// guessing how long a round takes.
class ManualClock final : public platform::Clock {
public:
    uint64_t NowMs() override { return m_now.load(); }
    void SleepMs(uint32_t ms) override
    {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++m_sleeps;
    }
    void Advance(uint64_t ms) { m_now += ms; }
    [[nodiscard]] uint64_t Sleeps() const { return m_sleeps.load(); }

private:
    std::atomic<uint64_t> m_now { 1000 };
    std::atomic<uint64_t> m_sleeps { 0 };
};

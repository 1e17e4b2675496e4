#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

// A clock that moves only when the test advances it. Sleeps yield for a
// real millisecond without moving time, so a worker that polls real sockets
// keeps running while minutes of its schedule pass at the test's command.
class ManualClock final : public platform::Clock {
public:
    uint64_t NowMs() override { return m_now.load(); }
    void SleepMs(uint32_t ms) override
    {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Advance(uint64_t ms) { m_now += ms; }

private:
    std::atomic<uint64_t> m_now{1000};
};

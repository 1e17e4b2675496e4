#pragma once

#include <cstdint>

namespace platform {

// Time as the engine sees it: a monotonic millisecond tick and a sleep.
// Classes that poll take a Clock so tests can drive time without sleeping
// (tests/fakes/FakeClock.h).
// Thread: any; implementations are thread-safe.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes back.
    [[nodiscard]] virtual uint64_t NowMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
    // Seconds since 1970-01-01 UTC: the time of day for dated files and log
    // lines. Unlike NowMs it may jump when the system's time is set, and it
    // keeps counting while the machine sleeps.
    [[nodiscard]] virtual int64_t UnixSeconds();

    // The process's real monotonic clock.
    static Clock& System();
};

// A 32-bit millisecond tick, the width of the stamps that are stored and
// compared (a socket's last send, the connect time); it wraps after 49.7
// days, so compare ticks only by unsigned difference.
[[nodiscard]] uint32_t GetTickCount();
[[nodiscard]] uint64_t GetTickCount64();
void Sleep(uint32_t ms);

} // namespace platform

#include "platform/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

namespace {

class SystemClock final : public Clock {
public:
    uint64_t NowMs() override { return GetTickCount64(); }
    void SleepMs(uint32_t ms) override { Sleep(ms); }
};

} // namespace

int64_t Clock::UnixSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

Clock& Clock::System()
{
    static SystemClock clock;
    return clock;
}

uint64_t GetTickCount64()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t GetTickCount()
{
    return static_cast<uint32_t>(GetTickCount64());
}

void Sleep(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace platform

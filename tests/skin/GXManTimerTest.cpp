// Control timers: window-wide ids per (control, local id), re-arming,
// starting and killing from inside a callback, and the shortest period.
#include "skin/GXManTimer.h"

#include "skin/GXConBase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

namespace {

// Records its expiries and runs an optional reaction inside each.
class TimedControl : public GXConBase {
public:
    TimedControl()
        : GXConBase(nullptr)
    {
    }
    void OnTimer(int nLocalId) override
    {
        fired.push_back(nLocalId);
        if (onTimer)
            onTimer(nLocalId);
    }
    std::vector<int> fired;
    std::function<void(int)> onTimer;
};

// Runs the event loop until done() holds; false when a generous bound ran
// out first (the bound only catches a hang, the tests wait on events).
bool RunUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace

TEST(GXManTimer, GivesEachControlAndLocalIdItsOwnWindowId)
{
    GXManTimer timers;
    TimedControl a;
    TimedControl b;
    const unsigned first = timers.SetTimer(&a, 1000, 5000);
    EXPECT_EQ(first, 101u);
    const unsigned second = timers.SetTimer(&a, 1010, 5000);
    const unsigned other = timers.SetTimer(&b, 1000, 5000);
    EXPECT_NE(first, second);
    EXPECT_NE(first, other);
    EXPECT_NE(second, other);

    // Setting a pair again re-arms it under the id it has.
    EXPECT_EQ(timers.SetTimer(&a, 1000, 7000), first);
    EXPECT_EQ(timers.GetElapse(&a, 1000), 7000);

    // An expiry reaches its control with the local id.
    EXPECT_TRUE(timers.OnTimer(second));
    EXPECT_TRUE(timers.OnTimer(other));
    EXPECT_EQ(a.fired, std::vector<int> { 1010 });
    EXPECT_EQ(b.fired, std::vector<int> { 1000 });

    EXPECT_TRUE(timers.KillTimer(&a, 1010));
    EXPECT_FALSE(timers.KillTimer(&a, 1010));
    EXPECT_FALSE(timers.OnTimer(second));
    EXPECT_FALSE(timers.OnTimer(9999));
    EXPECT_EQ(timers.GetId(&a, 1010), 0u);

    // A new pair never takes an id still in use.
    const unsigned third = timers.SetTimer(&b, 2000, 5000);
    EXPECT_NE(third, first);
    EXPECT_NE(third, other);

    timers.KillAll();
    EXPECT_FALSE(timers.OnTimer(first));
    EXPECT_EQ(timers.GetElapse(&b, 2000), -1);
}

TEST(GXManTimer, NoPeriodIsShorterThanTenMilliseconds)
{
    struct Case {
        int asked;
        int runs;
    };
    const Case cases[]
        = { { 0, 10 }, { -5, 10 }, { INT_MIN, 10 }, { 1, 10 }, { 9, 10 }, { 10, 10 }, { 11, 11 }, { 50, 50 } };
    GXManTimer timers;
    TimedControl control;
    for (const Case& c : cases) {
        timers.SetTimer(&control, 1, c.asked);
        EXPECT_EQ(timers.GetElapse(&control, 1), c.runs) << "asked " << c.asked;
    }

    // A skin's 0 ms timer really runs at the shortest period: ten expiries
    // take at least about 90 ms (coarse timers may come 5 % early), however
    // loaded the machine is.
    timers.SetTimer(&control, 2, 0);
    QElapsedTimer clock;
    clock.start();
    control.fired.clear();
    ASSERT_TRUE(RunUntil([&] { return control.fired.size() >= 10; }));
    EXPECT_GE(clock.elapsed(), 85);
}

TEST(GXManTimer, CallbacksMayKillAndStartTimersTheirOwnIncluded)
{
    GXManTimer timers;
    TimedControl blinker;
    TimedControl other;
    int killedOthers = 0;
    // The first expiry kills itself and the other control's timer, then
    // starts a follow-up; the follow-up re-arms itself twice, then kills
    // every timer from inside its own callback.
    blinker.onTimer = [&](int localId) {
        if (localId == 1) {
            EXPECT_TRUE(timers.KillTimer(&blinker, 1));
            killedOthers += timers.KillTimer(&other, 7) ? 1 : 0;
            timers.SetTimer(&blinker, 2, 10);
        } else if (localId == 2) {
            const auto count = std::count(blinker.fired.begin(), blinker.fired.end(), 2);
            if (count < 3)
                timers.SetTimer(&blinker, 2, 10 + static_cast<int>(count));
            else
                timers.KillAll();
        }
    };
    timers.SetTimer(&blinker, 1, 10);
    timers.SetTimer(&other, 7, 60000);

    ASSERT_TRUE(RunUntil([&] { return std::count(blinker.fired.begin(), blinker.fired.end(), 2) == 3; }));
    EXPECT_EQ(killedOthers, 1);
    EXPECT_EQ(std::count(blinker.fired.begin(), blinker.fired.end(), 1), 1);
    EXPECT_EQ(timers.GetId(&blinker, 2), 0u);

    // Nothing fires after everything was killed: a fresh timer of 10 ms
    // comes first.
    TimedControl probe;
    timers.SetTimer(&probe, 5, 10);
    ASSERT_TRUE(RunUntil([&] { return !probe.fired.empty(); }));
    EXPECT_EQ(std::count(blinker.fired.begin(), blinker.fired.end(), 2), 3);
    EXPECT_TRUE(other.fired.empty());
}

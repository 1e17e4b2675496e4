// Refresh requests: once each, in order, after the event, and never for a
// control the window has let go.
#include "skin/GXRefreshQueue.h"

#include "skin/GXConBase.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

class Control : public GXConBase {
public:
    Control()
        : GXConBase(nullptr)
    {
    }
};

} // namespace

TEST(GXRefreshQueue, RefreshesEachWaitingControlOnceInOrderAfterTheEvent)
{
    std::vector<GXConBase*> refreshed;
    std::function<void(GXConBase&)> onRefresh;
    GXRefreshQueue queue([&](GXConBase& control) {
        refreshed.push_back(&control);
        if (onRefresh)
            onRefresh(control);
    });
    Control a;
    Control b;
    Control c;

    queue.Request(b);
    queue.Request(a);
    queue.Request(b);
    EXPECT_TRUE(refreshed.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshed, (std::vector<GXConBase*> { &b, &a }));

    // A refresh that asks again, and forgets another control, waits for the
    // next turn; nothing runs twice in one.
    refreshed.clear();
    onRefresh = [&](GXConBase& control) {
        if (&control == &a) {
            queue.Forget(c);
            queue.Request(a);
        }
    };
    queue.Request(a);
    queue.Request(c);
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshed, (std::vector<GXConBase*> { &a }));
    onRefresh = nullptr;
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshed, (std::vector<GXConBase*> { &a, &a }));

    // An unloading skin clears the queue; a queue that is gone is not called.
    refreshed.clear();
    queue.Request(a);
    queue.Clear();
    QCoreApplication::processEvents();
    EXPECT_TRUE(refreshed.empty());
    {
        GXRefreshQueue gone([&](GXConBase& control) { refreshed.push_back(&control); });
        gone.Request(c);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(refreshed.empty());
}

// The window draws once for a whole flush, after its last refresh, and not
// for a flush that found nothing waiting.
TEST(GXRefreshQueue, FinishesEachFlushOnceAfterItsRefreshes)
{
    std::vector<GXConBase*> calls;
    GXRefreshQueue queue([&](GXConBase& control) { calls.push_back(&control); }, [&] { calls.push_back(nullptr); });
    Control a;
    Control b;
    queue.Request(a);
    queue.Request(b);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, (std::vector<GXConBase*> { &a, &b, nullptr }));
    calls.clear();
    queue.Request(a);
    queue.Forget(a);
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.empty());
}

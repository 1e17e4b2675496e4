#include "app/CSessionEndSignal.h"

#include "support/QtEventWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

// Each signal arrives as one call on the event loop, never inside the
// handler; a burst before the loop runs is one call for its first signal.
// Signals held from before the watcher (the program's start) arrive once it
// is there.
TEST(CSessionEndSignal, SignalsBecomeOneQueuedCallOnTheEventLoop)
{
    const struct {
        std::vector<int> raised;
        bool bBeforeWatcher;
        int expected;
    } cases[] = {
        { { SIGTERM }, false, SIGTERM },
        { { SIGHUP }, false, SIGHUP },
        { { SIGHUP, SIGTERM, SIGTERM }, false, SIGHUP },
        { { SIGTERM }, true, SIGTERM },
        { { SIGHUP }, true, SIGHUP },
    };
    for (const auto& c : cases) {
        std::vector<int> calls;
        if (c.bBeforeWatcher) {
            CSessionEndSignal::HoldUntilInstalled();
            for (const int signal : c.raised)
                ASSERT_EQ(::raise(signal), 0);
        }
        CSessionEndSignal watcher([&calls](int signal) { calls.push_back(signal); });
        ASSERT_TRUE(watcher.IsInstalled());
        if (!c.bBeforeWatcher) {
            for (const int signal : c.raised)
                ASSERT_EQ(::raise(signal), 0);
        }
        EXPECT_TRUE(calls.empty());
        ASSERT_TRUE(RunEventsUntil([&] { return !calls.empty(); }));
        // Let any stray wake-up through before counting.
        QCoreApplication::processEvents();
        EXPECT_EQ(calls, std::vector<int> { c.expected });
    }
}

std::atomic<int> s_previousCalls { 0 };

// The handler in place before the watcher is back once it is gone, and a
// second watcher leaves the first one's handling alone.
TEST(CSessionEndSignal, PreviousHandlingReturnsAndOnlyOneWatcherHoldsTheSignals)
{
    s_previousCalls = 0;
    struct sigaction counting { };
    counting.sa_handler = [](int) { ++s_previousCalls; };
    sigemptyset(&counting.sa_mask);
    struct sigaction saved { };
    ASSERT_EQ(::sigaction(SIGHUP, &counting, &saved), 0);
    {
        int calls = 0;
        CSessionEndSignal first([&calls](int) { ++calls; });
        CSessionEndSignal second([](int) { ADD_FAILURE() << "the second watcher was called"; });
        EXPECT_TRUE(first.IsInstalled());
        EXPECT_FALSE(second.IsInstalled());
        ASSERT_EQ(::raise(SIGHUP), 0);
        ASSERT_TRUE(RunEventsUntil([&] { return calls == 1; }));
        EXPECT_EQ(s_previousCalls.load(), 0);
    }
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_EQ(s_previousCalls.load(), 1);
    {
        CSessionEndSignal again([](int) {});
        EXPECT_TRUE(again.IsInstalled());
    }
    ASSERT_EQ(::sigaction(SIGHUP, &saved, nullptr), 0);
}

} // namespace

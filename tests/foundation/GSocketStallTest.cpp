// A connected socket whose peer's window stays shut, on the scripted socket
// layer and a clock that moves only when slept on.
#include "foundation/GSocket.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeHostResolver.h"
#include "fakes/FakeSocketApi.h"

#include <gtest/gtest.h>

#include <string>

class GSocketStall : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(s.Create(80));
        ASSERT_TRUE(s.Connect("10.0.0.1", 80));
        api.sendBudgets.assign(100000, -1);
    }
    FakeSocketApi api;
    FakeHostResolver resolver;
    FakeClock clock;
    GSocket s { api, resolver, clock };
};

TEST_F(GSocketStall, SendAndWaitEndsAtItsLimitWithTheBytesStillQueued)
{
    const std::string data(3000, 'z');
    const uint64_t started = clock.NowMs();
    EXPECT_FALSE(s.SendAndWait(data.data(), static_cast<int>(data.size()), 2000));
    EXPECT_GE(clock.NowMs() - started, 2000u);
    EXPECT_LT(clock.NowMs() - started, 3000u);
    EXPECT_EQ(s.GetSendLength(), 3000);
    EXPECT_EQ(s.GetState(), GSocket::kConnected);
}

// A stalled connection's unsent bytes must not lead the next connection.
TEST_F(GSocketStall, ANewConnectionStartsWithEmptyQueues)
{
    ASSERT_TRUE(s.Send("stale", 5));
    ASSERT_TRUE(s.Poll(nullptr));
    ASSERT_EQ(s.GetSendLength(), 5);
    ASSERT_TRUE(s.Close());

    api.sendBudgets.clear();
    ASSERT_TRUE(s.Create(80));
    ASSERT_TRUE(s.Connect("10.0.0.1", 80));
    ASSERT_TRUE(s.SendAndWait("fresh", 5, 2000));
    EXPECT_EQ(api.sent, "fresh");
}

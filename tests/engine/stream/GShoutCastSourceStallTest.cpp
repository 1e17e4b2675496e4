// Stalled peers and the source client's bounded waits, on the scripted socket
// layer and a clock that moves only when slept on: a server whose window
// stays shut cannot hold the caller past the stated limits.
#include "engine/stream/GShoutCastSource.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeHostResolver.h"
#include "fakes/FakeSocketApi.h"

#include <gtest/gtest.h>

#include <string>

class GShoutCastSourceStall : public ::testing::Test {
protected:
    // After a login, waits for the first title: the fake sockets are the
    // test's alone again.
    int Connect()
    {
        const int code = source.Connect("10.0.0.1", 8000, 128, "secret", "Station", "http://u", "pop", "dj");
        EXPECT_TRUE(source.WaitTitlesSent(10000));
        return code;
    }
    // Plenty of "would block" answers: more polls than any limit allows.
    void ShutTheWindow() { api.sendBudgets.assign(100000, -1); }

    FakeSocketApi api;
    FakeHostResolver resolver;
    FakeClock clock;
    GShoutCastSource source { api, resolver, clock };
};

TEST_F(GShoutCastSourceStall, TitlePushGivesUpAfterItsLimit)
{
    api.incoming.push_back("OK2\r\nicy-caps:11\r\n\r\n");
    ASSERT_EQ(Connect(), GShoutCastSource::kOk);

    ShutTheWindow();
    const uint64_t started = clock.NowMs();
    EXPECT_EQ(source.SendTitleNow("song", ""), GShoutCastSource::kSendFailed);
    const uint64_t waited = clock.NowMs() - started;
    EXPECT_GE(waited, GShoutCastSource::kTitleSendLimitMs);
    EXPECT_LT(waited, GShoutCastSource::kTitleSendLimitMs + 1000);
}

// A server answers one request per connection: a title that timed out must
// not go out ahead of the next one, or the stale title is what it shows.
TEST_F(GShoutCastSourceStall, ATitleThatTimedOutIsNotSentWithTheNextOne)
{
    api.incoming.push_back("OK2\r\nicy-caps:11\r\n\r\n");
    ASSERT_EQ(Connect(), GShoutCastSource::kOk);
    ShutTheWindow();
    ASSERT_EQ(source.SendTitleNow("song", ""), GShoutCastSource::kSendFailed);

    api.sendBudgets.clear();
    const size_t before = api.sent.size();
    EXPECT_EQ(source.SendTitleNow("next", ""), GShoutCastSource::kOk);
    EXPECT_EQ(api.sent.substr(before),
        "GET /admin.cgi?pass=secret&mode=updinfo&song=%6e%65%78%74&url= HTTP/1.1\n"
        "User-Agent: Mozilla(Fixed Value)\n\n");
}

TEST_F(GShoutCastSourceStall, LoginHeadersThatNeverLeaveFailTheConnect)
{
    // The password leaves, the reply arrives, then the window shuts for the
    // header block.
    api.incoming.push_back("OK2\r\nicy-caps:11\r\n\r\n");
    ShutTheWindow();
    api.sendBudgets.push_front(7);
    const uint64_t started = clock.NowMs();
    EXPECT_EQ(Connect(), GShoutCastSource::kSendFailed);
    EXPECT_LT(
        clock.NowMs() - started, GShoutCastSource::kLoginReplyLimitMs + GShoutCastSource::kLoginSendLimitMs + 1000);
    EXPECT_FALSE(source.IsConnected());
}

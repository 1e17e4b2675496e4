// A listener that stops reading while its intro tune is still going out is
// timed out by the same 20-second rule as one that stops during the stream,
// and the listener next to it keeps getting every byte. Time is a fake
// clock, so the rule runs at once.
#include "engine/server/CDJServer.h"
#include "engine/server/StreamFrames.h"

#include "fakes/FakeClock.h"
#include "support/ServerRig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

using testutil::AfterHeader;
using testutil::LoopbackClient;
using testutil::ServerRig;

TEST(CDJServerIntro, AListenerThatStopsReadingDuringTheIntroIsTimedOut)
{
    constexpr int kWait = 10000;
    FakeClock clock;
    ServerRig rig(std::make_unique<CDJServer>(platform::SocketApi::System(), platform::HostResolver::System(), clock));
    // Far more than the kernel buffers of both ends can hold.
    const std::string intro(6 << 20, 'I');
    std::ofstream(rig.Folder() + "/intro.mp3", std::ios::binary) << intro;
    ASSERT_TRUE(rig.Start(10, rig.Folder() + "/intro.mp3"));
    LoopbackClient source;
    ASSERT_TRUE(rig.ConnectSource(source));
    ASSERT_TRUE(rig.WaitLog(" dj:icy-br:128"));

    // A listener that reads everything shows when the server has taken a
    // block from the source.
    LoopbackClient watcher;
    ASSERT_TRUE(ServerRig::RequestStream(watcher, rig.Port(), false));
    ASSERT_TRUE(watcher.ReadUntil("\r\n\r\n", kWait));
    const size_t watched = watcher.Data().find("\r\n\r\n") + 4 + intro.size();
    ASSERT_TRUE(watcher.ReadAtLeast(watched, kWait));

    LoopbackClient stalled;
    ASSERT_TRUE(stalled.Connect(rig.Port(), 4096));
    ASSERT_TRUE(stalled.Send("GET / HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(stalled.ReadUntil("\r\n\r\n", kWait));
    ASSERT_TRUE(rig.Sync());

    // Twenty seconds pass in two steps with audio between, so only the
    // listener that takes nothing is idle. Its send buffer is fixed, yet the
    // system may still take the few bytes that free up once as the buffers
    // settle, which starts its twenty seconds anew: time moves on in such
    // rounds until the drop, each ending when the server has stepped every
    // client at the new time.
    size_t watchedNow = watched;
    char fill = 'K';
    bool dropped = false;
    for (int round = 0; round < 4 && !dropped; ++round) {
        for (int half = 0; half < 2; ++half) {
            clock.Advance(CDJServer::kIdleLimitMs / 2 + 1000);
            ASSERT_TRUE(source.Send(std::string(8192, fill++)));
            watchedNow += 8192;
            ASSERT_TRUE(watcher.ReadAtLeast(watchedNow, kWait));
        }
        ASSERT_TRUE(rig.Sync());
        dropped = rig.HasLog("Timeout(IP:127.0.0.1)");
    }
    EXPECT_TRUE(dropped);

    // A listener that reads gets the whole intro, then the live block.
    LoopbackClient reader;
    ASSERT_TRUE(ServerRig::RequestStream(reader, rig.Port(), false));
    ASSERT_TRUE(reader.ReadUntil("\r\n\r\n", kWait));
    ASSERT_TRUE(source.Send(std::string(8192, 'M')));
    const size_t header = reader.Data().find("\r\n\r\n") + 4;
    ASSERT_TRUE(reader.ReadAtLeast(header + intro.size(), kWait));
    EXPECT_EQ(AfterHeader(reader.Data()).substr(0, intro.size()), intro);
}

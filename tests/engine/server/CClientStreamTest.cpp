// Listeners streamed straight from the server's ring, on an in-memory
// network so a stall lands where chosen. A listener that stops taking bytes
// partway through a block while the source fills the whole ring behind it,
// and then reads again, has its block overwritten mid-send: it must still
// get a well-formed stream (that block whole, then a skip ahead at the
// block boundary, titles framed every 8192 audio bytes).

#include "engine/server/CDJServer.h"
#include "engine/server/StreamFrames.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHostResolver.h"
#include "fakes/FakeNetwork.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 8000;
constexpr size_t kBlock = CStreamRing::kSlotBytes;

std::string Block(uint64_t seq)
{
    std::string block(kBlock, static_cast<char>('a' + seq % 26));
    std::memcpy(block.data(), &seq, sizeof seq);
    return block;
}

uint64_t SeqOf(const std::string& block)
{
    uint64_t seq = 0;
    std::memcpy(&seq, block.data(), sizeof seq);
    return block == Block(seq) ? seq : 0;
}

struct Logs {
    std::vector<std::string> lines;
    static void Add(const char* text, void* user) { static_cast<Logs*>(user)->lines.emplace_back(text); }
    [[nodiscard]] bool Has(const std::string& start) const
    {
        for (const std::string& l : lines)
            if (l.compare(0, start.size(), start) == 0)
                return true;
        return false;
    }
};

} // namespace

TEST(CClientStream, AListenerWhoseBlockIsOverwrittenMidSendSkipsAheadAtTheBlockBoundary)
{
    struct Case {
        const char* name;
        bool metadata;
        // Bytes after the header the listener takes before it stalls.
        long long takes;
        // The last block begun by then (0 is the first it was sent).
        size_t begun;
    };
    constexpr long long kFrame = static_cast<long long>(kBlock) + 1;
    const Case cases[] = {
        { "inside a block, no titles", false, 5000, 0 },
        { "inside a block, with titles", true, 5000, 0 },
        { "inside the first title block", true, kFrame + 10, 0 },
        { "inside the third block", true, kFrame + 32 + kFrame + 700, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNetwork net;
        FakeHostResolver resolver;
        FakeClock clock;
        CDJServer server(net, resolver, clock);
        Logs logs;
        CDJServerParams params;
        params.port = kPort;
        params.maxListeners = 4;
        params.pageFolder = "/nonexistent-tavdj-pages";
        params.logCallback = &Logs::Add;
        params.logUser = &logs;
        ASSERT_TRUE(server.StartWithoutThread(params));
        auto passes = [&](int n) {
            for (int i = 0; i < n; ++i)
                server.RunPass();
        };

        const int dj = net.Connect(kPort + 1);
        net.At(dj).toServer = server.GetPassword() + std::string(1, '\0') + "\nicy-name:DJ\nicy-br:128\n\n";
        uint64_t written = 0;
        auto feed = [&](uint64_t count) {
            for (uint64_t i = 0; i < count; ++i)
                net.At(dj).toServer += Block(++written);
            while (!net.At(dj).toServer.empty())
                passes(1);
            passes(2);
        };
        passes(3);
        feed(20);

        const int listener = net.Connect(kPort);
        net.At(listener).toServer = c.metadata ? "GET / HTTP/1.0\r\nIcy-MetaData:1\r\n\r\n" : "GET / HTTP/1.0\r\n\r\n";
        net.At(listener).room = 0;
        passes(2);
        const std::string& got = net.At(listener).fromServer;
        ASSERT_TRUE(got.empty());
        // The header is taken by itself first, so the stall lands where the
        // case says.
        net.At(listener).room = 1;
        for (int i = 0; i < 400 && got.find("\r\n\r\n") == std::string::npos; ++i) {
            net.At(listener).room = 1;
            passes(1);
        }
        const size_t header = got.find("\r\n\r\n");
        ASSERT_NE(header, std::string::npos);
        net.At(listener).room = c.takes;
        passes(4);
        ASSERT_EQ(got.size(), header + 4 + static_cast<size_t>(c.takes));
        const uint64_t first = 20 - CStreamRing::kBurstBlocks + 1;

        // The ring comes round past the stalled listener's block.
        while (written < first + CStreamRing::kSlots + 30)
            feed(64);
        net.At(listener).room = -1;
        passes(10);
        EXPECT_TRUE(logs.Has("SkipAhead(IP:127.0.0.1)"));

        const std::string stream = got.substr(header + 4);
        std::vector<std::string> audio;
        std::vector<std::string> titles;
        if (c.metadata) {
            const testutil::IcyFrames frames = testutil::SplitIcy(stream);
            EXPECT_EQ(frames.used, stream.size()) << "the bytes end inside a frame: framing broken";
            audio = frames.audio;
            titles = frames.titles;
        } else {
            EXPECT_EQ(stream.size() % kBlock, 0u);
            for (size_t at = 0; at + kBlock <= stream.size(); at += kBlock)
                audio.push_back(stream.substr(at, kBlock));
        }
        std::vector<uint64_t> seqs;
        for (const std::string& a : audio)
            seqs.push_back(SeqOf(a));
        ASSERT_GE(seqs.size(), 3u);
        // The block it was in the middle of arrives whole; after the skip
        // each block follows the one before.
        for (size_t i = 0; i <= c.begun; ++i)
            EXPECT_EQ(seqs[i], first + i);
        EXPECT_GT(seqs[c.begun + 1], first + CStreamRing::kSlots) << "no skip ahead";
        for (size_t i = c.begun + 2; i < seqs.size(); ++i)
            EXPECT_EQ(seqs[i], seqs[i - 1] + 1);
        EXPECT_EQ(seqs.back(), written);
        if (c.metadata) {
            EXPECT_EQ(titles[0].compare(0, 15, "StreamTitle='DJ"), 0) << titles[0];
            for (size_t i = 1; i < titles.size(); ++i)
                EXPECT_EQ(titles[i], "");
        }
        server.Stop();
    }
}

// Only bytes the network refused count toward the idle limit: a listener
// that waited longer than that for the source's next block is sent it.
TEST(CClientStream, AListenerWaitingOnAPausedSourceIsKept)
{
    FakeNetwork net;
    FakeHostResolver resolver;
    FakeClock clock;
    CDJServer server(net, resolver, clock);
    CDJServerParams params;
    params.port = kPort;
    params.pageFolder = "/nonexistent-tavdj-pages";
    params.logCallback = [](const char*, void*) {};
    ASSERT_TRUE(server.StartWithoutThread(params));
    const int dj = net.Connect(kPort + 1);
    net.At(dj).toServer = server.GetPassword() + std::string(1, '\0') + "\nicy-name:DJ\n\n" + Block(1);
    const int listener = net.Connect(kPort);
    net.At(listener).toServer = "GET / HTTP/1.0\r\n\r\n";
    for (int i = 0; i < 5; ++i)
        server.RunPass();
    ASSERT_EQ(testutil::AfterHeader(net.At(listener).fromServer), Block(1));

    clock.Advance(CDJServer::kIdleLimitMs + 5000);
    net.At(dj).toServer = Block(2);
    for (int i = 0; i < 5; ++i)
        server.RunPass();
    EXPECT_FALSE(net.At(listener).serverClosed);
    EXPECT_EQ(testutil::AfterHeader(net.At(listener).fromServer), Block(1) + Block(2));
    server.Stop();
}

#include "foundation/GAsyncDNS.h"

#include "fakes/FakeHostResolver.h"
#include "foundation/GLingeringThreads.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

int LookupUntilDone(GAsyncDNS& dns, const std::string& host, uint32_t* address)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int answer = 1;
    while (answer == 1 && std::chrono::steady_clock::now() < end) {
        answer = dns.Lookup(host.c_str(), address);
        if (answer == 1)
            platform::Sleep(1);
    }
    return answer;
}

} // namespace

TEST(GAsyncDNS, AnswersPendingThenCachedAndRemembersFailures)
{
    FakeHostResolver resolver;
    resolver.Add("a.test", 0x04030201);
    GAsyncDNS dns(resolver);
    uint32_t address = 0;

    EXPECT_EQ(dns.Lookup("10.1.2.3", &address), 0);
    EXPECT_EQ(address, 0x0302010Au);
    EXPECT_EQ(resolver.Calls(), 0);

    resolver.Hold(true);
    EXPECT_EQ(dns.Lookup("a.test", &address), 1);
    EXPECT_EQ(dns.Lookup("a.test", &address), 1);
    resolver.Hold(false);
    EXPECT_EQ(LookupUntilDone(dns, "a.test", &address), 0);
    EXPECT_EQ(address, 0x04030201u);

    EXPECT_EQ(LookupUntilDone(dns, "b.test", &address), -1);
    const int calls = resolver.Calls();
    EXPECT_EQ(dns.Lookup("b.test", &address), -1);
    EXPECT_EQ(dns.Lookup("a.test", &address), 0);
    EXPECT_EQ(resolver.Calls(), calls);
    EXPECT_EQ(dns.Lookup(std::string(256, 'x').c_str(), &address), -1);
}

TEST(GAsyncDNS, FullTableRefusesWhenAllPendingAndReusesTheLeastRecentDoneEntry)
{
    auto Name = [](char letter, int i) { return std::string(1, letter).append(std::to_string(i)); };
    FakeHostResolver resolver;
    uint32_t address = 0;
    {
        GAsyncDNS dns(resolver);
        resolver.Hold(true);
        for (int i = 0; i < GAsyncDNS::kEntryCount; ++i)
            EXPECT_EQ(dns.Lookup(Name('p', i).c_str(), &address), 1);
        EXPECT_EQ(dns.Lookup("one.too.many", &address), -1);
    }
    // The destructor did not wait for the held pass: it lingers until the
    // resolver answers, and is joined then.
    EXPECT_FALSE(GLingeringThreads::JoinEnded());
    resolver.Hold(false);
    EXPECT_TRUE(GLingeringThreads::JoinEnded(5000));

    GAsyncDNS dns(resolver);
    for (int i = 0; i < GAsyncDNS::kEntryCount; ++i) {
        resolver.Add(Name('h', i), static_cast<uint32_t>(i + 1));
        ASSERT_EQ(LookupUntilDone(dns, Name('h', i), &address), 0);
    }
    for (int i = GAsyncDNS::kEntryCount - 1; i >= 1; --i)
        ASSERT_EQ(dns.Lookup(Name('h', i).c_str(), &address), 0);
    // h0 is now the least recently used; the new name takes its entry.
    resolver.Add("new", 99);
    ASSERT_EQ(LookupUntilDone(dns, "new", &address), 0);
    const int calls = resolver.Calls();
    for (int i = 1; i < GAsyncDNS::kEntryCount; ++i)
        ASSERT_EQ(dns.Lookup(Name('h', i).c_str(), &address), 0);
    EXPECT_EQ(resolver.Calls(), calls);
    EXPECT_EQ(dns.Lookup("h0", &address), 1); // evicted: asked again
}

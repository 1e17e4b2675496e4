#include "platform/OwnerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using platform::OwnerThread;

namespace {

bool IsCurrentOn(const OwnerThread& owner)
{
    bool answer = true;
    std::jthread([&] { answer = owner.IsCurrent(); }).join();
    return answer;
}

} // namespace

TEST(OwnerThread, TheMakingThreadOwnsItUntilRebound)
{
    OwnerThread owner;
    EXPECT_TRUE(owner.IsCurrent());
    EXPECT_FALSE(IsCurrentOn(owner));

    // Handed to another thread: the first one to ask takes it over.
    owner.Rebind();
    EXPECT_TRUE(IsCurrentOn(owner)) << "the first asker becomes the owner";
    EXPECT_FALSE(owner.IsCurrent());
}

TEST(OwnerThread, OfThreadsRacingToBindExactlyOneWins)
{
    for (int round = 0; round < 50; ++round) {
        OwnerThread owner;
        owner.Rebind();
        std::atomic<int> owners { 0 };
        {
            std::jthread a([&] { owners += owner.IsCurrent() ? 1 : 0; });
            std::jthread b([&] { owners += owner.IsCurrent() ? 1 : 0; });
        }
        EXPECT_EQ(owners.load(), 1);
    }
}

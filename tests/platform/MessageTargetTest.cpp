#include "platform/MessageTarget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace platform;

namespace {

class Recorder final : public MessageTarget {
public:
    ~Recorder() override { Detach(); }
    std::vector<std::pair<MessageId, WParam>> seen;

protected:
    LParam OnMessage(MessageId msg, WParam w, LParam l) override
    {
        seen.emplace_back(msg, w);
        return l * 2;
    }
};

} // namespace

TEST(MessageRegistry, SameNameSameIdFromManyThreads)
{
    const MessageId first = RegisterMessage("WM_TEST_REGISTRY_A");
    EXPECT_GE(first, MessageRegistry::kFirstId);
    EXPECT_EQ(RegisterMessage("WM_TEST_REGISTRY_A"), first);
    EXPECT_NE(RegisterMessage("WM_TEST_REGISTRY_B"), first);
    EXPECT_EQ(MessageRegistry::NameOf(first), "WM_TEST_REGISTRY_A");
    EXPECT_EQ(RegisterMessage(""), 0u);

    std::vector<MessageId> ids(8);
    std::vector<std::jthread> threads;
    for (size_t i = 0; i < ids.size(); ++i)
        threads.emplace_back([&ids, i] { ids[i] = RegisterMessage("WM_TEST_REGISTRY_RACE"); });
    threads.clear();
    for (MessageId id : ids)
        EXPECT_EQ(id, ids[0]);
}

TEST(MessageTarget, PostsArriveInOrderAndSendRunsNow)
{
    Recorder target;
    const MessageId msg = RegisterMessage("WM_TEST_ORDER");
    {
        std::jthread poster([&] {
            for (WParam i = 0; i < 1000; ++i)
                EXPECT_TRUE(PostMessage(target.Handle(), msg, i, 0));
        });
    }
    EXPECT_EQ(target.DispatchPending(), 1000u);
    ASSERT_EQ(target.seen.size(), 1000u);
    for (WParam i = 0; i < 1000; ++i)
        EXPECT_EQ(target.seen[i].second, i);

    EXPECT_EQ(SendMessage(target.Handle(), msg, 7, 21), 42);
    EXPECT_EQ(target.seen.back().second, 7u);
}

TEST(MessageTarget, PostToVanishedTargetIsDropped)
{
    TargetHandle handle;
    {
        Recorder gone;
        handle = gone.Handle();
    }
    EXPECT_FALSE(PostMessage(handle, RegisterMessage("WM_TEST_GONE"), 1, 2));
    EXPECT_EQ(SendMessage(handle, RegisterMessage("WM_TEST_GONE"), 1, 2), 0);
    EXPECT_FALSE(PostMessage(kNoTarget, 1, 1, 1));
}

// Each post either reaches the live target (its wake hook runs, under the
// registry lock) or is refused because the target is gone. A refused handle
// never accepts again, and no post reaches the target once its destructor
// has returned; under ThreadSanitizer a post touching the dying target
// outside the lock would be reported as a race.
TEST(MessageTarget, PostersRacingDestructionNeverCrash)
{
    const MessageId msg = RegisterMessage("WM_TEST_RACE");
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> wakes { 0 };
        std::atomic<bool> destroyed { false };
        std::atomic<int> wakesAfterDestruction { 0 };
        auto target = std::make_unique<Recorder>();
        target->SetWakeHook([&] {
            ++wakes;
            if (destroyed)
                ++wakesAfterDestruction;
        });
        const TargetHandle handle = target->Handle();
        int accepted = 0;
        bool acceptedAfterRefusal = false;
        std::jthread poster([&] {
            bool refused = false;
            for (int i = 0; i < 200; ++i) {
                if (PostMessage(handle, msg, 0, 0)) {
                    ++accepted;
                    acceptedAfterRefusal = acceptedAfterRefusal || refused;
                } else {
                    refused = true;
                }
            }
        });
        target.reset();
        destroyed = true;
        poster.join();
        EXPECT_EQ(wakes.load(), accepted) << "round " << round;
        EXPECT_EQ(wakesAfterDestruction.load(), 0) << "round " << round;
        EXPECT_FALSE(acceptedAfterRefusal) << "round " << round;
        EXPECT_FALSE(PostMessage(handle, msg, 0, 0));
    }
}

TEST(MessageTarget, WaitAndDispatchTimesOutWhenIdle)
{
    Recorder target;
    EXPECT_FALSE(target.WaitAndDispatch(1));
    std::jthread poster([&] { PostMessage(target.Handle(), RegisterMessage("WM_TEST_WAIT"), 3, 0); });
    EXPECT_TRUE(target.WaitAndDispatch(5000));
    EXPECT_EQ(target.seen.size(), 1u);
}

// One handle per mixer and thread, shared by everyone who opens it there,
// closed when nothing needs it any more.
#include "platform/Mixer.h"

#include "fakes/FakeMixer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Device = std::shared_ptr<platform::MixerDevice>;

struct SSharingCase {
    const char* name;
    // Opens and lets go through the system; what it keeps lives until the
    // case ends, after the handles are counted.
    std::function<void(FakeMixerSystem&, std::vector<Device>*)> run;
    int opens; // handles the case made
    int open; // handles still open at the count
};

class MixerSharing : public testing::TestWithParam<SSharingCase> { };

TEST_P(MixerSharing, OpensEachMixerOnceAndClosesItWhenNothingNeedsIt)
{
    const SSharingCase& c = GetParam();
    FakeMixerSystem system;
    system.AddCard("First");
    system.AddCard("Second");
    std::vector<Device> kept;
    c.run(system, &kept);
    EXPECT_EQ(system.opens, c.opens);
    EXPECT_EQ(system.OpenHandles(), c.open);
    kept.clear();
    EXPECT_EQ(system.OpenHandles(), 0) << "a handle outlived everyone who used it";
}

INSTANTIATE_TEST_SUITE_P(Platform, MixerSharing,
    testing::Values(SSharingCase { "OpenedTwiceWhileInUse",
                        [](FakeMixerSystem& s, std::vector<Device>* kept) {
                            kept->push_back(s.Open(0));
                            kept->push_back(s.Open(0));
                            EXPECT_EQ(kept->at(0), kept->at(1));
                        },
                        1, 1 },
        SSharingCase { "EachMixerHasItsOwn",
            [](FakeMixerSystem& s, std::vector<Device>* kept) {
                kept->push_back(s.Open(0));
                kept->push_back(s.Open(1));
                EXPECT_NE(kept->at(0), kept->at(1));
            },
            2, 2 },
        SSharingCase { "LetGoThenOpenedAgain",
            [](FakeMixerSystem& s, std::vector<Device>*) {
                EXPECT_NE(s.Open(0), nullptr);
                EXPECT_NE(s.Open(0), nullptr);
            },
            2, 0 },
        SSharingCase { "HeldBetweenSteps",
            [](FakeMixerSystem& s, std::vector<Device>* kept) {
                const platform::MixerHold hold(s);
                EXPECT_NE(s.Open(0), nullptr);
                EXPECT_NE(s.Open(1), nullptr);
                kept->push_back(s.Open(0));
            },
            2, 1 },
        SSharingCase { "HoldEndsWithNothingInUse",
            [](FakeMixerSystem& s, std::vector<Device>*) {
                {
                    const platform::MixerHold hold(s);
                    EXPECT_NE(s.Open(0), nullptr);
                }
                EXPECT_EQ(s.OpenHandles(), 0);
            },
            1, 0 },
        SSharingCase { "AnotherThreadOpensItsOwn",
            [](FakeMixerSystem& s, std::vector<Device>* kept) {
                kept->push_back(s.Open(0));
                Device other;
                std::thread([&] { other = s.Open(0); }).join();
                EXPECT_NE(other, kept->at(0));
                kept->push_back(std::move(other));
            },
            2, 2 },
        SSharingCase { "AHoldKeepsOnlyItsOwnThreads",
            [](FakeMixerSystem& s, std::vector<Device>*) {
                const platform::MixerHold hold(s);
                std::thread([&] { EXPECT_NE(s.Open(0), nullptr); }).join();
            },
            1, 0 },
        SSharingCase { "AMixerThatWentAwayIsNotHandedOutAgain",
            [](FakeMixerSystem& s, std::vector<Device>* kept) {
                kept->push_back(s.Open(1));
                s.cards.pop_back();
                EXPECT_EQ(s.Open(1), nullptr);
            },
            1, 1 },
        SSharingCase { "OpenedAheadIsTheHoldThreadsHandle",
            [](FakeMixerSystem& s, std::vector<Device>* kept) {
                platform::MixerHold hold(s);
                hold.OpenAhead(1);
                kept->push_back(s.Open(1));
                EXPECT_NE(kept->back(), nullptr);
                EXPECT_EQ(s.Open(1), kept->back());
            },
            1, 1 },
        SSharingCase { "OpenedAheadAndNeverUsed",
            [](FakeMixerSystem& s, std::vector<Device>*) {
                platform::MixerHold hold(s);
                hold.OpenAhead(0);
            },
            1, 0 },
        SSharingCase { "AMixerThatIsNotThere",
            [](FakeMixerSystem& s, std::vector<Device>* kept) {
                const platform::MixerHold hold(s);
                EXPECT_EQ(s.Open(2), nullptr);
                EXPECT_EQ(s.Open(-1), nullptr);
                kept->push_back(s.Open(1));
            },
            1, 1 }),
    [](const testing::TestParamInfo<SSharingCase>& testInfo) { return std::string(testInfo.param.name); });

} // namespace

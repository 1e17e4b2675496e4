// The server's accept, read and close order under random interleavings on
// an in-memory network (the fuzz target ServerInterleavings explores more).

#include "engine/server/ServerInterleaving.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(ServerInterleaving, NoBlockLostNoDjDisplacedByAStrangerNoSpinning)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        std::vector<uint8_t> events(400 + seed * 10);
        for (uint8_t& e : events)
            e = static_cast<uint8_t>(random());
        EXPECT_EQ(testutil::RunServerInterleaving(events.data(), events.size()), "") << "seed " << seed;
    }
}

// A DJ logs in, sends and closes before the server looks; strangers crowd
// the source port while accepting fails and resumes.
TEST(ServerInterleaving, ChosenOrders)
{
    const std::vector<std::vector<uint8_t>> orders = {
        { 2, 3 | 16, 3 | 8, 4, 7 },
        { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7, 0, 0, 0, 3, 4, 7 },
        { 6 | 8, 2, 0, 1 | 8, 3, 7 | 24, 6, 7, 3, 4 },
        { 2, 3, 7, 2, 3, 4, 7, 5 | 8, 5, 7 | 24 },
    };
    for (const auto& order : orders)
        EXPECT_EQ(testutil::RunServerInterleaving(order.data(), order.size()), "");
}

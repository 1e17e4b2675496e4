#include "platform/MulDiv.h"

#include <climits>
#include <gtest/gtest.h>

using platform::MulDiv;

TEST(MulDiv, RoundsToNearestHalfAwayFromZero)
{
    EXPECT_EQ(MulDiv(2304, 16, 8), 4608);
    EXPECT_EQ(MulDiv(22050, 50, 1000), 1103); // 1102.5 rounds up
    EXPECT_EQ(MulDiv(-22050, 50, 1000), -1103);
    EXPECT_EQ(MulDiv(22050, -50, 1000), -1103);
    EXPECT_EQ(MulDiv(22050, 50, -1000), -1103);
    EXPECT_EQ(MulDiv(-22050, -50, 1000), 1103);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(2, 1, 3), 1);
    EXPECT_EQ(MulDiv(9216, 44100, 32000), 12701);
}

TEST(MulDiv, UsesA64BitProduct)
{
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(MulDiv(1 << 20, 1 << 20, 1 << 20), 1 << 20);
    EXPECT_EQ(MulDiv(INT_MIN, 1, 1), INT_MIN);
}

TEST(MulDiv, ReportsMinusOneForZeroDivisorAndOverflow)
{
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT_MIN, -1, 1), -1);
    EXPECT_EQ(MulDiv(INT_MIN, 2, 1), -1);
}

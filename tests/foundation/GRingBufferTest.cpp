#include "foundation/GRingBuffer.h"
#include "foundation/GLockedRingBuffer.h"

#include <climits>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

std::vector<char> Pattern(int n, int start = 0)
{
    std::vector<char> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = static_cast<char>((start + i) * 7 + 3);
    return v;
}

} // namespace

TEST(GRingBuffer, GrowsOnlyWhenTheFreeSpaceIsNotStrictlyLarger)
{
    {
        GRingBuffer ring;
        ASSERT_TRUE(ring.Write(4095, Pattern(4095).data()));
        EXPECT_EQ(ring.GetCapacity(), 4096);
    }
    {
        GRingBuffer ring;
        ASSERT_TRUE(ring.Write(4096, Pattern(4096).data()));
        EXPECT_EQ(ring.GetCapacity(), 8192);
    }
    {
        GRingBuffer ring;
        ASSERT_TRUE(ring.Write(10000, Pattern(10000).data()));
        EXPECT_EQ(ring.GetCapacity(), 16384);
        std::vector<char> out(10000);
        ASSERT_TRUE(ring.Read(10000, out.data(), GRingBuffer::Consume::Yes));
        EXPECT_EQ(out, Pattern(10000));
    }
}

TEST(GRingBuffer, WrapsAndGrowsKeepingOrder)
{
    GRingBuffer ring;
    ASSERT_TRUE(ring.Write(3000, Pattern(3000).data()));
    ASSERT_TRUE(ring.Skip(2000));
    ASSERT_TRUE(ring.Write(2500, Pattern(2500, 3000).data()));
    EXPECT_EQ(ring.GetCapacity(), 4096); // the last 1404 bytes wrapped to the front
    std::vector<char> out(3500);
    ASSERT_TRUE(ring.Read(3500, out.data(), GRingBuffer::Consume::No));
    EXPECT_EQ(out, Pattern(3500, 2000));

    // Growing a wrapped buffer keeps the bytes in order.
    ASSERT_TRUE(ring.Write(4000, Pattern(4000, 5500).data()));
    EXPECT_EQ(ring.GetCapacity(), 8192);
    std::vector<char> all(7500);
    ASSERT_TRUE(ring.Read(7500, all.data(), GRingBuffer::Consume::Yes));
    EXPECT_EQ(all, Pattern(7500, 2000));
    EXPECT_EQ(ring.GetLength(), 0);
}

TEST(GRingBuffer, PeekSkipClearAndRefusals)
{
    GRingBuffer ring;
    ASSERT_TRUE(ring.Write(100, Pattern(100).data()));
    std::vector<char> a(60), b(60);
    ASSERT_TRUE(ring.Read(60, a.data(), GRingBuffer::Consume::No));
    ASSERT_TRUE(ring.Read(60, b.data(), GRingBuffer::Consume::No));
    EXPECT_EQ(a, b);
    EXPECT_TRUE(ring.Skip(60));
    EXPECT_EQ(ring.GetLength(), 40);

    EXPECT_FALSE(ring.Read(0, a.data(), GRingBuffer::Consume::Yes));
    EXPECT_FALSE(ring.Read(-5, a.data(), GRingBuffer::Consume::Yes));
    EXPECT_FALSE(ring.Read(41, a.data(), GRingBuffer::Consume::Yes));
    EXPECT_FALSE(ring.Skip(0));
    EXPECT_FALSE(ring.Skip(-1));
    EXPECT_FALSE(ring.Skip(41));
    EXPECT_TRUE(ring.Write(0, nullptr));
    EXPECT_TRUE(ring.Write(-3, nullptr));
    EXPECT_EQ(ring.GetLength(), 40);

    ASSERT_TRUE(ring.Write(9000, Pattern(9000).data()));
    const int capacity = ring.GetCapacity();
    EXPECT_EQ(ring.Clear(), 9040);
    EXPECT_EQ(ring.GetLength(), 0);
    EXPECT_EQ(ring.GetCapacity(), capacity);
}

TEST(GRingBuffer, RefusesGrowthPastIntMaxUnchanged)
{
    GRingBuffer ring;
    ASSERT_TRUE(ring.Write(1000, Pattern(1000).data()));
    // Would need a capacity beyond INT_MAX: refused before anything is read.
    EXPECT_FALSE(ring.Write(INT_MAX - 10, Pattern(1).data()));
    EXPECT_EQ(ring.GetLength(), 1000);
    EXPECT_EQ(ring.GetCapacity(), 4096);
    std::vector<char> out(1000);
    ASSERT_TRUE(ring.Read(1000, out.data(), GRingBuffer::Consume::Yes));
    EXPECT_EQ(out, Pattern(1000));
}

TEST(GLockedRingBuffer, ReadShortensToWhatIsStored)
{
    GLockedRingBuffer ring;
    std::vector<char> out(100);
    EXPECT_EQ(ring.Read(100, out.data()), 0);
    ASSERT_TRUE(ring.Write(40, Pattern(40).data()));
    EXPECT_EQ(ring.Read(100, out.data()), 40);
    EXPECT_EQ(ring.GetLength(), 0);
    EXPECT_EQ(ring.Read(100, nullptr), -1);
    EXPECT_EQ(ring.Read(0, out.data()), -1);
    EXPECT_EQ(ring.Read(-4, out.data()), -1);
    EXPECT_FALSE(ring.Write(0, out.data()));
    EXPECT_FALSE(ring.Write(-5, out.data()));
    EXPECT_FALSE(ring.Write(10, nullptr));
}

TEST(GLockedRingBuffer, OneProducerOneConsumerKeepEveryByteInOrder)
{
    GLockedRingBuffer ring;
    constexpr int kTotal = 1 << 20;
    const std::vector<char> source = Pattern(kTotal);
    std::vector<char> received;
    received.reserve(kTotal);
    {
        std::jthread producer([&] {
            for (int at = 0; at < kTotal; at += 1000)
                ASSERT_TRUE(ring.Write(std::min(1000, kTotal - at), source.data() + at));
        });
        std::vector<char> chunk(777);
        while (static_cast<int>(received.size()) < kTotal) {
            const int n = ring.Read(777, chunk.data());
            ASSERT_GE(n, 0);
            received.insert(received.end(), chunk.begin(), chunk.begin() + n);
        }
    }
    EXPECT_EQ(received, source);
}

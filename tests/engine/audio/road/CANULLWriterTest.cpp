#include "engine/audio/road/CANULLWriter.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct Sink {
    int calls = 0;
    std::vector<char> got;
};

// Takes half of what it is offered, as a slow consumer would.
int TakeHalf(void* pUser, const char* pData, int nBytes)
{
    auto* sink = static_cast<Sink*>(pUser);
    ++sink->calls;
    sink->got.insert(sink->got.end(), pData, pData + nBytes);
    return nBytes / 2;
}

} // namespace

TEST(CANULLWriter, OpenNeedsEveryFormatPointerAndKeepsTheFormat)
{
    CANULLWriter writer;
    int rate = 44100;
    int bits = 16;
    int channels = 2;
    EXPECT_EQ(writer.Open("", &rate, nullptr, &channels, {}), 0);
    EXPECT_EQ(writer.GetRate(), -1);
    // Before a format is known there is no time to report, not a division by 0.
    EXPECT_EQ(writer.GetElapsedMs(), 0u);

    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(writer.GetWritableBytes(), 9216);
    std::vector<char> second(44100);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(writer.Write(second.data(), 44100), 44100);
    EXPECT_EQ(writer.GetByteCount(), 176400u);
    EXPECT_EQ(writer.GetElapsedMs(), 1000u);

    channels = 1;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    EXPECT_EQ(writer.GetWritableBytes(), 4608);
    EXPECT_EQ(writer.GetElapsedMs(), 0u);
}

TEST(CANULLWriter, CallbackShortCountPassesBack)
{
    CANULLWriter writer;
    int rate = 32000;
    int bits = 16;
    int channels = 2;
    ASSERT_EQ(writer.Open("", &rate, &bits, &channels, {}), 1);
    Sink sink;
    ASSERT_EQ(writer.SetOutputCallback(TakeHalf, &sink), 1);
    const std::vector<char> data = { 1, 2, 3, 4, 5, 6, 7, 8 };
    EXPECT_EQ(writer.Write(data.data(), 8), 4);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(sink.got, data);
}

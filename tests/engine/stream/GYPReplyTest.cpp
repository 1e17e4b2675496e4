#include "engine/stream/GYPReply.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(GYPReply, ParsesHeaderLinesTheDirectoryWay)
{
    GYPReply reply;
    for (const char* line : { "HTTP/1.0 200 OK", "  icy-errorstr :  Already listed  ", ":no name", "bare", "a:b:c",
             "Tabbed\t\tvalue\t", "ICY-ID: 42", "icy-id: 7" })
        ASSERT_TRUE(reply.AddLine(line));
    EXPECT_EQ(reply.HeaderCount(), 7);
    EXPECT_EQ(*reply.Find("HTTP/1.0"), "200 OK");
    EXPECT_EQ(*reply.Find("icy-errorstr"), "Already listed");
    EXPECT_EQ(*reply.Find("bare"), "");
    EXPECT_EQ(*reply.Find("a"), "b:c");
    EXPECT_EQ(*reply.Find("tabbed"), "value");
    EXPECT_EQ(reply.FindNumber("icy-id"), 42); // the first match counts
    EXPECT_EQ(reply.Find(":no"), nullptr);
    reply.Clear();
    EXPECT_EQ(reply.Find("icy-id"), nullptr);
}

TEST(GYPReply, NumbersAreReadLikeAtoiButSaturate)
{
    GYPReply reply;
    for (const char* line : { "a: 42abc", "b: -3", "c: 99999999999999999999", "d: -99999999999999999999", "e: x" })
        ASSERT_TRUE(reply.AddLine(line));
    EXPECT_EQ(reply.FindNumber("a"), 42);
    EXPECT_EQ(reply.FindNumber("b"), -3);
    EXPECT_EQ(reply.FindNumber("c"), INT_MAX);
    EXPECT_EQ(reply.FindNumber("d"), INT_MIN);
    EXPECT_EQ(reply.FindNumber("e"), 0);
    EXPECT_EQ(reply.FindNumber("missing"), 0);
}

TEST(GYPReply, LinesAndTheirNumberAreBounded)
{
    std::string line;
    size_t consumed = 0;
    EXPECT_EQ(GYPReply::TakeLine("abc\r\ndef", &line, &consumed), GYPReply::LineRead::Line);
    EXPECT_EQ(line, "abc");
    EXPECT_EQ(consumed, 5u);
    EXPECT_EQ(GYPReply::TakeLine("\n", &line, &consumed), GYPReply::LineRead::Line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(GYPReply::TakeLine("abc", &line, &consumed), GYPReply::LineRead::None);
    EXPECT_EQ(GYPReply::TakeLine(std::string(1023, 'x') + "\n", &line, &consumed), GYPReply::LineRead::Line);
    EXPECT_EQ(GYPReply::TakeLine(std::string(1024, 'x') + "\n", &line, &consumed), GYPReply::LineRead::Overlong);

    GYPReply reply;
    for (int i = 0; i < GYPReply::kMaxLines; ++i)
        ASSERT_TRUE(reply.AddLine("x: 1"));
    EXPECT_FALSE(reply.AddLine(""));
}

} // namespace

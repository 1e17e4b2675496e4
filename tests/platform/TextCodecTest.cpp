#include "platform/TextCodec.h"

#include <gtest/gtest.h>
#include <string>

TEST(TextCodec, ConvertsBetweenKoreanUtf8AndUtf16)
{
    const std::string utf8 = "똠방 한글 ABC"; // "똠" exists in CP949 only, not EUC-KR
    std::string cp949, back, utf16;
    ASSERT_TRUE(platform::ConvertCodePage(utf8, platform::kCodePageUtf8, platform::kCodePageKorean, &cp949));
    EXPECT_EQ(cp949, "\x8c\x63\xb9\xe6 \xc7\xd1\xb1\xdb ABC");
    ASSERT_TRUE(platform::ConvertCodePage(cp949, platform::kCodePageKorean, platform::kCodePageSystem, &back));
    EXPECT_EQ(back, utf8);
    ASSERT_TRUE(platform::ConvertCodePage("A한", platform::kCodePageUtf8, platform::kCodePageUtf16Le, &utf16));
    EXPECT_EQ(utf16, std::string("A\0\x5c\xd5", 4));
    ASSERT_TRUE(platform::ConvertCodePage("", platform::kCodePageKorean, platform::kCodePageUtf8, &back));
    EXPECT_EQ(back, "");
}

TEST(TextCodec, FailsWithoutTouchingTheOutput)
{
    std::string out = "kept";
    EXPECT_FALSE(platform::ConvertCodePage("\xff\xff", platform::kCodePageKorean, platform::kCodePageUtf8, &out));
    EXPECT_FALSE(platform::ConvertCodePage("\xc7", platform::kCodePageKorean, platform::kCodePageUtf8, &out));
    EXPECT_FALSE(
        platform::ConvertCodePage("\xf0\x9f\x8e\xb5", platform::kCodePageUtf8, platform::kCodePageKorean, &out));
    EXPECT_FALSE(platform::ConvertCodePage("abc", 4242424, platform::kCodePageUtf8, &out));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(platform::IsUtf8CodePage(0));
    EXPECT_TRUE(platform::IsUtf8CodePage(65001));
    EXPECT_FALSE(platform::IsUtf8CodePage(949));
}

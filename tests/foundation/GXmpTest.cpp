#include "foundation/GXmp.h"

#include "platform/TextCodec.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

namespace {

bool Load(GXmp& xmp, const std::string& text)
{
    return xmp.LoadBuffer(text.data(), static_cast<int>(text.size()));
}

std::string Fixture(const char* name)
{
    return std::string(TAVDJ_SOURCE_DIR) + "/tests/foundation/data/xml/" + name;
}

// The children of a node, one line each: "E name", "T text" or "I name".
std::string Children(const GXmpData* pNode)
{
    std::string out;
    GXmpData::Position pos = pNode->GetFirstChildPosition();
    while (const GXmpData* pChild = pNode->GetNextChild(pos)) {
        switch (pChild->GetType()) {
        case GXmpData::kElement:
            out += "E " + pChild->GetName();
            break;
        case GXmpData::kText:
            out += "T " + pChild->GetText();
            break;
        default:
            out += "I " + pChild->GetName();
            break;
        }
        out += '\n';
    }
    return out;
}

struct ErrorCase {
    const char* text;
    int code;
    const char* detail;
    int line;
    int column;
};

} // namespace

TEST(GXmp, EachErrorStopsWithItsCodeDetailAndPosition)
{
    const ErrorCase cases[] = {
        { "abc", 1, "", 0, 3 },
        { "<?xml ?> x", 1, "", 0, 10 },
        { "<?xml?><a/>", 6, "", 0, 7 }, // '?' belongs to the word "xml?"
        { "<a>x>", 2, "", 0, 5 },
        { "<a><b></a>", 3, "b,a", 0, 9 },
        { "<A></a>", 3, "A,a", 0, 6 },
        { "<a>\n  <b>\r\n</c>", 3, "b,c", 2, 3 },
        { "<a></a x>", 4, "", 0, 8 },
        { "<?=?><a/>", 5, "", 0, 3 },
        { "<?xml a=>?><a/>", 6, "", 0, 9 },
        { "<?xml > ?><a/>", 6, "", 0, 7 },
        { "<?xml a ?x><a/>", 7, "", 0, 10 },
        { "<a><?Script x <b/>", 7, "", 0, 18 },
        { "<=a/>", 8, "", 0, 2 },
        { "<a b c=\"1\"/>", 9, "", 0, 6 },
        { "<a b=>", 10, "b", 0, 6 },
        { "<a b=\"1\" b=\"2\"/>", 11, "b", 0, 14 },
        { "<a/x>", 12, "", 0, 4 },
        { " \t\r\n ", 13, "", 1, 1 },
        { "<a><b>text", 13, "", 0, 10 },
        { "<a><!-- x --", 14, "", 0, 12 },
        { "<a><!-- x -- y>", 15, "", 0, 14 },
        { "<a><!-- x -", 16, "", 0, 11 },
        { "<a><!DOCTYPE a", 16, "", 0, 14 },
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.text);
        GXmp xmp;
        EXPECT_FALSE(Load(xmp, c.text));
        EXPECT_EQ(xmp.GetErrorMessage(), std::string(GXmp::GetErrorText(c.code)) + " " + c.detail);
        int line = -1, column = -1;
        EXPECT_TRUE(xmp.GetErrorPosition(&line, &column));
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(column, c.column);
    }
}

TEST(GXmp, ErrorTextsAreTheTableAndUnknownCodesAreNumbered)
{
    EXPECT_STREQ(GXmp::GetErrorText(0), "오류 없음");
    EXPECT_STREQ(GXmp::GetErrorText(1), "태그 시작(<)이 없음");
    EXPECT_STREQ(GXmp::GetErrorText(4), "태그의 종료('>')가 제대로 안됨");
    EXPECT_STREQ(GXmp::GetErrorText(7), "Processing Instruction 태그의 끝이 > 로 끝나지 않음");
    EXPECT_STREQ(GXmp::GetErrorText(15), "--> 형태로 주석문이 끝나지 않음");
    EXPECT_STREQ(GXmp::GetErrorText(16), "주석의 끝이 닫히지 않음");
    EXPECT_STREQ(GXmp::GetErrorText(17), "Code:17");
    EXPECT_STREQ(GXmp::GetErrorText(-1), "Code:-1");

    GXmp xmp;
    EXPECT_TRUE(Load(xmp, "<a/>"));
    EXPECT_EQ(xmp.GetErrorMessage(), "오류 없음 ");
}

TEST(GXmp, ShortOrUnreadableInputFailsWithoutACode)
{
    GXmp xmp;
    EXPECT_FALSE(xmp.LoadBuffer("<", 1));
    EXPECT_FALSE(xmp.LoadBuffer(nullptr, 10));
    EXPECT_FALSE(xmp.LoadBuffer("<a/>", -1));
    EXPECT_FALSE(xmp.LoadFile("/nonexistent/skin.xml"));
    EXPECT_EQ(xmp.GetErrorMessage(), "오류 없음 ");
    EXPECT_EQ(xmp.GetRoot(), nullptr);
}

TEST(GXmp, NestingPastTheLimitFailsInsteadOfExhaustingTheStack)
{
    auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i)
            s += "<a>";
        for (int i = 0; i < depth; ++i)
            s += "</a>";
        return s;
    };
    GXmp xmp;
    EXPECT_TRUE(Load(xmp, nested(GXmp::kMaxDepth)));
    EXPECT_FALSE(Load(xmp, nested(GXmp::kMaxDepth + 1)));
    EXPECT_EQ(xmp.GetErrorMessage(), "Code:17 ");
    int line = 0, column = 0;
    xmp.GetErrorPosition(&line, &column);
    EXPECT_EQ(column, 3 * GXmp::kMaxDepth + 1);

    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    EXPECT_FALSE(Load(xmp, deep));
    EXPECT_EQ(xmp.GetErrorMessage(), "Code:17 ");

    // A chain of comments each owing its '>' is not recursion either.
    std::string comments = "<a>";
    for (int i = 0; i < 100000; ++i)
        comments += "<!---- ";
    EXPECT_FALSE(Load(xmp, comments));
    EXPECT_EQ(xmp.GetErrorMessage(), std::string(GXmp::GetErrorText(14)) + " ");
}

TEST(GXmp, FailedLoadKeepsThePartialTreeUntilTheNextLoad)
{
    GXmp xmp;
    EXPECT_FALSE(Load(xmp, "<a><b/>hello<c>"));
    ASSERT_NE(xmp.GetRoot(), nullptr);
    EXPECT_EQ(Children(xmp.GetRoot()), "E b\nT hello\nE c\n");
    xmp.Clear();
    EXPECT_EQ(xmp.GetRoot(), nullptr);
    EXPECT_EQ(xmp.GetErrorMessage(), "오류 없음 ");
}

TEST(GXmp, TextIsRebuiltFromTokensAndDecodedTwice)
{
    GXmp xmp;
    ASSERT_TRUE(Load(xmp, "<a>one   two\r\n\tthree</a>"));
    EXPECT_EQ(Children(xmp.GetRoot()), "T one two three\n");

    ASSERT_TRUE(Load(xmp, "<a>say \"hi there\" a/b x = y ?--</a>"));
    EXPECT_EQ(Children(xmp.GetRoot()), "T say hi there a/b x= y?--\n");

    ASSERT_TRUE(Load(xmp, "<a v=\"&amp;lt;\" w=a&&b>&amp;lt; a&&b &quot;</a>"));
    EXPECT_EQ(Children(xmp.GetRoot()), "T < a&b \"\n");
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("v", ""), "&lt;");
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("w", ""), "a&b");

    // '<' before anything but a name, '/' or '?' is dropped with that token.
    ASSERT_TRUE(Load(xmp, "<a>x<>y< =z</a>"));
    EXPECT_EQ(Children(xmp.GetRoot()), "T x\nT y\nT z\n");

    // Single quotes are ordinary bytes of a word.
    ASSERT_TRUE(Load(xmp, "<a v='x'>it's</a>"));
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("v", ""), "'x'");
    EXPECT_EQ(Children(xmp.GetRoot()), "T it's\n");

    // Comments stand wherever a token may, even between attributes.
    ASSERT_TRUE(Load(xmp, "<!-- head --><a x=\"1\" <!-- mid --> y=\"2\">t<!-- in -->u<!DOCTYPE z></a>"));
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("y", ""), "2");
    EXPECT_EQ(Children(xmp.GetRoot()), "T t u\n");
}

TEST(GXmp, LongTokensAndTextsAreCut)
{
    GXmp xmp;
    const std::string big(70000, 'x');
    ASSERT_TRUE(Load(xmp, "<a v=\"" + big + "\" w=" + big + "/>"));
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("v", "").size(), GXmp::kMaxTokenBytes);
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("w", "").size(), GXmp::kMaxTokenBytes);

    std::string words;
    for (int i = 0; i < 20000; ++i)
        words += "word ";
    ASSERT_TRUE(Load(xmp, "<a>" + words + "</a>"));
    GXmpData::Position pos = xmp.GetRoot()->GetFirstChildPosition();
    const GXmpData* pText = xmp.GetRoot()->GetNextChild(pos);
    ASSERT_NE(pText, nullptr);
    EXPECT_LT(pText->GetText().size(), GXmp::kMaxTextBytes);
    EXPECT_GT(pText->GetText().size(), GXmp::kMaxTextBytes - 6);
}

TEST(GXmp, InstructionsKeepAttributesOrARawScriptBody)
{
    GXmp xmp;
    const std::string body = " \n  if (a < b && c) { s = \"<x>\"; t = '&amp;'; }\r\n";
    ASSERT_TRUE(Load(xmp,
        "<?xml version=\"1.0\" standalone ?>\n<skin>\n<?Script" + body + "?>\n<?Other k=v k=w flag ?><b/></skin>"));
    const GXmpData* pRoot = xmp.GetRoot();
    EXPECT_EQ(Children(pRoot), "I Script\nI Other\nE b\n");
    const GXmpData* pScript = pRoot->FindChildInstruction("script", true);
    ASSERT_NE(pScript, nullptr);
    EXPECT_EQ(pScript->GetType(), GXmpData::kInstruction);
    EXPECT_EQ(pScript->GetBody(), body);
    EXPECT_EQ(pScript->GetLine(), 2);
    EXPECT_EQ(pScript->GetColumn(), 2);
    EXPECT_EQ(pRoot->FindChildInstruction("script", false), nullptr);
    EXPECT_EQ(pRoot->FindChildInstruction("b", true), nullptr);
    // Instructions are not elements: their attributes are not offered.
    const GXmpData* pOther = pRoot->FindChildInstruction("Other", false);
    ASSERT_NE(pOther, nullptr);
    EXPECT_EQ(pOther->GetBody(), "");
    std::string value;
    EXPECT_FALSE(pOther->GetAttribute("k", &value));
}

TEST(GXmpData, TypedAttributes)
{
    GXmp xmp;
    ASSERT_TRUE(Load(xmp,
        "<a n=\"12\" neg=\"-3\" word=\"abc\" lead=\" 7x\" big=\"99999999999\" "
        "small=\"-99999999999\" s=\"text\" e=\"\">body</a>"));
    GXmpData* pRoot = xmp.GetRoot();
    int n = 0;
    EXPECT_TRUE(pRoot->GetAttributeInt("n", &n));
    EXPECT_EQ(n, 12);
    EXPECT_TRUE(pRoot->GetAttributeInt("neg", &n));
    EXPECT_EQ(n, -3);
    EXPECT_TRUE(pRoot->GetAttributeInt("word", &n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(pRoot->GetAttributeInt("lead", &n));
    EXPECT_EQ(n, 7);
    EXPECT_TRUE(pRoot->GetAttributeInt("big", &n));
    EXPECT_EQ(n, INT_MAX);
    EXPECT_TRUE(pRoot->GetAttributeInt("small", &n));
    EXPECT_EQ(n, INT_MIN);
    n = 5;
    EXPECT_FALSE(pRoot->GetAttributeInt("missing", &n));
    EXPECT_EQ(n, 5);
    EXPECT_FALSE(pRoot->GetAttributeInt("N", &n)); // names are case-sensitive

    EXPECT_EQ(pRoot->GetAttributeString("s", "def"), "text");
    EXPECT_EQ(pRoot->GetAttributeString("e", "def"), "");
    EXPECT_EQ(pRoot->GetAttributeString("missing", "def"), "def");

    EXPECT_TRUE(pRoot->SetAttributeUInt("s", 4000000000u));
    EXPECT_EQ(pRoot->GetAttributeString("s", ""), "4000000000");
    EXPECT_FALSE(pRoot->SetAttributeUInt("missing", 1));
    EXPECT_EQ(pRoot->GetAttributeString("missing", "none"), "none");

    GXmpData::Position pos = pRoot->GetFirstChildPosition();
    GXmpData* pText = pRoot->GetNextChild(pos);
    ASSERT_NE(pText, nullptr);
    EXPECT_EQ(pos, GXmpData::Position { 0 });
    EXPECT_EQ(pRoot->GetNextChild(pos), nullptr);
    EXPECT_EQ(pText->GetType(), GXmpData::kText);
    EXPECT_EQ(pText->GetText(), "body");
    EXPECT_EQ(pText->GetName(), "");
    std::string value = "kept";
    EXPECT_FALSE(pText->GetAttribute("n", &value));
    EXPECT_EQ(value, "kept");
    EXPECT_EQ(pText->GetAttributeString("n", "def"), "");
    EXPECT_FALSE(pText->SetAttributeUInt("n", 1));
    EXPECT_EQ(pText->GetFirstChildPosition(), GXmpData::Position { 0 });
}

TEST(GXmpData, ChildLookupMatchesElementsOnlyWithOptionalCase)
{
    GXmp xmp;
    ASSERT_TRUE(Load(xmp, "<skin>button<Button id=\"1\"/><BUTTON id=\"2\"/><버튼 id=\"3\"/></skin>"));
    GXmpData* pRoot = xmp.GetRoot();
    EXPECT_EQ(pRoot->FindChild("button", true)->GetAttributeString("id", ""), "1");
    EXPECT_EQ(pRoot->FindChild("BUTTON", false)->GetAttributeString("id", ""), "2");
    EXPECT_EQ(pRoot->FindChild("button", false), nullptr);
    EXPECT_EQ(pRoot->FindChild("버튼", true)->GetAttributeString("id", ""), "3");
    EXPECT_EQ(pRoot->FindChild("버", true), nullptr);
    const GXmpData* pButton = pRoot->FindChild("Button", false);
    EXPECT_EQ(pButton->GetLine(), 0);
    EXPECT_EQ(pButton->GetColumn(), 19);
}

TEST(GXmp, EncodingsAreDetectedAndConverted)
{
    const std::string name = "한글 스킨";
    for (const char* file : { "utf16le.xml", "utf8bom.xml", "utf8decl.xml", "cp949.xml" }) {
        SCOPED_TRACE(file);
        GXmp xmp;
        ASSERT_TRUE(xmp.LoadFile(Fixture(file).c_str())) << xmp.GetErrorMessage();
        const GXmpData* pRoot = xmp.GetRoot();
        EXPECT_EQ(pRoot->GetName(), "skin");
        EXPECT_EQ(pRoot->GetAttributeString("name", ""), name);
        const GXmpData* pTitle = pRoot->FindChild("title", false);
        ASSERT_NE(pTitle, nullptr);
        EXPECT_EQ(Children(pTitle), "T 가나 다 똠\n");
    }
}

TEST(GXmp, UnderAKoreanCodePageOnlyUtf8AttributeValuesAreConverted)
{
    std::string cp949Name;
    ASSERT_TRUE(platform::ConvertCodePage("한글 스킨", platform::kCodePageUtf8, platform::kCodePageKorean, &cp949Name));
    for (const char* file : { "utf8bom.xml", "utf8decl.xml" }) {
        SCOPED_TRACE(file);
        GXmp xmp;
        xmp.SetCodePage(platform::kCodePageKorean);
        ASSERT_TRUE(xmp.LoadFile(Fixture(file).c_str()));
        EXPECT_EQ(xmp.GetRoot()->GetAttributeString("name", ""), cp949Name);
        EXPECT_EQ(Children(xmp.GetRoot()->FindChild("title", false)), "T 가나 다 똠\n");
    }
    for (const char* file : { "utf16le.xml", "cp949.xml" }) {
        SCOPED_TRACE(file);
        GXmp xmp;
        xmp.SetCodePage(platform::kCodePageKorean);
        ASSERT_TRUE(xmp.LoadFile(Fixture(file).c_str()));
        EXPECT_EQ(xmp.GetRoot()->GetAttributeString("name", ""), cp949Name);
    }

    // Without a UTF-8 marker nothing is converted; a flagged value that the
    // code page cannot hold keeps its bytes.
    GXmp xmp;
    xmp.SetCodePage(platform::kCodePageKorean);
    ASSERT_TRUE(Load(xmp, "<a v=\"한\"/>"));
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("v", ""), "한");
    ASSERT_TRUE(Load(xmp, "\xEF\xBB\xBF<a v=\"\xF0\x9F\x8E\xB5 \xFF\"/>"));
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("v", ""), "\xF0\x9F\x8E\xB5 \xFF");
}

TEST(GXmp, BytesValidInNeitherEncodingAreKept)
{
    GXmp xmp;
    ASSERT_TRUE(Load(xmp, "<a v=\"\xFF\xFE\x80\"/>"));
    EXPECT_EQ(xmp.GetRoot()->GetAttributeString("v", ""), "\xFF\xFE\x80");
    // A NUL ends the document as the end of the text does.
    ASSERT_TRUE(Load(xmp, std::string("<a/>\0garbage", 12)));
}

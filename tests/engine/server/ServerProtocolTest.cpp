#include "engine/server/ServerProtocol.h"

#include "engine/server/CStreamRing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ServerProtocol, ParsesRequestLinesAndDecodesQueryValues)
{
    ServerRequest r;
    ASSERT_TRUE(
        ParseServerRequest("  GET /admin.cgi?pass=p%41&mode=updinfo&song=%41%42&url=a+b&flag&=x&pass=z HTTP/1.1", &r));
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/admin.cgi");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.query["pass"], "z"); // a later pair replaces the earlier
    EXPECT_EQ(r.query["song"], "AB");
    EXPECT_EQ(r.query["url"], "a b"); // '+' is a blank, as forms send it
    EXPECT_EQ(r.query["flag"], "");
    EXPECT_EQ(r.query.count(""), 0u);
    EXPECT_EQ(r.query.size(), 5u);

    ASSERT_TRUE(ParseServerRequest("GET /", &r));
    EXPECT_EQ(r.path, "/");
    EXPECT_EQ(r.version, "");
    EXPECT_FALSE(ParseServerRequest("   ", &r));

    // Percent decoding: bad digits count as 0, a short tail drops the '%',
    // and a decoded NUL ends the value.
    EXPECT_EQ(PercentDecode("%4g%zz"), std::string("\x40\x00", 1).substr(0, 1));
    EXPECT_EQ(PercentDecode("ab%4"), "ab4");
    EXPECT_EQ(PercentDecode("ab%"), "ab");
    EXPECT_EQ(PercentDecode("Title%00hidden"), "Title");
}

TEST(ServerProtocol, HeaderLinesDropBlanksFromNamesAndColonsFromValues)
{
    std::string name;
    std::string value;
    ASSERT_TRUE(ParseHeaderLine("  Host: host:8000", &name, &value));
    EXPECT_EQ(name, "Host");
    EXPECT_EQ(value, "host8000");
    ASSERT_TRUE(ParseHeaderLine("User Agent :  a b: c", &name, &value));
    EXPECT_EQ(name, "UserAgent");
    EXPECT_EQ(value, "a bc");
    EXPECT_FALSE(ParseHeaderLine("Icy-MetaData:", &name, &value));
    EXPECT_FALSE(ParseHeaderLine(":1", &name, &value));
    EXPECT_FALSE(ParseHeaderLine("no colon", &name, &value));
    EXPECT_TRUE(EqualsNoCase("icy-metadata", "Icy-MetaData"));
    EXPECT_FALSE(EqualsNoCase("icy-metadat", "Icy-MetaData"));
}

TEST(ServerProtocol, SecretsMatchOnlyWhole)
{
    EXPECT_TRUE(SecretEquals("0a1b", "0a1b"));
    EXPECT_FALSE(SecretEquals("0a1", "0a1b"));
    EXPECT_FALSE(SecretEquals("0a1bc", "0a1b"));
    EXPECT_FALSE(SecretEquals("0a1c", "0a1b"));
    EXPECT_FALSE(SecretEquals("", "0a1b"));
    // No secret is no login, not a match for an empty password.
    EXPECT_FALSE(SecretEquals("", ""));
}

TEST(ServerProtocol, TitleBlocksArePaddedAndAlwaysFitOneLengthByte)
{
    const std::string hi = BuildMetadataBlock("Hi", "");
    EXPECT_EQ(hi.size(), 32u);
    EXPECT_EQ(hi, std::string("StreamTitle='Hi';StreamUrl='';") + std::string(2, '\0'));
    EXPECT_EQ(BuildMetadataBlock("Song", "").size(), 48u); // 32 bytes of text need a NUL after them

    // A long title of three-byte characters is cut at a character boundary
    // so the block fits 255 x 16 bytes; a long URL is cut after it.
    std::string title;
    while (title.size() < 10000)
        title += "가'";
    for (const std::string& url : { std::string(), std::string(100, 'u'), std::string(6000, 'u') }) {
        const std::string block = BuildMetadataBlock(title, url);
        ASSERT_LE(block.size(), kMaxMetadataBlock);
        ASSERT_EQ(block.size() % 16, 0u);
        const size_t text = block.find('\0');
        ASSERT_NE(text, std::string::npos);
        const std::string head = block.substr(0, text);
        EXPECT_EQ(head.rfind("StreamTitle='", 0), 0u);
        const size_t middle = head.find("';StreamUrl='");
        ASSERT_NE(middle, std::string::npos) << url.size();
        const std::string cut = head.substr(13, middle - 13);
        EXPECT_EQ(title.compare(0, cut.size(), cut), 0);
        EXPECT_EQ(cut.size() % 4, 0u); // whole "가'" pairs: never half a character
        EXPECT_GT(block.size(), kMaxMetadataBlock - 32);
    }
    EXPECT_EQ(StripLineBreaks(std::string("a\r\nb\0c", 6)), "abc");
    EXPECT_EQ(CutUtf8("a가", 2), "a");
}

TEST(ServerProtocol, PagePathsStayInsideTheFolder)
{
    for (const char* bad : { "/../etc/passwd", "..", "/a/../../x", "/a\\b", "/a\x01", "/x/..", "../" })
        EXPECT_FALSE(IsSafePagePath(bad)) << bad;
    EXPECT_FALSE(IsSafePagePath(std::string("/a\0b", 4)));
    for (const char* good : { "/index.html", "index.html", "/a/b.js", "/..a", "/a..", "/.hidden", "" })
        EXPECT_TRUE(IsSafePagePath(good)) << good;
    EXPECT_STREQ(PageContentType("/x/INDEX.HTML"), "text/html; charset=utf-8");
    EXPECT_STREQ(PageContentType("a.js"), "application/javascript; charset=utf-8");
    EXPECT_STREQ(PageContentType("a"), "application/octet-stream");
    EXPECT_TRUE(HasStatusLine("HTTP/1.0 200 OK"));
    EXPECT_TRUE(HasStatusLine("ICY 200 OK"));
    EXPECT_FALSE(HasStatusLine("<html>"));
}

TEST(ServerProtocol, PlaceholdersAreFilledOnceAndEscaped)
{
    PageValues v;
    v.url = "1.2.3.4";
    v.port = 8000;
    v.listeners = 3;
    v.maxListeners = 50;
    v.serverState = "<b>on</b>";
    v.serverName = "$SONGTITLE$ & co";
    v.songTitle = "with <B>9 of 9 listeners</B> '\"";
    const std::string page
        = "$URL$:$PORT$ $VERSION$|$LISTNER$/$MAXLISTENER$|$SERVERSTATE$|$SERVERNAME$|$SONGTITLE$|$X$";
    EXPECT_EQ(FillPageTemplate(page, v, PageEscape::Html),
        "1.2.3.4:8000 |3/50|<b>on</b>|$SONGTITLE$ &amp; co|"
        "with &lt;B&gt;9 of 9 listeners&lt;/B&gt; &apos;&quot;|$X$");
    EXPECT_EQ(FillPageTemplate("'$SONGTITLE$'", v, PageEscape::Js),
        "'with \\x3cB\\x3e9 of 9 listeners\\x3c/B\\x3e \\x27\\x22'");
    EXPECT_EQ(FillPageTemplate("$SERVERNAME$", v, PageEscape::None), "$SONGTITLE$ & co");
}

TEST(CStreamRing, SendsOnlyWrittenBlocksAndNoticesOverwrittenOnes)
{
    CStreamRing ring;
    ASSERT_TRUE(ring.Allocate());
    const char* block = nullptr;
    EXPECT_EQ(ring.StartPosition(), 1u);
    EXPECT_EQ(ring.Next(1, &block), CStreamRing::Fetch::NotYet); // never hand out empty slots

    std::vector<char> data(CStreamRing::kSlotBytes);
    auto write = [&](int tag) {
        data[0] = static_cast<char>(tag);
        ring.Write(data.data());
    };
    for (int i = 1; i <= 5; ++i)
        write(i);
    EXPECT_EQ(ring.StartPosition(), 1u);
    ASSERT_EQ(ring.Next(5, &block), CStreamRing::Fetch::Ready);
    EXPECT_EQ(block[0], 5);
    for (int i = 6; i <= 20; ++i)
        write(i);
    EXPECT_EQ(ring.StartPosition(), 12u); // nine blocks of history for a newcomer
    for (int i = 21; i <= CStreamRing::kSlots + 3; ++i)
        write(i & 0x7F);
    EXPECT_EQ(ring.Next(3, &block), CStreamRing::Fetch::Overwritten);
    ASSERT_EQ(ring.Next(4, &block), CStreamRing::Fetch::Ready);
    EXPECT_EQ(block[0], 4);
    EXPECT_EQ(ring.Next(CStreamRing::kSlots + 4, &block), CStreamRing::Fetch::NotYet);
}

TEST(ServerProtocol, PeerTextInLogLinesIsEscapedCutAndSecretsMasked)
{
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        { "plain agent/1.0", "plain agent/1.0" },
        { "a\rFAKE LINE\nb", "a\\x0dFAKE LINE\\x0ab" },
        { "\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m" },
        { "tab\tdel\x7f", "tab\\x09del\\x7f" },
        { "back\\slash", "back\\x5cslash" },
        { "가나 ok", "가나 ok" },
        // C1 control in UTF-8, a lone continuation byte, an over-long form.
        { "\xc2\x9b"
          "x\x80y\xc0\xafz",
            "\\xc2\\x9bx\\x80y\\xc0\\xafz" },
        { "cut\xea\xb0", "cut\\xea\\xb0" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeLogText(c.text, 1024), c.shown) << c.text;
    EXPECT_EQ(EscapeLogText(std::string(5000, 'a'), 1024), std::string(1024, 'a') + "...");

    EXPECT_EQ(MaskQueryValue("GET /admin.cgi?pass=s3cret&mode=updinfo&song=a HTTP/1.0", "pass"),
        "GET /admin.cgi?pass=*&mode=updinfo&song=a HTTP/1.0");
    EXPECT_EQ(MaskQueryValue("GET /admin.cgi?mode=updinfo&pass=x&pass=y HTTP/1.0", "pass"),
        "GET /admin.cgi?mode=updinfo&pass=*&pass=* HTTP/1.0");
    EXPECT_EQ(MaskQueryValue("GET /admin.cgi?password=keep&xpass=keep HTTP/1.0", "pass"),
        "GET /admin.cgi?password=keep&xpass=keep HTTP/1.0");
    EXPECT_EQ(MaskQueryValue("GET / HTTP/1.0", "pass"), "GET / HTTP/1.0");
}

#include "engine/stream/GIcecastStatus.h"

#include "engine/stream/IcecastText.h"
#include "support/IcecastStatusPage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

const std::string kHead = R"({"icestats":{"admin":"icemaster@localhost","host":"localhost","location":"Earth",)"
                          R"("server_id":"Icecast 2.4.4","server_start":"Thu, 10 Dec 2026 03:19:54 +0000",)";
// One source: an object. A mount that keeps Latin-1 (Icecast's default)
// shows a UTF-8 name as Latin-1 and writes a title's other characters as
// references.
const std::string kOneSource = kHead
    + R"("source":{"audio_info":"bitrate=128;channels=2;samplerate=44100","genre":"Pop","listener_peak":3,)"
      R"("listeners":2,"listenurl":"http://localhost:8000/live","server_name":"ê° st","server_type":"audio/mpeg",)"
      R"("title":"&#44032;&<>'\"\\ &#127925; é","dummy":null}}})";
// Several: an array; a UTF-8 mount keeps the characters.
const std::string kTwoSources = kHead
    + R"("source":[{"listeners":1,"listenurl":"http://localhost:8000/other","server_name":"Other"},)"
      R"({"listeners":"4","max_listeners":"50","listenurl":"http://localhost:8000/live",)"
      R"("server_name":"가 st","title":"가\n나"}]}})";
// A large server's whole page (past 1 MB), ours last among 2200.
const std::string kOurs = R"({"listeners":3,"listenurl":"http://localhost:8000/live","server_name":"Ours"})";
const std::string kLargePage = testutil::LargeIcecastStatus(2200, kOurs);

std::string Repeated(const std::string& text, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

TEST(GIcecastStatus, ReadsObjectAndArrayPagesAndRefusesOthers)
{
    struct Row {
        const char* what;
        std::string page;
        bool parsed;
        size_t sources;
    };
    const Row rows[] = {
        { "one source", kOneSource, true, 1 },
        { "two sources", kTwoSources, true, 2 },
        { "no source", kHead + R"("dummy":null}})", true, 0 },
        { "source null", kHead + R"("source":null}})", true, 0 },
        { "not JSON", "<html>Icecast</html>", false, 0 },
        { "truncated at the byte limit", kTwoSources.substr(0, kTwoSources.size() - 9), false, 0 },
        { "other JSON", R"({"stats":{}})", false, 0 },
        { "icestats not an object", R"({"icestats":[1,2]})", false, 0 },
        { "deep nesting", std::string(20000, '[') + std::string(20000, ']'), false, 0 },
        { "deep inside a source", kHead + R"("source":)" + std::string(5000, '[') + std::string(5000, ']') + "}}", true,
            0 },
        { "invalid UTF-8", kHead + "\"source\":{\"title\":\"\xff\"}}}", false, 0 },
        { "a large server's whole page", kLargePage, true, 2201 },
        { "past the page bound", testutil::LargeIcecastStatus(5000, kOurs), false, 0 },
        { "more sources than a page within the bound lists",
            kHead + R"("source":[)" + Repeated("{},", GIcecastStatus::kMaxSources) + "{}]}}", true,
            GIcecastStatus::kMaxSources },
        { "sources outside icestats", R"({"icestats":{},"source":{"listenurl":"http://h/live"}})", true, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        GIcecastStatus status;
        EXPECT_EQ(status.Parse(row.page), row.parsed);
        EXPECT_EQ(status.Sources().size(), row.sources);
    }
}

TEST(GIcecastStatus, FindsOurSourceByMountOrStationName)
{
    GIcecastStatus one;
    ASSERT_TRUE(one.Parse(kOneSource));
    const GIcecastStatus::SSource* live = one.ForMount("/live");
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->listeners, 2);
    EXPECT_EQ(live->maxListeners, GIcecastStatus::kUnknownLimit);
    EXPECT_EQ(live->title, "가&<>'\"\\ 🎵 é");
    EXPECT_EQ(one.ForMount("/liv"), nullptr);
    EXPECT_EQ(one.ForMount("live"), nullptr);
    // Through a SHOUTcast socket the only source is ours, whatever its name.
    EXPECT_EQ(one.ForStation("Someone else"), live);

    GIcecastStatus two;
    ASSERT_TRUE(two.Parse(kTwoSources));
    const GIcecastStatus::SSource* ours = two.ForMount("/live");
    ASSERT_NE(ours, nullptr);
    EXPECT_EQ(ours->listeners, 4);
    EXPECT_EQ(ours->maxListeners, 50);
    EXPECT_EQ(ours->title, "가 나");
    EXPECT_EQ(two.ForStation("가 st"), ours);
    EXPECT_EQ(two.ForStation("Other"), &two.Sources()[0]);
    EXPECT_EQ(two.ForStation("Nobody"), nullptr);

    // Ours among a large server's every mount.
    GIcecastStatus large;
    ASSERT_GT(kLargePage.size(), 1024u * 1024);
    ASSERT_TRUE(large.Parse(kLargePage));
    ASSERT_NE(large.ForMount("/live"), nullptr);
    EXPECT_EQ(large.ForMount("/live")->listeners, 3);
    EXPECT_EQ(large.ForStation("Ours"), large.ForMount("/live"));
    EXPECT_EQ(large.ForMount("/other-7")->maxListeners, GIcecastStatus::kUnknownLimit);
    EXPECT_EQ(large.ForMount("/other-7")->title, "Song 7");

    // Fields whose values are no text or count read as missing; what is
    // nested inside them is not the source's.
    GIcecastStatus shapes;
    ASSERT_TRUE(shapes.Parse(kHead
        + R"("source":{"listeners":{"listeners":5},"title":["T"],"max_listeners":7.9,"server_name":2,)"
          R"("x":{"listenurl":"http://h/x"},"listenurl":"http://h/live"}}})"));
    const GIcecastStatus::SSource* shaped = shapes.ForMount("/live");
    ASSERT_NE(shaped, nullptr);
    EXPECT_EQ(shaped->listeners, 0);
    EXPECT_EQ(shaped->title, "");
    EXPECT_EQ(shaped->maxListeners, 7);
    EXPECT_EQ(shaped->serverName, "");

    // As a Latin-1 mount shows a UTF-8 name.
    GIcecastStatus mangled;
    ASSERT_TRUE(mangled.Parse(kHead + R"("source":[{"server_name":"A"},{"server_name":"ê°\u0080","listeners":9}]}})"));
    const GIcecastStatus::SSource* found = mangled.ForStation("가");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->listeners, 9);
}

TEST(IcecastText, EncodesPathsAndQueriesAndReadsBackTitles)
{
    EXPECT_EQ(PercentEncode("/a b/가?&#+~", PercentKeep::Slashes), "/a%20b/%EA%B0%80%3F%26%23%2B~");
    EXPECT_EQ(PercentEncode("/live", PercentKeep::Nothing), "%2Flive");
    // Letters are ASCII's even where the locale takes bytes past 0x7F for
    // letters (a single-byte locale, when the system has one).
    const std::string locale = std::setlocale(LC_CTYPE, nullptr);
    for (const char* name : { "de_DE.ISO-8859-1", "en_US.ISO-8859-1", "fr_FR.ISO-8859-1" })
        if (std::setlocale(LC_CTYPE, name))
            break;
    std::string high;
    std::string escaped;
    for (int c = 0x80; c <= 0xFF; ++c) {
        high.push_back(static_cast<char>(c));
        static const char kHex[] = "0123456789ABCDEF";
        escaped += std::string("%") + kHex[c >> 4] + kHex[c & 15];
    }
    EXPECT_EQ(PercentEncode(high, PercentKeep::Slashes), escaped);
    std::setlocale(LC_CTYPE, locale.c_str());
    EXPECT_FALSE(ListenUrlIsMount("http://localhost:8000/a/live", "/live"));
    EXPECT_FALSE(ListenUrlIsMount("http://localhost:8000", "/live"));

    const std::pair<const char*, const char*> references[] = {
        { "&#44032;", "가" },
        { "&#x1F3B5;&#X41;", "🎵A" },
        { "&#0;&#55296;&#1114112;&#12345678;", "&#0;&#55296;&#1114112;&#12345678;" },
        { "a&#65;b&#;&#12&amp;", "aAb&#;&#12&amp;" },
    };
    for (const auto& [text, decoded] : references)
        EXPECT_EQ(DecodeCharacterReferences(text), decoded) << text;
}

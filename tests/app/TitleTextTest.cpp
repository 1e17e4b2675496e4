#include "app/TitleText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The automatic title over a run of ticks: what each tick sends, given what
// the player shows; the title sent becomes the current one.
TEST(TitleText, AutomaticTitleSendsEachChangeOnceWithTheMarkAndTheLimit)
{
    const std::string korean200 = [] {
        std::string text;
        for (int i = 0; i < 67; ++i)
            text += "가"; // three bytes each: 201 bytes
        return text;
    }();
    struct Tick {
        std::string player;
        std::optional<std::string> sent;
    };
    const std::string station = "TavDJ 방송국";
    const Tick ticks[] = {
        { "A", "A \t" },
        { "A", std::nullopt },
        { "A \t", std::nullopt }, // already marked: not marked twice
        { "", station + " \t" },
        { "", std::nullopt },
        { std::string(200, 'x'), std::string(128, 'x') }, // the mark is cut away with the rest
        { std::string(200, 'x'), std::nullopt },
        // 42 whole characters are 126 bytes; the 43rd would end at 129.
        { korean200, korean200.substr(0, 126) },
        { std::string(127, 'y') + "가", std::string(127, 'y') },
    };
    std::string current;
    for (const Tick& tick : ticks) {
        SCOPED_TRACE(tick.player);
        const auto sent = NextAutoTitle(tick.player, station, current);
        EXPECT_EQ(sent, tick.sent);
        if (sent)
            current = *sent;
    }
}

TEST(TitleText, CutKeepsWholeCharactersWithinTheLimit)
{
    const struct {
        std::string title;
        size_t expectedBytes;
    } cases[] = {
        { std::string(128, 'a'), 128 },
        { std::string(129, 'a'), 128 },
        { std::string(126, 'a') + "가", 126 }, // 129 bytes: the character goes whole
        { std::string(125, 'a') + "가", 128 }, // ends exactly at the limit
        { std::string(124, 'a') + "😀", 128 }, // four bytes
        { std::string(125, 'a') + "😀", 125 },
    };
    for (const auto& c : cases) {
        const std::string cut = CutTitle(c.title);
        EXPECT_EQ(cut.size(), c.expectedBytes) << c.title;
        EXPECT_EQ(c.title.substr(0, cut.size()), cut);
    }
}

TEST(TitleText, StatusTextCarriesThePresenterOnlyWhenWantedAndSet)
{
    EXPECT_EQ(BuildStatusText("DJ 김", "노래 \t", true), "[DJ 김] 노래");
    EXPECT_EQ(BuildStatusText("DJ 김", "노래 \t", false), "노래");
    EXPECT_EQ(BuildStatusText("", "노래", true), "노래");
    EXPECT_EQ(BuildStatusText("DJ", " \t", true), "[DJ]");
}

} // namespace

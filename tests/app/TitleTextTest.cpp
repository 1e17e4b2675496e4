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
        { std::string(124, 'z') + "😀", std::string(124, 'z') + "😀" }, // four bytes, ending at the limit
        { std::string(125, 'z') + "😀", std::string(125, 'z') },
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

TEST(TitleText, StatusTextCarriesThePresenterOnlyWhenWantedAndSet)
{
    EXPECT_EQ(BuildStatusText("DJ 김", "노래 \t", true), "[DJ 김] 노래");
    EXPECT_EQ(BuildStatusText("DJ 김", "노래 \t", false), "노래");
    EXPECT_EQ(BuildStatusText("", "노래", true), "노래");
    EXPECT_EQ(BuildStatusText("DJ", " \t", true), "[DJ]");
}

} // namespace

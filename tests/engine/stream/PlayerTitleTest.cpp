#include "engine/stream/PlayerTitle.h"

#include "fakes/FakeWindowFinder.h"
#include "support/RequireTool.h"
#include "support/XTestClient.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

TEST(PlayerTitleRules, StripThePlayersDecorations)
{
    EXPECT_EQ(TrimSpaces(StripAfterLastDash("12. Artist - Song - Winamp")), "12. Artist - Song");
    EXPECT_EQ(StripAfterLastDash("No dash here"), "No dash here");
    EXPECT_EQ(StripAfterLastDash("- Winamp"), "");
    EXPECT_EQ(StripAfterLastBracket("Song [a] [Player]"), "Song [a] ");
    EXPECT_EQ(StripAfterLastBracket("Song"), "Song");
    EXPECT_EQ(TrimSpaces(UnscrollALSongTitle("tle * ALSong * Song Ti")), "Song Title");
    EXPECT_EQ(TrimSpaces(UnscrollALSongTitle("Song Title * ALSong * Song Title")), "Song TitleSong Title");
    // Without the marker the last "*" is where the rotation starts.
    EXPECT_EQ(UnscrollALSongTitle("ng*So"), "*Song");
    EXPECT_EQ(UnscrollALSongTitle("no marker"), "");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces(" \ta b\t "), "\ta b\t");
    EXPECT_EQ(FileNameOfUrl("file:///m/My%20Song.mp3"), "My Song");
    EXPECT_EQ(FileNameOfUrl("file:///m/%2Ehidden"), ".hidden");
    EXPECT_EQ(FileNameOfUrl("http://radio.test/live/stream.ogg?x=1/2#a.b"), "stream");
    EXPECT_EQ(FileNameOfUrl("no-slash.mp3"), "no-slash");
    EXPECT_EQ(FileNameOfUrl("file:///dir/"), "");
    EXPECT_EQ(FileNameOfUrl("file:///a/100%"), "100%");
}

TEST(PlayerTitle, TakesTheFirstPlayerInOrderWithANonBlankTitle)
{
    FakeWindowFinder windows;
    EXPECT_EQ(ReadPlayerTitle(windows), "");
    windows.Show(std::string(kGuidPlayerOldClass), "Old Song [Player]");
    EXPECT_EQ(ReadPlayerTitle(windows), "Old Song");
    windows.Show(std::string(kGuidPlayerClass), "New Song [Player]");
    EXPECT_EQ(ReadPlayerTitle(windows), "New Song");
    windows.Show(std::string(kALSongClass), "tle * ALSong * Song Ti");
    EXPECT_EQ(ReadPlayerTitle(windows), "Song Title");
    // A player showing only its own name counts as not playing.
    windows.Show(std::string(kWinampClass), "  - Winamp");
    EXPECT_EQ(ReadPlayerTitle(windows), "Song Title");
    windows.Show(std::string(kWinampClass), "12. Artist - Song - Winamp");
    EXPECT_EQ(ReadPlayerTitle(windows), "12. Artist - Song");
    windows.Show(std::string(kTavAudioClass), "Mine - TavAudio");
    EXPECT_EQ(ReadPlayerTitle(windows), "Mine");
    EXPECT_EQ(ReadTavAudioTitle(windows), "Mine ");
}

TEST(PlayerTitleX11, FollowsAPlayerWindowOnARealXServer)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    XvfbServer server;
    ASSERT_TRUE(server.Start());
    const auto finder = platform::WindowFinder::ForDisplay(server.Display());
    EXPECT_EQ(ReadPlayerTitle(*finder), "");

    XClient player(server.Display());
    ASSERT_TRUE(player.Ok());
    // No window manager runs, so the root's children are the candidates.
    const xcb_window_t w = player.CreateWindow("winamp", std::string(kWinampClass));
    player.SetName(w, "12. Artist - Song - Winamp");
    EXPECT_EQ(ReadPlayerTitle(*finder), "12. Artist - Song");

    // The EWMH name wins over the old one, and is UTF-8.
    player.SetUtf8Name(w, "13. 가수 - 노래 - Winamp");
    EXPECT_EQ(ReadPlayerTitle(*finder), "13. 가수 - 노래");
    EXPECT_EQ(ReadWinampTitle(*finder), "13. 가수 - 노래 ");

    player.Destroy(w);
    EXPECT_EQ(ReadPlayerTitle(*finder), "");
}

TEST(PlayerTitleX11, UsesTheWindowManagersClientListWhenThereIsOne)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    XvfbServer server;
    ASSERT_TRUE(server.Start());
    const auto finder = platform::WindowFinder::ForDisplay(server.Display());
    XClient desktop(server.Display());
    ASSERT_TRUE(desktop.Ok());

    const xcb_window_t hidden = desktop.CreateWindow("tavaudio", std::string(kTavAudioClass));
    desktop.SetName(hidden, "Unmanaged - TavAudio");
    const xcb_window_t managed = desktop.CreateWindow(std::string(kALSongClass), "ALSong");
    desktop.SetName(managed, "tle * ALSong * Song Ti");
    desktop.SetClientList({ managed });
    EXPECT_EQ(ReadPlayerTitle(*finder), "Song Title");
    EXPECT_EQ(ReadTavAudioTitle(*finder), "");
}

TEST(PlayerTitleX11, NoDisplayMeansNoTitle)
{
    const auto finder = platform::WindowFinder::ForDisplay(":9999");
    std::string title = "stale";
    EXPECT_FALSE(finder->FindWindowTitle(kWinampClass, &title));
    EXPECT_EQ(title, "");
    EXPECT_EQ(ReadPlayerTitle(*finder), "");
}

} // namespace

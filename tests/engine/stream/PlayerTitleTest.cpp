#include "engine/stream/PlayerTitle.h"

#include "fakes/FakeWindowFinder.h"
#include "support/RequireTool.h"
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

// Another X client on the test server, playing the part of a player.
class XClient {
public:
    explicit XClient(const std::string& display)
        : m_conn(xcb_connect(display.c_str(), nullptr))
    {
        const xcb_setup_t* setup = xcb_get_setup(m_conn);
        m_root = xcb_setup_roots_iterator(setup).data->root;
    }
    ~XClient() { xcb_disconnect(m_conn); }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool Ok() const { return xcb_connection_has_error(m_conn) == 0; }

    xcb_window_t CreateWindow(const std::string& instance, const std::string& windowClass)
    {
        const xcb_window_t w = xcb_generate_id(m_conn);
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, w, m_root, 0, 0, 100, 20, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            XCB_COPY_FROM_PARENT, 0, nullptr);
        std::string both = instance + '\0' + windowClass + '\0';
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
            static_cast<uint32_t>(both.size()), both.data());
        xcb_map_window(m_conn, w);
        Sync();
        return w;
    }
    void SetName(xcb_window_t w, const std::string& name)
    {
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
            static_cast<uint32_t>(name.size()), name.data());
        Sync();
    }
    void SetUtf8Name(xcb_window_t w, const std::string& name)
    {
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 8,
            static_cast<uint32_t>(name.size()), name.data());
        Sync();
    }
    // What a window manager would publish as the list of managed windows.
    void SetClientList(const std::vector<xcb_window_t>& windows)
    {
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32,
            static_cast<uint32_t>(windows.size()), windows.data());
        Sync();
    }
    void Destroy(xcb_window_t w)
    {
        xcb_destroy_window(m_conn, w);
        Sync();
    }

private:
    xcb_atom_t Atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_conn, xcb_intern_atom(m_conn, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }
    // A round trip: the server has carried out everything sent before it,
    // so the reader's own connection sees the change.
    void Sync() { std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

    xcb_connection_t* m_conn;
    xcb_window_t m_root = 0;
};

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

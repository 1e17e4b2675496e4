// The now-playing reader against players on a private session bus: mpv
// with its MPRIS plug-in playing tagged songs, and players of the test's
// own that publish the metadata real players send, odd and hostile kinds
// included, or never answer.
#include "engine/stream/PlayerTitle.h"
#include "platform/MediaPlayerBus.h"

#include "peers/PeerSupport.h"
#include "support/FfmpegTone.h"
#include "support/PrivateSessionBus.h"
#include "support/RequireTool.h"
#include "support/ScriptedMprisPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using testutil::MprisMetadata;
using testutil::Number;
using testutil::Text;
using testutil::Texts;

constexpr int kWaitMs = 5000;

// Looks every 10 ms until done() holds, at most boundMs.
template <class Done> bool WaitUntil(Done done, int boundMs = kWaitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Where Debian puts mpv's MPRIS plug-in (the package links it into mpv's
// system script folder).
std::string MprisPlugin()
{
    for (const char* path : { "/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so",
             "/usr/lib/x86_64-linux-gnu/mpv/scripts/mpris.so", "/usr/share/mpv/scripts/mpris.so" }) {
        if (std::filesystem::exists(path))
            return path;
    }
    return {};
}

class MediaPlayerBusPeer : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("dbus-daemon"), "dbus-daemon");
        ASSERT_TRUE(m_bus.Start(m_dir.Path()));
        m_players = platform::MediaPlayerBus::ForAddress(m_bus.Address());
        m_players->Start();
        ASSERT_TRUE(WaitUntil([&] { return m_players->State() == platform::PlayerBusState::Watching; }));
    }

    // The reader's title, once it is `expected`, or what it was at the bound.
    std::string TitleOnceItIs(const std::string& expected)
    {
        std::string title;
        (void)WaitUntil([&] { return (title = ReadBusPlayerTitle(*m_players)) == expected; });
        return title;
    }

    peers::TempDir m_dir;
    testutil::PrivateSessionBus m_bus;
    std::unique_ptr<platform::MediaPlayerBus> m_players;
};

// mpv plays two tagged songs: the reader follows it to the next song, and
// a paused player leaves no title.
TEST_F(MediaPlayerBusPeer, FollowsMpvThroughItsSongsAndItsPause)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("mpv"), "mpv");
    TAVDJ_REQUIRE_TOOL(ToolOnPath("ffmpeg"), "ffmpeg");
    const std::string plugin = MprisPlugin();
    TAVDJ_REQUIRE_TOOL(!plugin.empty(), "mpv-mpris");
    const std::string one = m_dir / "one.mp3";
    const std::string two = m_dir / "two.mp3";
    ASSERT_TRUE(testutil::MakeMp3(one, 30, "자동 곡 하나", "테스트 가수"));
    ASSERT_TRUE(testutil::MakeMp3(two, 30, "자동 곡 둘", "테스트 가수"));

    peers::ScopedEnv env;
    env.Set("DBUS_SESSION_BUS_ADDRESS", m_bus.Address());
    env.Set("HOME", m_dir.Path());
    testutil::ChildProcess mpv;
    ASSERT_TRUE(
        mpv.Start({ "mpv", "--no-config", "--script=" + plugin, "--ao=null", "--vo=null", "--no-terminal", one, two },
            false, true));
    std::string name;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto names = testutil::BusNames(m_bus.Address(), "org.mpris.MediaPlayer2.mpv");
            return !names.empty() && !(name = names[0]).empty();
        },
        kWaitMs));

    struct SStep {
        const char* call; // what the presenter does in mpv, or nothing
        std::string title;
    };
    const SStep steps[] = {
        { nullptr, "테스트 가수 - 자동 곡 하나" },
        { "Next", "테스트 가수 - 자동 곡 둘" },
        { "Pause", "" },
        { "Play", "테스트 가수 - 자동 곡 둘" },
    };
    for (const SStep& step : steps) {
        SCOPED_TRACE(step.call ? step.call : "start");
        if (step.call) {
            ASSERT_TRUE(testutil::CallPlayer(m_bus.Address(), name, step.call));
        }
        EXPECT_EQ(TitleOnceItIs(step.title), step.title);
    }
    mpv.Stop();
    EXPECT_EQ(TitleOnceItIs(""), "");
}

// What players put in their metadata, as a player of our own sends it.
TEST_F(MediaPlayerBusPeer, MakesATitleOfWhatEveryKindOfMetadataHolds)
{
    const std::string longKorean = [] {
        std::string s;
        for (int i = 0; i < 2000; ++i)
            s += "가";
        return s;
    }();
    std::vector<std::string> manyArtists;
    for (int i = 0; i < 100; ++i)
        manyArtists.push_back(std::string("A").append(std::to_string(i)));
    std::string sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen.append(i ? ", A" : "A").append(std::to_string(i));
    MprisMetadata padded;
    for (int i = 0; i < 80; ++i)
        padded.push_back(Text("x:pad" + std::to_string(i), "p"));
    padded.push_back(Text("xesam:title", "Too Far"));
    MprisMetadata early = padded;
    early.insert(early.begin(), Text("xesam:title", "Early"));

    struct SRow {
        const char* name;
        MprisMetadata metadata;
        std::string title;
    };
    const SRow rows[] = {
        { "artist and title", { Texts("xesam:artist", { "가수" }), Text("xesam:title", "노래") }, "가수 - 노래" },
        { "title alone", { Text("xesam:title", "Song") }, "Song" },
        { "several artists", { Texts("xesam:artist", { "A", "B", "C" }), Text("xesam:title", "Song") },
            "A, B, C - Song" },
        { "blank artists dropped", { Texts("xesam:artist", { " ", "", "B" }), Text("xesam:title", "Song") },
            "B - Song" },
        { "artist as one string", { Text("xesam:artist", "Solo"), Text("xesam:title", "Song") }, "Solo - Song" },
        { "no title: the file's name",
            { Texts("xesam:artist", { "A" }), Text("xesam:url", "file:///music/My%20Song%21.flac") }, "A - My Song!" },
        { "no title: a Korean file name", { Text("xesam:url", "file:///m/%EA%B3%A1%20%ED%95%98%EB%82%98.mp3") },
            "곡 하나" },
        { "blank title: the file's name", { Text("xesam:title", "  "), Text("xesam:url", "file:///a/b.c.ogg") },
            "b.c" },
        { "title of the wrong type", { Number("xesam:title"), Text("xesam:url", "file:///a/Song.mp3") }, "Song" },
        { "artists of the wrong type", { Number("xesam:artist"), Text("xesam:title", "Song") }, "Song" },
        { "nothing but an artist", { Texts("xesam:artist", { "A" }) }, "" },
        { "no metadata", {}, "" },
        { "controls become spaces", { Text("xesam:title", "Line\none\ttwo\x1b[31m") }, "Line one two [31m" },
        { "a broken escape in the url", { Text("xesam:url", "file:///a/%FF%ZZ%4.mp3") }, "\xEF\xBF\xBD%ZZ%4" },
        { "a very long title is cut at a character", { Text("xesam:title", longKorean) },
            longKorean.substr(0, 1023 / 3 * 3) },
        { "a hundred artists keep sixteen", { Texts("xesam:artist", manyArtists), Text("xesam:title", "S") },
            sixteen + " - S" },
        { "entries past the bound are not read", padded, "" },
        { "entries within the bound are", early, "Early" },
    };
    testutil::ScriptedMprisPlayer player;
    ASSERT_TRUE(player.Start(m_bus.Address(), "org.mpris.MediaPlayer2.test"));
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.name);
        // Between rows the player stops, so every row's title is new.
        ASSERT_TRUE(player.Set("Stopped", {}));
        EXPECT_EQ(TitleOnceItIs(""), "");
        ASSERT_TRUE(player.Set("Playing", row.metadata));
        if (row.title.empty()) {
            // An empty title is what the reader had before: it counts once
            // the reader knows the player plays.
            platform::PlayerSong song;
            ASSERT_TRUE(WaitUntil([&] { return m_players->NowPlaying(&song); }));
        }
        EXPECT_EQ(TitleOnceItIs(row.title), row.title);
    }
}

// Two players, and one that owns its name but never answers: the title is
// the song of the one that began playing last, a player that quits takes
// its song with it, and nothing of the silent one holds the reader.
TEST_F(MediaPlayerBusPeer, TakesThePlayerThatBeganLastAndNeverWaitsOnASilentOne)
{
    testutil::ScriptedMprisPlayer silent;
    ASSERT_TRUE(
        silent.Start(m_bus.Address(), "org.mpris.MediaPlayer2.silent", testutil::ScriptedMprisPlayer::Answers::Never));
    testutil::ScriptedMprisPlayer first;
    testutil::ScriptedMprisPlayer second;
    ASSERT_TRUE(first.Start(m_bus.Address(), "org.mpris.MediaPlayer2.first"));
    ASSERT_TRUE(second.Start(m_bus.Address(), "org.mpris.MediaPlayer2.second"));
    ASSERT_TRUE(WaitUntil([&] { return silent.Unanswered() > 0; })) << "the silent player was not asked";

    ASSERT_TRUE(first.Set("Playing", { Text("xesam:title", "One") }));
    EXPECT_EQ(TitleOnceItIs("One"), "One");
    ASSERT_TRUE(second.Set("Playing", { Text("xesam:title", "Two") }));
    EXPECT_EQ(TitleOnceItIs("Two"), "Two");
    // A new song of the first does not make it the one that began last.
    ASSERT_TRUE(first.Set("Playing", { Text("xesam:title", "One again") }));
    ASSERT_TRUE(second.Set("Paused", { Text("xesam:title", "Two") }));
    EXPECT_EQ(TitleOnceItIs("One again"), "One again");
    ASSERT_TRUE(second.Set("Playing", { Text("xesam:title", "Two") }));
    EXPECT_EQ(TitleOnceItIs("Two"), "Two");
    second.Stop();
    EXPECT_EQ(TitleOnceItIs("One again"), "One again");

    // The reader answers at once and stops at once, the silent player's
    // question still open.
    const auto before = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ReadBusPlayerTitle(*m_players), "One again");
    m_players->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(ReadBusPlayerTitle(*m_players), "");
}

// Without a bus the reader says so and has no title.
TEST(MediaPlayerBusAbsent, NoBusAtTheAddressMeansNoTitle)
{
    const auto players = platform::MediaPlayerBus::ForAddress("unix:path=/dev/null/no-bus");
    EXPECT_EQ(players->State(), platform::PlayerBusState::NotStarted);
    players->Start();
    ASSERT_TRUE(WaitUntil([&] { return players->State() == platform::PlayerBusState::Absent; }));
    EXPECT_EQ(ReadBusPlayerTitle(*players), "");
}

} // namespace

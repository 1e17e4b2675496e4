#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// What one music player says it plays: its song's artists, title and
// address, as the player publishes them, each cut to the bounds below.
struct PlayerSong {
    std::vector<std::string> artists;
    std::string title;
    std::string url;

    bool operator==(const PlayerSong&) const = default;
};

// How far the watch on the desktop's bus has come.
enum class PlayerBusState {
    NotStarted,
    Connecting, // connected or connecting, the players not listed yet
    Watching, // the players are listed and followed
    Absent, // no bus to connect to, or the bus went away
};

// Thread: Start and Stop on the owner's thread; NowPlaying and State from
// any thread, and they never wait on the bus.
// The music players of this desktop as its message bus publishes them
// (MPRIS on the session D-Bus). A thread of the bus's own follows the
// players' announcements and keeps the latest song; the caller only takes
// that song, so a bus that is slow, hangs or is missing never holds it.
// The backend is MediaPlayerBusSdBus.cpp.
class MediaPlayerBus {
public:
    // The bounds on what a player may hand us: a hostile or broken player
    // must not make us keep megabytes. A title or artist beyond the window
    // reader's buffer would be cut by the title path anyway; an address is
    // longer because its bytes may be percent-escaped three to one.
    static constexpr size_t kMaxText = 1024;
    static constexpr size_t kMaxUrl = 4096;
    // A song has a handful of artists; more are dropped.
    static constexpr size_t kMaxArtists = 16;
    // Metadata entries read of one player's answer; players publish a
    // dozen or two.
    static constexpr size_t kMaxEntries = 64;
    // Players followed at once; a desktop runs one or two.
    static constexpr size_t kMaxPlayers = 64;

    virtual ~MediaPlayerBus() = default;

    // Starts following the players; until Stop, later calls do nothing. Never
    // waits on the bus: the connection is made on the bus's thread.
    virtual void Start() = 0;
    // Stops following them (State is NotStarted again) and ends the bus's
    // thread promptly, whatever the bus or a player does.
    virtual void Stop() = 0;

    // The song of the player that began playing last of those playing now;
    // false, with *pSong cleared, when none plays.
    [[nodiscard]] virtual bool NowPlaying(PlayerSong* pSong) = 0;
    [[nodiscard]] virtual PlayerBusState State() const = 0;

    // The session bus the environment names (DBUS_SESSION_BUS_ADDRESS, or
    // the user's runtime folder).
    [[nodiscard]] static std::unique_ptr<MediaPlayerBus> ForSession();
    // A bus at a D-Bus address ("unix:path=/tmp/x/bus"); for tests.
    [[nodiscard]] static std::unique_ptr<MediaPlayerBus> ForAddress(const std::string& address);
};

} // namespace platform

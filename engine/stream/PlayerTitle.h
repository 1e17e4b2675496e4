#pragma once

#include "platform/MediaPlayerBus.h"
#include "platform/WindowFinder.h"

#include <string>
#include <string_view>

// What a music player on this desktop is playing, read from its main
// window's title bar. Each reader finds its player's window by class and
// strips the player's own decorations; without the window it returns "".
// Thread: any.

// Window classes of the players we follow, in the order they are asked.
inline constexpr std::string_view kTavAudioClass = "TavAudio1.x";
inline constexpr std::string_view kWinampClass = "Winamp v1.x";
inline constexpr std::string_view kALSongClass = "ALSongKernelWindow";
inline constexpr std::string_view kGuidPlayerClass = "{E7076D1C-A7BF-4f39-B771-BCBE88F2A2A8}";
inline constexpr std::string_view kGuidPlayerOldClass = "{DA7CD0DE-1602-45e6-89A1-C2CA151E008E}";

// The first player in the order above whose stripped title is not blank,
// then the song of the desktop's bus players (when pPlayers is given), with
// leading and trailing spaces removed; "" when none.
[[nodiscard]] std::string ReadPlayerTitle(
    platform::WindowFinder& finder = platform::WindowFinder::System(), platform::MediaPlayerBus* pPlayers = nullptr);

[[nodiscard]] std::string ReadTavAudioTitle(platform::WindowFinder& finder = platform::WindowFinder::System());
[[nodiscard]] std::string ReadWinampTitle(platform::WindowFinder& finder = platform::WindowFinder::System());
[[nodiscard]] std::string ReadALSongTitle(platform::WindowFinder& finder = platform::WindowFinder::System());
[[nodiscard]] std::string ReadGuidPlayerTitle(platform::WindowFinder& finder = platform::WindowFinder::System());
// The song of the bus player that began playing last as a title; "" when
// none plays.
[[nodiscard]] std::string ReadBusPlayerTitle(platform::MediaPlayerBus& players);

// The stripping rules on a window text.
// "Artist - Song - Player" keeps the text before the last "-".
[[nodiscard]] std::string StripAfterLastDash(std::string_view text);
// "Song [Player]" keeps the text before the last "[".
[[nodiscard]] std::string StripAfterLastBracket(std::string_view text);
// A title scrolled through the title bar with "* ALSong *" between its
// repetitions, put back in reading order; "" without any "*".
[[nodiscard]] std::string UnscrollALSongTitle(std::string_view text);
// Removes leading and trailing space characters (only ' ').
[[nodiscard]] std::string TrimSpaces(std::string_view text);

// A bus player's song as a title: "artist - title", several artists joined
// by ", ", the title alone without an artist, and without a title the file
// name of its address. Characters that are not text (controls, broken
// UTF-8 from a percent-escape) become spaces or U+FFFD.
[[nodiscard]] std::string SongTitle(const platform::PlayerSong& song);
// The file name without its extension of the address's last path segment,
// percent-decoded: "file:///m/My%20Song.mp3" gives "My Song".
[[nodiscard]] std::string FileNameOfUrl(std::string_view url);

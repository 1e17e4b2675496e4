#pragma once

#include <optional>
#include <string>
#include <string_view>

// The song titles the main window publishes. Titles are UTF-8 and limited
// in bytes, because the streaming server and the station directory take
// them by bytes. Thread: any; pure functions.

// The most bytes a published title holds.
inline constexpr size_t kMaxTitleBytes = 128;
// The end that marks a title taken from a player rather than typed.
inline constexpr std::string_view kAutoTitleMark = " \t";

// The title cut to kMaxTitleBytes, never inside a character: a character
// that would cross the limit is left out whole.
[[nodiscard]] std::string CutTitle(std::string_view title);

// The automatic title for what a player shows (the station name when it
// shows nothing): the mark appended unless the text already ends with it,
// then cut to the limit, the mark counted.
[[nodiscard]] std::string MakeAutoTitle(std::string_view playerTitle, std::string_view stationName);

// One tick of the automatic title: the title to store and send, or nothing
// when it equals the title already published.
[[nodiscard]] std::optional<std::string> NextAutoTitle(
    std::string_view playerTitle, std::string_view stationName, std::string_view currentTitle);

// What the window shows on air: "[presenter] title" when the presenter's
// name goes with titles and is set, else the title, without trailing
// blanks and tabs.
[[nodiscard]] std::string BuildStatusText(std::string_view presenter, std::string_view title, bool bWithPresenter);

#include "engine/stream/PlayerTitle.h"

namespace {

constexpr std::string_view kALSongMarker = "* ALSong *";

std::string WindowText(platform::WindowFinder& finder, std::string_view className)
{
    std::string text;
    if (!finder.FindWindowTitle(className, &text))
        return {};
    return text;
}

} // namespace

std::string StripAfterLastDash(std::string_view text)
{
    const size_t dash = text.rfind('-');
    return std::string(dash == std::string_view::npos ? text : text.substr(0, dash));
}

std::string StripAfterLastBracket(std::string_view text)
{
    const size_t bracket = text.rfind('[');
    return std::string(bracket == std::string_view::npos ? text : text.substr(0, bracket));
}

std::string UnscrollALSongTitle(std::string_view text)
{
    size_t p = text.find(kALSongMarker);
    if (p == std::string_view::npos)
        p = text.rfind('*');
    if (p == std::string_view::npos)
        return {};
    std::string rotated(text.substr(p));
    rotated.append(text.substr(0, p));
    for (size_t at = rotated.find(kALSongMarker); at != std::string::npos; at = rotated.find(kALSongMarker, at))
        rotated.erase(at, kALSongMarker.size());
    return rotated;
}

std::string TrimSpaces(std::string_view text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string ReadTavAudioTitle(platform::WindowFinder& finder)
{
    return StripAfterLastDash(WindowText(finder, kTavAudioClass));
}

std::string ReadWinampTitle(platform::WindowFinder& finder)
{
    return StripAfterLastDash(WindowText(finder, kWinampClass));
}

std::string ReadALSongTitle(platform::WindowFinder& finder)
{
    return UnscrollALSongTitle(WindowText(finder, kALSongClass));
}

std::string ReadGuidPlayerTitle(platform::WindowFinder& finder)
{
    std::string text;
    if (!finder.FindWindowTitle(kGuidPlayerClass, &text) && !finder.FindWindowTitle(kGuidPlayerOldClass, &text))
        return {};
    return StripAfterLastBracket(text);
}

std::string ReadPlayerTitle(platform::WindowFinder& finder)
{
    using Reader = std::string (*)(platform::WindowFinder&);
    for (Reader reader : { &ReadTavAudioTitle, &ReadWinampTitle, &ReadALSongTitle, &ReadGuidPlayerTitle }) {
        std::string title = TrimSpaces(reader(finder));
        if (!title.empty())
            return title;
    }
    return {};
}

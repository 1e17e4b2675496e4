#include "engine/stream/PlayerTitle.h"

#include "platform/TextCase.h"

namespace {

constexpr std::string_view kALSongMarker = "* ALSong *";

std::string WindowText(platform::WindowFinder& finder, std::string_view className)
{
    std::string text;
    if (!finder.FindWindowTitle(className, &text))
        return {};
    return text;
}

// What a title cannot carry, made text: a control character becomes a
// space (a title is one line on every listener's screen), a byte that
// starts no well-formed UTF-8 sequence becomes U+FFFD.
std::string CleanText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead < 0x20 || lead == 0x7F ? ' ' : static_cast<char>(lead));
            ++i;
            continue;
        }
        // The well-formed sequences of RFC 3629: no overlong forms, no
        // surrogates, nothing past U+10FFFF.
        size_t n = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            n = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            n = 3;
            lo = lead == 0xE0 ? 0xA0 : 0x80;
            hi = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            n = 4;
            lo = lead == 0xF0 ? 0x90 : 0x80;
            hi = lead == 0xF4 ? 0x8F : 0xBF;
        }
        bool ok = n > 0 && i + n <= text.size();
        for (size_t k = 1; ok && k < n; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            ok = k == 1 ? c >= lo && c <= hi : (c & 0xC0) == 0x80;
        }
        if (!ok) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        // C1 controls (U+0080 to U+009F) are controls too.
        if (lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            out.push_back(' ');
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
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

std::string ReadBusPlayerTitle(platform::MediaPlayerBus& players)
{
    platform::PlayerSong song;
    return players.NowPlaying(&song) ? SongTitle(song) : std::string();
}

std::string ReadPlayerTitle(platform::WindowFinder& finder, platform::MediaPlayerBus* pPlayers)
{
    using Reader = std::string (*)(platform::WindowFinder&);
    for (Reader reader : { &ReadTavAudioTitle, &ReadWinampTitle, &ReadALSongTitle, &ReadGuidPlayerTitle }) {
        std::string title = TrimSpaces(reader(finder));
        if (!title.empty())
            return title;
    }
    return pPlayers ? TrimSpaces(ReadBusPlayerTitle(*pPlayers)) : std::string();
}

std::string FileNameOfUrl(std::string_view url)
{
    // The path ends at a query or a fragment; a file address has neither
    // (a "?" or "#" in a file name is escaped).
    url = url.substr(0, url.find_first_of("?#"));
    std::string_view name = url.substr(url.rfind('/') + 1);
    std::string decoded;
    decoded.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const int hi = name[i] == '%' && i + 2 < name.size() ? platform::AsciiHexValue(name[i + 1]) : -1;
        const int lo = hi >= 0 ? platform::AsciiHexValue(name[i + 2]) : -1;
        if (lo >= 0) {
            decoded.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            decoded.push_back(name[i]);
        }
    }
    // A leading dot names a hidden file, not an extension.
    const size_t dot = decoded.rfind('.');
    if (dot != std::string::npos && dot > 0)
        decoded.resize(dot);
    return decoded;
}

std::string SongTitle(const platform::PlayerSong& song)
{
    std::string artists;
    for (const std::string& artist : song.artists) {
        const std::string name = TrimSpaces(CleanText(artist));
        if (name.empty())
            continue;
        if (!artists.empty())
            artists += ", ";
        artists += name;
    }
    std::string title = TrimSpaces(CleanText(song.title));
    if (title.empty())
        title = TrimSpaces(CleanText(FileNameOfUrl(song.url)));
    if (title.empty())
        return {};
    return artists.empty() ? title : artists + " - " + title;
}

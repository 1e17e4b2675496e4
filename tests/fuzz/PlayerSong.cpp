// Makes a title of arbitrary metadata the way the title poll does of a bus
// player's song: the bytes, split at NUL, are the title, the url and the
// artists. The title is well-formed UTF-8 without control characters, and
// no longer than what it was made of allows.
#include "engine/stream/PlayerTitle.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// RFC 3629 UTF-8, no C0 or C1 control character, DEL included.
bool IsCleanUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F)
                return false;
            ++i;
            continue;
        }
        const size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead < 0xC2 || lead > 0xF4 || i + n > text.size())
            return false;
        char32_t c = lead & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (b & 0x3F);
        }
        const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0x80 && c < 0xA0))
            return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    platform::PlayerSong song;
    size_t start = 0;
    for (int field = 0; start <= input.size(); ++field) {
        const size_t end = std::min(input.find('\0', start), input.size());
        const std::string part(input.substr(start, end - start));
        if (field == 0)
            song.title = part;
        else if (field == 1)
            song.url = part;
        else
            song.artists.push_back(part);
        start = end + 1;
    }
    const std::string title = SongTitle(song);
    // Each byte becomes at most three (U+FFFD), and ", " or " - " joins
    // what came apart at one NUL.
    if (!IsCleanUtf8(title) || title.size() > 3 * size + 3 * song.artists.size() + 3)
        std::abort();
    if (!IsCleanUtf8(SongTitle({ {}, {}, song.url })))
        std::abort();
    return 0;
}

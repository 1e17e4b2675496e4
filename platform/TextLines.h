#pragma once

#include <string_view>

namespace platform {

// Cuts the first line off text and returns it without its line end. Any
// number of CRs before the LF go with it, so CRLF files (settings and skins
// made with other tools), LF files and stray CRs all read alike.
inline std::string_view TakeLine(std::string_view* text)
{
    size_t end = text->find('\n');
    std::string_view line = text->substr(0, end);
    text->remove_prefix(end == std::string_view::npos ? text->size() : end + 1);
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace platform

#pragma once

#include <string_view>

namespace platform {

// Names in settings files, registry paths, mixer controls, XML, protocol
// headers and window classes compare
// without case in ASCII only: the result must not change with the locale
// the program happens to run in, and non-ASCII bytes are UTF-8 pieces.
[[nodiscard]] constexpr char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] constexpr bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

// The value of one hex digit in either case; -1 for any other byte.
[[nodiscard]] constexpr int AsciiHexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace platform

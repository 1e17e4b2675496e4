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

}  // namespace platform

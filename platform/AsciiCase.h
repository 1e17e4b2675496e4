#pragma once

#include <string_view>

namespace platform {

// Case rules of protocol words, window classes and keys: ASCII letters only,
// so UTF-8 and code-page bytes compare as they are, whatever the locale.
// Thread: any.

[[nodiscard]] constexpr char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] constexpr bool AsciiEqualNoCase(std::string_view a, std::string_view b)
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

#pragma once

#include <string>
#include <string_view>

namespace platform {

// Text conversion between code pages, named by their code-page numbers (949
// Korean, 65001 UTF-8, 1200 UTF-16LE), the numbers stored skins and
// settings use. The system code page (0) is
// UTF-8 on this platform.
// Thread: any; no shared state.

inline constexpr unsigned kCodePageSystem = 0;
inline constexpr unsigned kCodePageKorean = 949;
inline constexpr unsigned kCodePageUtf16Le = 1200;
inline constexpr unsigned kCodePageUtf8 = 65001;

// True for the code pages whose text is UTF-8 here (0 and 65001).
[[nodiscard]] constexpr bool IsUtf8CodePage(unsigned codePage)
{
    return codePage == kCodePageSystem || codePage == kCodePageUtf8;
}

// Converts the whole text; false, leaving *pOut untouched, when a byte
// sequence is invalid in the source, has no counterpart in the target, or a
// code page is unknown. Never throws.
[[nodiscard]] bool ConvertCodePage(
    std::string_view text, unsigned fromCodePage, unsigned toCodePage, std::string* pOut);

} // namespace platform

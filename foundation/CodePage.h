#pragma once

#include <optional>
#include <string>
#include <string_view>

// Converts UTF-8 text into the given code page (platform/TextCodec.h
// numbering); the system code page is UTF-8, so converting to it returns the
// text unchanged. Empty when the text cannot be represented; callers then
// keep the original bytes.
[[nodiscard]] std::optional<std::string> Utf8ToCodePage(std::string_view text, unsigned codePage);

// Converts text in the given code page into UTF-8; UTF-8 code pages return
// the text unchanged. Empty when a byte sequence is invalid in the source.
[[nodiscard]] std::optional<std::string> CodePageToUtf8(std::string_view text, unsigned codePage);

// True when any byte has its high bit set.
[[nodiscard]] bool HasNonAsciiByte(std::string_view text);

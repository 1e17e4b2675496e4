#pragma once

#include <string_view>

namespace platform {

// Writes text to standard output only when that can be done at once: when
// standard output is a pipe or terminal nobody drains, the text is dropped
// instead of stopping the caller. At most kConsoleChunk bytes go out whole
// (a pipe takes that much in one piece once it reports room); longer text is
// cut. False when the text was dropped or cut.
// Thread: any; each call is one write.
inline constexpr size_t kConsoleChunk = 4096;
bool WriteConsoleNow(std::string_view text);

} // namespace platform

#pragma once

namespace platform {

// a × b / c with a 64-bit product, rounded to nearest (half away from zero).
// Returns -1 when c is 0 or the result does not fit an int; the audio road
// sizes every block with it and treats -1 as "no size".
[[nodiscard]] int MulDiv(int a, int b, int c);

} // namespace platform

#pragma once

#include <cstddef>

namespace platform {

// Fills out with bytes from the system's secure random source; false when
// it could not (out is then unusable). Thread: any.
[[nodiscard]] bool FillRandomBytes(void* out, size_t len);

} // namespace platform

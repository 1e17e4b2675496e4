#pragma once

#include <cstdint>

namespace platform {

// A new time-based UUID (RFC 4122 version 1, 16 bytes in memory order);
// its last six bytes are the node, the machine's hardware address when the
// system can tell it. False when none could be made. Thread: any.
[[nodiscard]] bool NewTimeUuid(uint8_t out[16]);

} // namespace platform

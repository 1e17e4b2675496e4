#pragma once

#include <string>
#include <vector>

namespace platform {

// Facts about this process and starting others. Thread: any.

// Starts argv[0] (looked up on PATH unless it holds a '/') with exactly
// these arguments, no shell in between, as a grandchild that nobody needs
// to wait for. True once the program is running; false when it could not
// be started.
[[nodiscard]] bool SpawnDetached(const std::vector<std::string>& argv);

// This process's arguments as the kernel holds them, program first; false
// when they cannot be read.
[[nodiscard]] bool ProcessArguments(std::vector<std::string>* out);

// Root, or a member of the group that may use sudo ("sudo" or "wheel").
[[nodiscard]] bool IsAdministrator();

} // namespace platform

#pragma once

// What the program asks about the system it runs on. Thread: any.

// Version codes the rest of the program compares against; Linux has every
// feature the newest code stands for.
inline constexpr int kWindowsVersionLatestNt = 15;

// Always kWindowsVersionLatestNt on Linux.
[[nodiscard]] int DetectWindowsVersion();
// DetectWindowsVersion, computed once.
[[nodiscard]] int GetWindowsVersion();

// 3 (administrator) for root or a sudo-capable user, else 1 (user).
[[nodiscard]] int GetUserGroupLevel();

// An interface up with IPv4 besides loopback, or a default route; see
// platform/Connectivity.h for the test override.
[[nodiscard]] bool IsInternetConnected();

// Windows filters copy-data messages from lower-privileged programs; Linux
// has no such filter, so there is nothing to allow.
bool AllowCopyDataMessage();

#pragma once

// What the program asks about the system it runs on. Thread: any.

// 3 (administrator) for root or a sudo-capable user, else 1 (user).
[[nodiscard]] int GetUserGroupLevel();

// An interface up with IPv4 besides loopback, or a default route; see
// platform/Connectivity.h for the test override.
[[nodiscard]] bool IsInternetConnected();

#pragma once

#include <string_view>

namespace platform {

// Whether this computer looks connected to a network. Thread: any.

// "1" or "0" here answers instead of the system, so tests on a machine
// without a network (CI) can count loopback end-to-end runs as online.
inline constexpr const char* kAssumeOnlineEnv = "TAVDJ_ASSUME_ONLINE";

// An interface that is up, not loopback, with an IPv4 address; or a default
// route.
[[nodiscard]] bool HasNetworkConnection();

// True when a /proc/net/route table has an IPv4 default route that is up.
[[nodiscard]] bool RouteTableHasDefault(std::string_view table);

} // namespace platform

#pragma once

#include <string>
#include <string_view>

// Base64 (RFC 4648, with padding) for HTTP Basic credentials. Thread: any.
[[nodiscard]] std::string Base64Encode(std::string_view bytes);

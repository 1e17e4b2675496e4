#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Thread: any; implementations are thread-safe.
// Blocking host-name lookup, IPv4 only. Callers that must not freeze run it
// on a worker (GAsyncDNS); tests inject a resolver that needs no DNS.
class HostResolver {
public:
    virtual ~HostResolver() = default;
    // The first IPv4 address of host, in network byte order.
    [[nodiscard]] virtual bool ResolveIpv4(const std::string& host, uint32_t* address) = 0;

    static HostResolver& System();
};

} // namespace platform

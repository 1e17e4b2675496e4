#include "platform/HostResolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {

namespace {

class GetAddrInfoResolver final : public HostResolver {
public:
    bool ResolveIpv4(const std::string& host, uint32_t* address) override
    {
        addrinfo hints {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
            return false;
        bool ok = false;
        for (addrinfo* a = found; a; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addr) {
                *address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
                ok = true;
                break;
            }
        }
        ::freeaddrinfo(found);
        return ok;
    }
};

} // namespace

HostResolver& HostResolver::System()
{
    static GetAddrInfoResolver resolver;
    return resolver;
}

} // namespace platform

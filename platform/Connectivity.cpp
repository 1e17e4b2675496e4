#include "platform/Connectivity.h"

#include "platform/Files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace platform {
namespace {

bool HasUpNonLoopbackIpv4()
{
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool found = false;
    for (struct ifaddrs* it = list; it != nullptr && !found; it = it->ifa_next) {
        found = it->ifa_addr != nullptr && it->ifa_addr->sa_family == AF_INET && (it->ifa_flags & IFF_UP)
                && !(it->ifa_flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return found;
}

}  // namespace

bool RouteTableHasDefault(std::string_view table)
{
    // Columns: Iface Destination Gateway Flags ...; the first line names them.
    size_t lineStart = table.find('\n');
    while (lineStart != std::string_view::npos && lineStart + 1 < table.size()) {
        std::string_view rest = table.substr(lineStart + 1);
        size_t lineEnd = rest.find('\n');
        std::string line(rest.substr(0, lineEnd));
        lineStart = lineEnd == std::string_view::npos ? lineEnd : lineStart + 1 + lineEnd;
        char iface[64], dest[64], gateway[64];
        unsigned flags = 0;
        if (std::sscanf(line.c_str(), "%63s %63s %63s %x", iface, dest, gateway, &flags) != 4)
            continue;
        constexpr unsigned kRouteUp = 0x1;
        if (std::strcmp(dest, "00000000") == 0 && (flags & kRouteUp) && std::strcmp(iface, "lo") != 0)
            return true;
    }
    return false;
}

bool HasNetworkConnection()
{
    if (const char* assumed = std::getenv(kAssumeOnlineEnv); assumed != nullptr && assumed[0] != '\0')
        return std::strcmp(assumed, "0") != 0;
    if (HasUpNonLoopbackIpv4())
        return true;
    std::string table;
    return ReadWholeFile("/proc/net/route", 1u << 20, &table) && RouteTableHasDefault(table);
}

}  // namespace platform

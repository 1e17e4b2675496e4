#include "platform/Connectivity.h"

#include "platform/Files.h"
#include "platform/SocketApi.h"
#include "platform/TextLines.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

bool RouteTableHasDefault(std::string_view table)
{
    // Columns: Iface Destination Gateway Flags ...; the first line names them.
    std::string_view rest = table;
    (void)TakeLine(&rest);
    while (!rest.empty()) {
        const std::string line(TakeLine(&rest));
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
    if (!InterfaceIpv4Addresses().empty())
        return true;
    std::string table;
    return ReadWholeFile("/proc/net/route", 1u << 20, &table) && RouteTableHasDefault(table);
}

} // namespace platform

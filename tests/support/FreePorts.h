#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace testutil {

namespace detail {

// True when port is free for a listener on loopback this moment.
inline bool PortFree(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

// The first port the kernel hands out to outgoing connections.
inline int EphemeralStart()
{
    int low = 32768;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low;
    return low;
}

} // namespace detail

// A loopback port p such that p and p + 1 were both free a moment ago (a
// SHOUTcast server listens on both). 0 when none was found. The pair is
// drawn below the kernel's range for outgoing connections: a port from that
// range can be taken as the local end of any test's connection between this
// check and the server's bind, which under a loaded parallel run happens.
inline int PickPortPair()
{
    const int top = detail::EphemeralStart() - 2;
    std::mt19937 random(std::random_device {}());
    std::uniform_int_distribution<int> pick(top > 12000 ? top - 10000 : 1024, top > 1026 ? top : 65533);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int port = pick(random);
        if (detail::PortFree(port) && detail::PortFree(port + 1))
            return port;
    }
    return 0;
}

// A loopback port p such that p … p + count - 1 were all free a moment ago
// (a server that moves on to the next pair when one is taken). 0 when none
// was found.
inline int PickPortRun(int count)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int first = PickPortPair();
        if (first == 0 || first + count > 65536)
            continue;
        bool free = true;
        for (int p = first + 2; p < first + count && free; ++p) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in sa {};
            sa.sin_family = AF_INET;
            sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            sa.sin_port = htons(static_cast<uint16_t>(p));
            free = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
            ::close(fd);
        }
        if (free)
            return first;
    }
    return 0;
}

} // namespace testutil

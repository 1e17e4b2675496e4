#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testutil {

// A loopback port p such that p and p + 1 were both free a moment ago (a
// SHOUTcast server listens on both). 0 when none was found.
inline int PickPortPair()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int a = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (::bind(a, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::getsockname(a, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
            ::close(a);
            continue;
        }
        const int port = ntohs(sa.sin_port);
        const int b = ::socket(AF_INET, SOCK_STREAM, 0);
        sa.sin_port = htons(static_cast<uint16_t>(port + 1));
        const bool ok = port < 65535 && ::bind(b, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        ::close(a);
        ::close(b);
        if (ok)
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

}  // namespace testutil

#include "platform/SocketApi.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <dirent.h>

namespace platform {

namespace {

bool WouldBlock(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

sockaddr_in MakeAddress(uint32_t address, int port)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = address;
    return sa;
}

class PosixSocketApi final : public SocketApi {
public:
    SocketFd OpenTcp() override
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        return fd >= 0 ? fd : kNoSocket;
    }

    void Close(SocketFd fd) override
    {
        if (fd < 0)
            return;
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }

    NetStatus StartConnect(SocketFd fd, uint32_t address, int port) override
    {
        const sockaddr_in sa = MakeAddress(address, port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
            return NetStatus::Done;
        return errno == EINPROGRESS || errno == EINTR ? NetStatus::Pending : NetStatus::Failed;
    }

    NetStatus CheckConnect(SocketFd fd) override
    {
        pollfd p { fd, POLLOUT, 0 };
        const int n = ::poll(&p, 1, 0);
        if (n < 0)
            return WouldBlock(errno) ? NetStatus::Pending : NetStatus::Failed;
        if (n == 0)
            return NetStatus::Pending;
        // A refused connect also shows as writable; only the pending error
        // tells success from failure.
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
            return NetStatus::Failed;
        return (p.revents & (POLLERR | POLLNVAL)) ? NetStatus::Failed : NetStatus::Done;
    }

    bool BindAndListen(SocketFd fd, int port, int backlog) override
    {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in sa = MakeAddress(htonl(INADDR_ANY), port);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
            return false;
        return ::listen(fd, backlog) == 0;
    }

    SocketFd Accept(SocketFd listener, uint32_t* peerAddress) override
    {
        sockaddr_in sa {};
        socklen_t len = sizeof sa;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return kNoSocket;
        if (peerAddress)
            *peerAddress = sa.sin_addr.s_addr;
        return fd;
    }

    bool MakeNonBlocking(SocketFd fd) override
    {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
            return false;
        return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
    }

    NetIo Send(SocketFd fd, const char* data, int len) override
    {
        const ssize_t n = ::send(fd, data, static_cast<size_t>(len), MSG_NOSIGNAL);
        if (n >= 0)
            return { NetStatus::Done, static_cast<int>(n) };
        return { WouldBlock(errno) ? NetStatus::Pending : NetStatus::Failed, 0 };
    }

    NetIo Receive(SocketFd fd, char* out, int len) override
    {
        const ssize_t n = ::recv(fd, out, static_cast<size_t>(len), 0);
        if (n > 0)
            return { NetStatus::Done, static_cast<int>(n) };
        if (n == 0)
            return { NetStatus::Closed, 0 };
        return { WouldBlock(errno) ? NetStatus::Pending : NetStatus::Failed, 0 };
    }

    bool SetSendBuffer(SocketFd fd, int bytes) override
    {
        return ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
    }

    int LocalPort(SocketFd fd) override
    {
        sockaddr_in sa {};
        socklen_t len = sizeof sa;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            return -1;
        return ntohs(sa.sin_port);
    }

    int WaitForEvents(PollEntry* entries, int count, int timeoutMs) override
    {
        if (count < 0 || (count > 0 && !entries))
            return -1;
        // Reused between calls: the server polls many times a second.
        thread_local std::vector<pollfd> fds;
        fds.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            short events = 0;
            if (entries[i].wanted & kPollRead)
                events |= POLLIN;
            if (entries[i].wanted & kPollWrite)
                events |= POLLOUT;
            fds[static_cast<size_t>(i)] = pollfd { entries[i].fd, events, 0 };
        }
        const int n = ::poll(fds.data(), static_cast<nfds_t>(count), timeoutMs);
        for (int i = 0; i < count; ++i) {
            const short got = n > 0 ? fds[static_cast<size_t>(i)].revents : 0;
            int ready = 0;
            if (got & (POLLIN | POLLHUP))
                ready |= kPollRead;
            if (got & POLLOUT)
                ready |= kPollWrite;
            if (got & (POLLERR | POLLNVAL))
                ready |= kPollError;
            entries[i].ready = ready;
        }
        if (n < 0)
            return errno == EINTR ? 0 : -1;
        return n;
    }
};

} // namespace

SocketApi& SocketApi::System()
{
    static PosixSocketApi api;
    return api;
}

bool ParseDottedIpv4(const char* text, uint32_t* address)
{
    in_addr a {};
    if (!text || ::inet_aton(text, &a) == 0)
        return false;
    *address = a.s_addr;
    return true;
}

std::string FormatIpv4(uint32_t address)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

bool EnsureDescriptorLimit(int needed)
{
    rlimit limit {};
    if (needed < 0 || ::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    const rlim_t want = static_cast<rlim_t>(needed);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < want) {
        limit.rlim_cur = (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= want) ? want : limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return false;
    }
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= want;
}

int GetDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > static_cast<rlim_t>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(limit.rlim_cur);
}

int CountOpenDescriptors()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    // The directory's own descriptor was counted too.
    return count > 0 ? count - 1 : 0;
}

std::vector<uint32_t> InterfaceIpv4Addresses()
{
    std::vector<uint32_t> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        out.push_back(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    }
    ::freeifaddrs(list);
    return out;
}

std::vector<uint32_t> HostNameIpv4Addresses()
{
    std::vector<uint32_t> out;
    char name[1024] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return out;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0)
        return out;
    for (addrinfo* a = found; a && out.size() < 255; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr)
            out.push_back(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    }
    ::freeaddrinfo(found);
    return out;
}

} // namespace platform

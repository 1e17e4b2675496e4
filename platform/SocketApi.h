#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A socket as the layers above see it: a small number, never a system type.
using SocketFd = int;
inline constexpr SocketFd kNoSocket = -1;

enum class NetStatus {
    Done, // finished: connected, or bytes moved
    Pending, // would block, or a connect still in progress
    Closed, // the peer closed (receive only)
    Failed,
};

struct NetIo {
    NetStatus status;
    int bytes; // bytes moved when Done
};

// One descriptor of a readiness wait. ready: kPollRead when bytes (or the
// end) can be read or a connection waits to be accepted, kPollWrite when a
// send would move bytes, kPollError on a broken descriptor.
struct PollEntry {
    SocketFd fd;
    int wanted;
    int ready;
};
inline constexpr int kPollRead = 1;
inline constexpr int kPollWrite = 2;
inline constexpr int kPollError = 4;

// Thread: any; each descriptor is used by one thread at a time.
// Non-blocking IPv4 TCP. Addresses are IPv4 in network byte order, ports in
// host order. Nothing here waits except WaitForEvents.
class SocketApi {
public:
    virtual ~SocketApi() = default;

    // A new non-blocking, close-on-exec TCP socket, or kNoSocket.
    [[nodiscard]] virtual SocketFd OpenTcp() = 0;
    // Shuts both directions and closes; errors are of no interest here.
    virtual void Close(SocketFd fd) = 0;
    // Done when connected at once, Pending while the handshake runs.
    [[nodiscard]] virtual NetStatus StartConnect(SocketFd fd, uint32_t address, int port) = 0;
    // Done once connected, Pending while not yet decided, Failed when the
    // handshake failed (refused, unreachable, timed out).
    [[nodiscard]] virtual NetStatus CheckConnect(SocketFd fd) = 0;
    // Address reuse is switched on before binding to every local address at
    // port, so a restarted server gets its port back at once.
    [[nodiscard]] virtual bool BindAndListen(SocketFd fd, int port, int backlog) = 0;
    // A waiting connection as a non-blocking close-on-exec socket, or
    // kNoSocket when none waits.
    [[nodiscard]] virtual SocketFd Accept(SocketFd listener, uint32_t* peerAddress) = 0;
    // For a descriptor that came from elsewhere.
    [[nodiscard]] virtual bool MakeNonBlocking(SocketFd fd) = 0;
    // Never raises a signal when the peer is gone.
    [[nodiscard]] virtual NetIo Send(SocketFd fd, const char* data, int len) = 0;
    [[nodiscard]] virtual NetIo Receive(SocketFd fd, char* out, int len) = 0;
    // Fixes the system's send buffer of a connected socket at about bytes
    // (the system may round it up), so it no longer grows on its own; false
    // when refused.
    [[nodiscard]] virtual bool SetSendBuffer(SocketFd fd, int bytes) = 0;
    // The local port a socket is bound to, or -1.
    [[nodiscard]] virtual int LocalPort(SocketFd fd) = 0;
    // Waits up to timeoutMs for any entry to become ready and fills every
    // entry's ready bits; the number of ready entries, 0 on timeout, -1 on
    // failure. The one call that may wait.
    [[nodiscard]] virtual int WaitForEvents(PollEntry* entries, int count, int timeoutMs) = 0;

    static SocketApi& System();
};

// Dotted IPv4 text ("10.0.0.1", also the short forms the C library takes)
// to an address; false when it is not one.
[[nodiscard]] bool ParseDottedIpv4(const char* text, uint32_t* address);
// "%d.%d.%d.%d" of an address in network order.
[[nodiscard]] std::string FormatIpv4(uint32_t address);

// Raises the process's soft limit on open descriptors to at least needed
// (never above the hard limit); true when the limit is then at least needed.
bool EnsureDescriptorLimit(int needed);
// The process's soft limit on open descriptors (capped at INT_MAX), and how
// many it holds now; -1 when unknown.
[[nodiscard]] int GetDescriptorLimit();
[[nodiscard]] int CountOpenDescriptors();

// IPv4 addresses of interfaces that are up and not loopback, in the order
// the system lists them.
[[nodiscard]] std::vector<uint32_t> InterfaceIpv4Addresses();
// IPv4 addresses the machine's host name resolves to (may include
// 127.0.1.1 on Debian); empty when it does not resolve.
[[nodiscard]] std::vector<uint32_t> HostNameIpv4Addresses();

} // namespace platform

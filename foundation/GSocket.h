#pragma once

#include "foundation/GAsyncDNS.h"
#include "foundation/GRingBuffer.h"
#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/SocketApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

// Thread: one owner thread calls everything, except that GetState and IsOpen
// may be asked from any thread; the lookup cache has a worker.
// The program's one TCP endpoint: a non-blocking IPv4 socket that its owner
// drives by calling Poll. Send only queues; Poll moves the send queue to the
// network and whatever arrived into the receive queue. The few blocking
// steps (Connect, SendAndWait) are bounded loops of Poll and 50 ms sleeps on
// the injected clock.
class GSocket {
public:
    enum State {
        kFailed = 0,
        kNew = 1,
        kCreated = 2,
        kListening = 4,
        kConnecting = 5,
        kConnected = 6,
        kClosed = 8,
    };

    static constexpr int kReceiveBlock = 8192;
    // The queue leaves in pieces of at most this many bytes.
    static constexpr int kSendBlock = 4096;
    // A peer that sends faster than the owner reads is left waiting in the
    // kernel above this many queued bytes, so it cannot exhaust memory.
    static constexpr int kMaxReceiveQueue = 1 << 20;
    static constexpr size_t kMaxHost = GAsyncDNS::kMaxName;
    static constexpr uint32_t kNoTimeLimit = 0xFFFFFFFFu;

    GSocket();
    GSocket(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock);
    virtual ~GSocket();
    GSocket(const GSocket&) = delete;
    GSocket& operator=(const GSocket&) = delete;

    // Closes what is open, opens a non-blocking socket for port: state 2.
    [[nodiscard]] bool Create(int port);
    // True only when connected (state 6) within about five seconds. The port
    // must be the one given to Create. A host longer than kMaxHost fails at
    // once; a host name is looked up through the cache for up to 5 s. Gives
    // up as a failure once stop is requested.
    [[nodiscard]] bool Connect(const char* host, int port, std::stop_token stop = {});
    // Listens on every local address at the created port: state 4.
    [[nodiscard]] bool Listen(int backlog);
    // A waiting connection as a connected socket, or null when none waits.
    [[nodiscard]] std::unique_ptr<GSocket> Accept();

    // Queues len bytes; only when connected. Nothing leaves before Poll.
    [[nodiscard]] bool Send(const void* data, int len);
    // Hands bytes straight to the network, without copying them, when
    // nothing waits in the send queue ahead of them: the count the network
    // took (0 when it takes none now or the queue is not empty), -1 when the
    // connection has ended. For bytes the caller keeps until they are gone
    // (a server's shared stream history).
    [[nodiscard]] int SendDirect(const char* data, int len);
    // Queues the text and its terminating NUL byte.
    [[nodiscard]] bool SendString(const char* text);
    // Queues and polls every 50 ms until the queue is empty; false when the
    // connection ended, limitMs passed or stop was requested with bytes
    // still queued.
    [[nodiscard]] bool SendAndWait(
        const char* data, int len, uint32_t limitMs = kNoTimeLimit, std::stop_token stop = {});
    // Takes up to *len bytes; *len becomes the count. Bytes that arrived
    // before the connection ended stay readable.
    [[nodiscard]] bool Receive(int* len, char* out, bool consume);
    // The same, with the choice named at the call site.
    enum class Take { Consume, Peek };
    [[nodiscard]] bool Receive(int* len, char* out, Take take) { return Receive(len, out, take == Take::Consume); }
    // Drops len bytes from the front of the receive queue; a count of 0, a
    // negative one or one above what is stored is refused whole (false).
    bool Skip(int len);
    [[nodiscard]] int GetReceiveLength() const { return m_recvQueue.GetLength(); }
    // -1 when not connected.
    [[nodiscard]] int GetSendLength() const;

    // Connecting: checks the handshake and returns true. Connected: flushes
    // and reads once; *activity (may be null) tells whether bytes moved.
    // False in every other state and when the connection ended.
    bool Poll(int* activity);
    // False when nothing is open; the queues keep their contents.
    bool Close();
    // For a peer that may end its sending side and still read (a player
    // that half-closes after its request): from now on the end of the
    // peer's bytes leaves the socket open, and a send the network refuses
    // closes it instead.
    void KeepOpenAfterPeerEnds() { m_bKeepOpenAfterEnd = true; }
    [[nodiscard]] bool PeerEnded() const { return m_bPeerEnded; }
    // Fixes the system's send buffer at about bytes: a send counts as the
    // peer's progress only while the system cannot hide a stalled peer
    // behind a buffer that keeps growing.
    bool LimitSendBuffer(int bytes);
    // For a peer with nothing more to say (a listener after its request):
    // from now on what it sends is read and dropped, never queued.
    void DiscardIncoming();
    // Gives back the storage of whichever queue is empty; a queue that is
    // used again allocates again. For owners of many idle sockets.
    void ReleaseIdleQueues();

    // out: at least 16 bytes.
    bool GetPeerAddress(char* out) const;
    [[nodiscard]] uint32_t GetLastSendTime() const { return m_dwLastSend; }
    [[nodiscard]] uint64_t GetBytesSent() const { return m_nBytesSent; }
    [[nodiscard]] int GetState() const { return m_nState; }
    [[nodiscard]] bool IsOpen() const { return m_hSocket != platform::kNoSocket; }
    // For a readiness wait over many sockets (SocketApi::WaitForEvents).
    [[nodiscard]] platform::SocketFd GetHandle() const { return m_hSocket; }
    // The port the socket is bound to (after Listen on port 0), or -1.
    [[nodiscard]] int GetBoundPort() const;

private:
    bool Attach(platform::SocketFd fd);
    bool Flush();
    // Sends from data until the network takes no more; the count taken.
    int SendSome(const char* data, int len, bool* refused);
    void CountSent(int sent);
    enum class ReadMode { Poll, Closing };
    bool ReadIncoming(ReadMode mode);

    platform::SocketApi& m_api;
    platform::HostResolver& m_resolver;
    platform::Clock& m_clock;

    // Atomic so another thread may ask whether the socket is still open.
    std::atomic<int> m_nState { kNew };
    int m_nCreatedPort = -1;
    int m_nConnectPort = -1;
    std::atomic<platform::SocketFd> m_hSocket { platform::kNoSocket };
    std::string m_szHost;
    uint32_t m_nAddress = 0; // IPv4, network order
    int m_nAddressPort = 0;
    GAsyncDNS m_dns;
    GRingBuffer m_sendQueue;
    GRingBuffer m_recvQueue;
    uint32_t m_dwLastSend = 0;
    uint64_t m_nBytesSent = 0;
    bool m_bKeepOpenAfterEnd = false;
    bool m_bPeerEnded = false;
    bool m_bDiscardIncoming = false;
};

// The machine's IPv4 address as "%d.%d.%d.%d": the first interface that is
// up and not loopback; the host name's addresses only when there is none.
bool GetLocalAddress(char* out);
// As GetLocalAddress, skipping addresses whose first octet is 0, 127, 224
// or 240.
bool GetUsableLocalAddress(char* out);
// The choice both make, on given lists (for tests).
bool PickLocalAddress(
    const std::vector<uint32_t>& interfaces, const std::vector<uint32_t>& hostName, bool usableOnly, uint32_t* chosen);

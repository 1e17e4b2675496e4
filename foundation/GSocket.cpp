#include "foundation/GSocket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kPollSleepMs = 50;
// Both waits are measured on the clock, so a stop request is what ends
// them early, whatever the clock.
constexpr uint64_t kLookupWaitMs = 5000;
constexpr uint64_t kConnectWaitMs = 5000;

} // namespace

GSocket::GSocket()
    : GSocket(platform::SocketApi::System(), platform::HostResolver::System(), platform::Clock::System())
{
}

GSocket::GSocket(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock)
    : m_api(api)
    , m_resolver(resolver)
    , m_clock(clock)
    , m_dns(resolver)
    , m_dwLastSend(static_cast<uint32_t>(clock.NowMs()))
{
}

GSocket::~GSocket()
{
    Close();
}

bool GSocket::Create(int port)
{
    Close();
    // Close keeps the queues so an owner can still read the last reply; a
    // new connection must not start with the old one's unsent request.
    m_sendQueue.Clear();
    m_recvQueue.Clear();
    m_bKeepOpenAfterEnd = false;
    m_bPeerEnded = false;
    m_bDiscardIncoming = false;
    m_hSocket = m_api.OpenTcp();
    if (m_hSocket == platform::kNoSocket) {
        Close();
        m_nState = kFailed;
        return false;
    }
    m_nCreatedPort = port;
    m_nAddressPort = port;
    m_nState = kCreated;
    return true;
}

bool GSocket::Attach(platform::SocketFd fd)
{
    Close();
    m_sendQueue.Clear();
    m_recvQueue.Clear();
    // A server holds one socket per peer: the queues take memory only
    // while bytes wait in them.
    m_sendQueue.Release();
    m_recvQueue.Release();
    m_hSocket = fd;
    if (!m_api.MakeNonBlocking(fd)) {
        Close();
        m_nState = kFailed;
        return false;
    }
    m_nCreatedPort = -1;
    m_nState = kCreated;
    return true;
}

bool GSocket::Connect(const char* host, int port, std::stop_token stop)
{
    if (m_nState != kCreated || port != m_nCreatedPort || !host)
        return false;
    m_nConnectPort = port;
    if (std::strlen(host) > kMaxHost) {
        m_nState = kFailed;
        return false;
    }
    m_szHost = host;

    uint32_t address = 0;
    if (!platform::ParseDottedIpv4(host, &address)) {
        const uint64_t asked = m_clock.NowMs();
        int answer = 1;
        while (answer == 1 && !stop.stop_requested() && m_clock.NowMs() - asked <= kLookupWaitMs) {
            answer = m_dns.Lookup(host, &address);
            if (answer == 1)
                m_clock.SleepMs(kPollSleepMs);
        }
        if (answer != 0) {
            m_nState = kFailed;
            return false;
        }
    }
    m_nAddress = address;

    switch (m_api.StartConnect(m_hSocket, address, port)) {
    case platform::NetStatus::Done:
        m_nState = kConnected;
        break;
    case platform::NetStatus::Pending:
        m_nState = kConnecting;
        break;
    default:
        m_nState = kFailed;
        return false;
    }

    const uint64_t started = m_clock.NowMs();
    Poll(nullptr);
    for (;;) {
        if (m_nState == kConnected)
            return true;
        // Failed, or connected and already closed by the peer.
        if (m_nState == kFailed || m_nState == kClosed || stop.stop_requested())
            return false;
        m_clock.SleepMs(kPollSleepMs);
        // Left connecting: the owner closes or re-creates the socket.
        if (m_clock.NowMs() - started > kConnectWaitMs)
            return false;
        Poll(nullptr);
    }
}

bool GSocket::Listen(int backlog)
{
    if (m_nState != kCreated)
        return false;
    m_nAddress = 0;
    if (!m_api.BindAndListen(m_hSocket, m_nCreatedPort, backlog)) {
        m_nState = kFailed;
        Close();
        return false;
    }
    m_nState = kListening;
    return true;
}

std::unique_ptr<GSocket> GSocket::Accept()
{
    if (m_hSocket == platform::kNoSocket)
        return nullptr;
    uint32_t peer = 0;
    const platform::SocketFd fd = m_api.Accept(m_hSocket, &peer);
    if (fd == platform::kNoSocket)
        return nullptr;
    auto accepted = std::unique_ptr<GSocket>(new (std::nothrow) GSocket(m_api, m_resolver, m_clock));
    if (!accepted) {
        m_api.Close(fd);
        return nullptr;
    }
    if (!accepted->Attach(fd))
        return nullptr;
    accepted->m_nState = kConnected;
    accepted->m_nAddress = peer;
    return accepted;
}

bool GSocket::Send(const void* data, int len)
{
    if (m_nState != kConnected || (!data && len > 0))
        return false;
    return m_sendQueue.Write(len, static_cast<const char*>(data));
}

int GSocket::SendDirect(const char* data, int len)
{
    if (m_nState != kConnected || (!data && len > 0))
        return -1;
    if (len <= 0 || m_sendQueue.GetLength() > 0)
        return 0;
    bool refused = false;
    const int sent = SendSome(data, len, &refused);
    CountSent(sent);
    if (refused && m_bKeepOpenAfterEnd) {
        Close();
        return -1;
    }
    return sent;
}

bool GSocket::LimitSendBuffer(int bytes)
{
    return m_hSocket != platform::kNoSocket && m_api.SetSendBuffer(m_hSocket, bytes);
}

void GSocket::DiscardIncoming()
{
    m_bDiscardIncoming = true;
    m_recvQueue.Clear();
    m_recvQueue.Release();
}

void GSocket::ReleaseIdleQueues()
{
    m_sendQueue.Release();
    m_recvQueue.Release();
}

bool GSocket::SendString(const char* text)
{
    return text && Send(text, static_cast<int>(std::strlen(text)) + 1);
}

bool GSocket::SendAndWait(const char* data, int len, uint32_t limitMs, std::stop_token stop)
{
    if (!Send(data, len))
        return false;
    const uint64_t started = m_clock.NowMs();
    while (m_nState == kConnected) {
        if (m_sendQueue.GetLength() == 0 || !Poll(nullptr) || m_sendQueue.GetLength() == 0)
            break;
        if ((limitMs != kNoTimeLimit && m_clock.NowMs() - started >= limitMs) || stop.stop_requested())
            return false;
        m_clock.SleepMs(kPollSleepMs);
    }
    // A peer that closes right after taking every byte (a server that
    // answers a title update by closing) still got them all.
    return (m_nState == kConnected || m_nState == kClosed) && m_sendQueue.GetLength() == 0;
}

bool GSocket::Receive(int* len, char* out, bool consume)
{
    if (!len)
        return false;
    const int queued = m_recvQueue.GetLength();
    if (m_nState != kConnected && queued == 0)
        return false;
    if (queued == 0 || *len <= 0 || !out) {
        *len = 0;
        return false;
    }
    const int n = std::min(*len, queued);
    *len = n;
    return m_recvQueue.Read(n, out, consume ? GRingBuffer::Consume::Yes : GRingBuffer::Consume::No);
}

bool GSocket::Skip(int len)
{
    return m_recvQueue.Skip(len);
}

int GSocket::GetSendLength() const
{
    return m_nState == kConnected ? m_sendQueue.GetLength() : -1;
}

bool GSocket::Poll(int* activity)
{
    if (m_nState == kConnecting) {
        switch (m_api.CheckConnect(m_hSocket)) {
        case platform::NetStatus::Done:
            m_nState = kConnected;
            break;
        case platform::NetStatus::Pending:
            break;
        default:
            m_nState = kFailed;
            break;
        }
        return true;
    }
    bool sent = false;
    if (m_nState == kConnected)
        sent = Flush();
    if (m_nState != kConnected)
        return false;
    const bool received = ReadIncoming(ReadMode::Poll);
    if (m_nState != kConnected)
        return false;
    if (activity)
        *activity = (sent || received) ? 1 : 0;
    return true;
}

// Sends queued bytes straight from the queue, in pieces of kSendBlock,
// until the network takes no more. Every byte that left is counted, even when a later piece would
// block; unsent bytes stay queued, and only the read side ends a connection.
bool GSocket::Flush()
{
    if (m_hSocket == platform::kNoSocket || m_sendQueue.GetLength() == 0)
        return false;
    int sentNow = 0;
    bool refused = false;
    while (m_sendQueue.GetLength() > 0 && !refused) {
        const char* front = nullptr;
        const int n = std::min(m_sendQueue.Front(&front), kSendBlock);
        const int sent = SendSome(front, n, &refused);
        m_sendQueue.Skip(sent);
        sentNow += sent;
        if (sent < n)
            break;
    }
    CountSent(sentNow);
    // Nothing is read from a peer that ended its side, so only a refused
    // send can tell that it has gone.
    if (refused && m_bKeepOpenAfterEnd)
        Close();
    return sentNow > 0;
}

int GSocket::SendSome(const char* data, int len, bool* refused)
{
    int sent = 0;
    while (sent < len) {
        const platform::NetIo io = m_api.Send(m_hSocket, data + sent, len - sent);
        if (io.status == platform::NetStatus::Failed)
            *refused = true;
        if (io.status != platform::NetStatus::Done || io.bytes <= 0)
            break;
        const bool partial = io.bytes < len - sent;
        sent += io.bytes;
        // A short send means the network is full for now.
        if (partial)
            break;
    }
    return sent;
}

void GSocket::CountSent(int sent)
{
    if (sent <= 0)
        return;
    m_dwLastSend = static_cast<uint32_t>(m_clock.NowMs());
    m_nBytesSent += static_cast<uint64_t>(sent);
}

bool GSocket::ReadIncoming(ReadMode mode)
{
    if (m_hSocket == platform::kNoSocket)
        return false;
    if (m_recvQueue.GetLength() >= kMaxReceiveQueue || m_bPeerEnded)
        return false;
    char block[kReceiveBlock];
    const platform::NetIo io = m_api.Receive(m_hSocket, block, kReceiveBlock);
    if (io.status == platform::NetStatus::Closed && m_bKeepOpenAfterEnd) {
        m_bPeerEnded = true;
        return false;
    }
    if (io.status == platform::NetStatus::Done) {
        if (m_bDiscardIncoming || m_recvQueue.Write(io.bytes, block))
            return true;
        // Bytes we cannot keep break the stream: treat it as broken.
        if (mode == ReadMode::Poll)
            Close();
        return false;
    }
    if (mode == ReadMode::Poll && io.status != platform::NetStatus::Pending)
        Close();
    return false;
}

bool GSocket::Close()
{
    if (m_hSocket == platform::kNoSocket)
        return false;
    ReadIncoming(ReadMode::Closing);
    m_api.Close(m_hSocket);
    m_hSocket = platform::kNoSocket;
    m_nState = kClosed;
    m_nBytesSent = 0;
    return true;
}

bool GSocket::GetPeerAddress(char* out) const
{
    if (m_hSocket == platform::kNoSocket || !out)
        return false;
    const std::string text = platform::FormatIpv4(m_nAddress);
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

int GSocket::GetBoundPort() const
{
    return m_hSocket == platform::kNoSocket ? -1 : m_api.LocalPort(m_hSocket);
}

bool PickLocalAddress(
    const std::vector<uint32_t>& interfaces, const std::vector<uint32_t>& hostName, bool usableOnly, uint32_t* chosen)
{
    auto usable = [usableOnly](uint32_t address) {
        if (!usableOnly)
            return true;
        const unsigned first = reinterpret_cast<const unsigned char*>(&address)[0];
        return first != 0 && first != 127 && first != 224 && first != 240;
    };
    for (const std::vector<uint32_t>* list : { &interfaces, &hostName }) {
        const size_t limit = std::min<size_t>(list->size(), 255);
        for (size_t i = 0; i < limit; ++i) {
            if (usable((*list)[i])) {
                *chosen = (*list)[i];
                return true;
            }
        }
    }
    return false;
}

namespace {

bool WriteLocalAddress(char* out, bool usableOnly)
{
    if (!out)
        return false;
    *out = '\0';
    const std::vector<uint32_t> interfaces = platform::InterfaceIpv4Addresses();
    uint32_t chosen = 0;
    // The host name is asked only when no interface qualifies: on Debian it
    // names 127.0.1.1.
    if (!PickLocalAddress(interfaces, {}, usableOnly, &chosen)
        && !PickLocalAddress({}, platform::HostNameIpv4Addresses(), usableOnly, &chosen))
        return false;
    const std::string text = platform::FormatIpv4(chosen);
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

} // namespace

bool GetLocalAddress(char* out)
{
    return WriteLocalAddress(out, false);
}

bool GetUsableLocalAddress(char* out)
{
    return WriteLocalAddress(out, true);
}

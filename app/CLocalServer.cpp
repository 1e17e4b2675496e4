#include "app/CLocalServer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace {

// Connections queue in the system this deep while the event loop is busy;
// the peer limit decides how many are served.
constexpr int kBacklog = 16;
// One read takes at most this much; the notifier comes back for the rest.
constexpr size_t kReadChunk = 4096;

} // namespace

struct CLocalServer::SPeer {
    platform::LocalSocket socket;
    std::string pending;
    // Declared after the socket: they go first, before it closes.
    std::unique_ptr<QSocketNotifier> pNotifier;
    std::unique_ptr<QTimer> pIdle;
};

CLocalServer::CLocalServer(SLimits limits, Reader reader)
    : m_limits(limits)
    , m_reader(std::move(reader))
{
}

CLocalServer::~CLocalServer()
{
    Close();
}

bool CLocalServer::Listen(const std::string& path)
{
    if (IsListening())
        return true;
    m_listener = platform::LocalSocket::Listen(path, kBacklog);
    if (!m_listener.IsOpen())
        return false;
    m_pAcceptNotifier = std::make_unique<QSocketNotifier>(m_listener.Handle(), QSocketNotifier::Read);
    QObject::connect(
        m_pAcceptNotifier.get(), &QSocketNotifier::activated, m_pAcceptNotifier.get(), [this] { OnAcceptable(); });
    return true;
}

void CLocalServer::Close()
{
    m_pAcceptNotifier.reset();
    m_listener.Close();
    m_peers.clear();
}

void CLocalServer::OnAcceptable()
{
    for (;;) {
        platform::LocalSocket socket = m_listener.Accept();
        if (!socket.IsOpen())
            return;
        if (m_peers.size() >= m_limits.maxPeers)
            continue; // closed as it goes out of scope
        const uint64_t id = m_nNextPeer++;
        auto pPeer = std::make_unique<SPeer>();
        pPeer->socket = std::move(socket);
        pPeer->pNotifier = std::make_unique<QSocketNotifier>(pPeer->socket.Handle(), QSocketNotifier::Read);
        QObject::connect(pPeer->pNotifier.get(), &QSocketNotifier::activated, pPeer->pNotifier.get(),
            [this, id] { OnReadable(id); });
        pPeer->pIdle = std::make_unique<QTimer>();
        pPeer->pIdle->setSingleShot(true);
        QObject::connect(pPeer->pIdle.get(), &QTimer::timeout, pPeer->pIdle.get(), [this, id] { Drop(id); });
        pPeer->pIdle->start(m_limits.idleMs);
        m_peers.emplace(id, std::move(pPeer));
    }
}

void CLocalServer::OnReadable(uint64_t id)
{
    auto it = m_peers.find(id);
    if (it == m_peers.end())
        return;
    SPeer& peer = *it->second;
    const size_t room = m_limits.maxPendingBytes - std::min(peer.pending.size(), m_limits.maxPendingBytes);
    if (room == 0) {
        Drop(id);
        return;
    }
    const size_t had = peer.pending.size();
    peer.pending.resize(had + std::min(room, kReadChunk));
    const platform::LocalSocket::Io io = peer.socket.Receive(peer.pending.data() + had, peer.pending.size() - had);
    peer.pending.resize(had + (io.status == platform::LocalSocket::Status::Done ? io.bytes : 0));
    if (io.status == platform::LocalSocket::Status::Pending)
        return;
    if (io.status == platform::LocalSocket::Status::Failed) {
        Drop(id);
        return;
    }
    const bool bEnded = io.status == platform::LocalSocket::Status::Closed;
    // The reader may close the server, and the peer with it: the bytes are
    // lent out of the peer, which is looked up again after.
    std::string pending = std::move(peer.pending);
    const Verdict verdict = m_reader(pending, bEnded);
    it = m_peers.find(id);
    if (it == m_peers.end())
        return;
    if (bEnded || verdict == Verdict::Done
        || (verdict == Verdict::Wait && pending.size() >= m_limits.maxPendingBytes)) {
        Drop(id);
        return;
    }
    it->second->pending = std::move(pending);
    if (verdict == Verdict::Progress)
        it->second->pIdle->start(m_limits.idleMs);
}

void CLocalServer::Drop(uint64_t id)
{
    // Called from the peer's own notifier or timer, which Qt allows to be
    // deleted while it signals.
    m_peers.erase(id);
}

#pragma once

#include "platform/LocalSocket.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

// Thread: user-interface thread.
// An endpoint for other programs of this user (platform::LocalSocket),
// served from Qt's event loop. Each connection's bytes collect in a buffer
// of their own, which the reader is shown after every read; the reader
// takes what it understood out of the buffer and says how the connection
// goes on. Every bound a peer could stretch is the owner's to set: how many
// connections are served at once, how many unread bytes one may hold, and
// how long one may go without the reader taking anything.
class CLocalServer {
public:
    enum class Verdict {
        Wait, // more bytes are needed
        Progress, // something was taken: the idle time starts again
        Done, // the connection has said all it may: it ends
    };
    // pending: the bytes read and not yet taken; the reader erases what it
    // takes. bEnded: the peer has closed its end and nothing more comes; the
    // connection ends after this call, whatever the verdict. The reader may
    // close the server.
    using Reader = std::function<Verdict(std::string& pending, bool bEnded)>;

    struct SLimits {
        // Connections beyond this many are closed as they arrive.
        size_t maxPeers;
        // A connection whose unread bytes reach this while the reader still
        // waits cannot be understood, and is dropped.
        size_t maxPendingBytes;
        // A connection the reader takes nothing from this long is dropped.
        int idleMs;
    };

    CLocalServer(SLimits limits, Reader reader);
    ~CLocalServer();
    CLocalServer(const CLocalServer&) = delete;
    CLocalServer& operator=(const CLocalServer&) = delete;

    // Opens the endpoint at path (see platform::LocalSocket::Listen: only
    // this user may connect, and what lay at path is replaced). False when
    // it cannot be made; true at once while listening.
    [[nodiscard]] bool Listen(const std::string& path);
    // Ends the endpoint and every connection.
    void Close();
    [[nodiscard]] bool IsListening() const { return m_listener.IsOpen(); }
    [[nodiscard]] size_t PeerCount() const { return m_peers.size(); }

private:
    struct SPeer;

    void OnAcceptable();
    void OnReadable(uint64_t id);
    void Drop(uint64_t id);

    SLimits m_limits;
    Reader m_reader;
    platform::LocalSocket m_listener;
    std::unique_ptr<QSocketNotifier> m_pAcceptNotifier;
    std::map<uint64_t, std::unique_ptr<SPeer>> m_peers;
    uint64_t m_nNextPeer = 0;
};

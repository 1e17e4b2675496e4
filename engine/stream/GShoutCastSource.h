#pragma once

#include "engine/stream/GSourceReplyWatch.h"
#include "engine/stream/GTitlePusher.h"
#include "foundation/GSocket.h"
#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/MessageTarget.h"
#include "platform/SocketApi.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The broadcast controller's link to a streaming server that speaks the
// SHOUTcast source protocol: login on the source port (listener port + 1),
// the station's icy- headers, then the MP3 stream; titles go to
// "/admin.cgi" on the listener port over a fresh connection; the status page
// is downloaded and read for the listener counts. With the server type set
// to Icecast 2, the login is GIcecastLogin's on the listener port itself,
// titles go to Icecast's "/admin/metadata" for the mount and the counts come
// from its "/status-json.xsl".
// Thread: Connect on the owner's login worker, while the owner's thread
// leaves this object alone; Close, IsConnected, SetServerProtocol,
// SetStreamFormat, FetchStatus and ParseStatus on the owner thread, never
// while a Connect runs; Send and Flush on the send thread (stopped before
// Close, never run during Connect), which may close the source socket while
// IsConnected is asked; UpdateTitle on any, never blocking: the pushes run
// on a title worker of this object, serialised by m_titleLock. The status
// download runs on another worker; Close ends the title worker and lets go
// of the status read without waiting for it.
class GShoutCastSource {
public:
    enum Result {
        kOk = 0,
        kBadArguments = 1,
        kNoMemory = 2,
        kCreateFailed = 3,
        kConnectFailed = 4,
        kPasswordRefused = 5,
        kSendFailed = 6,
        kNoReply = 7,
        kNoTitleSocket = 8,
        // The server took the password and closed without a word. A server
        // that restarts does that, and so does one that refuses the
        // password without saying so; the owner tells them apart by how
        // often it happens in a row.
        kClosedAfterPassword = 9,
        // Icecast 2: another source streams to the mount.
        kMountInUse = 10,
        // Icecast 2: a refusal of another kind (a full server, a web server
        // that is no streaming server); a connection failure to the user.
        kRejected = 11,
    };

    // The protocol the server speaks. Own-server mode is always SHOUTcast:
    // the built-in server speaks nothing else.
    enum class ServerType { Shoutcast = 0, Icecast2 = 1 };
    struct SServerProtocol {
        ServerType type = ServerType::Shoutcast;
        // Icecast 2 only: the mount, with its leading "/", and the source's
        // user name.
        std::string mount = "/live";
        std::string user = "source";
    };

    // The stream as the encoder makes it, announced by the Icecast 2 login.
    struct SStreamFormat {
        int sampleRate = 44100;
        int channels = 2;
    };

    // What one status read found. maximum is kUnknownLimit when the server
    // publishes no listener limit; title is the title on air as the server
    // has it (empty when it names none).
    static constexpr int kUnknownLimit = -1;
    struct SServerStatus {
        bool usable = false;
        int current = 0;
        int maximum = 0;
        std::string title;
        // The status page the server does not serve (it answered 404, or
        // no JSON for Icecast's page), as its path; empty otherwise.
        std::string missingPage;
    };

    // A server that stops taking the stream without closing (a hung server,
    // a path that died silently) is a dropped connection: Send and Flush
    // close the source socket once kMaxQueuedStream bytes wait, or once the
    // server has taken nothing for kStallLimitMs while bytes wait.
    // 8 s rides out a hiccup of a few seconds (a wireless hand-over, a busy
    // server), whose audio the queue holds and delivers late without a gap;
    // at up to 256 kbit/s the queue's cap holds those 8 s. Much longer only
    // lengthens the dead air: servers drop a source that sent nothing for
    // about ten seconds, so by then nobody is listening to this connection.
    static constexpr int kMaxQueuedStream = 256 * 1024;
    static constexpr uint32_t kStallLimitMs = 8000;
    // The system's send buffer on the source socket. Left to itself the
    // system grows it to megabytes on a fast path, which hide a stalled
    // server for minutes of audio before the queue above sees it; this
    // still carries 320 kbit/s over a 1 s round trip.
    static constexpr int kSourceSendBuffer = 32 * 1024;
    static constexpr uint32_t kLoginReplyLimitMs = 10000;
    static constexpr uint32_t kLoginSendLimitMs = 10000;
    static constexpr uint32_t kTitleSendLimitMs = 5000;
    // The whole status read (both pages when the first says nothing), so a
    // server that trickles its page cannot hold the worker past the next
    // poll (every 5 s).
    static constexpr uint32_t kStatusLimitMs = 4000;
    // Titles of this many bytes or more are cut to kTitleKeptBytes + "...".
    static constexpr size_t kTitleCutAt = 85;
    static constexpr size_t kTitleKeptBytes = 81;
    static constexpr const char* kAgent = "Mozilla(Fixed Value)";
    static constexpr int kStatusByteLimit = 10240;

    GShoutCastSource();
    GShoutCastSource(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock);
    ~GShoutCastSource();
    GShoutCastSource(const GShoutCastSource&) = delete;
    GShoutCastSource& operator=(const GShoutCastSource&) = delete;

    // The owner's login worker; blocks for the login, the first title
    // included. The protocol set last decides the login: SHOUTcast on
    // port + 1, Icecast 2 on port with the mount, the user and the stream
    // format. Every wait in it (name lookup, connect, reply, headers,
    // first title) gives up within one 50 ms poll of a stop request, which
    // fails the login. A result code.
    [[nodiscard]] int Connect(const char* host, int port, int bitrateKbps, const char* password,
        const char* stationName, const char* stationUrl, const char* genre, const char* djName,
        std::stop_token stop = {});
    void Close();
    // Owner thread, before Connect: the protocol of the server that titles,
    // the status poll and the login use. Kept across Close.
    void SetServerProtocol(const SServerProtocol& protocol);
    [[nodiscard]] SServerProtocol GetServerProtocol() const;
    // Owner thread, before Connect: the encoder's format. Kept across Close.
    void SetStreamFormat(const SStreamFormat& format);
    // Owner thread: false once the send thread closed a broken or stalled
    // connection.
    [[nodiscard]] bool IsConnected() const;
    // Any thread: kOk, or the code of the refusal that ended the stream after
    // the login had let it in (kPasswordRefused, kMountInUse, kRejected);
    // set before the connection is closed, so a drop seen by IsConnected
    // finds it. Cleared by Connect and Close.
    [[nodiscard]] int StreamRefusal() const { return m_nStreamRefusal.load(); }
    // Send thread: queues and polls once. 0, or kSendFailed when there is no
    // connection, it broke or stalled (the socket is then closed, so
    // IsConnected reports the drop to any thread).
    [[nodiscard]] int Send(const void* data, int len);
    // Send thread, while it has nothing new to send: moves what is queued
    // on, under the same rules as Send.
    [[nodiscard]] int Flush();
    // Send thread: stream bytes waiting for the server; -1 when the source
    // socket is not connected.
    [[nodiscard]] int QueuedStreamBytes() const { return m_pSourceSocket ? m_pSourceSocket->GetSendLength() : -1; }
    // Any thread; never blocks: hands the title to the title worker, which
    // pushes it on its own connection. A title handed over while a push
    // runs replaces any that waits (the newest wins). kOk, or
    // kNoTitleSocket before Connect and after Close.
    int UpdateTitle(const char* song, const char* url);
    // Pushes a title now, on the caller's thread, within the connect and
    // send limits; gives up once stop is requested. A result code.
    int SendTitleNow(const char* song, const char* url, std::stop_token stop = {});
    // Waits up to timeoutMs until every handed-over title has been pushed
    // (or given up). False on timeout.
    [[nodiscard]] bool WaitTitlesSent(int timeoutMs);
    // Owner thread: starts reading the server's status on a worker, which
    // posts WM_HTTPGETFILE_COMPLETE to notifyWindow when done (lParam 1
    // when a page arrived). SHOUTcast: "/index.html", and when that says
    // nothing usable, Icecast's "/status-json.xsl" on the same port (one
    // source, or the one named as the station). Icecast 2: its
    // "/status-json.xsl" asked for the mount only, the source on the mount.
    // SHOUTcast's page is read within kStatusByteLimit, Icecast's within a
    // page that holds a large server's every mount. False without a window,
    // or while the previous read still runs.
    [[nodiscard]] bool FetchStatus(platform::TargetHandle notifyWindow);
    // Owner thread, after the completion message: takes what the read found
    // (a second call finds nothing). False when it found nothing usable.
    [[nodiscard]] bool TakeStatus(SServerStatus* status);
    // TakeStatus's counts (either pointer may be null; the maximum may be
    // kUnknownLimit). 1 when found, else 0 and nothing stored.
    [[nodiscard]] int ParseStatus(int* current, int* maximum);

    // Every byte as "%xx" (lower-case hex) while four bytes of capacity
    // remain, then a NUL: "abc" becomes "%61%62%63".
    static void UrlEncode(const char* text, char* buffer, int capacity);

private:
    // The connection to the source port and the protocol's exchange on it.
    int Login(const SServerProtocol& protocol, std::stop_token stop);
    int ShoutcastExchange(GSocket& s, std::stop_token stop);
    // Send thread: polls once and applies the stall rules; closes the
    // socket and returns kSendFailed when the connection is gone.
    int PollStream();
    // Send thread (the login before it): reads what the server said since
    // into m_replyWatch while it may still refuse; afterwards the socket
    // drops what arrives. True when a refusal came; alive: the poll found
    // the connection up.
    bool WatchReplies(GSocket& s, bool alive);
    int SendAndWait(GSocket& socket, const std::string& bytes, uint32_t limitMs, std::stop_token stop);
    // Title worker, under m_titleLock: the title request for the protocol.
    [[nodiscard]] std::string TitleRequest(
        const SServerProtocol& protocol, const std::string& song, const std::string& url, std::string* shown);
    // Lets go of the status read: joined when it has ended, else handed to
    // GLingeringThreads (a download whose name lookup hangs in the resolver
    // cannot be cut short).
    void DropStatusRead();

    platform::SocketApi& m_api;
    platform::HostResolver& m_resolver;
    platform::Clock& m_clock;

    std::string m_host;
    int m_nPort = 0;
    int m_nSourcePort = 0;
    std::string m_password;
    std::string m_stationName;
    std::string m_stationUrl;
    std::string m_genre;
    std::string m_djName;
    std::string m_icq;
    std::string m_irc;
    std::string m_firstTitle;
    std::string m_firstTitleUrl;
    int m_nBitrateKbps = 0;
    bool m_bConnected = false;
    std::unique_ptr<GSocket> m_pSourceSocket;
    // Send thread (set up by Connect before it starts): when the server last
    // took bytes or had nothing waiting, and the count it had taken then.
    uint64_t m_nLastProgressMs = 0;
    uint64_t m_nProgressBytes = 0;
    // The login's, then the send thread's: what may still follow the
    // server's acceptance.
    GSourceReplyWatch m_replyWatch;
    std::atomic<int> m_nStreamRefusal { kOk };

    std::mutex m_titleLock; // guards: m_pTitleSocket, m_encodedSong, m_encodedUrl, m_titleRequest
    std::unique_ptr<GSocket> m_pTitleSocket;
    std::string m_encodedSong;
    std::string m_encodedUrl;
    std::string m_titleRequest;
    // After the fields its pushes use, so it stops before they go.
    GTitlePusher m_titlePusher;

    // Set on the owner thread, read by the login, title and status workers.
    mutable std::mutex m_protocolLock; // guards: m_protocol, m_format
    SServerProtocol m_protocol;
    SStreamFormat m_format;

    // One status read: what its worker hands back. The worker holds it, so
    // a read that Close drops may end after this object has gone.
    struct SStatusRead {
        std::mutex lock; // guards: busy, status
        bool busy = true;
        SServerStatus status;
        // Set by the worker as its last act.
        std::atomic<bool> ended { false };
    };
    // Only one status read at a time: a slow server never has several in
    // flight. Owner thread.
    std::shared_ptr<SStatusRead> m_pStatusRead;
    std::jthread m_statusWorker;
};

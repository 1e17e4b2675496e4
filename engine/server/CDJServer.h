#pragma once

#include "engine/server/CStreamRing.h"
#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/MessageRegistry.h"
#include "platform/SocketApi.h"

#include <cstdarg>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class CClient;
class CDJSource;
class GSocket;

// The log line receiver: the formatted text (no line end) and the user
// value given at start.
using CDJServerLog = void (*)(const char* text, void* user);

struct CDJServerParams {
    int port = 0; // listeners on port, the source on port + 1
    int maxListeners = 100;
    std::string introPath; // empty: no intro
    std::string listenUrl; // empty: the local address
    CDJServerLog logCallback = nullptr;
    void* logUser = nullptr;
    std::string pageFolder; // empty: the program data folder's "serverhtml/"
};

// The streaming server that runs inside the program: listeners on port P,
// the program's own source client on P + 1, the stream cut into the slots
// of a CStreamRing.
// Thread: Start, Stop and the destructor on the owner's thread; the
// commands (PostCommand, SetMaxListeners, ListClientInfo) from any thread;
// everything else, including the log callback, on the server thread, which
// this object owns. The callback never runs after Stop returns.
class CDJServer {
public:
    static constexpr int kMetaInterval = 8192;
    static constexpr int kDefaultMaxListeners = 100;
    static constexpr size_t kMaxIntroBytes = 8u << 20;
    // Connections beyond the listener limit that may wait for an answer
    // (page requests, half-open sockets). When they are all taken, the
    // oldest connection still without a complete request makes room, so a
    // flood of idle connections cannot lock listeners out.
    static constexpr int kConnectionMargin = 64;
    static constexpr int kMaxListenerLimit = 10000;
    // Connections one address may hold before their requests are complete;
    // its oldest makes room for its newest.
    static constexpr int kMaxPendingPerAddress = 8;
    // Source logins in progress, each with its own deadline. A stranger's
    // connection can never push out a login whose password has arrived.
    static constexpr int kMaxLogins = 16;
    // Descriptors kept for the rest of the program (pages, the intro, logs)
    // when the listener limit is fitted to the descriptor limit.
    static constexpr int kDescriptorReserve = 16;
    // A peer that moves nothing for this long while we wait on it is
    // dropped: a listener that takes nothing, a source that sends nothing.
    static constexpr uint32_t kIdleLimitMs = 20000;
    // The system's send buffer of a listener. Left to itself the system
    // grows it to megabytes for a peer that does not read, and every byte
    // it takes counts as progress: a dead listener would hold minutes of
    // audio and that memory before the idle limit even began. Fixed, it
    // still holds the join burst and seconds of audio for a slow network.
    static constexpr int kListenerSendBuffer = 64 * 1024;
    // Players send their whole request and source clients their login at
    // once; a peer still short of it after this long holds a place for
    // nothing.
    static constexpr uint32_t kRequestLimitMs = 5000;
    static constexpr uint32_t kLoginLimitMs = 5000;
    // How long accepting pauses when the system refuses a new descriptor:
    // the waiting connection keeps the listener ready, so retrying at once
    // would spin.
    static constexpr uint32_t kAcceptPauseMs = 100;
    // Console lines are cut here; peer bytes in them are escaped.
    static constexpr size_t kMaxLogLine = 1024;
    // The loop's wait for socket events; bounds the delay of commands and
    // of the idle checks.
    static constexpr int kWaitMs = 20;
    static constexpr uint32_t kSweepMs = 1000;
    static constexpr size_t kMaxPageBytes = 1u << 20;
    static constexpr size_t kMaxCommands = 256;

    static constexpr const char* kExitServerMessage = "RM_EXIT_SERVER";
    static constexpr const char* kSetServerInfoMessage = "RM_SET_SERVERINFO";
    static constexpr const char* kListClientInfoMessage = "RM_LIST_CLIENTINFO";

    CDJServer();
    CDJServer(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock);
    ~CDJServer();
    CDJServer(const CDJServer&) = delete;
    CDJServer& operator=(const CDJServer&) = delete;

    // Owner thread: listens on both ports and starts the server thread.
    // False (after a log line when a socket could not be made) on failure.
    [[nodiscard]] bool Start(const CDJServerParams& params);
    // Owner thread: ends the server thread and frees what it held.
    void Stop();
    // For harnesses that choose the order of events: listens as Start does
    // but starts no thread; the caller then runs the loop's passes itself,
    // on its own thread, with RunPass (true when the pass moved data).
    [[nodiscard]] bool StartWithoutThread(const CDJServerParams& params);
    bool RunPass();
    [[nodiscard]] bool IsRunning() const { return m_thread.joinable(); }

    // Any thread: queued for the server thread; dropped when not running.
    void PostCommand(platform::MessageId message, uintptr_t wParam, intptr_t lParam);
    void SetMaxListeners(int n);
    void ListClientInfo();

    // Owner thread, after Start: the secret made for this run, which the
    // program's own source client logs in with.
    [[nodiscard]] const std::string& GetPassword() const { return m_password; }
    [[nodiscard]] int GetPort() const { return m_nPort; }
    // Owner thread, after Start: the listener limit in force, lowered from
    // the asked one when the descriptor limit does not allow it.
    [[nodiscard]] int GetMaxListeners() const { return m_nMaxListeners; }

private:
    friend class CClient;
    friend class CDJSource;

    struct Command {
        platform::MessageId message;
        uintptr_t wParam;
        intptr_t lParam;
    };

    [[nodiscard]] bool Open(const CDJServerParams& params);
    void ThreadMain(std::stop_token stop);
    bool RunCommands();
    bool PollPass();
    enum class Listener { Clients, Sources };
    bool AcceptSources();
    bool AcceptClients();
    // After a pass in which a ready listener gave no connection.
    void PauseAccepting(Listener which);
    [[nodiscard]] bool IsAccepting(Listener which, uint32_t now) const;
    bool StepCurrentSource(int ready);
    bool StepLogin(size_t i, int ready);
    void MakeRoomForLogin();
    [[nodiscard]] bool MakeRoomForClient(const CClient& newcomer);
    [[nodiscard]] bool EvictOldestPending(const std::string* address);
    void RemoveFinishedClients();
    void DumpClients();
    void Teardown();
    void LoadIntro(const std::string& path);
    // Sets the listener limit, lowered to what the descriptor limit allows.
    void ApplyMaxListeners(intptr_t asked);
    int ConnectionCap() const;

    // Server thread: the services CClient and CDJSource use.
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Console(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Our own bytes, written as they are (the data spinner).
    void ConsoleRaw(std::string_view text);
    void LogV(bool console, const char* format, va_list args);
    [[nodiscard]] uint32_t NowMs() const { return static_cast<uint32_t>(m_clock.NowMs()); }
    [[nodiscard]] int StreamingCount() const;
    [[nodiscard]] const std::string& ListenAddress() const;
    // The whole answer for a page path: the filled page with a status line,
    // or the not-found reply.
    [[nodiscard]] std::string BuildPageAnswer(const std::string& path, int depth = 0) const;
    // A block from the source into the ring. A listener still sending the
    // block whose slot it takes keeps that block's rest first.
    void WriteBlock(const char* block);
    // Scratch for reading request lines, shared by every client: a line is
    // read and parsed within one step.
    [[nodiscard]] char* LineScratch() { return m_lineScratch.data(); }
    void SetStationName(const std::string& name);
    void SetTitle(const std::string& title);
    void SetTitleUrl(const std::string& url);
    void RebuildMetadata();

    platform::SocketApi& m_api;
    platform::HostResolver& m_resolver;
    platform::Clock& m_clock;

    std::mutex m_controlLock; // guards: starting and stopping m_thread, m_bPassesByCaller
    std::jthread m_thread;
    bool m_bPassesByCaller = false;

    std::mutex m_commandLock; // guards: m_commands, m_bAcceptCommands
    std::deque<Command> m_commands;
    bool m_bAcceptCommands = false;

    std::mutex m_logLock; // guards: calls of m_logCallback
    CDJServerLog m_logCallback = nullptr;
    void* m_logUser = nullptr;

    // Set by Start before the thread runs; the server thread's alone after.
    int m_nPort = 0;
    std::string m_password;
    int m_nMaxListeners = kDefaultMaxListeners;
    int m_nConnectionMargin = kConnectionMargin;
    std::string m_localAddress;
    std::string m_listenUrl;
    std::string m_pageFolder;
    std::unique_ptr<char[]> m_pIntro;
    size_t m_nIntroSize = 0;
    std::string m_introPath;

    std::unique_ptr<GSocket> m_pListener;
    std::unique_ptr<GSocket> m_pSourceListener;
    std::unique_ptr<CDJSource> m_pSource;
    std::vector<std::unique_ptr<CDJSource>> m_logins; // at most kMaxLogins
    std::vector<std::unique_ptr<CClient>> m_clients;
    std::vector<platform::PollEntry> m_pollEntries;
    bool m_bLastPassActive = false;
    uint32_t m_nLastSweep = 0;
    uint32_t m_nClientsPausedAt = 0;
    uint32_t m_nSourcesPausedAt = 0;
    bool m_bClientsPaused = false;
    bool m_bSourcesPaused = false;
    CStreamRing m_ring;
    std::vector<char> m_lineScratch;

    std::string m_stationName;
    std::string m_title;
    std::string m_titleUrl;
    std::string m_genre;
    int m_nBitrate = 0;
    std::string m_metadata; // padded title block
    // Counts title changes, so two changes within one tick both reach the
    // listeners; a listener's copy starts at 0.
    uint64_t m_nTitleStamp = 1;
};

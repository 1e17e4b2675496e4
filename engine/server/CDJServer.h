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
#include <thread>
#include <vector>

class CClient;
class CDJSource;
class GSocket;

// The log line receiver: the formatted text (no line end) and the user
// value given at start.
using CDJServerLog = void (*)(const char* text, void* user);

struct CDJServerParams {
    int port = 0;  // listeners on port, the source on port + 1
    int maxListeners = 100;
    std::string introPath;  // empty: no intro
    std::string listenUrl;  // empty: the local address
    CDJServerLog logCallback = nullptr;
    void* logUser = nullptr;
    std::string pageFolder;  // empty: the program folder's "serverhtml/"
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
    // (page requests, half-open sockets); more are closed at accept so a
    // flood cannot use up descriptors or memory.
    static constexpr int kConnectionMargin = 64;
    static constexpr int kMaxListenerLimit = 10000;
    // A peer that moves nothing for this long while we wait on it is dropped.
    static constexpr uint32_t kIdleLimitMs = 20000;
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
    [[nodiscard]] bool IsRunning() const { return m_thread.joinable(); }

    // Any thread: queued for the server thread; dropped when not running.
    void PostCommand(platform::MessageId message, uintptr_t wParam, intptr_t lParam);
    void SetMaxListeners(int n);
    void ListClientInfo();

    // Owner thread, after Start: the secret made for this run, which the
    // program's own source client logs in with.
    [[nodiscard]] const std::string& GetPassword() const { return m_password; }
    [[nodiscard]] int GetPort() const { return m_nPort; }

private:
    friend class CClient;
    friend class CDJSource;

    struct Command {
        platform::MessageId message;
        uintptr_t wParam;
        intptr_t lParam;
    };

    void ThreadMain(std::stop_token stop);
    bool RunCommands();
    bool PollPass();
    bool AcceptSource();
    bool AcceptClients();
    bool StepSources(int readyCurrent, int readyPending);
    void RemoveFinishedClients();
    void DumpClients();
    void Teardown();
    void LoadIntro(const std::string& path);
    int ConnectionCap() const;

    // Server thread: the services CClient and CDJSource use.
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Console(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void LogV(bool console, const char* format, va_list args);
    [[nodiscard]] uint32_t NowMs() const { return static_cast<uint32_t>(m_clock.NowMs()); }
    [[nodiscard]] int StreamingCount() const;
    [[nodiscard]] const std::string& ListenAddress() const;
    // The whole answer for a page path: the filled page with a status line,
    // or the not-found reply.
    [[nodiscard]] std::string BuildPageAnswer(const std::string& path, int depth = 0) const;
    void SetStationName(const std::string& name);
    void SetTitle(const std::string& title);
    void SetTitleUrl(const std::string& url);
    void RebuildMetadata();

    platform::SocketApi& m_api;
    platform::HostResolver& m_resolver;
    platform::Clock& m_clock;

    std::mutex m_controlLock;  // guards: starting and stopping m_thread
    std::jthread m_thread;

    std::mutex m_commandLock;  // guards: m_commands, m_bAcceptCommands
    std::deque<Command> m_commands;
    bool m_bAcceptCommands = false;

    std::mutex m_logLock;  // guards: writes through m_logCallback and to standard output
    CDJServerLog m_logCallback = nullptr;
    void* m_logUser = nullptr;

    // Set by Start before the thread runs; the server thread's alone after.
    int m_nPort = 0;
    std::string m_password;
    int m_nMaxListeners = kDefaultMaxListeners;
    std::string m_localAddress;
    std::string m_listenUrl;
    std::string m_pageFolder;
    std::unique_ptr<char[]> m_pIntro;
    size_t m_nIntroSize = 0;
    std::string m_introPath;

    std::unique_ptr<GSocket> m_pListener;
    std::unique_ptr<GSocket> m_pSourceListener;
    std::unique_ptr<CDJSource> m_pSource;
    std::unique_ptr<CDJSource> m_pPendingSource;
    std::vector<std::unique_ptr<CClient>> m_clients;
    std::vector<platform::PollEntry> m_pollEntries;
    bool m_bLastPassActive = false;
    uint32_t m_nLastSweep = 0;
    CStreamRing m_ring;

    std::string m_stationName;
    std::string m_title;
    std::string m_titleUrl;
    std::string m_genre;
    int m_nBitrate = 0;
    std::string m_metadata;  // padded title block
    // Counts title changes, so two changes within one tick both reach the
    // listeners; a listener's copy starts at 0.
    uint64_t m_nTitleStamp = 1;
};

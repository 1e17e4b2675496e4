#pragma once

#include "engine/server/CDJServer.h"
#include "platform/MessageTarget.h"

#include <atomic>
#include <memory>
#include <thread>

// Thread: Start, Cancel, TakeResult, IsRunning and the destructor on the
// main thread; the port search runs on a thread this object owns.
// Starts the built-in server for own-server mode away from the main thread:
// it tries the listener ports first, first + 2, ... below first + 100 (the
// server takes the port after each for the program's own source client) and
// keeps the first server that listens. The window learns the outcome as
// "WM_DJSERVER_RESULT": wParam 1 and lParam the port, or wParam 0 and
// lParam -1 when no port was free. A cancelled start posts nothing and
// stops a server it had already started, so no listener port stays taken
// behind the user's back.
class CServerStartWorker {
public:
    static constexpr const char* kResultMessage = "WM_DJSERVER_RESULT";
    static constexpr int kFirstPort = 8000;
    static constexpr int kPortStep = 2;
    // The ports tried lie below first + kPortSpan: 8000 … 8098 by default.
    static constexpr int kPortSpan = 100;

    CServerStartWorker() = default;
    // Cancels a start still outstanding.
    ~CServerStartWorker();
    CServerStartWorker(const CServerStartWorker&) = delete;
    CServerStartWorker& operator=(const CServerStartWorker&) = delete;

    // Main thread: starts the search and returns; the result is posted to
    // window. params.port is ignored; the server's password is the secret it
    // makes for this run (CDJServer::GetPassword once the server is taken).
    // False when a start is still outstanding or no thread could be made.
    [[nodiscard]] bool Start(platform::TargetHandle window, const CDJServerParams& params, int firstPort = kFirstPort);
    // Main thread: a start is outstanding, from Start until TakeResult or
    // Cancel (a worker that posted its result still counts).
    [[nodiscard]] bool IsRunning() const { return m_bOutstanding; }
    // Main thread: ends an outstanding start: sets the cancel flag, waits
    // for the worker, which posts nothing from then on, and stops a server it
    // started. A result it posted just before is left stale: TakeResult
    // refuses it. Nothing happens when no start is outstanding.
    void Cancel();
    // Main thread, on "WM_DJSERVER_RESULT": waits for the worker's last step
    // and hands the outcome over: *pServer the running server (now owned by
    // the main thread), or null when no port was free. False, with *pServer
    // untouched, for a stale message: no start outstanding, or the one
    // outstanding has not posted yet (its own message is still to come).
    [[nodiscard]] bool TakeResult(std::unique_ptr<CDJServer>* pServer);

    // Any thread: the cancel flag, as the worker sees it.
    [[nodiscard]] bool IsCancelRequested() const { return m_bCancel; }

private:
    // Worker thread.
    void Run(platform::TargetHandle window, CDJServerParams params, int firstPort);

    bool m_bOutstanding = false;
    // Made on the main thread before the worker starts, used only by the
    // worker while it runs, the main thread's again once it is joined.
    std::unique_ptr<CDJServer> m_pServer;
    // Written by the main thread, read by the worker before each port and
    // before it posts.
    std::atomic<bool> m_bCancel { false };
    // Set by the worker just before it posts.
    std::atomic<bool> m_bPosted { false };
    std::jthread m_thread;
};

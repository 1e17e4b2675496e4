#pragma once

#include "app/CLocalServer.h"

#include <QPointer>
#include <QWidget>

#include <string>

// Thread: user-interface thread.
// One running program per user. The first instance holds an exclusive lock
// on a file in the user's runtime folder for as long as it runs; the lock
// goes with the process, so a crashed instance never blocks the next start.
// Once its main window exists, the first instance listens on a local socket
// beside the lock that stands for that window: a later instance connects to
// it, and only when started without arguments asks the window to come to
// the front. TAVDJ_ALLOW_INSTANCES=1 lets every start run (tests that run
// programs side by side). A connection carries one short request, "raise\n"
// or nothing, and ends.
class CInstanceLock {
public:
    static constexpr const char* kAllowEnv = "TAVDJ_ALLOW_INSTANCES";
    // A later instance looks for the first one's window this often, a
    // second apart, before it gives up.
    static constexpr int kWindowPolls = 5;
    static constexpr int kWindowPollMs = 1000;
    // A later instance says its request at once; these bound a peer that
    // does not.
    static constexpr size_t kMaxPeers = 4;
    static constexpr int kPeerTimeoutMs = 5000;

    // folder: where the lock and the socket live; empty means the user's
    // runtime folder ($XDG_RUNTIME_DIR, else our private temporary folder).
    explicit CInstanceLock(std::string folder = {});
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // 0 when this process is the first instance (it now holds the lock),
    // 1 when it must end. A later instance waits for the first one's window
    // and, with firstArgument empty, asks it to the front before answering.
    // A folder where no lock can be made lets the program run.
    int CheckSingleInstance(const std::string& firstArgument);

    // First instance: the window later instances bring forward. False when
    // the socket cannot be opened.
    bool PublishWindow(QWidget* pWindow);

    [[nodiscard]] std::string LockPath() const;
    [[nodiscard]] std::string SocketPath() const;

private:
    CLocalServer::Verdict OnRequest(const std::string& pending, bool bEnded);
    // A later instance: true when the first one's window answered.
    bool CallFirstInstance(bool bBringToFront);

    std::string m_folder;
    int m_lockFd = -1;
    CLocalServer m_server;
    QPointer<QWidget> m_pWindow;
};

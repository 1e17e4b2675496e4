#pragma once

#include <functional>
#include <memory>

#include <signal.h>

class QSocketNotifier;

// Thread: user-interface thread. The signal handler itself only writes one
// byte to a pipe, the one thing a handler may safely do.
// Turns SIGTERM and SIGHUP (the desktop session ending, a service manager
// stopping the program, its terminal going away) into a call on the Qt
// event loop, where the main window can save and shut down with everything
// in a consistent state instead of dying mid-broadcast. One instance at a
// time holds the two signals; the handlers that were in place before come
// back when it is destroyed. Signals that arrive before the loop gets to
// them make one call.
class CSessionEndSignal {
public:
    // onSignal gets the number of the first signal of a burst. Signals the
    // calling thread held (HoldUntilInstalled) are let through afterwards,
    // installed or not, so one that came meanwhile arrives now.
    explicit CSessionEndSignal(std::function<void(int signal)> onSignal);
    ~CSessionEndSignal();
    CSessionEndSignal(const CSessionEndSignal&) = delete;
    CSessionEndSignal& operator=(const CSessionEndSignal&) = delete;

    // False when the pipe or a handler could not be set up, or another
    // instance holds the signals; the signals then keep their old handling.
    [[nodiscard]] bool IsInstalled() const { return m_bInstalled; }

    // Blocks the two signals in the calling thread until an instance is
    // built on it: the first thing the program does, so a session that ends
    // while it starts waits for the answer instead of killing it mid-way.
    // Threads started meanwhile keep them blocked, so the signals come to
    // the thread that answers them.
    static void HoldUntilInstalled();

private:
    void Install();
    void OnReadable();

    std::function<void(int)> m_onSignal;
    int m_readFd = -1;
    int m_writeFd = -1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    struct sigaction m_previousTerm { };
    struct sigaction m_previousHup { };
    bool m_bInstalled = false;
};

#pragma once

#include "skin/GXSkinHooks.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CInstanceLock;
class COption;
class CSessionEndSignal;
class CTavDJ1Dlg;
struct DJSettings;

// Thread: user-interface thread.
// The program's run from start to end around Qt's event loop: honours
// "/uninstall", lets one instance run, creates the main window, starts the
// update check, and tears the window down again. SIGTERM and SIGHUP end it
// with its state saved at any point after its start. The engine controller and
// the settings object are built before it and outlive it (main()).
class CTavDJ1App {
public:
    // args: the program's arguments, element 0 the program.
    explicit CTavDJ1App(std::vector<std::string> args);
    ~CTavDJ1App();
    CTavDJ1App(const CTavDJ1App&) = delete;
    CTavDJ1App& operator=(const CTavDJ1App&) = delete;

    // True keeps the program running with its main window; false ends it.
    bool InitInstance();
    // Deletes the main window (which saves its state); the exit code: 1
    // when the main window could not be created, else 0.
    int ExitInstance();
    // InitInstance, the event loop while it succeeded, ExitInstance.
    int Run();

    // Work for once the main window is on the screen, before the update
    // check runs: what a user need not wait for to see the window.
    void AfterWindowShown(std::function<void()> work);

    [[nodiscard]] const std::vector<std::string>& Arguments() const { return m_args; }
    [[nodiscard]] CTavDJ1Dlg* MainWindow() const { return m_pMainWnd.get(); }
    [[nodiscard]] CInstanceLock* InstanceLock() const { return m_pInstance.get(); }

    // The broadcast options of the command line (words[0] is the program)
    // into the engine's settings and the settings object. True when one
    // option was recognised: the command line then configures a broadcast
    // to an external server.
    static bool ParseCommandLine(const std::vector<std::string>& words, DJSettings* pSettings, COption* pOption);

    // The first argument "/uninstall", in any case, ends the program at once.
    [[nodiscard]] static bool IsUninstall(const std::vector<std::string>& args);

private:
    void CheckUpdateAtStartup();
    // The session's end: the main window's, or the end of the start.
    void EndSession();

    std::vector<std::string> m_args;
    std::vector<std::function<void()>> m_afterShown;
    std::unique_ptr<CSessionEndSignal> m_pSessionEnd;
    std::unique_ptr<CInstanceLock> m_pInstance;
    std::unique_ptr<CTavDJ1Dlg> m_pMainWnd;
    int m_nExitCode = 0;
    // What showed skin scripts' boxes before the program's own box did.
    GXSkinHooks::MessageBoxFunc m_prevSkinMessageBox;
    bool m_bSkinMessageBoxSet = false;
    bool m_bSessionEnded = false;
};

// The running program's application object; null outside Run.
[[nodiscard]] CTavDJ1App* TheApp();

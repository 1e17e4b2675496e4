#pragma once

#include "platform/MessageRegistry.h"

#include <cstdint>
#include <string>

class COption;
class QWidget;

// The update check. The program never updates itself: the maker's launcher,
// "VdLauncher.exe" in the program folder, checks the version and installs
// updates. We start it with one XML element as its only argument and turn
// its result code into questions; when the user accepts an update, a copy
// of the launcher in the application-data folder is started with "run" and
// the program is expected to close.
// Thread: user-interface thread.

// Result codes of the launcher.
inline constexpr int kLauncherUpToDate = 0;
inline constexpr int kLauncherCheckFailed = 5;
inline constexpr int kLauncherNewVersion = 40;
inline constexpr int kLauncherNewVersionToo = 41;
inline constexpr int kLauncherNewMinorVersion = 42;

// How long a waiting check gives the launcher to answer.
inline constexpr int kLauncherWaitMs = 10000;

struct LauncherCheck {
    // Nothing is shown for results that need no decision, nor failures.
    bool bSilent = false;
    // Do not wait: the answer, if any, comes later as WM_VDLAUNCHER_RESULT
    // through the return window.
    bool bAsynchronous = false;
    // The return window's number (CLauncherResultEndpoint::WindowNumber);
    // 0 starts the launcher without one.
    uint32_t nReturnWindow = 0;
    bool bForceCheck = false;
    bool bCheckMinor = false;
    // How long a waiting check waits.
    int nWaitMs = kLauncherWaitMs;
};

// Starts the launcher's version check. Asynchronous: 1 once it runs.
// Waiting: what HandleLauncherResult made of its exit code, 0 after a
// failure. Nonzero means the program must close for an update.
int RunLauncherCheckVersion(QWidget* pOwner, const LauncherCheck& check);

// Tells the user what the result code means and, when asked, starts the
// update. 1 when the update run was started.
int HandleLauncherResult(QWidget* pOwner, int code, bool bSilent);

// Copies the launcher and its ini into the application-data folder and
// starts that copy with the given command, without waiting. True when it
// was started.
bool RunLauncherCommand(const std::string& command, int checkMinor);

// "TavDJ " and the version text.
[[nodiscard]] std::string GetLauncherAgentName();

// The check the program runs once it has started: silent and without
// waiting, skipped when the launcher's last check lies within six hours of
// nowSeconds (either way, so a clock set back does not check every start),
// when automatic checks are off or when there is no network. Only users who
// may install updates and want to hear of important ones get the answer
// through nReturnWindow. Returns RunLauncherCheckVersion's result, 0 when
// skipped.
int CheckUpdateAtStartup(QWidget* pOwner, uint32_t nReturnWindow, const COption& option, int64_t nowSeconds);

// Thread: any. The registered message "WM_VDLAUNCHER_RESULT"; wParam
// carries the launcher's result code.
[[nodiscard]] platform::MessageId WmVdLauncherResult();

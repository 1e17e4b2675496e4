#pragma once

#include "platform/MessageTarget.h"

#include <QLocalServer>

#include <cstdint>
#include <string_view>

// Thread: user-interface thread.
// Where the launcher's late answer arrives. The launcher is told a number
// (RetWindowHandle); it connects to the local socket named after that
// number and writes one line, "WM_VDLAUNCHER_RESULT <code>\n". The line
// reaches the target as the registered message WM_VDLAUNCHER_RESULT with
// the code in wParam. The number is our process id, so there is one
// endpoint per process (the main window's) and instances never share one.
class CLauncherResultEndpoint {
public:
    explicit CLauncherResultEndpoint(platform::TargetHandle target);
    ~CLauncherResultEndpoint();
    CLauncherResultEndpoint(const CLauncherResultEndpoint&) = delete;
    CLauncherResultEndpoint& operator=(const CLauncherResultEndpoint&) = delete;

    // Opens the socket, replacing one a dead process of the same id left
    // behind; only this user may connect. False when it cannot be opened.
    [[nodiscard]] bool Listen();
    // What RetWindowHandle carries: the number while listening, else 0
    // (the launcher is then started without a return window).
    [[nodiscard]] uint32_t WindowNumber() const;

    // The socket's name for a number, in the temporary folder.
    [[nodiscard]] static QString EndpointName(uint32_t number);
    // The code a line carries; false for anything else.
    [[nodiscard]] static bool ParseLine(std::string_view line, int* pCode);

private:
    void OnConnection();

    platform::TargetHandle m_target;
    QLocalServer m_server;
};

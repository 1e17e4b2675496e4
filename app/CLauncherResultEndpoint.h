#pragma once

#include "app/CLocalServer.h"
#include "platform/MessageTarget.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// Thread: user-interface thread.
// Where the launcher's late answer arrives. The launcher is told a number
// (RetWindowHandle); it connects to the local socket named after that
// number and writes one line, "WM_VDLAUNCHER_RESULT <code>\n". The line
// reaches the target as the registered message WM_VDLAUNCHER_RESULT with
// the code in wParam. The number is our process id, so there is one
// endpoint per process (the main window's) and instances never share one.
// A peer that says nothing is dropped after kPeerTimeoutMs; at most
// kMaxPeers are heard at once.
class CLauncherResultEndpoint {
public:
    static constexpr size_t kMaxPeers = 4;
    static constexpr int kPeerTimeoutMs = 5000;

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

    // The socket's name for a number, and where it lies: in the temporary
    // folder.
    [[nodiscard]] static QString EndpointName(uint32_t number);
    [[nodiscard]] static std::string EndpointPath(uint32_t number);
    // The code a line carries; false for anything else.
    [[nodiscard]] static bool ParseLine(std::string_view line, int* pCode);

private:
    CLocalServer::Verdict OnLine(const std::string& pending, bool bEnded);

    platform::TargetHandle m_target;
    CLocalServer m_server;
};

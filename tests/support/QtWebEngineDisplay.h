#pragma once

// Qt WebEngine inside a test process, on an X server of the test's own.

#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>
#include <functional>
#include <string>

namespace testutil {

// Only catches a hang: the engine's first start under load can take long.
constexpr qint64 kWebLoadBoundMs = 90000;

// Starts a private Xvfb and points Qt at it, with what the engine needs
// there: no session bus (D-Bus would start one through the X server),
// Chromium's sandbox off (tests run as root) and a private runtime folder
// (Qt refuses a shared one). Call before the QApplication is made.
inline bool UseWebEngineDisplay(TempHome& home, XvfbServer& xvfb)
{
    if (!xvfb.Start("640x480x24"))
        return false;
    home.Set("QT_QPA_PLATFORM", "xcb");
    home.Set("DISPLAY", xvfb.Display());
    home.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus");
    home.Set("QTWEBENGINE_DISABLE_SANDBOX", "1");
    const std::string runtime = home.Path("tmp") + "/runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    home.Set("XDG_RUNTIME_DIR", runtime);
    return true;
}

// Runs the event loop until done() holds; false after the bound.
inline bool WaitForWeb(const std::function<bool()>& done, qint64 boundMs = kWebLoadBoundMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > boundMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace testutil

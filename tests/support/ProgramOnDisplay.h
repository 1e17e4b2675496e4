#pragma once

#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/TextFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

// What the tests of the real program on a private X server share: bounded
// polls, its folder, and its windows as xdotool and ImageMagick see them.
namespace testutil {

// Polls done every stepMs until it holds; false when boundMs passed first.
template <class Done> bool WaitUntil(Done done, int boundMs, int stepMs = 100)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

// The program's environment for a display of its own: it shows its real
// windows there, and a test may start more than one of it. There is no
// session bus: without one, the first window that asks for it (the
// toolkit's accessibility, as a message box opens) would have D-Bus start
// one through the X server, and wait on that start, many seconds under load.
inline void ShowOnDisplay(TempHome& home, const std::string& display)
{
    home.Set("DISPLAY", display);
    home.Set("QT_QPA_PLATFORM", std::nullopt);
    home.Set("TAVDJ_ALLOW_INSTANCES", std::nullopt);
    home.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus");
}

// The program's environment for showing web pages: it takes itself to be
// online; Chromium refuses its sandbox to root.
inline void ShowWebPages(TempHome& home)
{
    home.Set("TAVDJ_ASSUME_ONLINE", "1");
    home.Set("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

// A request board page in site, served on loopback by python3's web
// server; the port, 0 when the server did not say it within boundMs.
inline int ServeRequestBoard(
    ChildProcess& http, const std::filesystem::path& site, const std::string& page, int boundMs)
{
    std::filesystem::create_directories(site / "broadcast");
    std::ofstream(site / "broadcast" / "tavdj_reqboard_admin.html") << page;
    if (!http.Start({ "python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory", site.string(), "0" }))
        return 0;
    std::string line;
    if (!http.ReadLine(&line, boundMs))
        return 0;
    const size_t port = line.find("port ");
    return port == std::string::npos ? 0 : std::atoi(line.c_str() + port + 5);
}

// The default skin and its control-ID file as the build leaves them beside
// the program, copied into a program folder.
inline void CopyBuiltDefaultSkin(const std::filesystem::path& program)
{
    const std::filesystem::path built = std::filesystem::path(TAVDJ_PROGRAM).parent_path();
    std::filesystem::copy(built / "default_skin", program / "default_skin", std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(built / "ControlID.XML", program / "ControlID.XML");
}

// The id of the first visible window whose title matches the pattern; ""
// when there is none.
inline std::string VisibleWindowMatching(const std::string& pattern)
{
    const std::string ids = CommandOutput("xdotool search --onlyvisible --name '" + pattern + "' 2>/dev/null");
    return ids.substr(0, ids.find('\n'));
}

// The id of the visible window of exactly that title; "" when there is none.
inline std::string VisibleWindow(const std::string& title)
{
    return VisibleWindowMatching("^" + title + "$");
}

// A click at a point ("X Y") of a window.
inline bool ClickAt(const std::string& window, const std::string& point)
{
    return CommandSucceeds("xdotool mousemove --window " + window + " " + point + " click 1");
}

// A window's place and size as xdotool prints them.
inline std::string WindowGeometry(const std::string& window)
{
    return CommandOutput("xdotool getwindowgeometry " + window);
}

// One value of a window's place and size ("X", "Y", "WIDTH", "HEIGHT"); -1
// when xdotool did not tell it.
inline int WindowGeometryValue(const std::string& window, const std::string& key)
{
    std::istringstream lines(CommandOutput("xdotool getwindowgeometry --shell " + window));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0)
            return std::stoi(line.substr(key.size() + 1));
    }
    return -1;
}

// The running test's folder for screen shots, made on the first call.
inline std::filesystem::path TestArtifacts()
{
    const std::filesystem::path name(testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::filesystem::path folder = std::filesystem::path(TAVDJ_BINARY_DIR) / "test-artifacts" / name;
    std::filesystem::create_directories(folder);
    return folder;
}

// The whole screen as name.png in folder; the shot's path.
inline std::filesystem::path Screenshot(const std::filesystem::path& folder, const std::string& name)
{
    const std::filesystem::path shot = folder / (name + ".png");
    // Appended, not prefixed: GCC 12 at -O3 misreads a literal put before
    // a temporary string as an overlapping copy.
    std::string command = "import -window root '";
    command += shot.string();
    command += '\'';
    EXPECT_TRUE(CommandSucceeds(command));
    return shot;
}

} // namespace testutil

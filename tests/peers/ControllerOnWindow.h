#pragma once

// A controller started on the test's stand-in for the main window, as the
// shell starts it, with its station pointed at a server of the test's own,
// and an outside listener heard while that window runs.

#include "engine/stream/CDJDataMan.h"

#include "fakes/FakeMainWindow.h"
#include "support/ChildProcess.h"
#include "support/EditSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace peers {

// The window serves the controller dj holds as the main window does: its
// log lines recorded, the talk-over fade's timers stepping the fade, every
// other message to the controller's pump; nothing while dj holds none.
inline void ServeController(FakeMainWindow& window, const std::unique_ptr<CDJDataMan>& dj)
{
    window.RecordTextOf(CDJDataMan::WmWriteLog());
    window.SetHandler([&dj](platform::MessageId msg, platform::WParam wParam, platform::LParam) {
        if (!dj)
            return platform::LParam(0);
        if (msg == platform::kTimerMessage
            && (wParam == CDJDataMan::kTimerFadeOn || wParam == CDJDataMan::kTimerFadeOff))
            dj->StepTalkOverFade(wParam == CDJDataMan::kTimerFadeOn);
        else
            dj->OnPumpMessage(msg, wParam);
        return platform::LParam(0);
    });
}

// The controller dj holds, served by window and started on it, its station
// on a server on loopback at port with password and recording off; more
// changes the settings further (it may turn recording on).
template <typename More>
void StartController(
    const std::unique_ptr<CDJDataMan>& dj, FakeMainWindow& window, int port, const std::string& password, More more)
{
    ServeController(window, dj);
    ASSERT_EQ(dj->Init("녹음", window.Handle()), 1);
    EditSettings(*dj, [&](DJSettings& s) {
        s.m_strAddress = "127.0.0.1";
        s.m_nPort = port;
        s.m_strPasswd = password;
        s.m_nEnable = 0;
        more(s);
    });
}

// An outside listener of url, heard into path while window runs, until
// path holds bytes (12 s at most); meanwhile, if any, runs once the
// listener has started.
inline void ListenWhileTheWindowRuns(FakeMainWindow& window, const std::string& url, const std::string& path,
    uintmax_t bytes, const std::function<void()>& meanwhile = {})
{
    testutil::ChildProcess listener;
    EXPECT_TRUE(listener.Start({ "curl", "-s", "--max-time", "15", "-o", path, url }, false));
    if (meanwhile)
        meanwhile();
    EXPECT_TRUE(window.RunUntil(
        [&] {
            std::error_code missing;
            const uintmax_t size = std::filesystem::file_size(path, missing);
            return !missing && size >= bytes;
        },
        12000))
        << "the listener heard too little of " << url;
    listener.Stop();
}

} // namespace peers

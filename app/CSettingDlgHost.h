#pragma once

// Thread: user-interface thread.
// What the settings dialog needs from the main window, which owns it: the
// engine started again after a reset, and the test whether listeners can
// reach this computer from outside.
class CSettingDlgHost {
public:
    enum class Reachability { Reachable, Unreachable, NoFreePort };

    virtual ~CSettingDlgHost() = default;
    // The broadcast engine set up again with the main window after the
    // settings went back to their defaults.
    virtual void ReinitEngine() = 0;
    // Runs the outside-reachability test; keeps the user interface
    // responsive while it waits.
    virtual Reachability TestReachability() = 0;
};

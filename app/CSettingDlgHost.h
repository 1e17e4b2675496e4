#pragma once

class CKeptClientSettings;

// Thread: user-interface thread.
// What the settings dialog needs from the main window, which owns it: the
// engine started again after a reset, the test whether listeners can reach
// this computer from outside, and the user's server settings, which the
// built-in server sets aside while it runs.
class CSettingDlgHost {
public:
    // Skipped: no test service is configured, so nothing was tested.
    enum class Reachability { Reachable, Unreachable, NoFreePort, Skipped };

    virtual ~CSettingDlgHost() = default;
    // The broadcast engine set up again with the main window after the
    // settings went back to their defaults.
    virtual void ReinitEngine() = 0;
    // Runs the outside-reachability test; keeps the user interface
    // responsive while it waits.
    virtual Reachability TestReachability() = 0;
    // Keeps the user's server while the built-in server stands in; the
    // dialog edits and saves the user's values through it.
    virtual CKeptClientSettings& KeptClientSettings() = 0;
};

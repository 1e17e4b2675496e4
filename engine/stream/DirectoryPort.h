#pragma once

#include "platform/MessageTarget.h"

#include <string>

// What the controller hands the station-directory client when it registers
// the station.
struct DirectoryStation {
    std::string host;
    int port = 80;
    int bitrateKbps = 0;
    std::string name;
    std::string url;
    std::string genre;
    std::string presenter;
    std::string icq;
    std::string irc;
    std::string listenUrl;
    std::string kind;
    std::string machineId;
    std::string timeText;
    std::string key;
    std::string version;
};

// How the controller reaches the station-directory client.
// Thread: Start, Stop, SetListeners and GetErrorText on the main thread;
// SetTitle from the main thread or the send thread (the client locks).
class DirectoryPort {
public:
    virtual ~DirectoryPort() = default;

    // Starts registering; 0 means started, else the client's code. Its
    // notifications go to the window.
    [[nodiscard]] virtual int Start(platform::TargetHandle window, const DirectoryStation& station) = 0;
    virtual void Stop() = 0;
    virtual void SetTitle(const std::string& title, const std::string& url) = 0;
    virtual void SetListeners(int current, int maximum) = 0;
    // The directory's last error text; false when there is none.
    virtual bool GetErrorText(std::string* pText) = 0;
};

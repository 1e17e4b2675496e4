#pragma once

#include "support/ChildProcess.h"

#include <fstream>
#include <string>

namespace testutil {

// A session bus of the test's own: dbus-daemon listening on a socket in
// the given folder, never the user's bus. It starts no services: a name
// nobody owns fails at once instead of starting a desktop service (the
// accessibility bus the toolkit asks for would otherwise be started).
class PrivateSessionBus {
public:
    PrivateSessionBus() = default;
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // True once the bus listens; its address is then Address().
    bool Start(const std::string& folder)
    {
        const std::string config = folder + "/session-bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>session</type><listen>unix:path="
                              << folder << "/session-bus</listen><auth>EXTERNAL</auth>"
                              << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
        // The daemon prints its address once it listens.
        std::string line;
        if (!m_daemon.Start({ "dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1" }, true, true)
            || !m_daemon.ReadLine(&line, 20000) || line.rfind("unix:", 0) != 0)
            return false;
        m_address = line;
        return true;
    }

    [[nodiscard]] const std::string& Address() const { return m_address; }

private:
    ChildProcess m_daemon;
    std::string m_address;
};

} // namespace testutil

#pragma once

// A real Icecast 2 for peer tests: a private folder, loopback ports picked
// at run time, a SHOUTcast-compatible listen socket whose mount is "/live".

#include "foundation/HttpGetFile.h"
#include "platform/Clock.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/TestSandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace testutil {

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Icecast in a private folder on loopback ports picked now. It refuses to
// run as root, so as root it is started as nobody.
class IcecastServer {
public:
    // The source password; the configuration below holds it escaped.
    static constexpr const char* kPassword = "hack&me #1+";

    bool Start()
    {
        m_port = testutil::PickPortPair();
        if (m_port == 0 || !m_dir.Create("tavdj-icecast"))
            return false;
        const std::string log = Path("log");
        ::mkdir(log.c_str(), 0755);
        const bool root = ::geteuid() == 0;
        if (root) {
            ::chmod(m_dir.Dir().c_str(), 0755);
            if (::chown(log.c_str(), 65534, 65534) != 0)
                return false;
        }
        const std::string config = Path("icecast.xml");
        std::ofstream(config)
            << "<icecast>\n"
               "  <location>test</location><admin>test@localhost</admin>\n"
               "  <limits><clients>10</clients><sources>2</sources><source-timeout>10</source-timeout>"
               "<burst-size>0</burst-size></limits>\n"
               "  <authentication><source-password>hack&amp;me #1+</source-password>"
               "<admin-user>admin</admin-user><admin-password>adminpw</admin-password></authentication>\n"
               "  <hostname>127.0.0.1</hostname>\n"
               "  <listen-socket><port>"
            << m_port
            << "</port><bind-address>127.0.0.1</bind-address>"
               "<shoutcast-mount>/live</shoutcast-mount></listen-socket>\n"
               "  <mount><mount-name>/live</mount-name><charset>UTF-8</charset></mount>\n"
               "  <fileserve>1</fileserve>\n"
               "  <paths><basedir>"
            << m_dir.Dir().string() << "</basedir><logdir>" << log
            << "</logdir>"
               "<webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
               "  "
               "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></"
               "logging>\n"
               "  <security><chroot>0</chroot></security>\n"
               "</icecast>\n";
        return Launch();
    }

    // Starts the server again after Stop, on the same ports.
    bool Restart() { return Launch(); }

    // Ends the server the way a crash would look to its source.
    void Stop() { m_child.Stop(); }

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    std::string Status() const
    {
        char* buffer = nullptr;
        HttpGetFileTimeouts quick { 1000, 2000 };
        if (!HttpGetFile(&buffer, nullptr, Url("/status-json.xsl").c_str(), platform::kNoTarget, true, "test", -1,
                false, nullptr, quick))
            return {};
        std::unique_ptr<char[]> owned(buffer);
        return buffer;
    }
    std::string ErrorLog() const { return ReadFile(Path("log/error.log")); }
    std::string Path(const std::string& name) const { return (m_dir.Dir() / name).string(); }

private:
    bool Launch()
    {
        const bool root = ::geteuid() == 0;
        const std::string config = Path("icecast.xml");
        std::vector<std::string> argv;
        if (root)
            argv = { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" };
        argv.insert(argv.end(), { "icecast2", "-c", config });
        if (!m_child.Start(argv, false))
            return false;
        // Up once the status page answers.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (!Status().empty())
                return true;
            platform::Sleep(50);
        }
        return false;
    }

    TestSandbox m_dir;
    testutil::ChildProcess m_child;
    int m_port = 0;
};

} // namespace testutil

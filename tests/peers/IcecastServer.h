#pragma once

// A real Icecast 2 for peer tests: a private folder, loopback ports picked
// at run time, and either a SHOUTcast-compatible listen socket whose mount
// is "/live", or Debian's stock icecast.xml as a new user has it.

#include "foundation/HttpGetFile.h"
#include "platform/Clock.h"
#include "support/ChildProcess.h"
#include "support/FreePorts.h"
#include "support/TestSandbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace testutil {

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// True when process pid holds a socket listening on 127.0.0.1:port: the
// kernel's table of TCP sockets gives the listening socket's inode, the
// process's descriptors name the sockets it holds.
inline bool ProcessListensOn(pid_t pid, int port)
{
    char local[32];
    std::snprintf(
        local, sizeof local, "%08X:%04X", static_cast<unsigned>(htonl(INADDR_LOOPBACK)), static_cast<unsigned>(port));
    std::set<std::string> sockets;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> address >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (address == local && state == "0A")
            sockets.insert("socket:[" + inode + "]");
    }
    std::error_code error;
    const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& fd : std::filesystem::directory_iterator(fds, error)) {
        const std::filesystem::path target = std::filesystem::read_symlink(fd.path(), error);
        if (!error && sockets.count(target.string()) != 0)
            return true;
    }
    return false;
}

// What a run asks of icecast beyond a test's few listeners. The defaults
// suit the tests: a newcomer gets the stream from the live point on.
struct IcecastLimits {
    int clients = 10; // listeners and sources together
    int sources = 2; // sources on air at once
    int sourceTimeoutSeconds = 10; // a silent source is dropped after this
    int burstBytes = 0; // given to a newcomer at once; -1: icecast's own
};

// Which configuration icecast runs with.
enum class IcecastConfig {
    // Ours: a listen socket on the port and a SHOUTcast-compatible one on
    // the port above it (mount "/live", kept in UTF-8), with the limits.
    ShoutcastMount,
    // The distribution's /etc/icecast2/icecast.xml with only the passwords,
    // the port and the paths changed (and bound to the loopback): one
    // listen socket, no SHOUTcast mount, no mount of its own, the stock
    // limits. The limits given are not used.
    Stock,
};

// Icecast in a private folder on loopback ports picked now. It refuses to
// run as root, so as root it is started as nobody.
class IcecastServer {
public:
    // The source password; the configuration below holds it escaped.
    static constexpr const char* kPassword = "hack&me #1+";
    static constexpr const char* kStockConfig = "/etc/icecast2/icecast.xml";

    // Icecast binds its ports at start and carries on with those it got
    // when one is taken; only its log says so, and that is not open yet. A
    // pair picked a moment earlier can be taken by any other test starting a
    // server, so the server is up once it has started and holds both ports
    // itself; otherwise it starts again on another pair.
    bool Start(const IcecastLimits& limits = {}, IcecastConfig config = IcecastConfig::ShoutcastMount)
    {
        m_limits = limits;
        m_config = config;
        if (!m_dir.Create("tavdj-icecast"))
            return false;
        const std::string log = Path("log");
        ::mkdir(log.c_str(), 0755);
        const bool root = ::geteuid() == 0;
        if (root) {
            ::chmod(m_dir.Dir().c_str(), 0755);
            if (::chown(log.c_str(), 65534, 65534) != 0)
                return false;
        }
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            m_port = testutil::PickPortPair();
            const size_t starts = Starts();
            if (m_port == 0 || !Launch(root))
                return false;
            switch (WaitUntilUp(starts)) {
            case Up::Yes:
                return true;
            case Up::PortTaken:
                m_child.Stop();
                break;
            case Up::No:
                return false;
            }
        }
        return false;
    }

    // Starts the server again after Stop, on the same ports; false when
    // another process took one of them meanwhile.
    bool Restart()
    {
        const size_t starts = Starts();
        return Launch(::geteuid() == 0) && WaitUntilUp(starts) == Up::Yes;
    }

    // Ends the server the way a crash would look to its source.
    void Stop() { m_child.Stop(); }

    // Ends the server with SIGTERM and tells what it used: its CPU seconds
    // and peak resident kilobytes. False when it could not be reaped.
    bool Stop(double* cpuSeconds, long* maxRssKb) { return TerminateMeasured(m_child.Release(), cpuSeconds, maxRssKb); }

    pid_t Pid() const { return m_child.Pid(); }
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
    static constexpr int kStartAttempts = 5;
    static constexpr const char* kStartLine = "server started";
    enum class Up { Yes, PortTaken, No };

    // The stock file with the passwords, the port and the paths replaced;
    // empty when the file is missing or no longer reads as expected.
    std::string StockConfig() const
    {
        std::string text = ReadFile(kStockConfig);
        const std::pair<std::string, std::string> changes[] = {
            { "<source-password>hackme</source-password>", "<source-password>hack&amp;me #1+</source-password>" },
            { "<relay-password>hackme</relay-password>", "<relay-password>relaypw</relay-password>" },
            { "<admin-password>hackme</admin-password>", "<admin-password>adminpw</admin-password>" },
            { "<port>8000</port>", "<port>" + std::to_string(m_port) + "</port>" },
            // Tests never listen beyond the loopback.
            { "<!-- <bind-address>127.0.0.1</bind-address> -->", "<bind-address>127.0.0.1</bind-address>" },
            { "<basedir>/usr/share/icecast2</basedir>", "<basedir>" + m_dir.Dir().string() + "</basedir>" },
            { "<logdir>/var/log/icecast2</logdir>", "<logdir>" + Path("log") + "</logdir>" },
        };
        for (const auto& [from, to] : changes) {
            const size_t at = text.find(from);
            if (at == std::string::npos)
                return {};
            text.replace(at, from.size(), to);
        }
        return text;
    }

    bool Launch(bool root)
    {
        const std::string config = Path("icecast.xml");
        if (m_config == IcecastConfig::Stock) {
            const std::string stock = StockConfig();
            if (stock.empty())
                return false;
            std::ofstream(config) << stock;
            return Run(root, config);
        }
        std::ostringstream limits;
        limits << "<clients>" << m_limits.clients << "</clients><sources>" << m_limits.sources
               << "</sources><source-timeout>" << m_limits.sourceTimeoutSeconds << "</source-timeout>";
        if (m_limits.burstBytes >= 0)
            limits << "<burst-size>" << m_limits.burstBytes << "</burst-size>";
        std::ofstream(config)
            << "<icecast>\n"
               "  <location>test</location><admin>test@localhost</admin>\n"
               "  <limits>"
            << limits.str()
            << "</limits>\n"
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
            << m_dir.Dir().string() << "</basedir><logdir>" << Path("log")
            << "</logdir>"
               "<webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
               "  "
               "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></"
               "logging>\n"
               "  <security><chroot>0</chroot></security>\n"
               "</icecast>\n";
        return Run(root, config);
    }

    bool Run(bool root, const std::string& config)
    {
        std::vector<std::string> argv;
        if (root)
            argv = { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" };
        argv.insert(argv.end(), { "icecast2", "-c", config });
        return m_child.Start(argv, false);
    }

    // Icecast logs that it started once it has bound every port it could,
    // and answers its status page only after that; then it must hold both.
    // An icecast that got no port at all ends. startsBefore: the start lines
    // its log held before this start.
    Up WaitUntilUp(size_t startsBefore)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (Starts() > startsBefore || !Status().empty()) {
                const pid_t pid = m_child.Pid();
                const bool both = ProcessListensOn(pid, m_port)
                    && (m_config == IcecastConfig::Stock || ProcessListensOn(pid, m_port + 1));
                return both ? Up::Yes : Up::PortTaken;
            }
            if (m_child.Wait(0) >= 0 || m_child.Pid() <= 0)
                return Up::PortTaken;
            platform::Sleep(50);
        }
        return Up::No;
    }

    // How many times the log says icecast started.
    size_t Starts() const
    {
        const std::string log = ErrorLog();
        size_t count = 0;
        for (size_t at = log.find(kStartLine); at != std::string::npos; at = log.find(kStartLine, at + 1))
            ++count;
        return count;
    }

    TestSandbox m_dir;
    testutil::ChildProcess m_child;
    IcecastLimits m_limits;
    IcecastConfig m_config = IcecastConfig::ShoutcastMount;
    int m_port = 0;
};

} // namespace testutil

// The built-in server against hostile peers with real programs on the other
// side: DJs (our source client, ezstream, liquidsoap) log in while a
// stranger floods the source port, a real player decodes while idle
// connections fill the server, and a server under a low descriptor limit
// (prlimit) fits its listener limit to it and does not spin when it runs
// out.

#include "engine/server/CDJServer.h"
#include "engine/stream/GShoutCastSource.h"
#include "support/ChildProcess.h"
#include "support/FfmpegTone.h"
#include "support/FreePorts.h"
#include "support/RequireTool.h"
#include "support/ServerRig.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using testutil::ChildProcess;
using testutil::LoopbackClient;
using testutil::MakeMp3;
using testutil::ServerRig;

namespace {

constexpr int kWait = 10000;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool StartShell(ChildProcess& child, const std::string& line)
{
    return child.Start({ "/bin/bash", "-c", "set -o pipefail; " + line + " 2>&1" });
}

// What the child writes until it closes its output, or until timeoutMs
// have gone: a loaded machine may keep a child quiet for a while before
// its first line.
std::string ReadAll(ChildProcess& child, int timeoutMs)
{
    std::string all;
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto left = [&] {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
    };
    while (left() > 0 && child.ReadLine(&line, left()))
        all += line + "\n";
    return all;
}

// Connects to port every half millisecond and says nothing, keeping the
// last few hundred open, until destroyed.
class Flooder {
public:
    explicit Flooder(int port)
        : m_thread([this, port](std::stop_token stop) {
            std::vector<std::unique_ptr<LoopbackClient>> open;
            while (!stop.stop_requested()) {
                auto c = std::make_unique<LoopbackClient>();
                if (c->Connect(port))
                    ++m_nConnections;
                open.push_back(std::move(c));
                if (open.size() > 300)
                    open.erase(open.begin());
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        })
    {
    }
    int Connections() const { return m_nConnections.load(); }

private:
    std::atomic<int> m_nConnections { 0 };
    std::jthread m_thread;
};

// Feeds an MP3 file through our source client, a little faster than real
// time, on a thread of its own until the end of the file or until stopped.
class Feeder {
public:
    Feeder(GShoutCastSource& source, std::string bytes)
        : m_bytes(std::move(bytes))
        , m_thread([this, &source](std::stop_token stop) {
            for (size_t at = 0; at < m_bytes.size() && !stop.stop_requested(); at += 1024) {
                const int n = static_cast<int>(std::min<size_t>(1024, m_bytes.size() - at));
                if (source.Send(m_bytes.data() + at, n) != 0) {
                    m_bFailed = true;
                    return;
                }
                if ((at / 1024) % 16 == 15)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        })
    {
    }
    bool Failed() const { return m_bFailed.load(); }
    void Join() { m_thread.join(); }

private:
    std::string m_bytes;
    std::atomic<bool> m_bFailed { false };
    std::jthread m_thread;
};

class DJServerHostilePeers : public ::testing::Test {
protected:
    void Start(std::initializer_list<const char*> tools, int maxListeners = 10)
    {
        for (const char* tool : tools)
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        ASSERT_TRUE(rig.Start(maxListeners));
        url = "http://127.0.0.1:" + std::to_string(rig.Port()) + "/";
    }

    ServerRig rig;
    std::string url;
};

} // namespace

TEST_F(DJServerHostilePeers, DjsLogInWhileAStrangerFloodsTheSourcePort)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "ezstream", "ffmpeg" }));
    if (IsSkipped())
        return;
    const std::string dir = rig.Folder();
    ASSERT_TRUE(MakeMp3(dir + "/one.mp3", 2));
    Flooder flood(rig.Port() + 1);

    // Our own client, again and again: each login is a success.
    for (int i = 0; i < 8; ++i) {
        GShoutCastSource source;
        ASSERT_EQ(
            source.Connect("127.0.0.1", rig.Port(), 128, rig.Server().GetPassword().c_str(), "Ours", "", "Test", "DJ"),
            GShoutCastSource::kOk)
            << "login " << i;
        const std::string block(8192, 'o');
        EXPECT_EQ(source.Send(block.data(), 1024), 0);
        source.Close();
    }

    std::ofstream(dir + "/list.m3u") << dir << "/one.mp3\n";
    const std::string config = dir + "/ezstream.xml";
    std::ofstream(config) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ezstream>\n"
                             "<servers><server><protocol>ICY</protocol><hostname>127.0.0.1</hostname><port>"
                          << rig.Port() << "</port><password>" << rig.Server().GetPassword()
                          << "</password><tls>None</tls><reconnect_attempts>0</reconnect_attempts></server></servers>\n"
                             "<streams><stream><mountpoint>/</mountpoint><format>MP3</format>"
                             "<stream_name>Ez Station</stream_name><stream_bitrate>128</stream_bitrate></stream>"
                             "</streams>\n<intakes><intake><type>playlist</type><filename>"
                          << dir
                          << "/list.m3u</filename><stream_once>Yes</stream_once></intake></intakes>\n</ezstream>\n";
    ::chmod(config.c_str(), 0600);
    ChildProcess ezstream;
    ASSERT_TRUE(StartShell(ezstream, "exec ezstream -c " + config));
    EXPECT_TRUE(rig.WaitLog(" dj:icy-name:Ez Station", kWait));
    const std::string ezOut = ReadAll(ezstream, 20000);
    EXPECT_EQ(ezstream.Wait(20000), 0) << ezOut;
    EXPECT_GT(flood.Connections(), 100);
    EXPECT_TRUE(rig.HasLog("CloseOldDJ"));
}

TEST_F(DJServerHostilePeers, LiquidsoapIsAThirdPartySource)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "liquidsoap", "ffmpeg" }));
    if (IsSkipped())
        return;
    const std::string script = rig.Folder() + "/radio.liq";
    std::ofstream(script) << "settings.init.allow_root.set(true)\n"
                             "settings.log.stdout.set(true)\n"
                             "settings.log.file.set(false)\n"
                             "output.shoutcast(%mp3(bitrate=128), host=\"127.0.0.1\", port="
                          << rig.Port() << ", password=\"" << rig.Server().GetPassword()
                          << "\", name=\"Liq Station\", genre=\"Tone\", mksafe(sine(440.)))\n";
    ChildProcess liquidsoap;
    // Its media libraries keep a cache in the home: give it the test's own.
    ASSERT_TRUE(StartShell(liquidsoap, "exec env HOME=" + rig.Folder() + " liquidsoap " + script));
    ASSERT_TRUE(rig.WaitLog(" dj:icy-name:Liq Station", 30000)) << ReadAll(liquidsoap, 1000);

    // A real player decodes what liquidsoap sends through us.
    ChildProcess ffmpeg;
    ASSERT_TRUE(StartShell(ffmpeg, "ffmpeg -nostdin -loglevel error -i " + url + " -t 2 -f null - && echo DECODED"));
    EXPECT_EQ(ffmpeg.Wait(30000), 0);
    const std::string out = ReadAll(ffmpeg, 1000);
    std::string log;
    for (const std::string& line : rig.Log())
        log += line + "\n";
    EXPECT_NE(out.find("DECODED"), std::string::npos) << out << log << ReadAll(liquidsoap, 500);
    liquidsoap.Stop();
    EXPECT_FALSE(rig.HasLog("DJ Password Check Failed"));
}

TEST_F(DJServerHostilePeers, APlayerDecodesWhileIdleConnectionsFillTheServer)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "mpg123", "ffmpeg" }, 10));
    if (IsSkipped())
        return;
    const std::string mp3 = rig.Folder() + "/tone.mp3";
    ASSERT_TRUE(MakeMp3(mp3, 8));
    // Far more idle connections than the server keeps places for.
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int i = 0; i < 400; ++i) {
        idle.push_back(std::make_unique<LoopbackClient>());
        ASSERT_TRUE(idle.back()->Connect(rig.Port()));
    }
    ASSERT_TRUE(rig.WaitLog("Evicted(IP:127.0.0.1)"));

    GShoutCastSource source;
    ASSERT_EQ(
        source.Connect("127.0.0.1", rig.Port(), 128, rig.Server().GetPassword().c_str(), "Busy", "", "Test", "DJ"),
        GShoutCastSource::kOk);
    ChildProcess mpg123;
    ASSERT_TRUE(StartShell(mpg123, "mpg123 -q -n 100 -w /dev/null " + url + " && echo DECODED"));
    ASSERT_TRUE(rig.WaitLog("AddClient(IP:127.0.0.1)", kWait));
    Feeder feeder(source, ReadFile(mp3));
    EXPECT_EQ(mpg123.Wait(40000), 0);
    const std::string out = ReadAll(mpg123, 1000);
    EXPECT_NE(out.find("DECODED"), std::string::npos) << out;
    feeder.Join();
    EXPECT_FALSE(feeder.Failed());
}

// The server as its own process, so its descriptor limit can be lowered
// with prlimit: run by the test below with the settings in its environment,
// never on its own (it is disabled). Serves until SIGTERM.
TEST(DJServerChild, DISABLED_Serve)
{
    const char* port = std::getenv("TAVDJ_CHILD_PORT");
    const char* logPath = std::getenv("TAVDJ_CHILD_LOG");
    const char* pages = std::getenv("TAVDJ_CHILD_PAGES");
    ASSERT_TRUE(port && logPath && pages);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    // Blocked before the server thread starts, so only sigwait takes it.
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, nullptr), 0);
    static std::FILE* log = std::fopen(logPath, "a");
    ASSERT_NE(log, nullptr);
    CDJServerParams params;
    params.port = std::atoi(port);
    params.maxListeners = 100;
    params.listenUrl = "127.0.0.1";
    params.pageFolder = pages;
    params.logCallback = [](const char* text, void*) {
        std::fprintf(log, "%s\n", text);
        std::fflush(log);
    };
    CDJServer server;
    ASSERT_TRUE(server.Start(params));
    std::fprintf(log, "password %s\n", server.GetPassword().c_str());
    std::fflush(log);
    std::vector<int> hoarded;
    if (std::getenv("TAVDJ_CHILD_EXHAUST")) {
        // First the server thread runs a command (a client list dump), so
        // everything it needs at its start is in place.
        server.ListClientInfo();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (
            ReadFile(logPath).find(" connection-count") == std::string::npos && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // The rest of the program takes every descriptor that is left.
        for (int fd = 0; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            hoarded.push_back(fd);
        std::fprintf(log, "exhausted\n");
        std::fflush(log);
    }
    int got = 0;
    sigwait(&term, &got);
    // Given back before the server stops: tearing down needs none, but the
    // sanitizers' own checks do.
    for (const int fd : hoarded)
        ::close(fd);
    server.Stop();
    std::fprintf(log, "stopped\n");
    std::fflush(log);
}

namespace {

// CPU seconds a process has used (user and system).
double CpuSeconds(pid_t pid)
{
    std::istringstream stat(ReadFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    // The command name may hold blanks; fields after it are counted from
    // its closing parenthesis.
    std::string all = stat.str();
    const size_t close = all.rfind(')');
    std::istringstream rest(all.substr(close + 2));
    std::vector<std::string> fields;
    while (rest >> field)
        fields.push_back(field);
    if (fields.size() < 13)
        return -1;
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct ChildServer {
    ChildProcess process;
    std::string log;
    int port = 0;
    pid_t pid = -1;

    bool Start(const std::string& folder, int descriptorLimit, bool exhaust)
    {
        char self[4096] = {};
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            return false;
        port = testutil::PickPortPair();
        log = folder + (exhaust ? "/exhaust.log" : "/server.log");
        std::vector<std::string> argv = { "prlimit", "--nofile=" + std::to_string(descriptorLimit), "env",
            "TAVDJ_CHILD_PORT=" + std::to_string(port), "TAVDJ_CHILD_LOG=" + log,
            "TAVDJ_CHILD_PAGES=" + folder + "/pages" };
        if (exhaust)
            argv.push_back("TAVDJ_CHILD_EXHAUST=1");
        argv.insert(argv.end(),
            { std::string(self), "--gtest_also_run_disabled_tests", "--gtest_filter=DJServerChild.DISABLED_Serve" });
        // Its standard output is a pipe this test never reads.
        if (!process.Start(argv))
            return false;
        pid = process.Pid();
        return WaitLog(exhaust ? "exhausted" : "password ", kWait);
    }
    bool WaitLog(const std::string& part, int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (ReadFile(log).find(part) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    std::string Password()
    {
        const std::string all = ReadFile(log);
        const size_t at = all.find("password ");
        return at == std::string::npos ? std::string() : all.substr(at + 9, 32);
    }
    // SIGTERM; true when the server stopped and the process ended in time.
    bool Stop()
    {
        ::kill(pid, SIGTERM);
        const int code = process.Wait(10000);
        return code == 0 && ReadFile(log).find("stopped") != std::string::npos;
    }
};

} // namespace

TEST(DJServerDescriptorLimit, ListenerLimitFitsTheDescriptorLimitAndRunningOutDoesNotSpin)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("prlimit"), "prlimit");
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-fdlimit"));
    const std::string folder = sandbox.Dir().string();
    std::filesystem::create_directories(folder + "/pages");
    std::filesystem::copy_file(testutil::SourcePath("serverhtml/index.html"), folder + "/pages/index.html");

    // 128 descriptors cannot serve 100 listeners: the limit is lowered and
    // logged, and under a flood a DJ still logs in and a listener is served.
    {
        ChildServer child;
        ASSERT_TRUE(child.Start(folder, 128, false)) << ReadFile(child.log);
        EXPECT_NE(ReadFile(child.log).find("MaxListeners lowered to "), std::string::npos) << ReadFile(child.log);
        const auto started = std::chrono::steady_clock::now();
        const double cpuBefore = CpuSeconds(child.pid);
        std::vector<std::unique_ptr<LoopbackClient>> idle;
        for (int i = 0; i < 400; ++i) {
            idle.push_back(std::make_unique<LoopbackClient>());
            ASSERT_TRUE(idle.back()->Connect(child.port));
        }
        GShoutCastSource source;
        ASSERT_EQ(source.Connect("127.0.0.1", child.port, 128, child.Password().c_str(), "Limited", "", "Test", "DJ"),
            GShoutCastSource::kOk);
        LoopbackClient listener;
        ASSERT_TRUE(ServerRig::RequestStream(listener, child.port, false));
        ASSERT_TRUE(listener.ReadUntil("\r\n\r\n", kWait)) << ReadFile(child.log);
        EXPECT_EQ(listener.Data().rfind("HTTP/1.1 200 OK", 0), 0u);
        const std::string block(8192, 's');
        for (size_t at = 0; at < block.size(); at += 1024)
            ASSERT_EQ(source.Send(block.data() + at, 1024), 0);
        EXPECT_TRUE(listener.ReadUntil(block, kWait));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LT(CpuSeconds(child.pid) - cpuBefore, 0.5 * wall + 0.2);
        source.Close();
        EXPECT_TRUE(child.Stop()) << ReadFile(child.log);
    }

    // With every descriptor taken, accepting pauses instead of spinning.
    {
        ChildServer child;
        ASSERT_TRUE(child.Start(folder, 128, true)) << ReadFile(child.log);
        const auto started = std::chrono::steady_clock::now();
        const double cpuBefore = CpuSeconds(child.pid);
        std::vector<std::unique_ptr<LoopbackClient>> waiting;
        for (int i = 0; i < 20; ++i) {
            waiting.push_back(std::make_unique<LoopbackClient>());
            ASSERT_TRUE(waiting.back()->Connect(child.port));
            ASSERT_TRUE(waiting.back()->Send("GET / HTTP/1.0\r\n\r\n"));
        }
        ASSERT_TRUE(child.WaitLog("Accept failed, pausing", kWait)) << ReadFile(child.log);
        // Two seconds in which nobody can be served: a spinning loop would
        // burn all of them.
        EXPECT_FALSE(waiting.back()->ReadUntil("\r\n\r\n", 2000));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double cpu = CpuSeconds(child.pid) - cpuBefore;
        EXPECT_LT(cpu, 0.25 * wall) << cpu << " s of CPU in " << wall << " s";
        EXPECT_TRUE(child.Stop()) << ReadFile(child.log);
    }
}

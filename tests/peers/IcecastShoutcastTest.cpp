// The source client against a real Icecast 2 with a SHOUTcast-compatible
// listen socket: login, a stream a real listener decodes, titles in the
// server's status, refusals.

#include "engine/stream/GShoutCastSource.h"

#include "fakes/ChildProcess.h"
#include "fakes/FreePorts.h"
#include "fakes/RequireTool.h"
#include "fakes/TestSandbox.h"
#include "foundation/HttpGetFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

const char kPassword[] = "hack&me #1+";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Icecast in a private folder on loopback ports picked now. It refuses to
// run as root, so as root it is started as nobody.
class IcecastServer {
public:
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
        std::ofstream(config) <<
            "<icecast>\n"
            "  <location>test</location><admin>test@localhost</admin>\n"
            "  <limits><clients>10</clients><sources>2</sources><source-timeout>10</source-timeout>"
            "<burst-size>0</burst-size></limits>\n"
            "  <authentication><source-password>hack&amp;me #1+</source-password>"
            "<admin-user>admin</admin-user><admin-password>adminpw</admin-password></authentication>\n"
            "  <hostname>127.0.0.1</hostname>\n"
            "  <listen-socket><port>" << m_port << "</port><bind-address>127.0.0.1</bind-address>"
            "<shoutcast-mount>/live</shoutcast-mount></listen-socket>\n"
            "  <mount><mount-name>/live</mount-name><charset>UTF-8</charset></mount>\n"
            "  <fileserve>1</fileserve>\n"
            "  <paths><basedir>" << m_dir.Dir().string() << "</basedir><logdir>" << log << "</logdir>"
            "<webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
            "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>\n"
            "  <security><chroot>0</chroot></security>\n"
            "</icecast>\n";
        std::vector<std::string> argv;
        if (root)
            argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        argv.insert(argv.end(), {"icecast2", "-c", config});
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

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string Status() const
    {
        char* buffer = nullptr;
        HttpGetFileTimeouts quick{1000, 2000};
        if (!HttpGetFile(&buffer, nullptr, Url("/status-json.xsl").c_str(), platform::kNoTarget, true, "test",
                         -1, false, nullptr, quick))
            return {};
        std::unique_ptr<char[]> owned(buffer);
        return buffer;
    }
    std::string ErrorLog() const { return ReadFile(Path("log/error.log")); }
    std::string Path(const std::string& name) const { return (m_dir.Dir() / name).string(); }

private:
    TestSandbox m_dir;
    testutil::ChildProcess m_child;
    int m_port = 0;
};

class IcecastShoutcastTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"icecast2", "curl", "ffmpeg", "ffprobe", "mpg123"})
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        if (::geteuid() == 0)
            TAVDJ_REQUIRE_TOOL(ToolOnPath("setpriv"), "setpriv");
        ASSERT_TRUE(m_icecast.Start()) << m_icecast.ErrorLog();
    }

    IcecastServer m_icecast;
};

}  // namespace

TEST_F(IcecastShoutcastTest, StreamPlaysForARealListenerAndTitlesChange)
{
    // Eight seconds of a 440 Hz tone as 128 kbit/s MP3.
    const std::string tone = m_icecast.Path("tone.mp3");
    testutil::ChildProcess encoder;
    ASSERT_TRUE(encoder.Start({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=8",
                               "-ac", "2", "-ar", "44100", "-b:a", "128k", "-f", "mp3", tone}, false));
    ASSERT_EQ(encoder.Wait(30000), 0);
    const std::string mp3 = ReadFile(tone);
    ASSERT_GT(mp3.size(), 100000u);

    GShoutCastSource source;
    ASSERT_EQ(source.Connect("127.0.0.1", m_icecast.Port(), 128, kPassword, "Station", "http://station.test",
                             "Genre", "DJ"), GShoutCastSource::kOk) << m_icecast.ErrorLog();
    ASSERT_TRUE(source.IsConnected());

    // At the stream's own pace: 16000 bytes a second in 1024-byte chunks.
    const auto started = std::chrono::steady_clock::now();
    size_t offset = 0;
    auto pump = [&](int forMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(forMs);
        while (std::chrono::steady_clock::now() < until && offset < mp3.size()) {
            const auto due = started + std::chrono::microseconds(offset * 1000000 / 16000);
            if (std::chrono::steady_clock::now() >= due) {
                const int n = static_cast<int>(std::min<size_t>(1024, mp3.size() - offset));
                ASSERT_EQ(source.Send(mp3.data() + offset, n), GShoutCastSource::kOk);
                offset += static_cast<size_t>(n);
            } else {
                platform::Sleep(5);
            }
        }
    };
    pump(500);

    const std::string heard = m_icecast.Path("heard.mp3");
    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start({"curl", "-s", "--max-time", "3", "-o", heard, m_icecast.Url("/live")}, false));
    const std::string korean = "한국어 제목 \xE2\x99\xAA Test";
    bool titled = false;
    for (int i = 0; i < 60 && listener.Wait(0) == -1; ++i) {
        pump(100);
        if (i == 10) {
            EXPECT_EQ(source.UpdateTitle(korean.c_str(), ""), GShoutCastSource::kOk);
        }
        if (i > 10 && !titled)
            titled = m_icecast.Status().find(korean) != std::string::npos;
    }
    for (int i = 0; i < 30 && !titled; ++i) {
        pump(100);
        titled = m_icecast.Status().find(korean) != std::string::npos;
    }
    EXPECT_TRUE(titled) << m_icecast.Status();

    testutil::ChildProcess probe;
    ASSERT_TRUE(probe.Start({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", heard}));
    std::string codec;
    ASSERT_TRUE(probe.ReadLine(&codec, 10000));
    EXPECT_EQ(codec, "mp3");
    EXPECT_GT(ReadFile(heard).size(), 16000u);
    testutil::ChildProcess decode;
    ASSERT_TRUE(decode.Start({"mpg123", "-q", "-t", heard}, false));
    EXPECT_EQ(decode.Wait(10000), 0);

    source.Close();
    EXPECT_FALSE(source.IsConnected());
}

TEST_F(IcecastShoutcastTest, WrongPasswordAndClosedPortGiveTheirCodes)
{
    GShoutCastSource source;
    EXPECT_EQ(source.Connect("127.0.0.1", m_icecast.Port(), 128, "wrong", "S", "", "", ""),
              GShoutCastSource::kPasswordRefused);
    EXPECT_FALSE(source.IsConnected());

    const int closed = testutil::PickPortPair();
    ASSERT_GT(closed, 0);
    EXPECT_EQ(source.Connect("127.0.0.1", closed, 128, kPassword, "S", "", "", ""),
              GShoutCastSource::kConnectFailed);
}

// Own-server mode through the real main window: a private sound server to
// capture from, the maker's address check and reachability service faked on
// loopback, real listeners (curl with the ICY de-framer, mpg123).
#include "app/CTavDJ1Dlg.h"

#include "app/COption.h"
#include "app/CSettingDlg.h"
#include "engine/stream/CDJDataMan.h"
#include "peers/SoundFixtures.h"
#include "platform/Connectivity.h"
#include "platform/SystemFolders.h"
#include "skin/GXSkinIds.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConMarquee.h"
#include "skin/controls/GXConStatic.h"

#include "support/FreePorts.h"
#include "support/LoopbackClient.h"
#include "support/MessageDlgRecorder.h"
#include "support/ProgramEnvironment.h"
#include "support/TempHome.h"
#include "support/ToneMp3.h"

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kUserAddress = "radio.example.net";
constexpr const char* kExternalAddress = "198.51.100.7";
constexpr const char* kDeviceFailedText
    = "녹음 장치를 여는데 실패하였습니다.\n녹음 장치를 사용하는 프로그램과 동시에 사용할 수 없습니다.";

template <class Done> bool RunUntil(Done done, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

int ListenOnLoopback(int port, int* pPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa { AF_INET, htons(uint16_t(port)), { htonl(INADDR_LOOPBACK) }, {} };
    socklen_t len = sizeof sa;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), len) != 0 || ::listen(fd, 4) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *pPort = ntohs(sa.sin_port);
    return fd;
}

// Reads until `end` arrived (or 5 s passed); what came.
std::string ReadUntil(int fd, const std::string& end)
{
    std::string got;
    pollfd p { fd, POLLIN, 0 };
    char c = 0;
    while (got.find(end) == std::string::npos && got.size() < 4096 && ::poll(&p, 1, 5000) > 0 && ::read(fd, &c, 1) == 1)
        got += c;
    return got;
}

// The maker's address check (every request gets the address) and
// reachability service ("ip", "ip_rpl", "test,<port>,GG", then a
// connect-back when it is to succeed).
class FakeMakerServices {
public:
    explicit FakeMakerServices(bool bConnectBack)
        : m_bConnectBack(bConnectBack)
    {
        m_http = ListenOnLoopback(0, &m_nHttpPort);
        m_reach = ListenOnLoopback(0, &m_nReachPort);
        m_thread = std::jthread([this](std::stop_token stop) { Serve(stop); });
    }
    ~FakeMakerServices()
    {
        m_thread = {};
        for (int fd : m_held)
            ::close(fd);
        ::close(m_http);
        ::close(m_reach);
    }
    std::string IPCheckHost() const { return "127.0.0.1:" + std::to_string(m_nHttpPort); }
    std::string ReachHost() const { return "127.0.0.1:" + std::to_string(m_nReachPort); }
    std::atomic<int> m_nTests { 0 };
    std::atomic<int> m_nTestedPort { 0 };
    // True: the address check's requests are taken and never answered (a
    // slow check host); they end with the services.
    std::atomic<bool> m_bHoldCheck { false };
    std::atomic<int> m_nChecksHeld { 0 };
    // True: the reachability exchange waits for the test at its two steps,
    // so that what the window shows at each can be seen for certain. Go(1)
    // lets the service answer "ip"; Go(2) lets it connect back.
    std::atomic<bool> m_bPaceReach { false };
    void Go(int step)
    {
        {
            std::lock_guard guard(m_paceLock);
            m_nStepsLet = std::max(m_nStepsLet, step);
        }
        m_paceReady.notify_all();
    }

private:
    void Serve(const std::stop_token& stop)
    {
        while (!stop.stop_requested()) {
            pollfd p[2] = { { m_http, POLLIN, 0 }, { m_reach, POLLIN, 0 } };
            if (::poll(p, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                const int fd = (p[i].revents & POLLIN) ? ::accept4(p[i].fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
                if (fd < 0)
                    continue;
                if (i == 0 && m_bHoldCheck && !ReadUntil(fd, "\r\n\r\n").empty()) {
                    m_held.push_back(fd);
                    ++m_nChecksHeld;
                    continue;
                }
                if (i == 0 && !ReadUntil(fd, "\r\n\r\n").empty()) {
                    const std::string reply = std::string("HTTP/1.0 200 OK\r\n\r\n") + kExternalAddress + "\n";
                    (void)::write(fd, reply.data(), reply.size());
                } else if (i == 1 && ReadUntil(fd, "\n") == "ip\n") {
                    ++m_nTests;
                    AwaitStep(1, stop);
                    (void)::write(fd, "ip_rpl ok\n", 10);
                    const std::string line = ReadUntil(fd, "\n");
                    m_nTestedPort = std::atoi(line.c_str() + std::min<size_t>(5, line.size()));
                    AwaitStep(2, stop);
                    if (m_bConnectBack && m_nTestedPort > 0)
                        (void)testutil::LoopbackClient().Connect(m_nTestedPort);
                }
                ::close(fd);
            }
        }
    }

    // Paced: waits until the test let this step go (or 5 s passed).
    void AwaitStep(int step, const std::stop_token& stop)
    {
        if (!m_bPaceReach)
            return;
        std::unique_lock guard(m_paceLock);
        (void)m_paceReady.wait_for(guard, stop, std::chrono::seconds(5), [&] { return m_nStepsLet >= step; });
    }

    bool m_bConnectBack;
    std::mutex m_paceLock; // guards: m_nStepsLet
    std::condition_variable_any m_paceReady;
    int m_nStepsLet = 0;
    std::vector<int> m_held; // the service thread's until it ends
    int m_http = -1;
    int m_reach = -1;
    int m_nHttpPort = 0;
    int m_nReachPort = 0;
    std::jthread m_thread;
};

// What SETTING.ini holds besides the user's server.
struct SIni {
    int reconnect = 1;
    // Written by this program; an older or hand-made file lacks it.
    bool bNationalAddress = true;
    bool bReachTestHost = true;
};

class OwnServerWindow : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : { "curl", "mpg123", "python3" })
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        m_home.Set(platform::kAssumeOnlineEnv, "1");
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        peers::UseAlsaConfig(m_dir, m_env,
            "pcm.!default " + m_pulse.MonitorPcm() + "\nctl.!default { type pulse server \"unix:" + m_dir.Path()
                + "/native\" }\n");
        // The skin, the control-ID file and the status pages as the build
        // put them beside the program; logs and the intro go to our folder.
        m_home.Set(platform::kDataFolderEnv, TAVDJ_PROGRAM_FOLDER);
        const fs::path program = m_home.Path("program");
        m_intro = (program / "intro.mp3").string();
        ASSERT_TRUE(WriteToneMp3(m_intro));
        m_nFirstPort = testutil::PickPortRun(6);
        ASSERT_NE(m_nFirstPort, 0);
    }

    // The user's external server in SETTING.ini, own-server mode chosen,
    // the maker's services on loopback; then the window.
    void CreateWindow(const FakeMakerServices& services, const SIni& ini = SIni {})
    {
        const fs::path settings = TheDJDataMan().SettingsPath();
        fs::create_directories(settings.parent_path());
        std::ofstream(settings) << "[Network]\nLocalServ=1\nAddress=" << kUserAddress
                                << (ini.bNationalAddress ? std::string("\nNationalAddress=") + kUserAddress : "")
                                << "\nPort=9123\nPasswd=userpass\nLocalAddress=old.example\n"
                                << "IPCheckHost=" << services.IPCheckHost()
                                << "\nReachTestHost=" << (ini.bReachTestHost ? services.ReachHost() : "")
                                << "\nAudience=50\nUseIntroSound=1\nIntroSound=" << m_intro
                                << "\n[Song]\nAuto=0\nMent=First Song\n[SHOUTcast]\nAIM=\n[Connect]\nReconnect="
                                << ini.reconnect << "\n[AddYP]\nHost=\n";
        TheOption().Load();
        m_pWindow = std::make_unique<CTavDJ1Dlg>();
        ASSERT_TRUE(m_pWindow->CreateMainWindow(nullptr));
        m_pWindow->SetServerFirstPort(m_nFirstPort);
    }

    void Press() { platform::PostMessage(m_pWindow->Handle(), GXMsg::kCommand, 2004, 0); }
    // The start key on air: the broadcast ends and the server with it.
    bool StopWithTheKey()
    {
        Press();
        return RunUntil([&] { return m_pWindow->BroadcastState() == 0 && m_pWindow->OwnServer() == nullptr; });
    }
    bool OnAir()
    {
        return RunUntil([&] { return m_pWindow->BroadcastState() == 1 && TheDJDataMan().IsConnected(); });
    }
    std::string Status() const { return m_pWindow->Controls().pStatus->GetText(0); }
    const GXConButton& StartButton() const { return *m_pWindow->Controls().pStartButton; }
    const DJSettings& Engine() const { return TheDJDataMan().Settings(); }
    // The window's settings dialog, told from any other dialog it holds by
    // its class (which has no meta-object of its own to search by).
    CSettingDlg* SettingsDialog() const
    {
        for (QDialog* pDialog : m_pWindow->findChildren<QDialog*>())
            if (auto* pSettings = dynamic_cast<CSettingDlg*>(pDialog))
                return pSettings;
        return nullptr;
    }
    // Opens the settings dialog as its key does and, while it is open, runs
    // act on it; a dialog that act left open is closed after it.
    void WithSettingsDialog(const std::function<void(CSettingDlg&)>& act)
    {
        bool bActed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* pDialog = SettingsDialog();
            if (bActed || !pDialog || !pDialog->isVisible())
                return;
            bActed = true;
            act(*pDialog);
            if (pDialog->isVisible())
                pDialog->done(QDialog::Rejected);
        });
        poll.start(10);
        (void)platform::SendMessage(m_pWindow->Handle(), GXMsg::kCommand, 3001, 0);
        EXPECT_TRUE(bActed);
    }
    static std::string Field(CSettingDlg& dialog, const char* id)
    {
        auto* pEdit = dialog.findChild<QLineEdit*>(id);
        return pEdit ? pEdit->text().toStdString() : "<absent>";
    }
    static void Click(CSettingDlg& dialog, const char* id)
    {
        auto* pButton = dialog.findChild<QPushButton*>(id);
        ASSERT_NE(pButton, nullptr) << id;
        QTest::mouseClick(pButton, Qt::LeftButton);
    }
    void ExpectUserServerInFile()
    {
        const std::string ini = ReadAll(TheDJDataMan().SettingsPath());
        for (const char* line : { "Address=radio.example.net", "Port=9123", "Passwd=userpass" })
            EXPECT_NE(ini.find(std::string("\n") + line), std::string::npos) << line << "\n" << ini;
    }
    void ExpectUserServerSaved()
    {
        EXPECT_EQ(Engine().m_strAddress, kUserAddress);
        ASSERT_TRUE(TheDJDataMan().SaveSettings());
        ExpectUserServerInFile();
    }

    TempHome m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    MessageDlgRecorder m_boxes;
    std::string m_intro;
    int m_nFirstPort = 0;
    std::unique_ptr<CTavDJ1Dlg> m_pWindow;
};

TEST_F(OwnServerWindow, StartsOnTheNextFreePairServesListenersAndStopGivesTheUserServerBack)
{
    FakeMakerServices services(true);
    services.m_bPaceReach = true;
    int held = 0;
    const int taken = ListenOnLoopback(m_nFirstPort, &held); // another program on the first port
    ASSERT_GE(taken, 0);
    ASSERT_NO_FATAL_FAILURE(CreateWindow(services));
    std::vector<std::string> statuses;
    QTimer sampler;
    bool bPressedDuringTest = false;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (statuses.empty() || statuses.back() != Status())
            statuses.push_back(Status());
        // The S key while the reachability test runs: ignored.
        if (!bPressedDuringTest && Status() == "외부에서 접속이 가능한지 테스트중...") {
            bPressedDuringTest = true;
            Press();
            services.Go(1);
        }
        if (Status() == "외부에서 접근 가능여부 테스트 중...")
            services.Go(2);
    });
    sampler.start(0);
    m_boxes.QueueAnswers({ kIdYes });
    Press();
    ASSERT_TRUE(OnAir()) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    sampler.stop();
    EXPECT_TRUE(bPressedDuringTest);

    const int port = m_nFirstPort + 2;
    ASSERT_EQ(m_boxes.Calls().size(), 1U) << m_boxes.Last().text;
    EXPECT_EQ(m_boxes.Calls()[0].text, "내 컴퓨터를 서버로 사용하여 방송하시겠습니까?");
    EXPECT_EQ(m_boxes.Calls()[0].caption, "서버 설정 안내");
    EXPECT_EQ(m_boxes.Calls()[0].type, 36);
    EXPECT_EQ(services.m_nTests, 1);
    EXPECT_EQ(services.m_nTestedPort, port);
    // What is shown while the program waits on the outside service, each
    // held until it was seen. The port search's own text lasts only until
    // its answer, which may be handled in the same pass over the window's
    // messages: the network-lost row below looks at it where it cannot be
    // missed.
    const std::vector<std::string> wanted { "외부에서 접속이 가능한지 테스트중...",
        "외부에서 접근 가능여부 테스트 중..." };
    auto at = statuses.begin();
    for (const std::string& text : wanted)
        EXPECT_NE(at = std::find(at, statuses.end(), text), statuses.end()) << text;
    ASSERT_NE(m_pWindow->OwnServer(), nullptr);
    EXPECT_EQ(Engine().m_strLocalAddress, kExternalAddress);
    EXPECT_EQ(Engine().m_strAddress, "localhost");
    EXPECT_EQ(Engine().m_nPort, port);
    EXPECT_EQ(Engine().m_strPasswd, m_pWindow->OwnServer()->GetPassword());
    EXPECT_NE(Engine().m_strPasswd, "tarnwick");
    EXPECT_EQ(m_pWindow->TimerPeriodMs(8), 300000);
    EXPECT_EQ(StartButton().GetImageNum(), 1);

    // The settings dialog on air shows and saves the user's server, never
    // the built-in server's secret, and leaves the broadcast on it.
    const std::string secret = m_pWindow->OwnServer()->GetPassword();
    WithSettingsDialog([&](CSettingDlg& dialog) {
        EXPECT_EQ(Field(dialog, "1028"), kUserAddress);
        EXPECT_EQ(Field(dialog, "1003"), "9123");
        EXPECT_EQ(Field(dialog, "1004"), "userpass");
        Click(dialog, "1051");
    });
    ExpectUserServerInFile();
    EXPECT_EQ(ReadAll(TheDJDataMan().SettingsPath()).find(secret), std::string::npos);
    EXPECT_EQ(Engine().m_strAddress, "localhost");
    EXPECT_EQ(Engine().m_strPasswd, secret);
    EXPECT_TRUE(TheDJDataMan().IsConnected());

    // A player hears the intro, then the live stream with its titles in
    // band; a browser gets the status page; the poll counts the listener.
    const std::string heard = m_dir / "heard.mp3";
    const std::string titles = m_dir / "titles.txt";
    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start(
        { "sh", "-c",
            "curl -s -H 'Icy-MetaData: 1' --max-time 12 http://127.0.0.1:" + std::to_string(port) + "/ | python3 "
                + testutil::SourcePath("tests/peers/icy_deframe.py") + " 8192 " + titles + " > " + heard },
        false));
    const GXConStatic& listeners = *m_pWindow->Controls().pListeners;
    EXPECT_TRUE(RunUntil([&] { return listeners.GetText(0) == "1/50"; }, 15000)) << listeners.GetText(0);
    TheDJDataMan().SendTitle("Second Song", "");
    std::string page;
    EXPECT_EQ(
        peers::Run("curl -s --max-time 5 -A 'Mozilla/5.0' http://127.0.0.1:" + std::to_string(port) + "/", &page), 0);
    EXPECT_TRUE(std::regex_search(page, std::regex("<B>1 of 50 listeners</B>"))) << page;
    EXPECT_TRUE(
        RunUntil([&] { return listener.Wait(0) != -1 || ReadAll(titles).find("Second") != std::string::npos; }));
    listener.Stop();
    const std::string intro = ReadAll(m_intro);
    const std::string audio = ReadAll(heard);
    EXPECT_EQ(audio.substr(0, intro.size()), intro);
    EXPECT_GT(audio.size(), intro.size() + 8192);
    EXPECT_NE(ReadAll(titles).find("First Song\n"), std::string::npos) << ReadAll(titles);
    EXPECT_NE(ReadAll(titles).find("Second Song\n"), std::string::npos) << ReadAll(titles);
    // The server pads the intro with zeros to a whole slot: more than
    // mpg123 resyncs over by default.
    std::string decoded;
    EXPECT_EQ(peers::Run("mpg123 --resync-limit -1 -t -v '" + heard + "' 2>&1 | tr '\\r' '\\n'", &decoded), 0);
    std::smatch played;
    ASSERT_TRUE(std::regex_search(decoded, played, std::regex("\\[(\\d+):(\\d+)\\] Decoding of .* finished")))
        << decoded;
    EXPECT_GE(std::stoi(played[1]) * 60 + std::stoi(played[2]), 2) << "intro and live stream";
    EXPECT_EQ(decoded.find("error"), std::string::npos) << decoded;

    ASSERT_TRUE(StopWithTheKey());
    EXPECT_EQ(m_pWindow->TimerPeriodMs(8), 0);
    ExpectUserServerSaved();
    std::string log;
    for (const auto& entry : fs::directory_iterator(m_home.Path("program") + "/log"))
        if (entry.path().filename().string().rfind("DJServer_", 0) == 0)
            log = ReadAll(entry.path());
    EXPECT_TRUE(std::regex_search(log, std::regex("^\\d{6}\\t.+\\n"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("\\n\\d{6}\\t\\n$"))) << log;
    // The server's log names the port but never the secret.
    EXPECT_NE(log.find(" port:" + std::to_string(port) + " pass:* "), std::string::npos) << log;
    EXPECT_EQ(log.find(secret), std::string::npos) << log;
    ::close(taken);
}

TEST_F(OwnServerWindow, UnreachableAsksFirstAndAnUnchangedAddressIsNotTestedAgainAndACancelPostsNothing)
{
    FakeMakerServices services(false);
    ASSERT_NO_FATAL_FAILURE(CreateWindow(services));
    m_boxes.QueueAnswers({ kIdYes, kIdNo });
    Press();
    ASSERT_TRUE(RunUntil([&] { return m_boxes.Calls().size() == 2; }));
    EXPECT_EQ(m_boxes.Last().text.rfind("방화벽, 혹은 공유기", 0), 0U) << m_boxes.Last().text;
    EXPECT_EQ(m_boxes.Last().type, 36);
    EXPECT_EQ(m_pWindow->OwnServer(), nullptr);
    EXPECT_TRUE(StartButton().IsEnabled());

    // Start, and the start key again before the worker could answer: the
    // start is cancelled, posts nothing and arms no network check.
    m_boxes.QueueAnswers({ kIdYes });
    Press();
    Press();
    QCoreApplication::processEvents();
    EXPECT_FALSE(RunUntil([&] { return m_pWindow->OwnServer() != nullptr || TheDJDataMan().IsConnected(); }, 1500));
    EXPECT_EQ(services.m_nTests, 1);
    EXPECT_EQ(m_boxes.Calls().size(), 3U);
    EXPECT_EQ(StartButton().GetImageNum(), 0);
    EXPECT_EQ(StartButton().GetTooltip(), "방송하기(S)");
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(m_pWindow->TimerPeriodMs(8), 0);
    EXPECT_EQ(Engine().m_strAddress, kUserAddress);
}

// A check host that is slow to answer: the status says that the outside
// address is being found, and the start key drops the check and the text.
TEST_F(OwnServerWindow, WhileTheAddressCheckRunsTheStatusSaysSoAndTheStartKeyDropsIt)
{
    FakeMakerServices services(true);
    services.m_bHoldCheck = true;
    ASSERT_NO_FATAL_FAILURE(CreateWindow(services));
    m_boxes.QueueAnswers({ kIdYes });
    Press();
    ASSERT_TRUE(RunUntil([&] { return services.m_nChecksHeld == 1; }));
    EXPECT_EQ(Status(), "외부 주소 확인 중...");
    Press();
    ASSERT_TRUE(RunUntil([&] { return Status().empty(); }, 2000)) << Status();
    EXPECT_FALSE(RunUntil([&] { return m_pWindow->OwnServer() != nullptr || TheDJDataMan().IsConnected(); }, 500));
    EXPECT_EQ(m_boxes.Calls().size(), 1U);
    EXPECT_EQ(services.m_nTests, 0);
    EXPECT_EQ(StartButton().GetTooltip(), "방송하기(S)");
}

// A SETTING.ini without NationalAddress and without a test service: the
// dialog shows the server in force and keeps it, and tells that the test
// was skipped rather than failed.
TEST_F(OwnServerWindow, SettingsDialogShowsTheServerInForceAndASkippedTest)
{
    FakeMakerServices services(true);
    ASSERT_NO_FATAL_FAILURE(CreateWindow(services, { .bNationalAddress = false, .bReachTestHost = false }));
    WithSettingsDialog([&](CSettingDlg& dialog) {
        EXPECT_EQ(Field(dialog, "1028"), kUserAddress);
        const size_t before = m_boxes.Calls().size();
        Click(dialog, "1066");
        ASSERT_EQ(m_boxes.Calls().size(), before + 1);
        EXPECT_EQ(m_boxes.Last().text, "외부 접속 테스트 서버가 설정되지 않아 테스트를 건너뜁니다.");
        EXPECT_EQ(m_boxes.Last().caption, "TavDJ");
        Click(dialog, "1051");
    });
    EXPECT_EQ(services.m_nTests, 0);
    ExpectUserServerInFile();
    EXPECT_EQ(TheOption().m_strNationalAddress, kUserAddress);
}

// A connect to the own server that fails for good (here the recording
// device does not open) ends own-server mode as a drop does: no server
// left, the user's server back, in the dialog and in the file.
TEST_F(OwnServerWindow, AFailedConnectStopsTheServerAndGivesTheUserServerBack)
{
    peers::UseAlsaConfig(m_dir, m_env,
        "pcm.!default { type hw card 31 device 0 }\nctl.!default { type pulse server \"unix:" + m_dir.Path()
            + "/native\" }\n");
    FakeMakerServices services(true);
    ASSERT_NO_FATAL_FAILURE(CreateWindow(services));
    m_boxes.SetAnswer(kIdYes);
    Press();
    const auto told = [&] {
        for (const auto& call : m_boxes.Calls())
            if (call.text == kDeviceFailedText)
                return true;
        return false;
    };
    ASSERT_TRUE(RunUntil(told)) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    EXPECT_EQ(services.m_nTests, 1);
    EXPECT_EQ(m_pWindow->BroadcastState(), 0);
    EXPECT_EQ(m_pWindow->OwnServer(), nullptr);
    EXPECT_EQ(m_pWindow->TimerPeriodMs(8), 0);
    EXPECT_EQ(Engine().m_strAddress, kUserAddress);
    WithSettingsDialog([&](CSettingDlg& dialog) {
        EXPECT_EQ(Field(dialog, "1003"), "9123");
        EXPECT_EQ(Field(dialog, "1004"), "userpass");
        Click(dialog, "1051");
    });
    ExpectUserServerInFile();
    m_pWindow.reset();
    ExpectUserServerSaved();
}

// How a broadcast on the own server ends without the stop command.
struct SDropCase {
    const char* name;
    bool bNetworkLost; // else another source takes the server over
    int reconnect;
    bool bServerKept;
    bool bCheckArmed; // the network check will start the server again
};

class OwnServerDrop : public OwnServerWindow, public testing::WithParamInterface<SDropCase> { };

TEST_P(OwnServerDrop, LeavesTheServerOnlyForAReconnect)
{
    const SDropCase& c = GetParam();
    FakeMakerServices services(true);
    ASSERT_NO_FATAL_FAILURE(CreateWindow(services, { .reconnect = c.reconnect }));
    m_boxes.SetAnswer(kIdYes);
    Press();
    ASSERT_TRUE(OnAir());
    const CDJServer* pServer = m_pWindow->OwnServer();
    testutil::LoopbackClient source;
    if (c.bNetworkLost) {
        m_home.Set(platform::kAssumeOnlineEnv, "0");
    } else {
        ASSERT_TRUE(source.Connect(pServer->GetPort() + 1) && source.Send(pServer->GetPassword() + "\r\n"));
        ASSERT_TRUE(source.ReadUntil("OK2", 5000) && source.Send("icy-name:other\r\n\r\n"));
        ASSERT_TRUE(RunUntil([&] { return m_pWindow->BroadcastState() != 1; }));
    }
    platform::PostMessage(m_pWindow->Handle(), platform::kTimerMessage, 8, 0); // the network check
    RunUntil([] { return false; }, 300);
    EXPECT_EQ(m_pWindow->OwnServer() == pServer, c.bServerKept);
    EXPECT_EQ(m_pWindow->TimerPeriodMs(8), c.bCheckArmed ? 300000 : 0);
    if (c.bServerKept) {
        EXPECT_EQ(m_pWindow->BroadcastState(), 2);
        EXPECT_EQ(Engine().m_strAddress, "localhost");
        m_pWindow.reset(); // the session ends while the server runs
    } else {
        EXPECT_EQ(m_pWindow->BroadcastState(), 0);
        EXPECT_EQ(m_boxes.Last().text.rfind("인터넷이 연결되지 않아 방송이 중단", 0), 0U);
    }
    if (c.bNetworkLost) {
        // Back on line: the next check starts the server again, and the
        // status says so until the port search answers, which is handled
        // only by a later pass over the window's messages.
        m_home.Set(platform::kAssumeOnlineEnv, "1");
        (void)platform::SendMessage(m_pWindow->Handle(), platform::kTimerMessage, 8, 0);
        EXPECT_EQ(Status(), "서버 구동 중...");
        ASSERT_TRUE(OnAir());
        EXPECT_EQ(Engine().m_strAddress, "localhost");
        ASSERT_TRUE(StopWithTheKey());
    }
    ExpectUserServerSaved();
}

INSTANTIATE_TEST_SUITE_P(OwnServerWindow, OwnServerDrop,
    testing::Values(SDropCase { "TakenOverWithReconnect", false, 1, true, true },
        SDropCase { "TakenOverWithoutReconnect", false, 0, false, false },
        SDropCase { "NetworkLost", true, 1, false, true }),
    [](const testing::TestParamInfo<SDropCase>& testInfo) { return std::string(testInfo.param.name); });

} // namespace

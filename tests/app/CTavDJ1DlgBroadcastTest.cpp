// The main window's broadcast control through the real window and its
// default skin: capture from a tone through a private PulseAudio, a scripted
// sound card as the mixer, and a real Icecast 2 or a fake SHOUTcast server
// and directory on loopback. Most timers are driven by sending their ticks;
// the reconnect against Icecast runs in real time.
#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CTavDJ1Dlg.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/GShoutCastSource.h"
#include "engine/stream/GShoutCastYP.h"
#include "foundation/HttpGetFile.h"
#include "skin/GXSkinIds.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConMarquee.h"
#include "skin/controls/GXConStatic.h"

#include "fakes/FakeDirectory.h"
#include "fakes/FakeShoutcastServer.h"
#include "peers/IcecastServer.h"
#include "peers/SoundFixtures.h"
#include "support/EditSettings.h"
#include "support/FreePorts.h"
#include "support/MessageDlgRecorder.h"
#include "support/ProgramEnvironment.h"
#include "support/TcpRelay.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr unsigned kStart = 3000;
constexpr unsigned kStartButton = 2004;
constexpr unsigned kSendTitle = 3019;
constexpr uint32_t kTimerReconnect = 3;
constexpr uint32_t kTimerStatusPoll = 4;
constexpr uint32_t kTimerStatusStart = 5;
constexpr const char* kFailedCaption = "TavDJ - 방송서버 접속 실패";
constexpr const char* kRetryNotice = "\n\n10초 후 서버 접속을 다시 시도합니다.";
constexpr const char* kPasswordText = "음악방송 서버 암호가 틀렸습니다.\n암호를 다시 입력하십시오.";
constexpr const char* kRefusedText
    = "서버 접속에 실패하였습니다.\n - 서버 주소와 포트, 암호가 바르게 설정되었는지 확인하십시오.";
constexpr const char* kMountText
    = "방송 서버의 마운트를 다른 방송자가 이미 사용하고 있습니다.\n - 설정에서 다른 마운트를 "
      "입력하거나, 그 방송이 끝난 뒤 다시 시도하십시오.";
constexpr const char* kDeviceText
    = "녹음 장치를 여는데 실패하였습니다.\n녹음 장치를 사용하는 프로그램과 동시에 사용할 수 없습니다.";
constexpr const char* kDroppedText
    = "인터넷이 연결되지 않아 방송이 중단 되었습니다. \n\n인터넷 연결상태 확인 해 주세요.";
constexpr const char* kDroppedLine = "\t방송이 중단 되었습니다. \n";
constexpr int kPreset320 = 0;
constexpr const char* kStatusPage = "<html><body>Stream is up at 128 kbps with <B>3 of 50 listeners (3 unique)</B>"
                                    "</body></html>";

template <class Done> bool ProcessEventsUntil(Done done, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void Send(const CTavDJ1Dlg& window, platform::MessageId msg, platform::WParam wParam, platform::LParam lParam = 0)
{
    (void)platform::SendMessage(window.Handle(), msg, wParam, lParam);
}
void Command(const CTavDJ1Dlg& window, unsigned nId)
{
    Send(window, GXMsg::kCommand, nId);
}
void Tick(const CTavDJ1Dlg& window, uint32_t nTimer)
{
    Send(window, platform::kTimerMessage, nTimer);
}

std::string ClientLog(const TempHome& home)
{
    std::string all;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(home.Path("program") + "/log", missing)) {
        if (entry.path().filename().string().rfind("DJClient_", 0) != 0)
            continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        all += text.str();
    }
    return all;
}

std::string Text(const GXConBase* pControl)
{
    return pControl ? pControl->GetText(0) : "<absent>";
}

// How a test's capture device behaves.
enum class Capture { Tone, Broken };

// The window as the program makes it, with the default skin, a tone as its
// recording device and the scripted card as its mixer.
class BroadcastWindow : public testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartWindow(Capture::Tone)); }

    void StartWindow(Capture capture)
    {
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        const std::string tone = m_dir / "tone.raw";
        ASSERT_TRUE(peers::WriteRaw(tone, peers::StereoTone(44100, 1000.0, 8000.0, 20 * 44100)));
        const std::string pcm = capture == Capture::Tone ? peers::ToneDevice(tone, m_pulse.MonitorPcm())
                                                         : std::string("{ type hw card 31 device 0 }");
        peers::UseAlsaConfig(m_dir, m_env,
            "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\nctl.!default { type tavdjfake }\n"
            "pcm.!default "
                + pcm + "\n");
        m_home.Set("TAVDJ_ASSUME_ONLINE", "1");
        testutil::InstallDefaultSkin(m_home.Path("program"));

        m_pWindow = std::make_unique<CTavDJ1Dlg>();
        ASSERT_TRUE(m_pWindow->CreateMainWindow(nullptr));
        TheOption().m_nLocalServ = 0;
        EditSettings(TheDJDataMan(), [&](DJSettings& s) {
            s.m_strAddress = "127.0.0.1";
            s.m_strAIM.clear();
            s.m_nAuto = 0;
            s.m_nReconnect = 1;
            s.m_nEnable = 0;
            s.m_strPath = m_dir / "recordings";
            s.m_nAddYP = 0;
            s.m_strIPCheckHost.clear();
        });
        fs::create_directories(m_dir / "recordings");
    }

    void TearDown() override
    {
        m_pWindow.reset();
        TheDJDataMan().Shutdown();
    }

    // Icecast makes its folder in the private tmp/; run as root, it runs as
    // nobody, who must reach that folder.
    void StartIcecast(testutil::IcecastServer& icecast)
    {
        for (const char* sub : { "", "tmp" })
            fs::permissions(m_home.Path(sub), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
        ASSERT_TRUE(icecast.Start()) << icecast.ErrorLog();
    }

    void UseServer(int nPort, const std::string& password = "hackme")
    {
        EditSettings(TheDJDataMan(), [&](DJSettings& s) {
            s.m_nPort = nPort;
            s.m_strPasswd = password;
        });
    }

    // The login a start or a reconnect began has ended and the window has
    // taken its result.
    bool LoginEnded(int timeoutMs = 20000)
    {
        return ProcessEventsUntil([&] { return Window().BroadcastState() != CTavDJ1Dlg::kStateConnecting; }, timeoutMs);
    }
    // The start command, up to the end of its login.
    void Start()
    {
        Command(Window(), kStart);
        ASSERT_TRUE(LoginEnded());
    }

    CTavDJ1Dlg& Window() { return *m_pWindow; }
    const SMainControls& Controls() { return m_pWindow->Controls(); }
    std::string Status() { return Text(Controls().pStatus); }
    std::string Listeners() { return Text(Controls().pListeners); }

    TempHome m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    MessageDlgRecorder m_boxes;
    std::unique_ptr<CTavDJ1Dlg> m_pWindow;
};

// The whole road with a real server: on air, heard by a real listener, the
// typed title on the server, the poll that finds no SHOUTcast page but
// Icecast's own status on the same port, the server dying and coming back,
// the recording going on, the stop.
TEST_F(BroadcastWindow, IcecastBroadcastSurvivesTheServerGoingAwayAndComingBack)
{
    for (const char* tool : { "icecast2", "curl", "mpg123" })
        TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
    testutil::IcecastServer icecast;
    ASSERT_NO_FATAL_FAILURE(StartIcecast(icecast));
    FakeDirectory directory;
    // Each connection registers once its status is read.
    for (int i = 0; i < 4; ++i)
        directory.Then("HTTP/1.0 200 OK\r\nicy-id: 42\r\nicy-tchfrq: 5\r\n\r\n");
    ASSERT_TRUE(directory.Start());
    UseServer(icecast.Port(), testutil::IcecastServer::kPassword);
    EditSettings(TheDJDataMan(), [&](DJSettings& s) {
        s.m_nEnable = 1;
        s.m_nAddYP = 1;
        s.m_strYPHost = "127.0.0.1";
        s.m_nYPPort = directory.Port();
    });
    const std::string title = "밤의 음악 편지";
    Window().TitleEdit()->setText(QString::fromStdString(title));

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송정지(S)");
    EXPECT_EQ(Status(), title);
    EXPECT_EQ(Listeners(), "0/50");
    EXPECT_TRUE(ProcessEventsUntil([&] { return icecast.Status().find(title) != std::string::npos; }))
        << icecast.Status();

    // A real listener decodes what it hears.
    EXPECT_TRUE(ProcessEventsUntil([&] { return TheDJDataMan().GetBytesSent() > 0; }));
    const std::string heard = m_dir / "heard.mp3";
    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start({ "curl", "-s", "--max-time", "15", "-o", heard, icecast.Url("/live") }, false));
    EXPECT_TRUE(ProcessEventsUntil(
        [&] {
            std::error_code missing;
            return fs::file_size(heard, missing) >= 48000 && !missing;
        },
        12000));

    // Icecast has no SHOUTcast status page; its own status on the same port
    // counts the listener, and the directory registration starts as after
    // any status that is read.
    Tick(Window(), kTimerStatusStart);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusPoll), 5000);
    EXPECT_TRUE(ProcessEventsUntil([&] { return Listeners().rfind("1/", 0) == 0; })) << Listeners();
    EXPECT_EQ(TheDJDataMan().IsYPStarted(), 1);
    EXPECT_TRUE(directory.WaitForRequests(1));
    listener.Stop();
    std::string errors;
    EXPECT_EQ(peers::Run("mpg123 -q -w '" + heard + ".wav' '" + heard + "' 2>&1", &errors), 0);
    EXPECT_EQ(errors, "");

    // The server dies: the watchdog counts down and reconnects once it is
    // back, and the recording goes on in the same file meanwhile.
    ASSERT_TRUE(TheDJDataMan().IsRecording());
    const std::string firstRecording = TheDJDataMan().GetRecordingPath();
    icecast.Stop();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Window().BroadcastState() == 2; }));
    const auto dropped = std::chrono::steady_clock::now();
    EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송 취소(S)");
    ASSERT_TRUE(icecast.Restart()) << icecast.ErrorLog();
    std::set<std::string> shown;
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            shown.insert(Status());
            return Window().BroadcastState() == 1;
        },
        25000));
    const auto waited
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - dropped);
    EXPECT_GE(waited.count(), 10000);
    EXPECT_LE(waited.count(), 16000);
    for (const char* text : { "방송 재시도하기 : 10초", "방송 재시도하기 : 5초", "방송 재시도하기 : 0초" })
        EXPECT_EQ(shown.count(text), 1U) << text;
    ASSERT_TRUE(TheDJDataMan().IsRecording());
    EXPECT_EQ(TheDJDataMan().GetRecordingPath(), firstRecording);
    const auto before = fs::file_size(firstRecording);
    EXPECT_TRUE(ProcessEventsUntil([&] { return fs::file_size(firstRecording) > before + 16000; }));

    Command(Window(), kStartButton);
    EXPECT_EQ(Window().BroadcastState(), 0);
    EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송하기(S)");
    EXPECT_FALSE(TheDJDataMan().IsRecording());
    EXPECT_TRUE(ProcessEventsUntil([&] { return icecast.Status().find("\"source\"") == std::string::npos; }));
    const std::string log = ClientLog(m_home);
    for (const char* line :
        { "서버 접속 성공 : 서버=127.0.0.1", "\t방송이 중단 되었습니다. \n", "\t서버 접속 끊기\n", "\tYP add 성공\n" })
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("YP add 실패"), std::string::npos) << log;
}

// A server that takes the login and then stops reading, without closing:
// the drop is seen once the stall limit has passed, and the window takes
// the watchdog's path. With reconnection on: the countdown, a new login
// once the server reads again, the recording going on in the same file;
// without: idle, and the presenter is told.
TEST_F(BroadcastWindow, AServerThatStopsReadingIsADroppedConnection)
{
    const struct {
        int nReconnect;
        int nState;
    } cases[] = { { 1, 2 }, { 0, 0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nReconnect);
        FakeShoutcastServer server;
        server.readStream = false;
        server.smallSourceWindow = true;
        ASSERT_TRUE(server.Start());
        UseServer(server.Port());
        EditSettings(TheDJDataMan(), [&](DJSettings& s) {
            s.m_nReconnect = c.nReconnect;
            s.m_nFormatN = kPreset320; // 40 kB a second: the buffers fill in about two
            s.m_nEnable = 1;
        });
        const size_t boxes = m_boxes.Calls().size();
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
        const std::string recording = TheDJDataMan().GetRecordingPath();
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Window().BroadcastState() != 1; }, 40000));
        const auto waited
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        EXPECT_GE(waited.count(), GShoutCastSource::kStallLimitMs);
        EXPECT_LE(waited.count(), GShoutCastSource::kStallLimitMs + 15000);
        EXPECT_EQ(Window().BroadcastState(), c.nState);
        EXPECT_NE(ClientLog(m_home).find(kDroppedLine), std::string::npos);
        if (!c.nReconnect) {
            ASSERT_EQ(m_boxes.Calls().size(), boxes + 1);
            EXPECT_EQ(m_boxes.Last().text, kDroppedText);
            EXPECT_FALSE(TheDJDataMan().IsRecording());
            continue;
        }
        EXPECT_EQ(m_boxes.Calls().size(), boxes);
        EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송 취소(S)");
        EXPECT_TRUE(TheDJDataMan().IsRecording());
        server.readStream = true;
        for (int n = 10; n >= 0; --n) {
            Tick(Window(), kTimerReconnect);
            EXPECT_EQ(Status(), "방송 재시도하기 : " + std::to_string(n) + "초");
        }
        Tick(Window(), kTimerReconnect);
        EXPECT_TRUE(LoginEnded());
        EXPECT_EQ(Window().BroadcastState(), 1);
        EXPECT_EQ(server.SourceConnections(), 2);
        EXPECT_EQ(TheDJDataMan().GetRecordingPath(), recording);
        Command(Window(), kStartButton);
        EXPECT_EQ(Window().BroadcastState(), 0);
    }
}

// The road through a path that dies without closing, a server that hangs
// and a login closed without a reply, with a real server behind a relay of
// the test's own and a real listener. Each time the window counts down
// instead of showing on air, a listener hears the station again within a
// minute without the presenter doing anything, and one recording holds
// everything captured from the start to the stop.
TEST_F(BroadcastWindow, IcecastBroadcastRidesOutADeadPathAHungServerAndARefusedLogin)
{
    using Clock = std::chrono::steady_clock;
    for (const char* tool : { "icecast2", "curl", "mpg123" })
        TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
    testutil::IcecastServer icecast;
    ASSERT_NO_FATAL_FAILURE(StartIcecast(icecast));
    // Whatever fails, the server is not left stopped for its own teardown.
    const std::unique_ptr<void, std::function<void(void*)>> resume(&icecast, [&](void*) {
        if (icecast.Pid() > 0)
            ::kill(icecast.Pid(), SIGCONT);
    });
    testutil::TcpRelay relay;
    ASSERT_TRUE(relay.Start(icecast.Port()));
    UseServer(relay.Port(), testutil::IcecastServer::kPassword);
    EditSettings(TheDJDataMan(), [&](DJSettings& s) {
        s.m_nEnable = 1;
        s.m_nFormatN = kPreset320; // the buffers on the way fill in seconds
    });

    int nListeners = 0;
    // A listener who tunes in now: 16 kB of the stream within the time
    // left, and they decode.
    const auto hears = [&](Clock::time_point deadline) {
        const std::string file = m_dir / ("heard" + std::to_string(++nListeners) + ".mp3");
        testutil::ChildProcess listener;
        if (!listener.Start({ "curl", "-s", "--max-time", "15", "-o", file, icecast.Url("/live") }, false))
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const bool heard = ProcessEventsUntil(
            [&] {
                std::error_code missing;
                return fs::file_size(file, missing) >= 16000 && !missing;
            },
            int(std::min<long long>(left.count(), 12000)));
        listener.Stop();
        return heard && peers::Run("mpg123 -q -t '" + file + "' 2>&1") == 0;
    };
    // On air again and heard by the deadline, the presenter doing nothing;
    // a login the server drops again at once is only another countdown.
    const auto heardAgainBy = [&](Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (ProcessEventsUntil([&] { return Window().BroadcastState() == 1; }, int(left.count()))
                && hears(deadline))
                return true;
        }
        return false;
    };
    // Off air within the time given, showing the countdown and never on air
    // (a login that is still running counts as neither).
    const auto countsDown = [&](int timeoutMs) {
        if (!ProcessEventsUntil(
                [&] {
                    const int state = Window().BroadcastState();
                    return state != 1 && state != CTavDJ1Dlg::kStateConnecting;
                },
                timeoutMs))
            return false;
        bool shown = false;
        EXPECT_TRUE(ProcessEventsUntil(
            [&] {
                shown = shown || Status().rfind("방송 재시도하기 : ", 0) == 0;
                return Window().BroadcastState() != 2 || shown;
            },
            15000));
        EXPECT_EQ(Window().BroadcastState(), 2);
        EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송 취소(S)");
        return shown;
    };
    const auto failedLogins = [&] {
        const std::string log = ClientLog(m_home);
        size_t count = 0;
        for (size_t at = log.find("서버 접속 실패(-2) : 접속 에러"); at != std::string::npos;
             at = log.find("서버 접속 실패(-2) : 접속 에러", at + 1))
            ++count;
        return count;
    };

    const auto started = Clock::now();
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    ASSERT_TRUE(hears(Clock::now() + std::chrono::seconds(15)));
    const std::string recording = TheDJDataMan().GetRecordingPath();

    // The path dies: no byte moves on the connection, nothing closes it.
    relay.FreezeCurrent();
    auto broke = Clock::now();
    EXPECT_TRUE(countsDown(40000));
    EXPECT_TRUE(heardAgainBy(broke + std::chrono::seconds(60)));

    // The server hangs long enough for a login to find it hung too: that
    // attempt ends and the countdown runs again; then it goes on.
    ASSERT_EQ(::kill(icecast.Pid(), SIGSTOP), 0);
    EXPECT_TRUE(countsDown(60000));
    const size_t failedBefore = failedLogins();
    EXPECT_TRUE(ProcessEventsUntil([&] { return failedLogins() > failedBefore; }, 40000));
    EXPECT_TRUE(countsDown(1000));
    ASSERT_EQ(::kill(icecast.Pid(), SIGCONT), 0);
    broke = Clock::now();
    EXPECT_TRUE(heardAgainBy(broke + std::chrono::seconds(60)));

    // The server goes away and refuses the next login with a close, no
    // reply: a connection failure, retried, not a wrong password.
    relay.SetNewLogins(testutil::TcpRelay::NewLogins::CloseWithoutReply);
    relay.CloseCurrent();
    broke = Clock::now();
    EXPECT_TRUE(countsDown(5000));
    EXPECT_TRUE(ProcessEventsUntil([&] { return relay.RefusedLogins() > 0; }, 20000));
    EXPECT_TRUE(countsDown(1000));
    EXPECT_EQ(m_boxes.Last().text, kRefusedText + std::string(kRetryNotice));
    relay.SetNewLogins(testutil::TcpRelay::NewLogins::Pass);
    EXPECT_TRUE(heardAgainBy(broke + std::chrono::seconds(60)));

    ASSERT_EQ(TheDJDataMan().GetRecordingPath(), recording);
    Command(Window(), kStartButton);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();
    EXPECT_EQ(Window().BroadcastState(), 0);
    EXPECT_FALSE(TheDJDataMan().IsRecording());
    const std::string log = ClientLog(m_home);
    EXPECT_EQ(log.find("암호 불일치"), std::string::npos) << log;

    // The file decodes end to end and holds what was captured all along:
    // the encoder ran on through every drop and login, so only the device's
    // opening at the start and its closing at the stop are missing.
    std::string errors;
    EXPECT_EQ(peers::Run("mpg123 -q -t '" + recording + "' 2>&1", &errors), 0);
    EXPECT_EQ(errors, "");
    std::string bytes;
    ASSERT_EQ(peers::Run("mpg123 -q -s '" + recording + "' 2>/dev/null | wc -c", &bytes), 0);
    const double decoded = std::stod(bytes) / 4 / 44100;
    EXPECT_GE(decoded, double(seconds) - 3) << seconds << " s on the clock";
    EXPECT_LE(decoded, double(seconds) + 2) << seconds << " s on the clock";
}

// A skin reload on air binds the new skin's controls to the running
// broadcast and starts the listener poll again.
TEST_F(BroadcastWindow, ReloadOnAirKeepsTheBroadcastAndBindsTheNewSkin)
{
    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    UseServer(server.Port());
    Window().TitleEdit()->setText("새 스킨에서도");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    Tick(Window(), kTimerStatusStart);
    const GXConBase* pOldStart = Controls().pStartButton;

    Command(Window(), GXCommandId::kReloadSkin);
    ASSERT_NE(Controls().pStartButton, nullptr);
    EXPECT_NE(Controls().pStartButton, pOldStart);
    EXPECT_EQ(Window().BroadcastState(), 1);
    EXPECT_EQ(TheDJDataMan().IsConnected(), 1);
    EXPECT_EQ(server.SourceConnections(), 1);
    EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송정지(S)");
    EXPECT_EQ(Status(), "새 스킨에서도");
    EXPECT_TRUE(Controls().pCopyAddress->IsEnabled());
    EXPECT_TRUE(Controls().pRecord->IsEnabled());
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusStart), 3000);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusPoll), 0);
}

// Going on air puts one title on the server when the title field is empty:
// the station name, which the login announced, and which the window then
// shows and keeps; a typed title follows it. A title sent once those have
// arrived shows that nothing else was on the way (a title still waiting
// would give way to it, but would have been kept).
TEST_F(BroadcastWindow, GoingOnAirWithAnEmptyTitleFieldSendsTheStationNameOnly)
{
    const std::string station = "우리 방송";
    const struct {
        const char* typed;
        std::vector<std::string> songs;
    } rows[] = {
        { "", { station } },
        { "오늘의 노래", { station, "오늘의 노래" } },
    };
    EditSettings(TheDJDataMan(), [&](DJSettings& s) { s.m_strName = station; });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        FakeShoutcastServer server;
        ASSERT_TRUE(server.Start());
        UseServer(server.Port());
        const auto songs = [&] {
            std::vector<std::string> sent;
            for (const std::string& request : server.TitleRequests()) {
                if (request.rfind("GET /admin.cgi?", 0) != 0)
                    continue;
                const QUrlQuery query(QString::fromStdString(request.substr(15, request.find(' ', 4) - 15)));
                sent.push_back(query.queryItemValue("song", QUrl::FullyDecoded).toStdString());
            }
            return sent;
        };
        Window().TitleEdit()->setText(QString::fromUtf8(row.typed));
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
        EXPECT_EQ(Status(), row.songs.back());
        EXPECT_EQ(TheDJDataMan().GetKeptTitle(), row.songs.back());
        EXPECT_TRUE(ProcessEventsUntil([&] { return songs().size() >= row.songs.size(); }));
        Window().TitleEdit()->setText(QStringLiteral("끝"));
        Command(Window(), kSendTitle);
        std::vector<std::string> expected = row.songs;
        expected.push_back("끝");
        EXPECT_TRUE(ProcessEventsUntil([&] { return songs().size() >= expected.size(); }));
        EXPECT_EQ(songs(), expected);
        Command(Window(), kStartButton);
        ASSERT_EQ(Window().BroadcastState(), 0);
    }
}

// A start against a server that takes the connection and never answers: the
// window shows that it connects while capture goes on; the start button or
// a close ends the login at once (a close without a question), the server
// sees the connection closed, and the login's late end changes nothing.
TEST_F(BroadcastWindow, ALoginThatHangsShowsConnectingAndAPressOrACloseCancelsIt)
{
    enum class End { Press, Close };
    for (const End end : { End::Press, End::Close }) {
        SCOPED_TRACE(end == End::Press ? "pressed" : "closed");
        FakeShoutcastServer server;
        server.mode = FakeShoutcastServer::Login::Silent;
        ASSERT_TRUE(server.Start());
        UseServer(server.Port());
        const size_t boxes = m_boxes.Calls().size();

        Command(Window(), kStart);
        EXPECT_EQ(Window().BroadcastState(), CTavDJ1Dlg::kStateConnecting);
        EXPECT_EQ(Controls().pStartButton->GetImageNum(), 1);
        EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송 취소(S)");
        EXPECT_EQ(Status(), "서버 접속 중...");
        EXPECT_EQ(Listeners(), "0/0");
        EXPECT_EQ(Window().TimerPeriodMs(CTavDJ1Dlg::kTimerWatchdog), 0);
        EXPECT_FALSE(Controls().pRecord->IsEnabled());
        // The password line has arrived; the window goes on meanwhile.
        ASSERT_TRUE(ProcessEventsUntil([&] { return server.SourceBytes().find('\n') != std::string::npos; }));
        EXPECT_TRUE(TheDJDataMan().IsPumpRunning());
        EXPECT_TRUE(ProcessEventsUntil([&] { return TheDJDataMan().GetPeakLevel() > 0; }))
            << "no level during the login";
        EXPECT_EQ(Window().TimerPeriodMs(CTavDJ1Dlg::kTimerLevelAnimation), 50);
        EXPECT_EQ(Window().BroadcastState(), CTavDJ1Dlg::kStateConnecting);

        if (end == End::Press)
            Command(Window(), kStartButton);
        else
            Window().close();
        EXPECT_FALSE(TheDJDataMan().IsConnecting());
        EXPECT_TRUE(server.WaitFor([](FakeShoutcastServer& s) { return s.SourceConnectionsEnded() == 1; }));
        // The login's message was posted before it ended: it is handled now.
        const int state = Window().BroadcastState();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(Window().BroadcastState(), state);
        EXPECT_EQ(m_boxes.Calls().size(), boxes) << m_boxes.Last().text;
        EXPECT_EQ(TheDJDataMan().IsConnected(), 0);
        EXPECT_EQ(Window().TimerPeriodMs(kTimerReconnect), 0);
        const std::string log = ClientLog(m_home);
        EXPECT_EQ(log.find("서버 접속 성공"), std::string::npos) << log;
        EXPECT_EQ(log.find("서버 접속 실패"), std::string::npos) << log;
        if (end == End::Press) {
            EXPECT_EQ(state, CTavDJ1Dlg::kStateIdle);
            EXPECT_EQ(Controls().pStartButton->GetTooltip(), "방송하기(S)");
            EXPECT_TRUE(TheDJDataMan().IsMonitoring());
        } else {
            EXPECT_FALSE(Window().isVisible());
        }
    }
}

// A start that fails: what the presenter is told and where the window ends.
enum class Refusal { Nobody, Password, MountTaken };
struct SFailureCase {
    const char* name;
    Capture capture;
    Refusal refusal; // Nobody: nothing listens
    int nReconnect;
    int nState;
    const char* text;
    bool bThreaded;
};

class StartFailure : public BroadcastWindow, public testing::WithParamInterface<SFailureCase> {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartWindow(GetParam().capture)); }
};

TEST_P(StartFailure, TellsWhyAndEndsInItsState)
{
    const SFailureCase& c = GetParam();
    FakeShoutcastServer server;
    server.loginReply = "invalid password\r\n";
    server.icecastSources = c.refusal == Refusal::MountTaken;
    server.mountTaken = server.icecastSources;
    if (c.refusal != Refusal::Nobody) {
        ASSERT_TRUE(server.Start());
        UseServer(server.Port());
    } else {
        UseServer(testutil::PickPortPair());
    }
    EditSettings(TheDJDataMan(), [&](DJSettings& s) {
        s.m_nReconnect = c.nReconnect;
        s.m_nServerType = c.refusal == Refusal::MountTaken ? 1 : 0;
    });
    const size_t before = m_boxes.Calls().size();

    Command(Window(), kStart);
    EXPECT_TRUE(LoginEnded());
    EXPECT_EQ(Window().BroadcastState(), c.nState);
    // A broken device is also reported by itself each time monitoring
    // restarts; the start's own box is the one that counts here.
    std::vector<MessageDlgRequest> told;
    for (size_t i = before; i < m_boxes.Calls().size(); ++i)
        if (m_boxes.Calls()[i].caption == kFailedCaption)
            told.push_back(m_boxes.Calls()[i]);
    ASSERT_EQ(told.size(), 1U);
    EXPECT_EQ(told[0].text, c.text + std::string(c.bThreaded ? kRetryNotice : ""));
    EXPECT_EQ(told[0].type, c.bThreaded ? 0 : 32);
    EXPECT_EQ(told[0].bThreaded, c.bThreaded);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerReconnect), c.nState == 2 ? 1000 : 0);
    EXPECT_EQ(Controls().pStartButton->GetImageNum(), c.nState == 2 ? 1 : 0);
    EXPECT_TRUE(TheDJDataMan().IsMonitoring() || c.capture == Capture::Broken);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, StartFailure,
    testing::Values(SFailureCase { "WrongPassword", Capture::Tone, Refusal::Password, 1, 0, kPasswordText, false },
        SFailureCase { "RefusedWithReconnect", Capture::Tone, Refusal::Nobody, 1, 2, kRefusedText, true },
        SFailureCase { "RefusedWithoutReconnect", Capture::Tone, Refusal::Nobody, 0, 0, kRefusedText, false },
        // The presenter's own start finds another source on the mount: told
        // once, not retried, though reconnection is on.
        SFailureCase { "MountTakenAtTheStart", Capture::Tone, Refusal::MountTaken, 1, 0, kMountText, false },
        // The device's failure is no quiet no-op, reconnection or not.
        SFailureCase { "NoRecordingDevice", Capture::Broken, Refusal::Password, 1, 0, kDeviceText, false }),
    [](const testing::TestParamInfo<SFailureCase>& testInfo) { return std::string(testInfo.param.name); });

// The countdown after a refused connect, tick by tick; a press during it
// (even before its first tick) cancels it; a server that is back but still
// holds the dropped source on the mount is only another countdown; a
// server that is back is reached on the twelfth tick.
TEST_F(BroadcastWindow, ReconnectCountdownRetriesAndAPressCancelsIt)
{
    UseServer(testutil::PickPortPair());
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 2);
    ASSERT_EQ(Window().ReconnectCountdown(), 10);
    // Pressed before the first tick: stopped, no second connect.
    const size_t boxes = m_boxes.Calls().size();
    Command(Window(), kStartButton);
    EXPECT_EQ(Window().BroadcastState(), 0);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerReconnect), 0);
    EXPECT_EQ(m_boxes.Calls().size(), boxes);

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 2);
    for (int n = 10; n >= 0; --n) {
        Tick(Window(), kTimerReconnect);
        EXPECT_EQ(Status(), "방송 재시도하기 : " + std::to_string(n) + "초");
        EXPECT_FALSE(Controls().pStatus->IsScrolling());
    }
    // Still refused: a new countdown, a new notice.
    Tick(Window(), kTimerReconnect);
    EXPECT_TRUE(LoginEnded());
    EXPECT_EQ(Window().BroadcastState(), 2);
    EXPECT_EQ(Window().ReconnectCountdown(), 10);
    EXPECT_EQ(m_boxes.Calls().size(), boxes + 2);

    FakeShoutcastServer icecast;
    icecast.icecastSources = true;
    icecast.mountTaken = true;
    icecast.loginReply = "HTTP/1.0 200 OK\r\n\r\n";
    icecast.titleReply = "HTTP/1.0 200 OK\r\n\r\n";
    ASSERT_TRUE(icecast.Start());
    UseServer(icecast.Port());
    EditSettings(TheDJDataMan(), [](DJSettings& s) { s.m_nServerType = 1; });
    for (int tick = 0; tick < 12; ++tick)
        Tick(Window(), kTimerReconnect);
    EXPECT_TRUE(LoginEnded());
    EXPECT_EQ(Window().BroadcastState(), 2);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerReconnect), 1000);
    ASSERT_EQ(m_boxes.Calls().size(), boxes + 3);
    EXPECT_EQ(m_boxes.Last().text, kMountText + std::string(kRetryNotice));
    EXPECT_TRUE(m_boxes.Last().bThreaded);
    EXPECT_NE(ClientLog(m_home).find("\t서버 접속 실패(-2) : 마운트 사용중\n"), std::string::npos) << ClientLog(m_home);
    icecast.mountTaken = false;
    for (int tick = 0; tick < 12; ++tick)
        Tick(Window(), kTimerReconnect);
    EXPECT_TRUE(LoginEnded());
    EXPECT_EQ(Window().BroadcastState(), 1);
    EXPECT_EQ(icecast.ListenerPortSources(), 2);
    Command(Window(), kStartButton);
    ASSERT_EQ(Window().BroadcastState(), 0);
    // Refused again, to count down to the server that is back.
    UseServer(testutil::PickPortPair());
    EditSettings(TheDJDataMan(), [](DJSettings& s) { s.m_nServerType = 0; });
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 2);

    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    UseServer(server.Port());
    for (int tick = 0; tick < 12; ++tick)
        Tick(Window(), kTimerReconnect);
    EXPECT_TRUE(LoginEnded());
    EXPECT_EQ(Window().BroadcastState(), 1);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerReconnect), 0);
    EXPECT_EQ(server.SourceConnections(), 1);
    EXPECT_TRUE(Controls().pStatus->IsScrolling());
}

// The listener poll against a SHOUTcast-style status page: three seconds
// after the connect, then every five; its first answer shows 3/50 and
// registers the station; a late answer after the stop registers nothing.
TEST_F(BroadcastWindow, StatusPollShowsListenersAndRegistersWithTheDirectory)
{
    FakeShoutcastServer server;
    server.statusPage = kStatusPage;
    ASSERT_TRUE(server.Start());
    FakeDirectory directory;
    directory.Then("HTTP/1.0 200 OK\r\nicy-id: 42\r\nicy-tchfrq: 5\r\n\r\n");
    ASSERT_TRUE(directory.Start());
    UseServer(server.Port());
    EditSettings(TheDJDataMan(), [&](DJSettings& s) {
        s.m_nAddYP = 1;
        s.m_strYPHost = "127.0.0.1";
        s.m_nYPPort = directory.Port();
    });

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusStart), 3000);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusPoll), 0);
    EXPECT_FALSE(Controls().pCopyAddress->IsEnabled());
    Tick(Window(), kTimerStatusStart);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusStart), 0);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusPoll), 5000);
    EXPECT_TRUE(ProcessEventsUntil([&] { return Listeners() == "3/50"; })) << Listeners();
    EXPECT_EQ(TheDJDataMan().IsYPStarted(), 1);
    EXPECT_TRUE(Controls().pCopyAddress->IsEnabled());
    EXPECT_TRUE(directory.WaitForRequests(1));
    EXPECT_TRUE(ProcessEventsUntil([&] { return ClientLog(m_home).find("\tYP add 성공\n") != std::string::npos; }))
        << ClientLog(m_home);

    Command(Window(), kStartButton);
    ASSERT_EQ(Window().BroadcastState(), 0);
    EXPECT_EQ(Window().TimerPeriodMs(kTimerStatusPoll), 0);
    Send(Window(), WmHttpGetFileComplete(), 0, 1);
    EXPECT_EQ(TheDJDataMan().IsYPStarted(), 0);
    EXPECT_EQ(Listeners(), "0/0");
}

// What a status poll found shows: the listeners against the server's
// limit, or against the settings' own where the server publishes none
// (Icecast), and the title on air as the server has it, where it names one.
TEST_F(BroadcastWindow, ThePollShowsTheServersCountLimitAndTitle)
{
    const std::string head = R"({"icestats":{"server_id":"Icecast 2.4.4","source":)";
    const std::string serverTitle = "[진행자] 서버의 제목";
    const struct {
        const char* what;
        int type;
        std::string page;
        std::string json;
        const char* listeners;
        bool titled;
    } rows[] = {
        { "SHOUTcast page", 0, kStatusPage, "", "3/50", false },
        { "Icecast behind its SHOUTcast socket", 0, "<html>",
            head + R"({"listeners":2,"listenurl":"http://h:1/live","server_name":"x","title":")" + serverTitle
                + R"("}}})",
            "2/37", true },
        { "Icecast 2, no title", 1, "",
            head
                + R"([{"listeners":4,"listenurl":"http://h:1/other","title":"x"},)"
                  R"({"listeners":1,"listenurl":"http://h:1/radio","title":""}]}})",
            "1/37", false },
    };
    TheOption().m_nAudience = 37;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeShoutcastServer server;
        server.statusPage = row.page;
        server.jsonStatus = row.json;
        server.icecastSources = true;
        server.titleReply = "HTTP/1.0 200 OK\r\n\r\n";
        if (row.type == 1)
            server.loginReply = "HTTP/1.1 200 OK\r\n\r\n";
        ASSERT_TRUE(server.Start());
        UseServer(server.Port());
        EditSettings(TheDJDataMan(), [&](DJSettings& s) {
            s.m_nServerType = row.type;
            s.m_strMount = "/radio";
        });
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
        EXPECT_EQ(Listeners(), "0/37");
        const std::string before = Status();
        Tick(Window(), kTimerStatusStart);
        EXPECT_TRUE(ProcessEventsUntil([&] { return Listeners() == row.listeners; })) << Listeners();
        EXPECT_EQ(Status(), row.titled ? serverTitle : before);
        EXPECT_TRUE(Controls().pStatus->IsScrolling());
        Command(Window(), kStartButton);
        ASSERT_EQ(Window().BroadcastState(), 0);
    }
    TheOption().m_nAudience = 50;
}

// Registration asked for with no directory configured: the client log says
// so once per broadcast, not as a failure at every poll.
TEST_F(BroadcastWindow, DirectoryWithoutAHostIsToldOnceNotAtEveryPoll)
{
    FakeShoutcastServer server;
    server.statusPage = kStatusPage;
    ASSERT_TRUE(server.Start());
    UseServer(server.Port());
    EditSettings(TheDJDataMan(), [](DJSettings& s) {
        s.m_nAddYP = 1;
        s.m_strYPHost.clear();
    });
    const std::string told = "\tYP등록 안 함 : 방송목록 서버가 설정되지 않았습니다 ([AddYP] Host)\n";
    const auto count = [&] {
        const std::string log = ClientLog(m_home);
        size_t n = 0;
        for (size_t at = log.find(told); at != std::string::npos; at = log.find(told, at + 1))
            ++n;
        return n;
    };
    for (size_t broadcast = 1; broadcast <= 2; ++broadcast) {
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
        Tick(Window(), kTimerStatusStart);
        EXPECT_TRUE(ProcessEventsUntil([&] { return Listeners() == "3/50"; })) << Listeners();
        // Two more polls answered with the same page.
        Send(Window(), WmHttpGetFileComplete(), 0, 1);
        Send(Window(), WmHttpGetFileComplete(), 0, 1);
        EXPECT_EQ(count(), broadcast) << ClientLog(m_home);
        EXPECT_EQ(ClientLog(m_home).find("YP등록 실패"), std::string::npos) << ClientLog(m_home);
        EXPECT_EQ(TheDJDataMan().IsYPStarted(), 0);
        Command(Window(), kStartButton);
        ASSERT_EQ(Window().BroadcastState(), 0);
    }
}

// A server that refuses the source after letting it in: at the login,
// with the refusal in the go-ahead's own segment (Icecast-KH), or once
// audio has gone out. Either way it is told once as that refusal, with no
// "서버 접속 성공" for a login refused with its go-ahead and no countdown.
TEST_F(BroadcastWindow, ARefusalAfterTheServersGoAheadIsToldOnceAndNotRetried)
{
    const std::string kh401 = "HTTP/1.1 401 Authentication Required\r\nConnection: Close\r\nContent-Type: text/html\r\n"
                              "WWW-Authenticate: Basic realm=\"Icecast 2.4.0-kh22\"\r\nContent-Length: 0\r\n\r\n";
    const std::string goAhead = "HTTP/1.1 100 Continue\r\n\r\n";
    const struct {
        const char* what;
        int type;
        std::string login;
        std::string late;
        bool onAirFirst;
    } rows[] = {
        { "Icecast-KH, refused with its go-ahead", 1, goAhead + kh401, "", false },
        { "Icecast, refused after audio", 1, goAhead, kh401, true },
        { "SHOUTcast emulated, refused after audio", 0, "OK2\r\nicy-caps:11\r\n\r\n", kh401, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const size_t boxesBefore = m_boxes.Calls().size();
        const size_t logBefore = ClientLog(m_home).size();
        FakeShoutcastServer server;
        server.icecastSources = row.type == 1;
        server.titleReply = row.type == 1 ? "HTTP/1.0 200 OK\r\n\r\n" : "";
        server.loginReply = row.login;
        server.closeAfterReply = row.late.empty();
        server.lateReply = row.late;
        server.lateAfter = 8000;
        ASSERT_TRUE(server.Start());
        UseServer(server.Port());
        EditSettings(TheDJDataMan(), [&](DJSettings& s) { s.m_nServerType = row.type; });
        ASSERT_NO_FATAL_FAILURE(Start());
        if (row.onAirFirst) {
            ASSERT_EQ(Window().BroadcastState(), 1);
            EXPECT_TRUE(ProcessEventsUntil([&] { return Window().BroadcastState() == 0; }));
        }
        EXPECT_EQ(Window().BroadcastState(), 0);
        EXPECT_EQ(Window().TimerPeriodMs(kTimerReconnect), 0);
        ASSERT_EQ(m_boxes.Calls().size(), boxesBefore + 1);
        EXPECT_EQ(m_boxes.Last().text, kPasswordText);
        EXPECT_FALSE(m_boxes.Last().bThreaded);
        // Told once: nothing more comes of it.
        QTest::qWait(300);
        EXPECT_EQ(m_boxes.Calls().size(), boxesBefore + 1);
        EXPECT_EQ(server.SourceConnections(), 1);
        const std::string log = ClientLog(m_home).substr(logBefore);
        EXPECT_EQ(log.find("\t서버 접속 실패(-1) : 암호 불일치\n"), log.rfind("\t서버 접속 실패(-1) : 암호 불일치\n"));
        EXPECT_NE(log.find("\t서버 접속 실패(-1) : 암호 불일치\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("서버 접속 성공") != std::string::npos, row.onAirFirst) << log;
        EXPECT_EQ(log.find(kDroppedLine), std::string::npos) << log;
    }
}

// What the client log says of the status poll and the directory: nothing
// with registration off; a directory that fails as it fails; a server
// without the status page once per broadcast, the readout at 0/0; the
// station's name in its field on air; with an address check host, the
// directory entry waits for the check's answer and carries it.
TEST_F(BroadcastWindow, TheClientLogSaysOnlyWhatHappenedAtThePolls)
{
    const struct {
        const char* what;
        int type;
        bool addYP;
        bool directoryUp;
        bool statusMissing;
        bool checkHost;
    } rows[] = {
        { "registration off", 0, false, false, false, false },
        { "directory that refuses connections", 0, true, false, false, false },
        { "Icecast without its status page", 1, false, false, true, false },
        { "entry with the outside address", 0, true, true, false, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const size_t logBefore = ClientLog(m_home).size();
        FakeShoutcastServer server;
        server.statusPage = kStatusPage;
        server.statusMissing = row.statusMissing;
        server.icecastSources = row.type == 1;
        server.titleReply = row.type == 1 ? "HTTP/1.0 200 OK\r\n\r\n" : "";
        server.loginReply = row.type == 1 ? "HTTP/1.1 100 Continue\r\n\r\n" : server.loginReply;
        ASSERT_TRUE(server.Start());
        FakeDirectory directory;
        directory.Then("HTTP/1.0 200 OK\r\nicy-id: 42\r\nicy-tchfrq: 5\r\n\r\n");
        ASSERT_TRUE(directory.Start());
        // The check answers only when let go.
        FakeDirectory check;
        check.Hold(true);
        check.Then("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n203.0.113.7\n");
        ASSERT_TRUE(check.Start());
        const int closedPort = testutil::PickPortPair();
        UseServer(server.Port());
        EditSettings(TheDJDataMan(), [&](DJSettings& s) {
            s.m_nServerType = row.type;
            s.m_nAddYP = row.addYP ? 1 : 0;
            s.m_strYPHost = "127.0.0.1";
            s.m_nYPPort = row.directoryUp ? directory.Port() : closedPort;
            s.m_strIPCheckHost = row.checkHost ? "127.0.0.1:" + std::to_string(check.Port()) : "";
            s.m_strName = "우리 방송국";
        });
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_EQ(Window().BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
        EXPECT_EQ(Text(Controls().pCopyAddress), "우리 방송국");
        const std::string missing
            = "상태 페이지 없음 : 서버에 /status-json.xsl 페이지가 없어 청취자 수를 읽을 수 없습니다";
        const auto told = [&](const std::string& what) {
            const std::string log = ClientLog(m_home).substr(logBefore);
            size_t n = 0;
            for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
                ++n;
            return n;
        };
        // Three polls, each answered.
        for (int poll = 0; poll < 3; ++poll) {
            const size_t asked = server.StatusRequests().size();
            if (poll == 0)
                Tick(Window(), kTimerStatusStart);
            else
                Tick(Window(), kTimerStatusPoll);
            ASSERT_TRUE(ProcessEventsUntil([&] { return server.StatusRequests().size() > asked; }));
            QTest::qWait(200);
        }
        EXPECT_EQ(Listeners(), row.statusMissing ? "0/0" : "3/50");
        EXPECT_EQ(told(missing), row.statusMissing ? 1u : 0u);
        EXPECT_EQ(told("YP등록 실패"), 0u);
        if (row.addYP && !row.directoryUp) {
            EXPECT_TRUE(ProcessEventsUntil([&] { return told("\tYP add 실패 : ") == 1; })) << ClientLog(m_home);
        }
        if (row.checkHost) {
            // Polls came and went: no entry before the check's answer.
            EXPECT_EQ(TheDJDataMan().IsYPStarted(), 0);
            EXPECT_EQ(directory.RequestCount(), 0u);
            check.Hold(false);
            ASSERT_TRUE(ProcessEventsUntil([&] { return !TheDJDataMan().IsListenAddressPending(); }));
            Tick(Window(), kTimerStatusPoll);
            ASSERT_TRUE(ProcessEventsUntil([&] { return directory.RequestCount() >= 1; }));
            EXPECT_NE(directory.Requests()[0].find("_cu="
                          + GShoutCastYP::EncodeDirectoryText("http://203.0.113.7:" + std::to_string(server.Port()))),
                std::string::npos)
                << directory.Requests()[0];
            EXPECT_EQ(TheDJDataMan().GetListenUrl(), "http://203.0.113.7:" + std::to_string(server.Port()));
        }
        Command(Window(), kStartButton);
        ASSERT_EQ(Window().BroadcastState(), 0);
    }
}

// The window's keys act while the skin has the focus; typing in the title
// field is typing.
TEST_F(BroadcastWindow, SStartsAndStopsOnlyFromTheSkin)
{
    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    UseServer(server.Port());
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    struct {
        QWidget* pTarget;
        int nState;
    } const presses[] = {
        { Window().TitleEdit(), 0 },
        { Window().SkinWindow()->GetWidget(), 1 },
        { Window().TitleEdit(), 1 },
        { Window().SkinWindow()->GetWidget(), 0 },
    };
    for (const auto& press : presses) {
        press.pTarget->setFocus();
        QTest::keyClick(press.pTarget, Qt::Key_S);
        EXPECT_TRUE(LoginEnded());
        EXPECT_EQ(Window().BroadcastState(), press.nState);
    }
    EXPECT_EQ(server.SourceConnections(), 1);
}

// The directory's notices and the engine's log lines, as the client log
// and the presenter see them.
TEST(MainWindow, DirectoryNoticesAndEngineLinesReachTheLogAndThePresenter)
{
    constexpr int kEngineLine = 0; // sent on the window's thread
    constexpr int kPostedEngineLine = -1; // from another thread
    const struct {
        int nStep;
        int nCode;
        const char* logLine; // "" for none
        const char* boxText; // nullptr for no box
    } cases[] = {
        { 1, 0, "YP add 성공", nullptr },
        { 1, 11, "", "" }, // the directory's own text, none here
        { 1, 102, "YP add 실패 : 102", "음악방송목록에 등록할 수 없습니다." },
        { 2, 0, "YP tch 성공", nullptr },
        { 2, 3, "YP tch 실패 : 3", nullptr },
        { 3, 0, "YP 종료", nullptr },
        { 3, 4, "YP 종료 : 원인 - 4", nullptr },
        { kEngineLine, 0, "100%s 완료 %d", nullptr },
        { kPostedEngineLine, 0, "다른 스레드의 줄", nullptr },
    };
    for (const auto& c : cases) {
        TempHome home;
        MessageDlgRecorder boxes;
        CTavDJ1Dlg window;
        if (c.nStep == kEngineLine) {
            Send(window, CDJDataMan::WmWriteLog(), reinterpret_cast<platform::WParam>(c.logLine));
        } else if (c.nStep == kPostedEngineLine) {
            std::thread([&] {
                auto* pCopy = new std::string(c.logLine);
                if (!platform::PostMessage(window.Handle(), CDJDataMan::WmWriteLog(),
                        reinterpret_cast<platform::WParam>(pCopy), CDJDataMan::kLogTextOwned))
                    delete pCopy;
            }).join();
            EXPECT_TRUE(ProcessEventsUntil([&] { return !ClientLog(home).empty(); }));
        } else {
            Send(window, platform::RegisterMessage(GShoutCastYP::kNotifyMessage), platform::WParam(c.nStep), c.nCode);
        }
        const std::string log = ClientLog(home);
        EXPECT_EQ(log.find("\t" + std::string(c.logLine) + "\n") == std::string::npos, !*c.logLine) << log;
        ASSERT_EQ(boxes.Calls().size(), c.boxText ? 1U : 0U) << c.logLine;
        if (c.boxText) {
            EXPECT_EQ(boxes.Last().text, c.boxText);
            EXPECT_EQ(boxes.Last().caption, "TavDJ - 방송목록 등록 실패");
            EXPECT_EQ(boxes.Last().type, 0);
        }
    }
}

} // namespace

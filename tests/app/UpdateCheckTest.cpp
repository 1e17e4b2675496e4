#include "app/UpdateCheck.h"
#include "app/CAboutDlg.h"
#include "app/CLauncherResultEndpoint.h"
#include "app/COption.h"
#include "foundation/OpenUrl.h"
#include "foundation/SystemInfo.h"
#include "foundation/XmlText.h"

#include "support/MessageDlgRecorder.h"
#include "support/TempHome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kAgent = "TavDJ 1, 3, 5, 017";

bool WaitUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::string ReadFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Stands in for the maker's launcher in the program folder: each start
// records its program path and its one argument, then the script exits with
// the code the test chose, after waiting while the hold file exists.
class FakeLauncher {
public:
    struct Call {
        std::string path;
        std::string argc;
        std::string param;
    };

    explicit FakeLauncher(const TempHome& home)
        : m_rec(home.Path("calls"))
        , m_program(home.Path("program/VdLauncher.exe"))
    {
        Reset();
        WriteFile(m_program,
            "#!/bin/sh\nrec='" + m_rec
                + "'\ni=0; while [ -e \"$rec/$i.arg\" ]; do i=$((i+1)); done\n"
                  "printf '%s' \"$0\" > \"$rec/$i.path\"; printf '%s' \"$#\" > \"$rec/$i.argc\"\n"
                  "printf '%s' \"$1\" > \"$rec/$i.tmp\" && mv \"$rec/$i.tmp\" \"$rec/$i.arg\"\n"
                  "n=0; while [ -e \"$rec/hold\" ] && [ $n -lt 300 ]; do sleep 0.1; n=$((n+1)); done\n"
                  "exit $(cat \"$rec/code\" 2>/dev/null || echo 0)\n");
        fs::permissions(m_program, fs::perms::owner_all);
        WriteFile(home.Path("program/VdLauncher.ini"), "[Launcher]\n");
    }
    ~FakeLauncher() { Hold(false); }

    void Reset()
    {
        fs::remove_all(m_rec);
        fs::create_directories(m_rec);
        ExitWith(0);
    }
    void ExitWith(int code) { WriteFile(m_rec + "/code", std::to_string(code)); }
    void Hold(bool bHold) { bHold ? WriteFile(m_rec + "/hold", "") : void(fs::remove(m_rec + "/hold")); }
    void Remove() { fs::remove(m_program); }

    // The n-th start, once recorded; empty fields after ten seconds.
    Call WaitCall(int n) const
    {
        const std::string base = m_rec + "/" + std::to_string(n);
        if (!WaitUntil([&] { return fs::exists(base + ".arg"); }))
            return {};
        return { ReadFile(base + ".path"), ReadFile(base + ".argc"), ReadFile(base + ".arg") };
    }
    [[nodiscard]] bool Started(int n) const { return fs::exists(m_rec + "/" + std::to_string(n) + ".arg"); }

private:
    std::string m_rec;
    std::string m_program;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    // The application-data folder, where the run copies go and VdVersion.ini is.
    std::string DataFolder() const { return m_home.Path("data/VANDREL/TavDJ/"); }

    std::string CheckParam(const char* force, const char* minor, uint32_t window = 0) const
    {
        std::string param = std::string(" <VDLAUNCHER_PARAM Command='checkversion'  AgentName='") + kAgent
            + "' ProgramID='TAVDJ' ForceCheck='" + force + "' CheckMinorVersion='" + minor + "' LocalVersionFilePath='"
            + XmlEscape(DataFolder() + "VdVersion.ini") + "'";
        if (window != 0)
            param += " RetWindowHandle='" + std::to_string(window) + "'";
        return param + " />";
    }

    std::string RunParam(const char* minor) const
    {
        return std::string("<VDLAUNCHER_PARAM Command='run'  AgentName='") + kAgent
            + "' ProgramID='TAVDJ' SilentMessage='1' AutoInstall='0' CheckMinorVersion='" + minor
            + "' LocalVersionFilePath='" + XmlEscape(DataFolder() + "VdVersion.ini") + "' />";
    }

    TempHome m_home;
    MessageDlgRecorder m_boxes;
    FakeLauncher m_launcher { m_home };
};

const std::string kAskNew = "업데이트 최신 버전이 확인 되었습니다. \n\n지금 업데이트 하시겠습니까?";
const std::string kAskMinor = "업데이트 최신 버전(사소한 개선)이 확인 되었습니다. \n\n지금 업데이트 하시겠습니까?";
const std::string kAskFailed = "버전 확인을 실패 하였습니다. 현재 컴퓨터가 인터넷이 사용 가능한 상태가 아니거나, "
                               "\n\n업데이트 장비에 문제가 있을 수 있습니다.\n\n강제로 최신 버전 업데이트를 시도해 "
                               "보시겠습니까?";

} // namespace

// The waiting check runs the launcher, reads its exit code and asks; Yes
// starts the data folder's copy with "run".
TEST_F(UpdateCheckTest, EachResultCodeTellsTheUserAndYesStartsTheRun)
{
    struct Case {
        int code;
        bool bSilent;
        int answer;
        std::string text; // empty: no box
        int type;
        int result;
        const char* runMinor; // null: no run
    };
    const Case cases[] = {
        { 0, false, kIdOk, "현재 버전이 최신 버전입니다.", kMbOk, 0, nullptr },
        { 0, true, kIdOk, "", 0, 0, nullptr },
        { 5, false, kIdNo, kAskFailed, kMbYesNo, 0, nullptr },
        { 5, true, kIdYes, "", 0, 0, nullptr },
        { 40, true, kIdYes, kAskNew, kMbYesNoCancel, 1, "0" },
        { 41, false, kIdCancel, kAskNew, kMbYesNoCancel, 0, nullptr },
        { 42, true, kIdYes, kAskMinor, kMbYesNo, 1, "1" },
        { 42, false, kIdNo, kAskMinor, kMbYesNo, 0, nullptr },
        { 77, false, kIdNo,
            "버전 확인을 실패 하였습니다. - 코드 : 77\n\n강제로 최신 버전 업데이트를 시도해 보시겠습니까?", kMbYesNo, 0,
            nullptr },
        { 77, true, kIdYes, "", 0, 0, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + (c.bSilent ? " silent" : ""));
        m_launcher.Reset();
        m_launcher.ExitWith(c.code);
        m_boxes.SetAnswer(c.answer);
        const size_t before = m_boxes.Calls().size();

        LauncherCheck check;
        check.bSilent = c.bSilent;
        EXPECT_EQ(RunLauncherCheckVersion(nullptr, check), c.result);

        const FakeLauncher::Call call = m_launcher.WaitCall(0);
        EXPECT_EQ(call.argc, "1");
        EXPECT_EQ(call.param, CheckParam("0", "0"));
        ASSERT_EQ(m_boxes.Calls().size(), before + (c.text.empty() ? 0 : 1));
        if (!c.text.empty()) {
            EXPECT_EQ(m_boxes.Last().text, c.text);
            EXPECT_EQ(m_boxes.Last().caption, "업데이트");
            EXPECT_EQ(m_boxes.Last().type, c.type);
            EXPECT_EQ(m_boxes.Last().extras.captions, c.type == kMbYesNoCancel ? "예,아니요,업데이트 설정" : "");
        }
        if (c.runMinor) {
            const FakeLauncher::Call run = m_launcher.WaitCall(1);
            EXPECT_EQ(run.path, DataFolder() + "VdLauncher.exe");
            EXPECT_EQ(run.param, RunParam(c.runMinor));
            EXPECT_EQ(ReadFile(DataFolder() + "VdLauncher.ini"), "[Launcher]\n");
        }
    }
}

TEST_F(UpdateCheckTest, LauncherThatCannotRunOrAnswerIsReported)
{
    struct Case {
        const char* name;
        bool bMissing;
        bool bHold;
        bool bSilent;
        std::string text;
    };
    const std::string launcher = m_home.Path("program/VdLauncher.exe");
    const Case cases[] = {
        { "slow", false, true, false, "버전 체크 실패 - 타임 아웃" },
        { "slow silent", false, true, true, "" },
        { "missing", true, false, false,
            "버전 체크 프로그램 실행을 실패 하였습니다. 에러코드 : 0x2\n\n\"" + launcher + "\"/"
                + CheckParam("1", "1") },
        { "missing silent", true, false, true, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_launcher.Reset();
        m_launcher.Hold(c.bHold);
        if (c.bMissing)
            m_launcher.Remove();
        const size_t before = m_boxes.Calls().size();
        LauncherCheck check;
        check.bSilent = c.bSilent;
        check.bForceCheck = check.bCheckMinor = true;
        check.nWaitMs = 300;
        EXPECT_EQ(RunLauncherCheckVersion(nullptr, check), 0);
        ASSERT_EQ(m_boxes.Calls().size(), before + (c.text.empty() ? 0 : 1));
        if (!c.text.empty()) {
            EXPECT_EQ(m_boxes.Last().text, c.text);
        }
        m_launcher.Hold(false);
    }

    // Yes with no launcher to copy: the update could not start.
    m_boxes.SetAnswer(kIdYes);
    EXPECT_EQ(HandleLauncherResult(nullptr, kLauncherNewVersion, false), 0);
    EXPECT_TRUE(m_boxes.Last().text.starts_with("업데이트를 실행하는데 실패 하였습니다.\n\n"));
}

TEST_F(UpdateCheckTest, VersionFilePathIsEscapedInBothForms)
{
    m_home.Set("XDG_DATA_HOME", m_home.Path("a&b'c<d>\"e"));
    m_launcher.ExitWith(kLauncherNewMinorVersion);
    m_boxes.SetAnswer(kIdYes);
    EXPECT_EQ(RunLauncherCheckVersion(nullptr, {}), 1);
    const std::string escaped = "a&amp;b&apos;c&lt;d&gt;&quot;e/VANDREL/TavDJ/VdVersion.ini'";
    EXPECT_NE(m_launcher.WaitCall(0).param.find(escaped), std::string::npos);
    EXPECT_NE(m_launcher.WaitCall(1).param.find(escaped), std::string::npos);
    EXPECT_EQ(m_launcher.WaitCall(1).path, m_home.Path("a&b'c<d>\"e/VANDREL/TavDJ/VdLauncher.exe"));
}

// The start-up check stays quiet within six hours of the launcher's last
// check, either way; otherwise it starts the launcher without waiting, with
// the return window for users who may install updates.
TEST_F(UpdateCheckTest, StartupCheckWindowAndReturnWindow)
{
    m_home.Set("TAVDJ_ASSUME_ONLINE", "1");
    COption option(m_home.Path("SETTING.ini"));
    constexpr int64_t kNow = 1'800'000'000;
    struct Case {
        const char* lastUpdate; // null: no VdVersion.ini
        bool bAutoCheck;
        int result;
    };
    const Case cases[] = {
        { nullptr, true, 1 },
        { "1800018000", true, 0 }, // five hours ahead
        { "1799982000", true, 0 }, // five hours ago
        { "1800021600", true, 0 },
        { "1799978399", true, 1 },
        { "9223372036854775807", true, 1 },
        { "1799000000", false, 0 },
    };
    const uint32_t window = 4242;
    const bool bReturn = GetUserGroupLevel() >= 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastUpdate ? c.lastUpdate : "none");
        m_launcher.Reset();
        fs::create_directories(DataFolder());
        fs::remove(DataFolder() + "VdVersion.ini");
        if (c.lastUpdate)
            WriteFile(DataFolder() + "VdVersion.ini", std::string("[GENERAL]\nLASTUPDATETIME=") + c.lastUpdate + "\n");
        option.m_bUpdateAllowAutoCheck = c.bAutoCheck;
        EXPECT_EQ(CheckUpdateAtStartup(nullptr, window, option, kNow), c.result);
        if (c.result == 1) {
            EXPECT_EQ(m_launcher.WaitCall(0).param, CheckParam("0", bReturn ? "1" : "0", bReturn ? window : 0));
        }
    }
    EXPECT_TRUE(m_boxes.Calls().empty());
}

// The launcher's late answer: one line on the local socket named after
// RetWindowHandle becomes WM_VDLAUNCHER_RESULT for the main window.
TEST_F(UpdateCheckTest, LateAnswerArrivesThroughTheEndpoint)
{
    class Target final : public platform::MessageTarget {
    public:
        std::vector<int> codes;

    protected:
        platform::LParam OnMessage(platform::MessageId msg, platform::WParam wParam, platform::LParam) override
        {
            if (msg == WmVdLauncherResult())
                codes.push_back(static_cast<int>(wParam));
            return 0;
        }
    } target;
    CLauncherResultEndpoint endpoint(target.Handle());
    ASSERT_TRUE(endpoint.Listen());
    ASSERT_NE(endpoint.WindowNumber(), 0u);

    struct Case {
        QByteArray line;
        bool bClose;
        std::vector<int> codes;
    };
    const Case cases[] = {
        { "WM_VDLAUNCHER_RESULT 40\n", false, { 40 } },
        { "WM_VDLAUNCHER_RESULT 5", true, { 5 } },
        { "WM_VDLAUNCHER_RESULT -3\r\n", false, { -3 } },
        { "WM_VDLAUNCHER_RESULT 4x\n", false, {} },
        { "WM_VDLAUNCHER_RESULT 99999999999\n", false, {} },
        { "WM_GMESSAGEBOX_CLOSE 1\n", false, {} },
        { QByteArray(200, '7'), false, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.left(40).toStdString());
        target.codes.clear();
        QLocalSocket socket;
        socket.connectToServer(CLauncherResultEndpoint::EndpointName(endpoint.WindowNumber()));
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(c.line);
        socket.flush();
        if (c.bClose)
            socket.disconnectFromServer();
        // The endpoint hangs up once it has read the line; a line we ended
        // ourselves is waited for.
        ASSERT_TRUE(WaitUntil([&] {
            target.DispatchPending();
            return socket.state() == QLocalSocket::UnconnectedState && target.codes.size() >= c.codes.size();
        }));
        EXPECT_EQ(target.codes, c.codes);
    }
}

TEST_F(UpdateCheckTest, AboutBoxShowsTheVersionOpensTheIntroAndUpdates)
{
    // The browser is a script that notes the address it was given.
    const std::string opener = m_home.Path("program/opener");
    WriteFile(opener,
        "#!/bin/sh\nprintf '%s' \"$1\" > '" + m_home.Path("opened.tmp") + "' && mv '" + m_home.Path("opened.tmp")
            + "' '" + m_home.Path("opened") + "'\n");
    fs::permissions(opener, fs::perms::owner_all);
    m_home.Set(kUrlOpenerEnv, opener);
    fs::create_directories(DataFolder());
    WriteFile(DataFolder() + "SETTING.ini", "[Network]\nSiteRoot=http://intro.example/\n");

    QWidget main;
    main.show();
    auto* pAbout = new CAboutDlg(&main);
    EXPECT_EQ(pAbout->windowTitle().toStdString(), "TavDJ - 1, 3, 5, 017");
    pAbout->show();
    pAbout->findChild<QPushButton*>("IntroPage")->click();
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_home.Path("opened")); }));
    EXPECT_EQ(ReadFile(m_home.Path("opened")), "http://intro.example/djIntro.html");

    m_launcher.ExitWith(kLauncherNewVersion);
    m_boxes.SetAnswer(kIdYes);
    pAbout->findChild<QPushButton*>("Update")->click();
    EXPECT_EQ(m_launcher.WaitCall(0).param, CheckParam("1", "1"));
    EXPECT_EQ(m_launcher.WaitCall(1).param, RunParam("0"));
    EXPECT_EQ(pAbout->result(), QDialog::Accepted);
    EXPECT_TRUE(WaitUntil([&] { return !main.isVisible(); }));
}

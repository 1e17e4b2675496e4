#include "app/UpdateCheck.h"
#include "app/CAboutDlg.h"
#include "app/CLauncherResultEndpoint.h"
#include "app/COption.h"
#include "foundation/OpenUrl.h"
#include "foundation/SystemInfo.h"

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

void WriteScript(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << "#!/bin/sh\n" << text;
    fs::permissions(path, fs::perms::owner_all);
}

enum class Launcher { Exits, Hangs, Missing };

// The application-data folder's name needs escaping in the parameter.
constexpr const char* kVersionFile = "/a&amp;b&apos;c&lt;d/VANDREL/TavDJ/VdVersion.ini'";

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home.Set("XDG_DATA_HOME", m_home.Path("a&b'c<d"));
        std::ofstream(m_home.Path("program/VdLauncher.ini")) << "[Launcher]\n";
    }

    // Stands in for the maker's launcher: each start records its path and
    // arguments as n.path and n.arg, then the script exits with code, or
    // first waits while the file "hold" exists.
    void InstallLauncher(Launcher mode, int code)
    {
        fs::remove_all(m_home.Path("calls"));
        fs::create_directories(m_home.Path("calls"));
        fs::remove(m_home.Path("program/VdLauncher.exe"));
        if (mode == Launcher::Missing)
            return;
        if (mode == Launcher::Hangs)
            std::ofstream(m_home.Path("calls/hold"));
        WriteScript(m_home.Path("program/VdLauncher.exe"),
            "cd '" + m_home.Path("calls")
                + "' || exit 1\ni=0; while [ -e $i.arg ]; do i=$((i+1)); done\n"
                  "printf '%s' \"$0\" > $i.path; printf '%s|' \"$@\" > $i.tmp && mv $i.tmp $i.arg\n"
                  "n=0; while [ -e hold ] && [ $n -lt 300 ]; do sleep 0.1; n=$((n+1)); done\nexit "
                + std::to_string(code) + "\n");
    }
    // The n-th start's path and arguments, each followed by '|', once recorded.
    std::pair<std::string, std::string> Call(int n) const
    {
        const std::string base = m_home.Path("calls/") + std::to_string(n);
        if (!WaitUntil([&] { return fs::exists(base + ".arg"); }))
            return {};
        return { ReadFile(base + ".path"), ReadFile(base + ".arg") };
    }
    std::string DataFolder() const { return m_home.Path("a&b'c<d/VANDREL/TavDJ/"); }

    std::string CheckParam(const char* force, const char* minor, uint32_t window = 0) const
    {
        return std::string(
                   " <VDLAUNCHER_PARAM Command='checkversion'  AgentName='TavDJ 1, 3, 5, 017' ProgramID='TAVDJ' "
                   "ForceCheck='")
            + force + "' CheckMinorVersion='" + minor + "' LocalVersionFilePath='" + m_home.Path() + kVersionFile
            + (window ? " RetWindowHandle='" + std::to_string(window) + "'" : "") + " />";
    }
    std::string RunParam(const char* minor) const
    {
        return std::string("<VDLAUNCHER_PARAM Command='run'  AgentName='TavDJ 1, 3, 5, 017' ProgramID='TAVDJ' "
                           "SilentMessage='1' AutoInstall='0' CheckMinorVersion='")
            + minor + "' LocalVersionFilePath='" + m_home.Path() + kVersionFile + " />";
    }

    TempHome m_home;
    MessageDlgRecorder m_boxes;
};

const std::string kAskNew = "업데이트 최신 버전이 확인 되었습니다. \n\n지금 업데이트 하시겠습니까?";
const std::string kAskMinor = "업데이트 최신 버전(사소한 개선)이 확인 되었습니다. \n\n지금 업데이트 하시겠습니까?";

} // namespace

// The waiting check runs the launcher with the parameter as its one
// argument and asks what its exit code calls for; Yes starts the data
// folder's copy of the launcher with "run".
TEST_F(UpdateCheckTest, EachOutcomeTellsTheUserAndYesStartsTheRun)
{
    struct Case {
        Launcher launcher;
        int code;
        bool bSilent;
        int answer;
        std::string text; // empty: no box
        int type;
        int result;
        const char* runMinor; // null: no run
    };
    const std::string missing = "버전 체크 프로그램 실행을 실패 하였습니다. 에러코드 : 0x2\n\n\""
        + m_home.Path("program/VdLauncher.exe") + "\"/" + CheckParam("0", "0");
    const Case cases[] = {
        { Launcher::Exits, 0, false, kIdOk, "현재 버전이 최신 버전입니다.", kMbOk, 0, nullptr },
        { Launcher::Exits, 0, true, kIdOk, "", 0, 0, nullptr },
        { Launcher::Exits, 5, false, kIdNo,
            "버전 확인을 실패 하였습니다. 현재 컴퓨터가 인터넷이 사용 가능한 상태가 아니거나, \n\n업데이트 장비에 "
            "문제가 있을 수 있습니다.\n\n강제로 최신 버전 업데이트를 시도해 보시겠습니까?",
            kMbYesNo, 0, nullptr },
        { Launcher::Exits, 5, true, kIdYes, "", 0, 0, nullptr },
        { Launcher::Exits, 40, true, kIdYes, kAskNew, kMbYesNoCancel, 1, "0" },
        { Launcher::Exits, 41, false, kIdCancel, kAskNew, kMbYesNoCancel, 0, nullptr },
        { Launcher::Exits, 42, true, kIdYes, kAskMinor, kMbYesNo, 1, "1" },
        { Launcher::Exits, 77, false, kIdNo,
            "버전 확인을 실패 하였습니다. - 코드 : 77\n\n강제로 최신 버전 업데이트를 시도해 보시겠습니까?", kMbYesNo, 0,
            nullptr },
        { Launcher::Exits, 77, true, kIdYes, "", 0, 0, nullptr },
        { Launcher::Hangs, 40, false, kIdYes, "버전 체크 실패 - 타임 아웃", kMbOk, 0, nullptr },
        { Launcher::Hangs, 40, true, kIdYes, "", 0, 0, nullptr },
        { Launcher::Missing, 0, false, kIdYes, missing, kMbOk, 0, nullptr },
        { Launcher::Missing, 0, true, kIdYes, "", 0, 0, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            std::to_string(static_cast<int>(c.launcher)) + " " + std::to_string(c.code) + (c.bSilent ? " silent" : ""));
        InstallLauncher(c.launcher, c.code);
        m_boxes.SetAnswer(c.answer);
        const size_t before = m_boxes.Calls().size();
        LauncherCheck check;
        check.bSilent = c.bSilent;
        check.nWaitMs = c.launcher == Launcher::Hangs ? 300 : kLauncherWaitMs;
        EXPECT_EQ(RunLauncherCheckVersion(nullptr, check), c.result);
        fs::remove(m_home.Path("calls/hold"));

        if (c.launcher != Launcher::Missing) {
            EXPECT_EQ(Call(0).second, CheckParam("0", "0") + "|");
        }
        ASSERT_EQ(m_boxes.Calls().size(), before + (c.text.empty() ? 0 : 1));
        if (!c.text.empty()) {
            EXPECT_EQ(m_boxes.Last().text, c.text);
            EXPECT_EQ(m_boxes.Last().caption, "업데이트");
            EXPECT_EQ(m_boxes.Last().type, c.type);
            EXPECT_EQ(m_boxes.Last().extras.captions, c.type == kMbYesNoCancel ? "예,아니요,업데이트 설정" : "");
        }
        if (c.runMinor) {
            EXPECT_EQ(Call(1), std::make_pair(DataFolder() + "VdLauncher.exe", RunParam(c.runMinor) + "|"));
            EXPECT_EQ(ReadFile(DataFolder() + "VdLauncher.ini"), "[Launcher]\n");
        }
    }

    // Yes with no launcher left to copy: the update could not start.
    fs::remove(DataFolder() + "VdLauncher.exe");
    EXPECT_EQ(HandleLauncherResult(nullptr, kLauncherNewVersion, false), 0);
    EXPECT_TRUE(m_boxes.Last().text.starts_with("업데이트를 실행하는데 실패 하였습니다.\n\n"));
}

// The start-up check stays quiet within six hours of the launcher's last
// check, either way; otherwise it starts the launcher without waiting, with
// the return window for users who may install updates.
TEST_F(UpdateCheckTest, StartupCheckWindow)
{
    m_home.Set("TAVDJ_ASSUME_ONLINE", "1");
    COption option(m_home.Path("SETTING.ini"));
    const struct {
        const char* lastUpdate; // null: no VdVersion.ini
        bool bAutoCheck;
        int result;
    } cases[] = {
        { nullptr, true, 1 },
        { "1800018000", true, 0 }, // five hours ahead
        { "1799978400", true, 0 }, // six hours ago
        { "1799978399", true, 1 },
        { "9223372036854775807", true, 1 },
        { "1799000000", false, 0 },
    };
    const bool bReturn = GetUserGroupLevel() >= 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastUpdate ? c.lastUpdate : "none");
        InstallLauncher(Launcher::Exits, 0);
        fs::create_directories(DataFolder());
        std::ofstream(DataFolder() + "VdVersion.ini")
            << "[GENERAL]\nLASTUPDATETIME=" << (c.lastUpdate ? c.lastUpdate : "");
        option.m_bUpdateAllowAutoCheck = c.bAutoCheck;
        EXPECT_EQ(CheckUpdateAtStartup(nullptr, 4242, option, 1'800'000'000), c.result);
        if (c.result == 1) {
            EXPECT_EQ(Call(0).second, CheckParam("0", bReturn ? "1" : "0", bReturn ? 4242 : 0) + "|");
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

    const struct {
        QByteArray line;
        bool bClose;
        std::vector<int> codes;
    } cases[] = {
        { "WM_VDLAUNCHER_RESULT 40\n", false, { 40 } },
        { "WM_VDLAUNCHER_RESULT -3", true, { -3 } },
        { "WM_VDLAUNCHER_RESULT 99999999999\n", false, {} },
        { "WM_GMESSAGEBOX_CLOSE 1\n", false, {} },
        { QByteArray(200, '7'), false, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.left(40).toStdString());
        target.codes.clear();
        QLocalSocket socket;
        socket.connectToServer(CLauncherResultEndpoint::EndpointName(endpoint.WindowNumber()));
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(c.line);
        socket.flush();
        if (c.bClose)
            socket.disconnectFromServer();
        // The endpoint hangs up once it has read the line.
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
    WriteScript(m_home.Path("program/opener"), "printf '%s' \"$1\" > '" + m_home.Path("calls/url") + "'\n");
    m_home.Set(kUrlOpenerEnv, m_home.Path("program/opener"));
    fs::create_directories(DataFolder());
    std::ofstream(DataFolder() + "SETTING.ini") << "[Network]\nSiteRoot=http://intro.example/\n";
    InstallLauncher(Launcher::Exits, kLauncherNewVersion);

    QWidget main;
    main.show();
    auto* pAbout = new CAboutDlg(&main);
    EXPECT_EQ(pAbout->windowTitle(), "TavDJ - 1, 3, 5, 017");
    pAbout->show();
    pAbout->findChild<QPushButton*>("IntroPage")->click();
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(m_home.Path("calls/url")) == "http://intro.example/djIntro.html"; }));

    m_boxes.SetAnswer(kIdYes);
    pAbout->findChild<QPushButton*>("Update")->click();
    EXPECT_EQ(Call(0).second, CheckParam("1", "1") + "|");
    EXPECT_EQ(Call(1).second, RunParam("0") + "|");
    EXPECT_EQ(pAbout->result(), QDialog::Accepted);
    EXPECT_TRUE(WaitUntil([&] { return !main.isVisible(); }));
}

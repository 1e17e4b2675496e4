// The real program, started as a user would, on a private X server.
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::CommandOutput;
using testutil::ReadFile;

constexpr int kWaitMs = 20000;
// Where the default skin's close button lies in the main window.
constexpr int kCloseButtonX = 730;
constexpr int kCloseButtonY = 20;

// Where a top-level window lies in the X server's stacking order, 0 at the
// top; -1 when it is not there. window: its id as xdotool prints it.
int StackingPlace(const std::string& window)
{
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx ", std::stoul(window));
    std::istringstream lines(CommandOutput("xwininfo -root -children"));
    int place = 0;
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find_first_not_of(' ');
        if (at == std::string::npos || line.compare(at, 2, "0x") != 0)
            continue;
        if (line.compare(at, std::strlen(hex), hex) == 0)
            return place;
        ++place;
    }
    return -1;
}

class TavDJProgram : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool") && ToolOnPath("import"),
            "Xvfb, xdotool and ImageMagick's import");
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        // No recording device on any machine: the program says so once while
        // it starts (AnswerDeviceBox), the same everywhere.
        testutil::UseProgramEnvironment(m_home);
        m_artifacts = testutil::TestArtifacts();
    }

    fs::path Program() const { return m_home.Path("program"); }

    // The program folder as the build leaves it: the default skin and the
    // control-ID file beside the program.
    void InstallDefaultSkin() { testutil::CopyBuiltDefaultSkin(Program()); }

    bool Start(testutil::ChildProcess& process, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv { TAVDJ_PROGRAM };
        argv.insert(argv.end(), args.begin(), args.end());
        return process.Start(argv, false, true);
    }

    // The first instance tells that it found no recording device before it
    // shows its window.
    void AnswerDeviceBox()
    {
        ASSERT_FALSE(WaitForWindow("녹음 장치 초기화 실패").empty());
        CommandSucceeds("xdotool key --clearmodifiers Return");
    }

    template <class Done> static bool WaitUntil(Done done) { return testutil::WaitUntil(done, kWaitMs); }

    // The id of the visible window of that title, "" when none came.
    std::string WaitForWindow(const std::string& title)
    {
        std::string id;
        WaitUntil([&] { return !(id = testutil::VisibleWindow(title)).empty(); });
        return id;
    }

    void Screenshot(const std::string& name) { testutil::Screenshot(m_artifacts, name); }

    std::string SettingsFile()
    {
        for (const auto& entry : fs::recursive_directory_iterator(m_home.Path()))
            if (entry.path().filename() == "SETTING.ini")
                return ReadFile(entry.path());
        return {};
    }

    TempHome m_home;
    XvfbServer m_xvfb;
    fs::path m_artifacts;
};

TEST(TavDJProgramStart, WithoutDisplaySaysSoAndUninstallEndsAtOnce)
{
    TempHome home;
    home.Set("DISPLAY", std::nullopt);
    home.Set("WAYLAND_DISPLAY", std::nullopt);
    home.Set("QT_QPA_PLATFORM", std::nullopt);
    testutil::ChildProcess plain;
    ASSERT_TRUE(plain.Start({ "sh", "-c", "exec \"$0\" 2>&1", TAVDJ_PROGRAM }));
    std::string line;
    ASSERT_TRUE(plain.ReadLine(&line, kWaitMs));
    EXPECT_NE(line.find("DISPLAY"), std::string::npos) << line;
    EXPECT_FALSE(plain.ReadLine(&line, kWaitMs)) << "a second line: " << line;
    EXPECT_NE(plain.Wait(kWaitMs), 0);

    testutil::ChildProcess uninstall;
    ASSERT_TRUE(uninstall.Start({ TAVDJ_PROGRAM, "/UNINSTALL" }, false, true));
    EXPECT_EQ(uninstall.Wait(kWaitMs), 0);
}

struct SBrokenSkin {
    const char* name;
    const char* removed; // a file taken out of the program folder
    bool bUnknownElement; // an element no skin knows added to skin.xml
};

class BrokenSkin : public TavDJProgram, public testing::WithParamInterface<SBrokenSkin> { };

TEST_P(BrokenSkin, ShowsTheLoaderErrorAndEndsWithTheOptionsSaved)
{
    InstallDefaultSkin();
    if (*GetParam().removed)
        fs::remove(Program() / GetParam().removed);
    if (GetParam().bUnknownElement) {
        const fs::path skinXml = Program() / "default_skin" / "skin.xml";
        std::string text = ReadFile(skinXml);
        const size_t at = text.find("<ControlDefine>");
        ASSERT_NE(at, std::string::npos);
        text.insert(at + 15, "<NoSuchControl/>");
        std::ofstream(skinXml) << text;
    }
    testutil::ChildProcess program;
    ASSERT_TRUE(Start(program, { "/serv_port", "9000", "/cast_url", "HTTP://radio.example/LISTEN.PLS" }));
    ASSERT_NO_FATAL_FAILURE(AnswerDeviceBox());
    const std::string box = WaitForWindow("TavDJ");
    ASSERT_FALSE(box.empty());
    Screenshot("message");
    // Every box the failure shows is answered; then the program ends.
    int nExitCode = -1;
    for (int answered = 0; answered < 3 && nExitCode == -1; ++answered) {
        if (!WaitForWindow("TavDJ").empty())
            CommandSucceeds("xdotool key --clearmodifiers Return");
        nExitCode = program.Wait(5000);
    }
    EXPECT_EQ(nExitCode, 1);
    const std::string settings = SettingsFile();
    EXPECT_NE(settings.find("Port=9000"), std::string::npos) << settings;
    EXPECT_NE(settings.find("ListenUrl=HTTP://radio.example/LISTEN.PLS"), std::string::npos) << settings;
    EXPECT_NE(settings.find("LocalServ=0"), std::string::npos) << settings;
}

INSTANTIATE_TEST_SUITE_P(TavDJProgram, BrokenSkin,
    testing::Values(SBrokenSkin { "NoControlIdFile", "ControlID.XML", false },
        SBrokenSkin { "NoSkinList", "default_skin/LIST.ini", false }, SBrokenSkin { "UnknownElement", "", true }),
    [](const testing::TestParamInfo<SBrokenSkin>& testInfo) { return std::string(testInfo.param.name); });

// A session that ends while a box of the start is open (no sound device at
// all: no sound server, no ALSA default).
struct SStartEnd {
    const char* name;
    int signal;
    const char* removed; // taken out of the program folder: a second box
    const char* box; // the box open when the signal comes
};

class SessionEndDuringStart : public TavDJProgram, public testing::WithParamInterface<SStartEnd> { };

TEST_P(SessionEndDuringStart, EndsAtOnceWithItsSettingsSaved)
{
    const SStartEnd& c = GetParam();
    TAVDJ_REQUIRE_TOOL(ToolOnPath("xprop"), "xprop");
    m_home.Set("PULSE_SERVER", "unix:" + m_home.Path("no-sound-server"));
    InstallDefaultSkin();
    if (*c.removed)
        fs::remove(Program() / c.removed);
    testutil::ChildProcess program;
    ASSERT_TRUE(Start(program, { "/serv_port", "9000" }));
    if (std::string(c.box) != "녹음 장치 초기화 실패") {
        ASSERT_NO_FATAL_FAILURE(AnswerDeviceBox());
    }
    const std::string box = WaitForWindow(c.box);
    ASSERT_FALSE(box.empty());
    // The box carries the program's icon, not a stock one.
    EXPECT_NE(CommandOutput("xprop -id " + box + " _NET_WM_ICON").find("Icon ("), std::string::npos);
    Screenshot("box");

    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(program.Pid(), c.signal), 0);
    EXPECT_EQ(program.Wait(5000), 0) << "the program did not end within 5 s, or not with status 0";
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5));
    // The settings object saved itself; the start went no further than
    // the box, so the command line was not applied yet at the device box.
    const std::string settings = SettingsFile();
    EXPECT_NE(settings.find("MainLeft="), std::string::npos) << settings;
    EXPECT_EQ(settings.find("Port=9000") != std::string::npos, *c.removed != 0) << settings;
}

INSTANTIATE_TEST_SUITE_P(TavDJProgram, SessionEndDuringStart,
    testing::Values(SStartEnd { "TermAtTheDeviceBox", SIGTERM, "", "녹음 장치 초기화 실패" },
        SStartEnd { "HangUpAtTheDeviceBox", SIGHUP, "", "녹음 장치 초기화 실패" },
        SStartEnd { "TermAtTheSkinErrorBox", SIGTERM, "ControlID.XML", "TavDJ" }),
    [](const testing::TestParamInfo<SStartEnd>& testInfo) { return std::string(testInfo.param.name); });

// The start-up update check starts the maker's launcher; the window does
// not wait for that, so the launcher finds it on the screen.
TEST_F(TavDJProgram, TheStartUpCheckRunsOnceTheWindowIsShown)
{
    InstallDefaultSkin();
    m_home.Set("TAVDJ_ASSUME_ONLINE", "1");
    const fs::path launcher = Program() / "VdLauncher.exe";
    const fs::path record = m_home.Path("launcher.txt");
    std::ofstream(launcher) << "#!/bin/sh\n"
                               "if xdotool search --onlyvisible --name '^TavDJ$' >/dev/null 2>&1; then\n"
                               "  shown=yes\nelse\n  shown=no\nfi\n"
                               "printf '%s %s\\n' \"$shown\" \"$1\" >> '"
                            << record.string() << "'\n";
    fs::permissions(launcher, fs::perms::owner_all);
    testutil::ChildProcess program;
    ASSERT_TRUE(Start(program, {}));
    ASSERT_NO_FATAL_FAILURE(AnswerDeviceBox());
    ASSERT_FALSE(WaitForWindow("TavDJ").empty());
    std::string ran;
    ASSERT_TRUE(WaitUntil([&] { return !(ran = ReadFile(record)).empty(); })) << "the launcher never ran";
    EXPECT_EQ(ran.rfind("yes ", 0), 0u) << ran;
    EXPECT_NE(ran.find("Command='checkversion'"), std::string::npos) << ran;
    EXPECT_EQ(std::count(ran.begin(), ran.end(), '\n'), 1) << ran;
}

TEST_F(TavDJProgram, DefaultSkinAppearsAndASecondStartOnlyBringsItForward)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("xmessage") && ToolOnPath("xwininfo"), "xmessage and xwininfo (x11-utils)");
    InstallDefaultSkin();
    testutil::ChildProcess program;
    ASSERT_TRUE(Start(program, {}));
    ASSERT_NO_FATAL_FAILURE(AnswerDeviceBox());
    const std::string window = WaitForWindow("TavDJ");
    ASSERT_FALSE(window.empty());
    Screenshot("main");

    // Another program's window comes over it.
    testutil::ChildProcess cover;
    ASSERT_TRUE(cover.Start({ "xmessage", "-title", "cover", "-geometry", "+0+0", "cover" }, false, true));
    const std::string coverWindow = WaitForWindow("cover");
    ASSERT_FALSE(coverWindow.empty());
    ASSERT_TRUE(WaitUntil([&] { return StackingPlace(coverWindow) < StackingPlace(window); }));

    // Later starts end at once, with or without arguments; the one without
    // brings the first window to the front.
    testutil::ChildProcess second;
    ASSERT_TRUE(Start(second, { "/serv_port", "9100" }));
    EXPECT_EQ(second.Wait(kWaitMs), 0);
    testutil::ChildProcess third;
    ASSERT_TRUE(Start(third, {}));
    EXPECT_EQ(third.Wait(kWaitMs), 0);
    EXPECT_EQ(program.Wait(0), -1) << "the first instance ended";
    EXPECT_TRUE(WaitUntil([&] { return StackingPlace(window) < StackingPlace(coverWindow); }))
        << CommandOutput("xwininfo -root -children");
    cover.Stop();

    // A reload reads setting.ini again and binds the new skin in the same
    // window: one a little lower here, so the new size shows it.
    fs::copy(Program() / "default_skin", Program() / "lower", fs::copy_options::recursive);
    const fs::path lowerXml = Program() / "lower" / "skin.xml";
    std::string text = ReadFile(lowerXml);
    const size_t at = text.find("MinSize=\"760,320\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 17, "MinSize=\"760,300\"");
    std::ofstream(lowerXml) << text;
    std::ofstream(Program() / "setting.ini") << "[SKIN]\nSKINPATH=lower\n";
    // A bare X server gives the keyboard to the window under the pointer.
    CommandSucceeds("xdotool mousemove --window " + window + " 300 20 key ctrl+r");
    EXPECT_TRUE(WaitUntil([&] {
        return CommandOutput("xdotool getwindowgeometry " + window).find("760x300") != std::string::npos;
    })) << CommandOutput("xdotool getwindowgeometry " + window);
    Screenshot("reloaded");

    CommandSucceeds("xdotool mousemove --window " + window + " " + std::to_string(kCloseButtonX) + " "
        + std::to_string(kCloseButtonY) + " click 1");
    EXPECT_EQ(program.Wait(kWaitMs), 0);
    // The second start's option never reached the settings.
    EXPECT_EQ(SettingsFile().find("Port=9100"), std::string::npos);
}

} // namespace

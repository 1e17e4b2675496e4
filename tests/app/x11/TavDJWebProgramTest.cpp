// The real program's web view on a private X server: a run that shows no
// page keeps Chromium and the GL driver out of the process, and a request
// board left open in the last session loads the web view and draws its
// page in the mini browser.
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using testutil::CommandOutput;

constexpr int kWaitMs = 20000;
// Chromium's first start under load can take long.
constexpr int kPageWaitMs = 90000;
// Where the mini browser is kept (the settings below), and a point of its
// page outside the main window, which the screen's centre holds.
constexpr int kPageX = 60;
constexpr int kPageY = 150;

template <class Done> bool WaitUntil(Done done, int boundMs = kWaitMs)
{
    return testutil::WaitUntil(done, boundMs, 50);
}

std::string Maps(pid_t pid)
{
    return testutil::ReadFile("/proc/" + std::to_string(pid) + "/maps");
}

class TavDJWebProgram : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool") && ToolOnPath("import"),
            "Xvfb, xdotool and ImageMagick's import");
        TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        testutil::ShowWebPages(m_home);
        // No recording device, the same on every machine.
        testutil::UseProgramEnvironment(
            m_home, "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\nctl.!default { type tavdjfake }\n");
        testutil::CopyBuiltDefaultSkin(m_home.Path("program"));
    }

    // Starts the program and answers the box about the missing recording
    // device; false when its main window never came.
    bool Start()
    {
        if (!m_program.Start({ TAVDJ_PROGRAM }, false, true))
            return false;
        if (!WaitUntil([&] { return Visible("녹음 장치 초기화 실패"); }))
            return false;
        (void)CommandSucceeds("xdotool key --clearmodifiers Return");
        return WaitUntil([&] { return Visible("TavDJ"); });
    }

    static bool Visible(const std::string& title) { return !testutil::VisibleWindow(title).empty(); }

    // The colour of one pixel of the screen, as ImageMagick names it.
    static std::string ScreenPixel(int x, int y)
    {
        return CommandOutput("import -window root -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y)
            + " -depth 8 txt:- 2>/dev/null");
    }

    TempHome m_home;
    XvfbServer m_xvfb;
    testutil::ChildProcess m_program;
};

TEST_F(TavDJWebProgram, AWindowWithoutAPageMapsNeitherChromiumNorAGlDriver)
{
    ASSERT_TRUE(Start());
    const std::string maps = Maps(m_program.Pid());
    ASSERT_NE(maps.find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(maps.find("libQt6WebEngineCore"), std::string::npos);
    EXPECT_EQ(maps.find("libQt6Quick"), std::string::npos);
    EXPECT_EQ(maps.find("_dri.so"), std::string::npos);
    EXPECT_EQ(maps.find("libLLVM"), std::string::npos);
}

TEST_F(TavDJWebProgram, TheBoardLeftOpenLoadsTheWebViewAndShowsItsPage)
{
    testutil::ChildProcess http;
    const int nPort = testutil::ServeRequestBoard(http, m_home.Path("site"),
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
        "<body style=\"background:#00ff00;margin:0\">신청곡 게시판</body></html>",
        kWaitMs);
    ASSERT_GT(nPort, 0) << "python3's web server told no port";

    const fs::path settings = fs::path(m_home.Path("data")) / "VANDREL" / "TavDJ" / "SETTING.ini";
    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << "[Network]\nRequestBoardRoot=http://127.0.0.1:" << nPort
                            << "/\n[Skin]\nShowMiniBrowser=1\nMiniBrowserLeft=0\nMiniBrowserTop=0\n"
                               "MiniBrowserWidth=320\nMiniBrowserHeight=440\n";
    ASSERT_TRUE(Start());
    EXPECT_TRUE(WaitUntil([] { return ScreenPixel(kPageX, kPageY).find("#00FF00") != std::string::npos; }, kPageWaitMs))
        << ScreenPixel(kPageX, kPageY);
    EXPECT_NE(Maps(m_program.Pid()).find("libQt6WebEngineCore"), std::string::npos);
}

} // namespace

// The real program on a private X server with a skin made from the default
// one at test time: the request board as a nested skin window that is no
// pop-up, with a resize border, a minimum size and the title field in it,
// resizes within that minimum keeping its outline to itself, and survives a
// reload with the field alive in the new board.
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using testutil::CommandOutput;
using testutil::ReadFile;
using testutil::VisibleWindow;
using testutil::WindowGeometry;

// Bounds, not delays: a program built with the sanitizers is slow under load.
constexpr int kWaitMs = 60000;
// Chromium's first start under load can take long.
constexpr int kPageWaitMs = 90000;
// Where the settings put the main window (760 x 320) and the board (at the
// screen's top-left corner, 320 x 440, clear of the main window).
constexpr int kMainLeft = 250;
constexpr int kMainTop = 440;
// The title field's place in the board's header, in the board.
constexpr int kFieldX = 100;
constexpr int kFieldY = 8;
constexpr int kFieldWidth = 100;
constexpr int kFieldHeight = 22;
// The "곡 제목" tab, in the main window.
constexpr int kTitleTabX = 598;
constexpr int kTitleTabY = 157;

template <class Done> bool WaitUntil(Done done, int boundMs = kWaitMs)
{
    return testutil::WaitUntil(done, boundMs);
}

class TavDJSkinWindows : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool") && ToolOnPath("import") && ToolOnPath("convert")
                && ToolOnPath("python3"),
            "Xvfb, xdotool, ImageMagick and python3");
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        testutil::ShowWebPages(m_home);
        testutil::UseProgramEnvironment(m_home);
        testutil::CopyBuiltDefaultSkin(Program());
        m_artifacts = testutil::TestArtifacts();
    }

    fs::path Program() const { return m_home.Path("program"); }

    // The default skin with changes, as skin.xml of the folder the program
    // loads, or of another skin folder in the program folder.
    ::testing::AssertionResult EditSkin(
        const std::vector<std::pair<std::string, std::string>>& edits, const std::string& folder = "default_skin")
    {
        const fs::path skinXml = Program() / folder / "skin.xml";
        std::string text = ReadFile(skinXml);
        for (const auto& [from, to] : edits) {
            if (!testutil::ReplaceFirst(&text, from, to))
                return ::testing::AssertionFailure() << "not in the default skin: " << from;
        }
        std::ofstream(skinXml) << text;
        return ::testing::AssertionSuccess();
    }

    void WriteSettings(const std::string& text)
    {
        const fs::path settings = fs::path(m_home.Path("data")) / "VANDREL" / "TavDJ" / "SETTING.ini";
        fs::create_directories(settings.parent_path());
        std::ofstream(settings) << "[Skin]\nMainLeft=" << kMainLeft << "\nMainTop=" << kMainTop << "\n" << text;
    }

    // Starts the program, answers the notice about the missing recording
    // device and waits for the main window.
    bool Start()
    {
        if (!m_program.Start({ TAVDJ_PROGRAM }, false, true))
            return false;
        // A program built with the sanitizers starts slowly under load.
        if (!WaitUntil([&] { return !VisibleWindow("녹음 장치 초기화 실패").empty(); }, kPageWaitMs))
            return false;
        (void)CommandSucceeds("xdotool key --clearmodifiers Return");
        return WaitUntil([&] { return !(m_window = VisibleWindow("TavDJ")).empty(); }, kPageWaitMs);
    }

    // The program's visible window at the screen's top-left corner of that
    // size; "" when there is none.
    std::string WindowAtOrigin(const std::string& size) const
    {
        std::istringstream ids(
            CommandOutput("xdotool search --onlyvisible --pid " + std::to_string(m_program.Pid()) + " '' 2>/dev/null"));
        for (std::string id; std::getline(ids, id);) {
            if (WindowGeometry(id).find("Position: 0,0 ") != std::string::npos && Size(id) == size)
                return id;
        }
        return {};
    }

    static std::string Size(const std::string& window)
    {
        const std::string geometry = WindowGeometry(window);
        const size_t at = geometry.find("Geometry: ");
        return at == std::string::npos ? geometry : geometry.substr(at + 10, geometry.find('\n', at) - at - 10);
    }

    void Screenshot(const std::string& name) { testutil::Screenshot(m_artifacts, name); }

    // The board's title field in the board's header, as an edit of the
    // default skin: taken out of the main window's third panel.
    static std::vector<std::pair<std::string, std::string>> FieldInBoard(const std::string& boardEdit = {})
    {
        const std::string field = "<WindowControl ID=\"IDC_EDIT_TITLE\" Align=\"none\" Rect=\""
            + std::to_string(kFieldX) + "," + std::to_string(kFieldY) + "," + std::to_string(kFieldX + kFieldWidth)
            + "," + std::to_string(kFieldY + kFieldHeight) + "\"/>";
        const std::string background
            = "<StaticControl StaticControlType=\"bitmap\" Image=\"bg.png\" ImageType=\"fillframe\" Align=\"client\"/>";
        std::vector<std::pair<std::string, std::string>> edits {
            { "<WindowControl ID=\"IDC_EDIT_TITLE\" Align=\"none\" Rect=\"16,31,324,53\"/>", "" },
            { background, background + field },
        };
        if (!boardEdit.empty())
            edits.push_back({ "PopupWindow=\"true\" Align=\"popup\">", boardEdit });
        return edits;
    }

    // Amber pixels (the title's colour) where the board shows its field.
    static int FieldAmber()
    {
        const std::string crop = "import -window root -crop " + std::to_string(kFieldWidth) + "x"
            + std::to_string(kFieldHeight) + "+" + std::to_string(kFieldX) + "+" + std::to_string(kFieldY)
            + " png:- | convert - -fuzz 25% -fill white -opaque 'rgb(214,142,34)' -fill black +opaque white"
              " -format '%[fx:int(mean*w*h)]' info:";
        return std::atoi(CommandOutput(crop).c_str());
    }

    // The request board served on loopback, and the settings that open it at
    // the screen's top-left corner with a saved title.
    ::testing::AssertionResult ServeBoard(testutil::ChildProcess& http)
    {
        const int nPort = testutil::ServeRequestBoard(http, m_home.Path("site"),
            "<!DOCTYPE html><html><body style=\"background:#00ff00\"></body></html>", kWaitMs);
        if (nPort <= 0)
            return ::testing::AssertionFailure() << "python3's web server told no port";
        WriteSettings("ShowMiniBrowser=1\nMiniBrowserLeft=0\nMiniBrowserTop=0\nMiniBrowserWidth=320\n"
                      "MiniBrowserHeight=440\n[Song]\nMent=WWWWWWWW\n[Network]\nRequestBoardRoot=http://127.0.0.1:"
            + std::to_string(nPort) + "/\n");
        return ::testing::AssertionSuccess();
    }

    // Ctrl+R with the keyboard given to the main window first: a click on
    // the skin's caption gives it that once the window has taken the focus
    // from the board.
    void ReloadFromTheMainWindow()
    {
        CommandSucceeds(
            "xdotool mousemove " + std::to_string(kMainLeft + 300) + " " + std::to_string(kMainTop + 20) + " click 1");
        EXPECT_TRUE(WaitUntil([&] { return CommandOutput("xdotool getwindowfocus").find(m_window) == 0; }))
            << CommandOutput("xdotool getwindowfocus");
        CommandSucceeds("xdotool key ctrl+r");
    }

    TempHome m_home;
    XvfbServer m_xvfb;
    testutil::ChildProcess m_program;
    std::string m_window;
    fs::path m_artifacts;
};

// The board, no pop-up, has a resize border and a minimum size and holds
// the title field in its header: its corner dragged far inwards stops at the
// minimum, and its outline never becomes the main window's;
// a reload builds it again, and the field, given back by the old board and
// placed in the new one, shows the saved title there.
TEST_F(TavDJSkinWindows, TheBoardResizesWithinItsMinimumAndItsTitleFieldOutlivesAReload)
{
    ASSERT_TRUE(EditSkin(FieldInBoard("ResizeBorder=\"true\" MinMaxSize=\"260,360,-1,-1\" Align=\"popup\">")));
    testutil::ChildProcess http;
    ASSERT_TRUE(ServeBoard(http));
    ASSERT_TRUE(Start());
    std::string board;
    ASSERT_TRUE(WaitUntil([&] { return !(board = WindowAtOrigin("320x440")).empty(); }, kPageWaitMs));

    // The corner's band is a few pixels wide, inside the board's rounded
    // outline.
    CommandSucceeds("xdotool mousemove 317 430 mousedown 1 mousemove 200 300 mousemove 40 40 mouseup 1");
    EXPECT_TRUE(WaitUntil([&] { return Size(board) == "260x360"; })) << Size(board);
    Screenshot("resized");
    // Each of those sizes gave the board its rounded outline, and the main
    // window kept its own.
    const std::string shape = CommandOutput("xwininfo -shape -id " + m_window);
    EXPECT_NE(shape.find("Window shape extents:  760x320+0+0"), std::string::npos) << shape;

    // The window's keys are the skin's once it has the keyboard.
    ReloadFromTheMainWindow();
    // The reload builds a new board window where the last one was, at the
    // size it was left.
    std::string rebuilt;
    ASSERT_TRUE(WaitUntil(
        [&] {
            rebuilt = WindowAtOrigin("260x360");
            return !rebuilt.empty() && rebuilt != board;
        },
        kPageWaitMs));
    // The field, alive and placed in the new board, shows the saved title:
    // amber text on its black ground.
    int nAmber = 0;
    EXPECT_TRUE(WaitUntil([&] { return (nAmber = FieldAmber()) > 40; })) << nAmber << " amber pixels";
    Screenshot("reloaded");

    // The field still takes typing: with the title tab chosen it is enabled,
    // a click gives it the keyboard, and one letter typed over the whole
    // title leaves an eighth of the text. The new skin may still be binding
    // its controls when the field first shows, so the typing is repeated
    // (it gives the same text each time) until it shows.
    const std::string type = "xdotool mousemove " + std::to_string(kMainLeft + kTitleTabX) + " "
        + std::to_string(kMainTop + kTitleTabY) + " click 1 mousemove " + std::to_string(kFieldX + kFieldWidth / 2)
        + " " + std::to_string(kFieldY + kFieldHeight / 2) + " click 1 key ctrl+a type W";
    const int nBefore = nAmber;
    EXPECT_TRUE(WaitUntil([&] {
        CommandSucceeds(type);
        nAmber = FieldAmber();
        return nAmber > 0 && nAmber < nBefore / 2;
    })) << nAmber
        << " amber pixels of " << nBefore;
    Screenshot("typed");
}

// A skin switch from the default skin, whose title field lies on the main
// window's third panel, to one that places it in the board, while another
// panel is chosen (the field hidden at home): the field shows in the board
// with the saved title.
TEST_F(TavDJSkinWindows, ASwitchToASkinWithTheTitleFieldInItsBoardShowsTheFieldThere)
{
    fs::copy(Program() / "default_skin", Program() / "board_skin", fs::copy_options::recursive);
    ASSERT_TRUE(EditSkin(FieldInBoard(), "board_skin"));
    testutil::ChildProcess http;
    ASSERT_TRUE(ServeBoard(http));
    ASSERT_TRUE(Start());
    std::string board;
    ASSERT_TRUE(WaitUntil([&] { return !(board = WindowAtOrigin("320x440")).empty(); }, kPageWaitMs));
    Screenshot("field-at-home");

    std::ofstream(Program() / "setting.ini") << "[SKIN]\nSKINPATH=board_skin\n";
    ReloadFromTheMainWindow();
    std::string rebuilt;
    ASSERT_TRUE(WaitUntil(
        [&] {
            rebuilt = WindowAtOrigin("320x440");
            return !rebuilt.empty() && rebuilt != board;
        },
        kPageWaitMs));
    int nAmber = 0;
    EXPECT_TRUE(WaitUntil([&] { return (nAmber = FieldAmber()) > 40; })) << nAmber << " amber pixels";
    Screenshot("field-in-board");
}

} // namespace

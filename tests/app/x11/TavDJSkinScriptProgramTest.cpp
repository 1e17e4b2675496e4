// The real program on a private X server running a skin whose script asks
// the user something: the default skin, copied at run time with a main()
// that shows a number box and carries on once it is answered.
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using testutil::CommandOutput;
using testutil::ReadFile;
using testutil::VisibleWindow;
using testutil::WindowGeometryValue;

constexpr int kWaitMs = 20000;
// The default skin's close button in the main window.
constexpr int kCloseButtonX = 730;
constexpr int kCloseButtonY = 20;
// The one button of a box with a one-line text: its centre lies this far
// from the box's right and bottom edges.
constexpr int kOkFromRight = 55;
constexpr int kOkFromBottom = 23;

// The script, and the label it writes into once the box is answered. The
// undeclared function after that is an error the script reports to the
// debug trace: the program's own record that the script went on.
constexpr const char* kScript = "<Script><?Script\n"
                                "void main() {\n"
                                "  MessageBoxNum(4242);\n"
                                "  SetControlText(\"IDC_SCRIPT_ANSWER\", \"4242 answered\");\n"
                                "  AfterTheBox();\n"
                                "}\n"
                                "?></Script>\n";
constexpr const char* kLabel
    = "<StaticControl ID=\"IDC_SCRIPT_ANSWER\" FontName=\"Readout\" FontColor=\"#FFD040\" Align=\"none\""
      " Rect=\"270,10,510,32\"/>\n";
constexpr int kLabelLeft = 270;
constexpr int kLabelTop = 10;
constexpr int kLabelWidth = 240;
constexpr int kLabelHeight = 22;
constexpr const char* kPastTheBox = "@@rGXScriptVM::Error - 306\n";
constexpr const char* kLabelId = "<DefineControlID ID=\"IDC_SCRIPT_ANSWER\" Value=\"4900\"/>\n";

template <class Done> bool WaitUntil(Done done)
{
    return testutil::WaitUntil(done, kWaitMs);
}

// Pixels of a screen shot's rectangle in the label's colour (#FFD040, a
// colour the default skin does not use), read through ImageMagick.
int LabelInk(const fs::path& shot, int x, int y, int cx, int cy)
{
    std::istringstream pixels(CommandOutput("convert '" + shot.string() + "' -crop " + std::to_string(cx) + "x"
        + std::to_string(cy) + "+" + std::to_string(x) + "+" + std::to_string(y) + " txt:-"));
    int count = 0;
    for (std::string line; std::getline(pixels, line);) {
        int r = 0;
        int g = 0;
        int b = 0;
        const std::size_t at = line.find(": (");
        if (at != std::string::npos && std::sscanf(line.c_str() + at, ": (%d,%d,%d)", &r, &g, &b) == 3 && r > 200
            && g > 150 && b < 120)
            ++count;
    }
    return count;
}

// Inserts text after the first occurrence of anchor; false when missing.
bool InsertAfter(std::string* pText, const std::string& anchor, const std::string& text)
{
    const std::size_t at = pText->find(anchor);
    if (at == std::string::npos)
        return false;
    pText->insert(at + anchor.size(), text);
    return true;
}

class TavDJSkinScriptProgram : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool") && ToolOnPath("import") && ToolOnPath("convert"),
            "Xvfb, xdotool and ImageMagick's import and convert");
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        m_home.Set("TAVDJ_DEBUG_TRACE", Trace().string());
        testutil::UseProgramEnvironment(m_home);
        m_artifacts = testutil::TestArtifacts();

        const fs::path program = m_home.Path("program");
        testutil::CopyBuiltDefaultSkin(program);
        const fs::path skinXml = program / "default_skin" / "skin.xml";
        std::string text = ReadFile(skinXml);
        ASSERT_TRUE(InsertAfter(&text, "Draggable=\"true\">", kScript));
        ASSERT_TRUE(InsertAfter(&text, "<PreDefine>", kLabelId));
        // Beside the close button, drawn after the background.
        ASSERT_TRUE(InsertAfter(&text, "Rect=\"716,6,744,34\"/>", kLabel));
        std::ofstream(skinXml) << text;
    }

    fs::path Trace() const { return fs::path(m_home.Path("tmp")) / "trace.log"; }

    // How many times the script went on past a box: each run of main()
    // reports its error once.
    [[nodiscard]] int ScriptRunsPastTheBox() const
    {
        const std::string trace = ReadFile(Trace());
        int count = 0;
        for (std::size_t at = trace.find(kPastTheBox); at != std::string::npos; at = trace.find(kPastTheBox, at + 1))
            ++count;
        return count;
    }

    fs::path Screenshot(const std::string& name) { return testutil::Screenshot(m_artifacts, name); }

    TempHome m_home;
    XvfbServer m_xvfb;
    fs::path m_artifacts;
};

TEST_F(TavDJSkinScriptProgram, NumberBoxIsShownAndTheScriptGoesOnWhenItIsAnswered)
{
    testutil::ChildProcess program;
    ASSERT_TRUE(program.Start({ TAVDJ_PROGRAM }, false, true));
    // main() runs for the nested panel window and then for the main
    // window, each time with its box; the start also tells (before or
    // between them) that there is no recording device.
    std::string window;
    int nAnswered = 0;
    while (nAnswered < 4) {
        std::string box;
        ASSERT_TRUE(WaitUntil([&] {
            if (const std::string device = VisibleWindow("녹음 장치 초기화 실패"); !device.empty())
                CommandSucceeds("xdotool mousemove --window " + device + " 20 20 key --clearmodifiers Return");
            box = VisibleWindow("GXS");
            window = box.empty() ? VisibleWindow("TavDJ") : "";
            return !box.empty() || !window.empty();
        }));
        if (box.empty())
            break;
        // The box waits for the user: the script has not gone on.
        ASSERT_EQ(ScriptRunsPastTheBox(), nAnswered) << ReadFile(Trace());
        if (nAnswered == 0)
            Screenshot("box");

        // The user presses OK on the box.
        const int nWidth = WindowGeometryValue(box, "WIDTH");
        const int nHeight = WindowGeometryValue(box, "HEIGHT");
        ASSERT_GT(nWidth, kOkFromRight);
        ASSERT_GT(nHeight, kOkFromBottom);
        CommandSucceeds("xdotool mousemove --window " + box + " " + std::to_string(nWidth - kOkFromRight) + " "
            + std::to_string(nHeight - kOkFromBottom) + " click 1");
        ++nAnswered;
        ASSERT_TRUE(WaitUntil([&] { return ScriptRunsPastTheBox() == nAnswered; })) << ReadFile(Trace());
        ASSERT_TRUE(WaitUntil([&] { return VisibleWindow("GXS") != box; }));
    }
    EXPECT_EQ(nAnswered, 2);
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(ScriptRunsPastTheBox(), 2);
    // The text the script wrote after the box shows in the main window,
    // once the window has painted.
    EXPECT_TRUE(WaitUntil([&] {
        const int x = WindowGeometryValue(window, "X") + kLabelLeft;
        const int y = WindowGeometryValue(window, "Y") + kLabelTop;
        return LabelInk(Screenshot("answered"), x, y, kLabelWidth, kLabelHeight) > 50;
    }));

    CommandSucceeds("xdotool mousemove --window " + window + " " + std::to_string(kCloseButtonX) + " "
        + std::to_string(kCloseButtonY) + " click 1");
    EXPECT_EQ(program.Wait(kWaitMs), 0);
}

} // namespace

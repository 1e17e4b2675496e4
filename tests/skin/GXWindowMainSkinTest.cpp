// A loaded skin as the program runs it: a skin folder or zip made here,
// read and built by a top skin window, then driven through the window (its
// script, its mouse handling, its theme switch) and observed where a user
// or an operator would see the result: the controls' pictures, the shared
// tooltip, the open files of the process, the debug trace.
#include "skin/GXWindowMain.h"

#include "foundation/DebugTrace.h"
#include "skin/GXSubTooltipWindow.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConListBox.h"
#include "skin/controls/GXConStatic.h"
#include "skin/controls/GXConStaticFade.h"
#include "support/DibPixels.h"
#include "support/RequireTool.h"
#include "support/SkinWindowRig.h"
#include "support/SyntheticSkin.h"
#include "support/TestSandbox.h"
#include "support/TextFile.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPlainId = 1001;
constexpr int kFadeId = 1002;
constexpr int kButtonId = 1003;
constexpr int kListId = 1004;

// Two pictures for every kind of control, a list narrower than its texts,
// a colour theme to switch to, and whatever script the test brings.
std::string SkinXml(const std::string& script)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GXSkin>\n"
           "<SkinWindow Width=\"200\" Height=\"100\" BkgndColor=\"#203040\">\n"
           "<Script><?Script\n"
        + script
        + "\n?></Script>\n<PreDefine>\n"
          "<ColorTheme Name=\"Plain\" Value=\"0,0,0\"/><ColorTheme Name=\"Warm\" Value=\"20,0,-20\"/>\n"
          "<DefineControlID ID=\"IDC_PLAIN\" Value=\"1001\"/><DefineControlID ID=\"IDC_FADE\" Value=\"1002\"/>\n"
          "<DefineControlID ID=\"IDC_BUTTON\" Value=\"1003\"/><DefineControlID ID=\"IDC_LIST\" Value=\"1004\"/>\n"
          "</PreDefine>\n<ControlDefine>\n"
          "<StaticControl ID=\"IDC_PLAIN\" StaticControlType=\"bitmap\" Image=\"one.bmp\" Image2=\"two.bmp\""
          " Align=\"none\" Rect=\"0,0,20,20\"/>\n"
          "<StaticFadeControl ID=\"IDC_FADE\" StaticFadeControlType=\"bitmap\" Image=\"one.bmp\" Image2=\"two.bmp\""
          " ImageType=\"animation\" AniSplit=\"2\" AniDelay=\"60000\" Align=\"none\" Rect=\"20,0,30,20\"/>\n"
          "<ButtonControl ID=\"IDC_BUTTON\" ButtonControlType=\"bitmap\" Image=\"one.bmp\" Image2=\"two.bmp\""
          " Align=\"none\" Rect=\"40,0,60,20\"/>\n"
          "<ListBoxControl ID=\"IDC_LIST\" ItemHeight=\"20\" Align=\"none\" Rect=\"0,40,70,100\"/>\n"
          "</ControlDefine>\n</SkinWindow>\n</GXSkin>\n";
}

class SkinWindowSkin : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_box.Create("tavdj-skinwindow"));
        m_box.SetEnv("TMPDIR", m_box.Dir().string());
    }

    // The skin folder "skin" with that script; late.bmp is named by no
    // control, so only a read after the build fetches it.
    fs::path WriteSkin(const std::string& script) const
    {
        const fs::path folder = m_box.Dir() / "skin";
        WriteTestFile(folder / "skin.xml", SkinXml(script));
        WriteTestFile(folder / "LIST.ini", "");
        WriteTestFile(folder / "one.bmp", MakeTestBmp(20, 20, 1));
        WriteTestFile(folder / "two.bmp", MakeTestBmp(20, 20, 2));
        WriteTestFile(folder / "late.bmp", MakeTestBmp(8, 8, 3));
        WriteTestFile(folder / "page.html", "<html></html>");
        return folder;
    }

    static bool Load(GXWindowMain& window, const fs::path& path)
    {
        return window.SetSkinPath(path.string(), false) && window.LoadSkinXml("skin.xml", 0, true)
            && window.BuildSkin();
    }

    TestSandbox m_box;
};

// How many of this process's open files are that file.
int OpenCount(const fs::path& file)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == file)
            ++count;
    }
    return count;
}

std::vector<COLORREF> Pixels(const GDib& image)
{
    std::vector<COLORREF> out;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x)
            out.push_back(PixelAt(image, x, y));
    }
    return out;
}

TEST_F(SkinWindowSkin, ScriptSwitchesPicturesOfStaticsAndButtonsOnly)
{
    const fs::path folder = WriteSkin("void main() { }");
    SkinWindowRig rig(200, 100);
    ASSERT_TRUE(Load(*rig.pWindow, folder)) << rig.pWindow->GetErrorText();
    auto* pPlain = dynamic_cast<GXConStatic*>(rig.pWindow->FindControl(kPlainId));
    auto* pFade = dynamic_cast<GXConStaticFade*>(rig.pWindow->FindControl(kFadeId));
    auto* pButton = dynamic_cast<GXConButton*>(rig.pWindow->FindControl(kButtonId));
    ASSERT_TRUE(pPlain != nullptr && pFade != nullptr && pButton != nullptr);
    const std::vector<COLORREF> before = Pixels(pFade->GetDisplayImage());

    struct Case {
        const char* script;
        int nPlain, nFade, nButton;
    };
    const Case cases[] = {
        { "SETIN(\"IDC_PLAIN\", 1);", 1, 0, 0 },
        { "SetImageNum(\"IDC_BUTTON\", 1);", 1, 0, 1 },
        // A fading static is not a static to the script.
        { "SetImageNum(\"IDC_FADE\", 1); SETIN(\"IDC_FADE\", 1);", 1, 0, 1 },
        { "SETIN(\"IDC_LIST\", 1); SETIN(\"IDC_NOWHERE\", 0);", 1, 0, 1 },
        { "SETIN(\"IDC_PLAIN\", 0); SETIN(\"IDC_BUTTON\", 0);", 0, 0, 0 },
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(rig.pWindow->RunScript(c.script)) << c.script;
        EXPECT_EQ(pPlain->GetImageNum(), c.nPlain) << c.script;
        EXPECT_EQ(pFade->GetImageNum(), c.nFade) << c.script;
        EXPECT_EQ(pButton->GetImageNum(), c.nButton) << c.script;
    }
    // Nor did its fade start over from the other picture.
    EXPECT_EQ(pFade->GetCurrentFrame(), 0);
    EXPECT_EQ(pFade->GetFadeLevel(), 0);
    EXPECT_EQ(Pixels(pFade->GetDisplayImage()), before);
}

TEST_F(SkinWindowSkin, CutListCellTooltipReadsItsAmpersandOnce)
{
    const fs::path folder = WriteSkin("void main() { }");
    SkinWindowRig rig(200, 100);
    ASSERT_TRUE(Load(*rig.pWindow, folder)) << rig.pWindow->GetErrorText();
    auto* pList = dynamic_cast<GXConListBox*>(rig.pWindow->FindControl(kListId));
    ASSERT_NE(pList, nullptr);
    const std::string title = "Rock & Roll Ain't Noise Pollution";
    pList->InsertItem(0, title, GXConBase::Redraw::Yes);
    // The first move over the cell finds it cut, the next one shows it.
    rig.pWindow->HandleMouseMove(GXPoint { 5, 45 });
    rig.pWindow->HandleMouseMove(GXPoint { 6, 45 });

    GXSubTooltipWindow* pTip = GXSubTooltipWindow::Shared();
    ASSERT_NE(pTip, nullptr);
    ASSERT_TRUE(pTip->isVisible());
    EXPECT_EQ(pTip->GetOwner(), pList);
    // What the user reads is the title as it is, one "&", measured so.
    const QString shown = QString::fromStdString(title);
    const QFontMetrics metrics(pTip->font());
    EXPECT_EQ(pTip->width(), metrics.horizontalAdvance(shown) + 6);
    QImage expected(pTip->size(), QImage::Format_RGB32);
    expected.fill(QColor(255, 255, 200));
    QPainter painter(&expected);
    painter.setFont(pTip->font());
    painter.setPen(Qt::black);
    painter.drawText(QRect(3, 3, expected.width() - 3, expected.height() - 3), Qt::AlignLeft | Qt::AlignTop, shown);
    painter.drawRect(0, 0, expected.width() - 1, expected.height() - 1);
    painter.end();
    EXPECT_EQ(pTip->grab().toImage().convertToFormat(QImage::Format_RGB32), expected);
}

TEST_F(SkinWindowSkin, ZipIsClosedOnceBuiltAndReopenedForLaterReads)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    const fs::path folder = WriteSkin("string gSeen;\nvoid main() { gSeen = \"built\"; }");
    const fs::path zip = m_box.Dir() / "skin.zip";
    ASSERT_EQ(std::system(("cd '" + folder.string() + "' && zip -q -r '" + zip.string() + "' .").c_str()), 0);

    SkinWindowRig rig(200, 100);
    ASSERT_TRUE(Load(*rig.pWindow, zip)) << rig.pWindow->GetErrorText();
    EXPECT_EQ(rig.pWindow->EvalText("$gSeen"), "built");
    EXPECT_EQ(OpenCount(zip), 0);

    // Each later need opens it again and finds what it looks for.
    GDib* pLate = rig.pWindow->GetImage("late.bmp");
    ASSERT_NE(pLate, nullptr);
    EXPECT_EQ(pLate->GetWidth(), 8);
    EXPECT_EQ(OpenCount(zip), 1);
    ASSERT_TRUE(rig.pWindow->SelectColorTheme(1));
    EXPECT_EQ(OpenCount(zip), 0);
    std::string temp;
    ASSERT_TRUE(rig.pWindow->GetTempFolder(&temp));
    EXPECT_TRUE(fs::exists(fs::path(temp) / "page.html"));
    ASSERT_TRUE(rig.pWindow->RunScript("SETIN(\"IDC_PLAIN\", 1);"));
    EXPECT_EQ(rig.pWindow->FindControl(kPlainId)->GetImageNum(), 1);

    // A reload deletes the window, and its new window builds and closes
    // again.
    rig.pWindow.reset();
    EXPECT_EQ(OpenCount(zip), 0);
    SkinWindowRig reloaded(200, 100);
    ASSERT_TRUE(Load(*reloaded.pWindow, zip)) << reloaded.pWindow->GetErrorText();
    EXPECT_EQ(OpenCount(zip), 0);
}

TEST_F(SkinWindowSkin, ScriptErrorReportsGoToTheDebugTraceWhenItIsOn)
{
    const fs::path trace = m_box.Dir() / "trace.log";
    m_box.SetEnv(kDebugTraceEnv, trace.string());
    const fs::path folder = WriteSkin("void Later() { NoSuchFunction(); }\nvoid main() { Later(); }");
    SkinWindowRig rig(200, 100);
    ASSERT_TRUE(Load(*rig.pWindow, folder)) << rig.pWindow->GetErrorText();
    ASSERT_FALSE(rig.pWindow->RunScript("if ("));

    const std::string text = testutil::ReadFile(trace);
    for (const char* line : { "@@rGXScriptVM::Error - 306\n", "@@r GXScriptVM Call stack - [1], [main]\n",
             "@@r GXScriptVM Call stack - [2], [Later]\n", "@@rGXScriptParser::Error(err:200 " })
        EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;
}

} // namespace

// The skin loader: a skin read from a folder and from a zip of the same
// files gives the same window; every loader error with its text and
// detail; images, themes, cursors and the hooks controls call.
#include "skin/GXWindowMain.h"

#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/GXManAlign.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSubFont.h"
#include "skin/SkinCursor.h"
#include "skin/SkinFormat.h"
#include "support/DibPixels.h"
#include "support/RequireTool.h"
#include "support/SkinWindowRig.h"
#include "support/SyntheticSkin.h"
#include "support/TestSandbox.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <typeinfo>

namespace {

namespace fs = std::filesystem;

// What a user sees of a window: every control with its kind, place, ids and
// tooltip, nested windows inside out, the flags, the theme, the script's
// state and a checksum of the picture.
std::string Describe(GXWindowMain& window)
{
    std::string out;
    for (const auto& pControl : window.GetControls()) {
        SRect rect;
        pControl->GetRect(&rect);
        const GXConBase& control = *pControl;
        out += std::string(typeid(control).name()) + " " + std::to_string(pControl->GetControlId()) + " "
            + std::to_string(pControl->GetCommandId()) + " " + std::to_string(rect.left) + ","
            + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," + std::to_string(rect.bottom) + " "
            + pControl->GetTooltip() + "\n";
        if (auto* pNested = dynamic_cast<GXWindowMain*>(pControl.get()))
            out += "{\n" + Describe(*pNested) + "}\n";
    }
    const SGxWindowFlags& flags = window.GetWindowFlags();
    out += "flags " + std::to_string(flags.bDraggable) + std::to_string(flags.bPopupWindow) + " "
        + std::to_string(flags.minMaxSize[0]) + "," + std::to_string(flags.minMaxSize[3]) + "\n";
    out += "theme " + std::to_string(window.GetColorThemeIndex()) + " " + window.GetColorTheme().name + "\n";
    out += "script " + window.EvalText("$gState") + "\n";
    const GDib& back = window.GetBackBuffer();
    std::uint64_t sum = 0;
    for (int y = 0; y < back.GetHeight(); ++y) {
        for (int x = 0; x < back.GetWidth(); ++x)
            sum = sum * 31 + PixelAt(back, x, y);
    }
    out += "picture " + std::to_string(back.GetWidth()) + "x" + std::to_string(back.GetHeight()) + " "
        + std::to_string(sum) + "\n";
    return out;
}

// A cursor file: an 8x8 icon saved by Qt, turned into a cursor with its
// hotspot written into the first directory entry.
std::string MakeCursorFile(int nHotX, int nHotY)
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ico");
    std::string data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    data[2] = 2;
    data[10] = static_cast<char>(nHotX);
    data[12] = static_cast<char>(nHotY);
    return data;
}

std::string Chunk(const std::string& id, const std::string& body)
{
    std::string out = id;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(body.size() >> (8 * i));
    out += body;
    if (body.size() % 2 != 0)
        out += '\0';
    return out;
}

// An animated cursor: a header chunk, then two frames in a "fram" list.
std::string MakeAniFile(const std::string& firstFrame, const std::string& secondFrame)
{
    const std::string body = "ACON" + Chunk("anih", std::string(36, '\1'))
        + Chunk("LIST", "fram" + Chunk("icon", firstFrame) + Chunk("icon", secondFrame));
    return Chunk("RIFF", body);
}

class SkinLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_box.Create("tavdj-skinload"));
        m_box.SetEnv("TMPDIR", m_box.Dir().string());
    }

    fs::path Dir() const { return m_box.Dir(); }

    bool Shell(const std::string& command) const
    {
        return std::system(("cd '" + Dir().string() + "' && { " + command + "; } >/dev/null 2>&1").c_str()) == 0;
    }

    // Sets the path, reads and builds; the loader's answer.
    static bool Load(GXWindowMain& window, const fs::path& path)
    {
        return window.SetSkinPath(path.string(), false) && window.LoadSkinXml("skin.xml", 0, true)
            && window.BuildSkin();
    }

    TestSandbox m_box;
};

// A small skin with the synthetic skin's parts plus a nested window, a font,
// a theme-locked image and a cursor from a file.
std::string RichSkinXml()
{
    SSyntheticSkin wanted;
    wanted.nControls = 12;
    wanted.nImages = 6;
    wanted.nScriptFunctions = 3;
    wanted.nDollarTexts = 5;
    std::string xml = MakeSyntheticSkinXml(wanted);
    const auto insert
        = [&xml](const std::string& before, const std::string& text) { xml.insert(xml.find(before), text); };
    insert("</PreDefine>",
        "<Font FontName=\"Main\" FaceName=\"DejaVu Sans\" Size=\"9\"/>\n"
        "<ColorThemeLockImage Image=\"img1\"/>\n<Cursor CursorName=\"arrow\" FileName=\"Cursors/Point.CUR\"/>\n"
        "<DefineControlID ID=\"IDW_TOOL\" Value=\"2000\"/><DefineControlID ID=\"IDC_INNER\" Value=\"2001\"/>\n");
    insert("</ControlDefine>",
        "<SkinWindow ID=\"IDW_TOOL\" Align=\"popup\" Width=\"120\" Height=\"40\" BkgndColor=\"#102030\">\n"
        "<ControlDefine><StaticControl ID=\"IDC_INNER\" Align=\"client\" Tooltip=\"$Caption(&quot;inner&quot;)\"/>"
        "</ControlDefine></SkinWindow>\n");
    return xml;
}

TEST_F(SkinLoad, FolderAndZipGiveTheSameWindow)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    SSyntheticSkin wanted;
    wanted.nImages = 6;
    WriteSyntheticSkin(Dir() / "folder", wanted);
    WriteTestFile(Dir() / "folder" / "skin.xml", RichSkinXml());
    WriteTestFile(Dir() / "folder" / "cursors" / "point.cur", MakeCursorFile(3, 5));
    ASSERT_TRUE(Shell("cd folder && zip -q -r ../skin.zip ."));

    SkinWindowRig fromFolder(400, 300);
    ASSERT_TRUE(Load(*fromFolder.pWindow, Dir() / "folder")) << fromFolder.pWindow->GetErrorText();
    SkinWindowRig fromZip(400, 300);
    ASSERT_TRUE(Load(*fromZip.pWindow, Dir() / "skin.zip")) << fromZip.pWindow->GetErrorText();

    const std::string described = Describe(*fromFolder.pWindow);
    EXPECT_EQ(described, Describe(*fromZip.pWindow));
    // The description holds what the skin says, not two equal empty windows.
    EXPECT_EQ(fromFolder.pWindow->GetControls().size(), 13u);
    EXPECT_NE(described.find("버튼 4\n"), std::string::npos);
    EXPECT_NE(described.find("버튼 inner\n"), std::string::npos);
    EXPECT_NE(described.find("theme 0 Warm\n"), std::string::npos);
    EXPECT_NE(described.find("script ready\n"), std::string::npos);
    EXPECT_NE(described.find("flags 10 200,600\n"), std::string::npos);
    for (GXWindowMain* pWindow : { fromFolder.pWindow.get(), fromZip.pWindow.get() }) {
        EXPECT_EQ(pWindow->GetErrorCode(), 0) << pWindow->GetErrorText();
        ASSERT_NE(pWindow->FindControl(2001), nullptr);
        EXPECT_NE(pWindow->FindFont("Main"), nullptr);
        ASSERT_NE(pWindow->FindCursor("arrow"), nullptr);
        EXPECT_EQ(pWindow->FindCursor("arrow")->hotSpot(), QPoint(3, 5));
        EXPECT_EQ(pWindow->FindCursor("hand")->shape(), Qt::PointingHandCursor);
        // The second theme's name is a "$" text.
        ASSERT_TRUE(pWindow->SelectColorTheme(-1));
        EXPECT_EQ(pWindow->GetColorTheme().name, "버튼 theme");
    }
    EXPECT_EQ(Describe(*fromFolder.pWindow), Describe(*fromZip.pWindow));

    bool bResources = true;
    bool bZip = false;
    std::string path;
    ASSERT_TRUE(fromZip.pWindow->GetSkinSource(&bResources, &bZip, &path));
    EXPECT_TRUE(bZip);
    EXPECT_FALSE(bResources);
    // The zip's other files go to a folder of this user's own; the files
    // the skin reads itself stay in the zip.
    std::string temp;
    ASSERT_TRUE(fromZip.pWindow->GetTempFolder(&temp));
    EXPECT_EQ(temp.rfind(Dir().string(), 0), 0u) << temp;
    EXPECT_NE(temp.find("/GXSKINTEMP/"), std::string::npos);
    EXPECT_TRUE(fs::exists(fs::path(temp) / "cursors" / "point.cur"));
    EXPECT_FALSE(fs::exists(fs::path(temp) / "skin.xml"));
    EXPECT_FALSE(fromFolder.pWindow->GetTempFolder(&temp));
    // Browser pages named "./..." are looked up there.
    EXPECT_EQ(fromZip.pWindow->GetSkinContentFolder() + "/", temp);
    EXPECT_EQ(fromFolder.pWindow->GetSkinContentFolder(), (Dir() / "folder").string());
}

// A pop-up window of the skin is drawn by the time it shows, though the
// load left it unshown.
TEST_F(SkinLoad, APopUpWindowIsDrawnAsItShows)
{
    SSyntheticSkin wanted;
    wanted.nImages = 6;
    WriteSyntheticSkin(Dir() / "folder", wanted);
    WriteTestFile(Dir() / "folder" / "skin.xml", RichSkinXml());
    WriteTestFile(Dir() / "folder" / "cursors" / "point.cur", MakeCursorFile(3, 5));
    SkinWindowRig rig(400, 300);
    ASSERT_TRUE(Load(*rig.pWindow, Dir() / "folder")) << rig.pWindow->GetErrorText();
    auto* pTool = dynamic_cast<GXWindowMain*>(rig.pWindow->FindControl(2000));
    ASSERT_NE(pTool, nullptr);
    ASSERT_NE(pTool->GetWidget(), nullptr);

    pTool->GetWidget()->show();
    const GDib& back = pTool->GetBackBuffer();
    ASSERT_EQ(back.GetWidth(), 120);
    ASSERT_EQ(back.GetHeight(), 40);
    EXPECT_EQ(PixelAt(back, 1, 1), GxRgb(0x10, 0x20, 0x30));
}

TEST_F(SkinLoad, EachLoaderErrorHasItsTextAndDetail)
{
    WriteTestFile(Dir() / "skin" / "a.bmp", MakeTestBmp(4, 4, 1));
    WriteTestFile(Dir() / "skin" / "bad.cur", "not a cursor");
    WriteTestFile(Dir() / "skin" / "LIST.xml", "");
    const auto skin = [](const std::string& defines, const std::string& controls, const std::string& attributes = {}) {
        return "<GXSkin><SkinWindow" + attributes + "><Script><?Script int Broken() { return 1 / 0; } ?></Script>"
            + "<PreDefine><DefineControlID ID=\"IDC_A\" Value=\"1\"/><DefineControlID ID=\"ID_GO\" Value=\"2\"/>"
            + defines + "</PreDefine><ControlDefine>" + controls + "</ControlDefine></SkinWindow></GXSkin>";
    };
    const std::string okStatic = R"(<StaticControl ID="IDC_A" Align="client"/>)";
    struct Case {
        std::string xml;
        std::string text; // GetErrorText
        bool bLoaded = false; // BuildSkin succeeds
    };
    const Case cases[] = {
        { skin("", okStatic), "오류 없음 ", true },
        { "<GXSkin><SkinWindow/></GXSkin", "XML 스킨 파일 읽기 실패 Line:" },
        { "<Skin><SkinWindow/></Skin>", "잘못된 루트 태그 " },
        { "<GXSkin><Window/></GXSkin>", "필요한 태그(SkinWindow)를 찾을 수 없음 SkinWindow" },
        { "<GXSkin><SkinWindow/></GXSkin>", "필요한 태그가 없음 ControlDefine" },
        { skin("", okStatic, R"( BkgndImage="a.bmp")"), "배경 이미지 타입이 존재하지 않음 " },
        { skin("", okStatic, R"( BkgndImage="nope.bmp" BkgndType="tile")"), "이미지 열기 실패 nope.bmp" },
        { skin("", okStatic, R"( BkgndImage="A.BMP" BkgndType="tiled")"), "정의안된 배경 타입 tiled" },
        { skin(R"(<DefineControlID ID="IDC_A" Value="7"/>)", okStatic), "중복된 컨트롤 아이디 IDC_A,7" },
        { skin(R"(<ColorTheme Name="x"/>)", okStatic), "컬러 테마 값이 없음 " },
        { skin(R"(<ColorTheme Value="1,2,3"/>)", okStatic), "컬러 테마 이름이 없음 " },
        { skin(R"(<Font FontName="F" Size="9"/><Font FontName="F" Size="10"/>)", okStatic), "중복된 폰트 이름 F" },
        { skin(R"(<Image ImageName="x"/>)", okStatic), "이미지 파일 이름이 없음 " },
        { skin(R"(<Image Image="a.bmp"/>)", okStatic), "이미지 이름이 없음 " },
        { skin(R"(<Image Image="gone.bmp" ImageName="g"/>)", okStatic), "이미지 열기 실패 gone.bmp" },
        { skin(R"(<DefineControlID ID="IDC_B"/>)", okStatic), "DefineControlID - 정보 부족 " },
        { skin(R"(<DefineWindowControlID ID="IDW_X" Value="77"/>)", okStatic), "잘못된 윈도우 컨트롤 아이디 IDW_X" },
        { skin("", "<FooControl/>"), "잘못된 컨트롤 태그 FooControl" },
        { skin("", "loose text"), "컨트롤 태그가 없음 Line:1 Col:" },
        { skin("", okStatic + okStatic), "중복된 컨트롤 아이디 ControlName:StaticControl, ControlID:IDC_A" },
        { skin("", R"(<StaticControl ID="IDC_NOWHERE" Align="client"/>)"),
            "정의되지 않은 컨트롤 아이디 ControlName:StaticControl, ControlID:IDC_NOWHERE", true },
        { skin("", R"(<ButtonControl CMD="ID_NOPE" ButtonControlType="transparent" Align="client"/>)"),
            "잘못된 속성값 CMD=\"ID_NOPE\"" },
        { skin("", R"(<ButtonControl Align="client"/>)"), "필요한 속성이 없음 ButtonControl(ButtonControlType)" },
        { skin("", R"(<StaticControl/>)"), "Align 속성이 없음 " },
        // Controls outside the first group report their own detail alone.
        { skin("", R"(<XSplitterControl Align="client"/>)"), "필요한 속성이 없음 ControlLT" },
        { skin(R"x(<DoScript CMD="Broken()"/>)x", okStatic), "스크립트 처리중 오류 발생 EXP:" },
        { skin(R"(<ImageFont FontName="F" Image="a.bmp"/>)", okStatic), "ImageFont - 정보 부족 " },
        { skin(R"(<Cursor CursorName="c"/>)", okStatic), "커서 생성 실패 - 정보 부족 " },
        { skin(R"(<Cursor CursorName="c" PredefinedCursor="IDC_WAIT"/><Cursor CursorName="c" FileName="x.cur"/>)",
              okStatic),
            "중복된 커서 이름 c" },
        { skin(R"(<Cursor CursorName="c" FileName="bad.cur"/>)", okStatic), "커서 열기 실패 bad.cur" },
        { skin(R"(<Cursor CursorName="c" PredefinedCursor="IDC_FOO"/>)", okStatic), "커서 열기 실패 IDC_FOO" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        WriteTestFile(Dir() / "skin" / "skin.xml", c.xml);
        SkinWindowRig rig;
        GXWindowMain& window = *rig.pWindow;
        ASSERT_TRUE(window.SetSkinPath((Dir() / "skin").string(), false));
        const bool bLoaded = window.LoadSkinXml("skin.xml", 0, true) && window.BuildSkin();
        EXPECT_EQ(bLoaded, c.bLoaded);
        EXPECT_EQ(window.GetErrorText().substr(0, c.text.size()), c.text);
        if (!bLoaded) {
            EXPECT_TRUE(window.GetControls().empty());
        }
    }
    // The control with the undefined id is left out, the skin loads.
    WriteTestFile(Dir() / "skin" / "skin.xml", skin("", R"(<StaticControl ID="IDC_NOWHERE" Align="client"/>)"));
    SkinWindowRig rig;
    ASSERT_TRUE(rig.pWindow->SetSkinPath((Dir() / "skin").string(), false));
    ASSERT_TRUE(rig.pWindow->LoadSkinXml("skin.xml", 0, true));
    ASSERT_TRUE(rig.pWindow->BuildSkin());
    EXPECT_TRUE(rig.pWindow->GetControls().empty());
}

TEST_F(SkinLoad, SourceErrorsComeBeforeParsing)
{
    WriteTestFile(Dir() / "nolist" / "skin.xml", "<GXSkin/>");
    WriteTestFile(Dir() / "empty" / "LIST.ini", "");
    WriteTestFile(Dir() / "notazip.zip", "PK but not a zip");
    struct Case {
        std::string path;
        bool bPathOk;
        std::string text;
    };
    const std::string empty = (Dir() / "empty").string();
    const Case cases[] = {
        { "", true, "잘못된 XML 스킨 경로 " },
        { empty, true, "잘못된 XML 스킨 경로 " + empty + "\\skin.xml" },
        { (Dir() / "nolist").string(), true, "스킨 목록 파일(list.xml) 이 없음 " },
        { (Dir() / "notazip.zip").string(), false,
            "잘못된 XML 스킨 경로 " + (Dir() / "notazip.zip").string() + "\\skin.xml" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SkinWindowRig rig;
        EXPECT_EQ(rig.pWindow->SetSkinPath(c.path, false), c.bPathOk);
        EXPECT_FALSE(rig.pWindow->LoadSkinXml("skin.xml", 0, true));
        EXPECT_EQ(rig.pWindow->GetErrorText(), c.text);
    }
    // Resource skins do not exist in this program: the flag is kept and
    // nothing can be read.
    SkinWindowRig rig;
    ASSERT_TRUE(rig.pWindow->SetSkinPath("SKIN", true));
    EXPECT_FALSE(rig.pWindow->LoadSkinXml("skin.xml", 0, true));
    EXPECT_EQ(rig.pWindow->GetErrorText(), "잘못된 XML 스킨 경로 SKIN\\skin.xml");
}

TEST_F(SkinLoad, ImagesThemesAndHooks)
{
    WriteTestFile(Dir() / "s" / "LIST.ini", "");
    WriteTestFile(Dir() / "s" / "one.bmp", MakeTestBmp(4, 4, 1));
    WriteTestFile(Dir() / "s" / "two.bmp", MakeTestBmp(4, 4, 9));
    WriteTestFile(Dir() / "s" / "skin.xml",
        "<GXSkin><SkinWindow><PreDefine>"
        "<ColorTheme Name=\"Red\" Value=\"10,0,-10\"/><ColorTheme Name=\"Plain\" Value=\"0,0,0\"/>"
        "<Image Image=\"one.bmp\" ImageName=\"pic\"/><Image Image=\"two.bmp\" ImageName=\"PIC\"/>"
        "<Image Image=\"one.bmp\" ImageName=\"locked\"/><ColorThemeLockImage Image=\"LOCKED\"/>"
        "<DefineControlID ID=\"IDC_S\" Value=\"5\"/><Font FontName=\"Main\" Size=\"9\"/>"
        "</PreDefine><ControlDefine><StaticControl ID=\"IDC_S\" Align=\"left\" Width=\"10\"/></ControlDefine>"
        "</SkinWindow></GXSkin>");
    SkinWindowRig rig;
    GXWindowMain& window = *rig.pWindow;
    ASSERT_TRUE(Load(window, Dir() / "s")) << window.GetErrorText();

    GDib plain;
    ASSERT_TRUE(plain.LoadBmpFile((Dir() / "s" / "one.bmp").string()));
    const COLORREF original = PixelAt(plain, 1, 1);
    // A repeated image name keeps its first image; the first theme tints
    // all but the locked image.
    ASSERT_NE(window.GetImage("Pic"), nullptr);
    EXPECT_EQ(PixelAt(*window.GetImage("pic"), 1, 1), AdjustColor(original, 10, 0, -10));
    EXPECT_EQ(PixelAt(*window.GetImage("locked"), 1, 1), original);
    // A file read on demand joins the cache under its name.
    EXPECT_EQ(window.GetImage("ONE.BMP"), window.FindImage("one.bmp"));
    EXPECT_EQ(window.GetImage("missing.bmp"), nullptr);
    ASSERT_TRUE(window.SelectColorTheme(-1));
    EXPECT_EQ(window.GetColorTheme().name, "Plain");
    EXPECT_EQ(PixelAt(*window.GetImage("pic"), 1, 1), original);

    // What the controls ask of their window.
    GXConOwner& owner = window;
    int nId = 0;
    EXPECT_TRUE(owner.LookupIdName(" IDC_S ", &nId));
    EXPECT_EQ(nId, 5);
    EXPECT_FALSE(owner.LookupIdName("IDC_T", &nId));
    EXPECT_EQ(owner.FindControlFont("Main"), window.FindFont("Main"));
    EXPECT_NE(owner.FindControlFont("Main"), nullptr);
    ASSERT_NE(owner.FindLayoutNode(5), nullptr);
    EXPECT_EQ(owner.FindLayoutNode(5)->GetControl(), window.FindControl(5));
    EXPECT_EQ(owner.FindLayoutNode(6), nullptr);
    EXPECT_EQ(owner.FindMenu(300), nullptr);
    window.SetMenuTable({ { 300, SGxMenuItem { "menu", 0, { SGxMenuItem { "Start", 40001, {} } } } } });
    ASSERT_NE(owner.FindMenu(300), nullptr);
    EXPECT_EQ(owner.FindMenu(300)->children.at(0).nCommandId, 40001);
}

TEST(SkinCursor, FromMemory)
{
    const std::string cur = MakeCursorFile(6, 2);
    struct Case {
        std::string name;
        std::string data;
        std::optional<QPoint> hotSpot;
    };
    std::string lying = MakeAniFile(cur, cur);
    lying[16] = '\x7f'; // the header chunk claims more than the file holds
    const Case cases[] = {
        { "cursor", cur, QPoint(6, 2) },
        { "hotspot beyond the image", MakeCursorFile(200, 3), QPoint(7, 3) },
        { "animated, first frame", MakeAniFile(cur, MakeCursorFile(1, 1)), QPoint(6, 2) },
        { "truncated", cur.substr(0, 30), std::nullopt },
        { "animated without frames", Chunk("RIFF", "ACON" + Chunk("anih", "x")), std::nullopt },
        { "lying chunk size", lying, std::nullopt },
        { "empty", "", std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QCursor> cursor = LoadSkinCursor(c.data);
        ASSERT_EQ(cursor.has_value(), c.hotSpot.has_value());
        if (cursor) {
            EXPECT_EQ(cursor->hotSpot(), *c.hotSpot);
        }
    }
    EXPECT_EQ(PredefinedSkinCursor("IDC_SIZEWE")->shape(), Qt::SizeHorCursor);
    EXPECT_EQ(PredefinedSkinCursor("IDC_WAIT")->shape(), Qt::WaitCursor);
    EXPECT_FALSE(PredefinedSkinCursor("idc_wait").has_value());
}

} // namespace

namespace {

TEST_F(SkinLoad, EveryControlElementBuildsItsClass)
{
    WriteTestFile(Dir() / "s" / "LIST.ini", "");
    WriteTestFile(Dir() / "s" / "a.bmp", MakeTestBmp(8, 8, 1));
    struct Case {
        std::string element;
        std::string className; // empty: nothing is built
    };
    const Case cases[] = {
        { R"(<StaticControl Align="client"/>)", "GXConStatic" },
        { R"(<StaticFadeControl Align="client"/>)", "GXConStaticFade" },
        { R"(<SplitterControl Align="left" Width="4"/>)", "GXConSplitter" },
        { R"(<ButtonControl ButtonControlType="transparent" Align="client"/>)", "GXConButton" },
        { R"(<PopupMenuButtonControl ButtonControlType="transparent" Align="client"/>)", "GXConPopupMenuButton" },
        { R"(<SliderControl Align="client" Orientation="horizontal"/>)", "GXConSlider" },
        { R"(<MarqueeControl Align="client"/>)", "GXConMarquee" },
        { R"(<WindowControl Align="client"/>)", "GXConWindow" },
        { R"(<ListBoxControl Align="client" ItemHeight="12"/>)", "GXConListBox" },
        { R"(<BrowserControl Align="client"/>)", "GXConBrowser" },
        { R"(<FlashControl Align="client"/>)", "GXConFlash" },
        { R"(<SkinWindow Align="popup"><ControlDefine/></SkinWindow>)", "GXWindowChild" },
        { R"(<Font FontName="x"/>)", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        WriteTestFile(Dir() / "s" / "skin.xml",
            "<GXSkin><SkinWindow><ControlDefine>" + c.element + "</ControlDefine></SkinWindow></GXSkin>");
        SkinWindowRig rig;
        ASSERT_TRUE(Load(*rig.pWindow, Dir() / "s")) << rig.pWindow->GetErrorText();
        ASSERT_EQ(rig.pWindow->GetControls().size(), c.className.empty() ? 0u : 1u);
        if (!c.className.empty()) {
            const GXConBase& control = *rig.pWindow->GetControls().front();
            EXPECT_NE(std::string(typeid(control).name()).find(c.className), std::string::npos);
        }
    }
}

} // namespace

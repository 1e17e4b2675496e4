// The control base against a recording skin window: the attributes every
// control shares, the layout record, what reaches the window when the
// application changes a control, and the drawing every control ends with.
#include "skin/GXConBase.h"

#include "foundation/GXmp.h"
#include "skin/GDib.h"
#include "skin/GXConOwner.h"

#include <QCursor>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A skin window that records what its controls ask of it.
class RecordingOwner : public GXConOwner {
public:
    void OnControlNotify(const SGxNotifyRecord& record) override { notified.push_back(record); }
    void InvalidateControl(GXConBase&) override { ++invalidated; }
    void RequestRefresh(GXConBase&) override { ++refreshRequests; }
    std::intptr_t NotifyOwner(int nCode, std::intptr_t) override { return nCode; }
    void SetTimer(GXConBase&, int, int) override { }
    void KillTimer(GXConBase&, int) override { }
    GDib* FindImage(const std::string&) override { return nullptr; }
    const QCursor* FindCursor(const std::string& name) override { return name == "hand" ? &hand : nullptr; }
    std::string EvalText(const std::string& text) override { return text == "$tip" ? "evaluated" : text; }
    GXPoint ClientToScreen(GXPoint p) const override { return GXPoint { p.x + 1000, p.y + 500 }; }
    int GetSkinDebugLevel() const override { return skinDebug; }

    std::vector<SGxNotifyRecord> notified;
    int invalidated = 0;
    int refreshRequests = 0;
    int skinDebug = 0;
    QCursor hand { Qt::PointingHandCursor };
};

// A control that sends what a button sends, and draws a text.
class TestControl : public GXConBase {
public:
    explicit TestControl(GXConOwner* pOwner)
        : GXConBase(pOwner)
    {
    }
    void Click(unsigned id) { NotifyCommand(id); }
    void Changed(unsigned message, std::uintptr_t w, std::intptr_t l) { Notify(message, w, l); }
    void DrawLabel(COLORREF text, COLORREF shadow, bool hidden)
    {
        m_crText = text;
        m_crShadow = shadow;
        m_bTextHidden = hidden;
        m_nTextFormat = 0x25;
        DrawText(0);
    }
};

std::unique_ptr<GXmp> Parse(const std::string& xml)
{
    auto doc = std::make_unique<GXmp>();
    EXPECT_TRUE(doc->LoadBuffer(xml.data(), static_cast<int>(xml.size()))) << xml;
    return doc;
}

// Pixels of the back buffer that pass the test.
int Count(const GDib& dib, bool (*test)(QRgb))
{
    int n = 0;
    const QImage& image = dib.GetImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += test(image.pixel(x, y));
    return n;
}

// Text is drawn antialiased, so only its cores have the pure colour.
bool Blue(QRgb p)
{
    return qBlue(p) > 200 && qRed(p) < 80 && qGreen(p) < 80;
}
bool Green(QRgb p)
{
    return qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80;
}
bool White(QRgb p)
{
    return (p & 0xFFFFFF) == 0xFFFFFF;
}

} // namespace

TEST(GXConBase, LoadReadsTheAttributesEveryControlShares)
{
    struct Case {
        std::string attributes;
        bool shown;
        bool enabled;
        int hitTest;
        std::string tooltip;
        bool cursor;
    };
    const Case cases[] = {
        { "", true, true, -1, "", false },
        // Show and Enable are numbers: "true" reads as 0.
        { R"(Show="true" Enable="0")", false, false, -1, "", false },
        { R"(Show="2" Enable="1" NcHitTest="HTCAPTION")", true, true, 2, "", false },
        { R"(NcHitTest="caption")", true, true, -2, "", false },
        { R"(Tooltip="$tip" CursorName="hand")", true, true, -1, "evaluated", true },
        { R"(Tooltip="plain $" CursorName="none")", true, true, -1, "plain $", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        RecordingOwner owner;
        TestControl control(&owner);
        const auto doc = Parse("<StaticControl " + c.attributes + " UseGDT=\"x\" ControlData=\"a b\"/>");
        EXPECT_TRUE(control.Load(nullptr, doc->GetRoot()));
        EXPECT_EQ(control.IsShown(), c.shown);
        EXPECT_EQ(control.IsEnabled(), c.enabled);
        EXPECT_EQ(control.GetNcHitTest(), c.hitTest);
        EXPECT_EQ(control.GetTooltip(), c.tooltip);
        EXPECT_EQ(control.GetCursor(0, 0) != nullptr, c.cursor);
        EXPECT_EQ(control.GetControlData(), "a b");
        EXPECT_EQ(owner.invalidated + owner.refreshRequests, 0);
    }
}

TEST(GXConBase, ReadAlignFillsTheLayoutRecord)
{
    struct Case {
        std::string attributes;
        bool ok;
        int error;
        int type;
        SRect rect;
        int width;
        int height;
        bool percent;
        SRect gaps;
    };
    const Case cases[] = {
        { R"(Width="10")", false, 1, -1, {}, 0, 0, false, {} },
        { R"(Align="Left")", false, 2, -1, {}, 0, 0, false, {} },
        { R"(Align="left" Width="30%")", true, 0, SGxAlign::kLeft, {}, 30, 0, true, {} },
        { R"(Align="top" Height="20%" Width="5")", true, 0, SGxAlign::kTop, {}, 5, 20, true, {} },
        { R"(Align="none" Left="10" Top="20" Width="30" Height="40")", true, 0, SGxAlign::kNone, { 10, 20, 40, 60 }, 30,
            40, false, {} },
        { R"(Align="none" Left="1" Rect="5,6,7,8" Width="10")", true, 0, SGxAlign::kNone, { 5, 6, 15, 8 }, 10, 0, false,
            {} },
        { R"(Align="none" Left="2147483647" Width="2147483647")", true, 0, SGxAlign::kNone,
            { 2147483647, 0, 2147483647, 0 }, 2147483647, 0, false, {} },
        { R"(Align="nomove" Gaps="2,3,4,5")", true, 0, SGxAlign::kNoMove, {}, 0, 0, false, { 2, 3, 4, 5 } },
        { R"(Align="client" Right="7" Bottom="x")", true, 0, SGxAlign::kClient, { 0, 0, 7, 0 }, 0, 0, false, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        TestControl control(nullptr);
        const auto doc = Parse("<ButtonControl " + c.attributes + "/>");
        SGxAlign align;
        align.nType = -1;
        int error = 0;
        EXPECT_EQ(control.ReadAlign(doc->GetRoot(), &align, &error), c.ok);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(align.nType, c.type);
        EXPECT_EQ(align.rect, c.rect);
        EXPECT_EQ(align.nWidth, c.width);
        EXPECT_EQ(align.nHeight, c.height);
        EXPECT_EQ(align.bPercent, c.percent);
        EXPECT_EQ((SRect { align.nGapLeft, align.nGapTop, align.nGapRight, align.nGapBottom }), c.gaps);
    }
}

TEST(GXConBase, TellsItsWindowOnlyWhatChanged)
{
    RecordingOwner owner;
    TestControl control(&owner);

    control.SetText("128kbps", 0);
    control.SetText("STEREO", 5);
    EXPECT_EQ(owner.invalidated, 2);
    control.SetText("lost", 6);
    control.SetText("lost", -1);
    EXPECT_EQ(owner.invalidated, 2);
    EXPECT_EQ(control.GetText(5), "STEREO");
    EXPECT_EQ(control.GetText(6), "");

    control.SetEnable(true);
    EXPECT_EQ(owner.invalidated, 2);
    control.SetEnable(false);
    EXPECT_EQ(owner.invalidated, 3);
    control.SetShow(true);
    control.SetShow(true);
    EXPECT_EQ(owner.refreshRequests, 2);

    control.Click(2041);
    control.Changed(0xC123, 7, -1);
    ASSERT_EQ(owner.notified.size(), 2u);
    EXPECT_EQ(owner.notified[0].message, 0x0111u);
    EXPECT_EQ(owner.notified[0].wParam, 2041u);
    EXPECT_EQ(owner.notified[0].delivery, SGxNotifyRecord::Delivery::Post);
    EXPECT_EQ(owner.notified[1].message, 0xC123u);
    EXPECT_EQ(owner.notified[1].lParam, -1);
    EXPECT_EQ(owner.notified[1].delivery, SGxNotifyRecord::Delivery::Send);

    // A control of a window that is gone notifies nobody.
    TestControl orphan(nullptr);
    orphan.SetText("x", 0);
    orphan.Click(1);
    orphan.SetShow(false);
}

TEST(GXConBase, DebugFrameFollowsTheControlsOrTheSkinsLevel)
{
    struct Case {
        std::string debug;
        int skinLevel;
        bool frame;
        bool diagonals;
    };
    const Case cases[] = {
        { "0", 0, false, false },
        { "1", 0, true, false },
        { "2", 0, true, true },
        { "0", 1, true, false },
        { "0", 2, true, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Debug=" + c.debug + " skin " + std::to_string(c.skinLevel));
        RecordingOwner owner;
        owner.skinDebug = c.skinLevel;
        GDib back;
        ASSERT_TRUE(back.Create(40, 40, 24));
        ASSERT_TRUE(back.Fill(GxRgb(255, 255, 255)));
        TestControl control(&owner);
        const auto doc = Parse("<StaticControl Debug=\"" + c.debug + "\"/>");
        ASSERT_TRUE(control.Load(&back, doc->GetRoot()));
        control.SetPos(5, 5, 20, 20, GXConBase::Redraw::Yes);
        back.ReleaseMemDC();
        const QImage& image = back.GetImage();
        const QRgb red = qRgb(255, 0, 0);
        EXPECT_EQ(image.pixel(5, 5) == red, c.frame);
        EXPECT_EQ(image.pixel(24, 24) == red, c.frame);
        EXPECT_EQ(image.pixel(24, 12) == red, c.frame);
        EXPECT_EQ(image.pixel(15, 15) == red, c.diagonals);
        EXPECT_EQ(image.pixel(10, 19) == red, c.diagonals);
        EXPECT_NE(image.pixel(25, 25), red);
        EXPECT_NE(image.pixel(4, 4), red);
    }
}

TEST(GXConBase, DrawsItsTextWithAShadowInsideTheInnerGaps)
{
    GDib back;
    ASSERT_TRUE(back.Create(120, 40, 24));
    RecordingOwner owner;
    TestControl control(&owner);
    const auto doc = Parse(R"(<StaticControl InnerGaps="60,0,0,0"/>)");
    ASSERT_TRUE(control.Load(&back, doc->GetRoot()));
    control.SetPos(0, 0, 120, 40, GXConBase::Redraw::No);
    control.SetText("ON AIR", 0);

    ASSERT_TRUE(back.Fill(GxRgb(255, 255, 255)));
    control.DrawLabel(GxRgb(0, 0, 255), GxRgb(0, 255, 0), false);
    back.ReleaseMemDC();
    EXPECT_GT(Count(back, Blue), 10);
    EXPECT_GT(Count(back, Green), 10);
    // Nothing left of the inner gap.
    const QImage gap = back.GetImage().copy(0, 0, 58, 40);
    QImage white(gap.size(), gap.format());
    white.fill(Qt::white);
    EXPECT_EQ(gap, white);

    ASSERT_TRUE(back.Fill(GxRgb(255, 255, 255)));
    control.DrawLabel(GxRgb(0, 0, 255), 0xFFFFFFFF, false);
    back.ReleaseMemDC();
    EXPECT_EQ(Count(back, Green), 0);

    ASSERT_TRUE(back.Fill(GxRgb(255, 255, 255)));
    control.DrawLabel(GxRgb(0, 0, 255), GxRgb(0, 255, 0), true);
    back.ReleaseMemDC();
    EXPECT_EQ(Count(back, White), 120 * 40);
}

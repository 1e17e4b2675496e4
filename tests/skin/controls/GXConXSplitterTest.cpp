// The cross-splitter placing four pane controls through the layout tree,
// and dragging its bars.
#include "skin/controls/GXConXSplitter.h"

#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// Hangs a control into the test's layout tree under an id and its name.
GXManAlign* AddNode(FakeSkinOwner& owner, GXManAlign& root, GXConBase* pControl, int nId, const std::string& name)
{
    SGxAlign align;
    align.nType = SGxAlign::kNoMove;
    owner.ids[name] = nId;
    return owner.nodes[nId] = root.AddChild(pControl, align);
}

struct SplitterRig {
    explicit SplitterRig(const std::string& attributes)
    {
        owner.images["h.bmp"] = MakeDib(6, 4, [](int, int) { return GxRgb(0, 0, 200); });
        owner.images["v.bmp"] = MakeDib(4, 6, [](int, int) { return GxRgb(0, 200, 0); });
        owner.images["c.bmp"] = MakeDib(4, 4, [](int, int) { return GxRgb(200, 0, 0); });
        const char* names[] = { "IDC_LT", "IDC_RT", "IDC_LB", "IDC_RB" };
        for (int i = 0; i < 4; ++i)
            AddNode(owner, root, &panes[static_cast<std::size_t>(i)], 30 + i, names[i]);
        const ParsedElement doc(R"(<XSplitterControl ControlLT="IDC_LT" ControlRT="IDC_RT" ControlLB="IDC_LB")"
                                R"( ControlRB="IDC_RB" ImageHFrame="h.bmp" ImageVFrame="v.bmp")"
                                R"( ImageCenter="c.bmp" )"
            + attributes + "/>");
        loaded = splitter.Load(&backBuffer, doc.get());
        EXPECT_TRUE(backBuffer.Create24(200, 100));
    }

    std::array<SRect, 4> Panes() const
    {
        std::array<SRect, 4> rects;
        for (std::size_t i = 0; i < 4; ++i)
            panes[i].GetRect(&rects[i]);
        return rects;
    }

    FakeSkinOwner owner;
    GXManAlign root;
    std::array<GXConBase, 4> panes { GXConBase(&owner), GXConBase(&owner), GXConBase(&owner), GXConBase(&owner) };
    GXConXSplitter splitter { &owner };
    GDib backBuffer;
    bool loaded = false;
};

using Rects = std::array<SRect, 4>;

} // namespace

TEST(GXConXSplitter, PlacesFourPanesAroundTheBars)
{
    struct Case {
        const char* name;
        std::string attributes;
        Rects panes;
    };
    const Case cases[] = {
        { "left and top aligned", R"(PaneWidth="50" PaneHeight="30")",
            { SRect { 0, 0, 50, 30 }, SRect { 54, 0, 200, 30 }, SRect { 0, 34, 50, 100 },
                SRect { 54, 34, 200, 100 } } },
        { "right and bottom aligned", R"(PaneWidth="50" PaneHeight="30" PaneAlignToLeft="false" PaneAlignToTop="0")",
            { SRect { 0, 0, 146, 66 }, SRect { 150, 0, 200, 66 }, SRect { 0, 70, 146, 100 },
                SRect { 150, 70, 200, 100 } } },
        { "the bottom pane takes its minimum from the top", R"(PaneWidth="50" PaneHeight="76" PaneMinSize="0,0,0,40")",
            { SRect { 0, 0, 50, 56 }, SRect { 54, 0, 200, 56 }, SRect { 0, 60, 50, 100 },
                SRect { 54, 60, 200, 100 } } },
        { "panes larger than the control are cut", R"(PaneWidth="500" PaneHeight="-9")",
            { SRect { 0, 0, 196, 0 }, SRect { 200, 0, 200, 0 }, SRect { 0, 4, 196, 100 },
                SRect { 200, 4, 200, 100 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SplitterRig rig(c.attributes);
        ASSERT_TRUE(rig.loaded);
        rig.splitter.SetPos(0, 0, 200, 100, GXConBase::Redraw::Yes);
        EXPECT_EQ(rig.Panes(), c.panes);
    }
}

TEST(GXConXSplitter, DraggingMovesTheBarsAndThePanes)
{
    SplitterRig rig(R"(PaneWidth="50" PaneHeight="30")");
    rig.splitter.SetPos(0, 0, 200, 100, GXConBase::Redraw::Yes);
    // The bars and their crossing, drawn over the area.
    EXPECT_EQ(PixelAt(rig.backBuffer, 10, 31), GxRgb(0, 0, 200));
    EXPECT_EQ(PixelAt(rig.backBuffer, 51, 60), GxRgb(0, 200, 0));
    EXPECT_EQ(PixelAt(rig.backBuffer, 51, 31), GxRgb(200, 0, 0));

    struct Drag {
        const char* name;
        GXPoint from;
        GXPoint to;
        GXConXSplitter::Part part;
        int paneWidth;
        int paneHeight;
        SRect leftTop;
    };
    const Drag drags[] = {
        { "the horizontal bar leaves the width", { 10, 31 }, { 80, 62 }, GXConXSplitter::kHorizontalBar, 50, 60,
            { 0, 0, 50, 60 } },
        { "the vertical bar leaves the height", { 51, 10 }, { 102, 10 }, GXConXSplitter::kVerticalBar, 100, 60,
            { 0, 0, 100, 60 } },
        { "the crossing moves both", { 101, 61 }, { 32, 22 }, GXConXSplitter::kCrossing, 30, 20, { 0, 0, 30, 20 } },
    };
    for (const Drag& d : drags) {
        SCOPED_TRACE(d.name);
        EXPECT_EQ(rig.splitter.PartAt(d.from.x, d.from.y), d.part);
        bool bCapture = false;
        ASSERT_TRUE(rig.splitter.OnButtonDown(GXConBase::kButtonLeft, d.from.x, d.from.y, &bCapture));
        EXPECT_TRUE(bCapture);
        bool bWantLeave = false;
        rig.splitter.OnMouseMove(d.to.x, d.to.y, GXConBase::Captured::Yes, &bWantLeave);
        rig.splitter.OnButtonUp(GXConBase::kButtonLeft, d.to.x, d.to.y, GXConBase::Captured::Yes);
        EXPECT_FALSE(rig.splitter.IsDragging());
        EXPECT_EQ(rig.splitter.GetPaneWidth(), d.paneWidth);
        EXPECT_EQ(rig.splitter.GetPaneHeight(), d.paneHeight);
        EXPECT_EQ(rig.Panes()[0], d.leftTop);
    }
    bool bCapture = false;
    EXPECT_FALSE(rig.splitter.OnButtonDown(GXConBase::kButtonLeft, 150, 80, &bCapture));
    EXPECT_FALSE(rig.splitter.HitTest(150, 80));
}

TEST(GXConXSplitter, LoadNeedsFourPanesAndTheBarImages)
{
    struct Case {
        std::string attributes;
        int error;
        std::string detail;
    };
    const std::string panes = R"(ControlLT="a" ControlRT="b" ControlLB="c" ControlRB="d" )";
    const Case cases[] = {
        { R"(ControlLT="a" ControlRT="b" ControlLB="c")", 4, "ControlRB" },
        { panes + R"(ImageHFrame="h.bmp" ImageVFrame="v.bmp" ImageCenter="c.bmp" ImageVPadding="no.bmp")", 5,
            "no.bmp" },
        { panes + R"(ImageHFrame="h.bmp" ImageVFrame="v.bmp" ImageCenter="c.bmp")", 0, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        SplitterRig rig("");
        GXConXSplitter splitter(&rig.owner);
        const ParsedElement doc("<XSplitterControl " + c.attributes + "/>");
        EXPECT_EQ(splitter.Load(nullptr, doc.get()), c.error == 0);
        EXPECT_EQ(splitter.GetErrorCode(), c.error);
        EXPECT_EQ(splitter.GetErrorDetail(), c.detail);
        // Pane names the ID table does not know: nothing is placed.
        splitter.SetPos(0, 0, 200, 100, GXConBase::Redraw::No);
        EXPECT_EQ(rig.Panes()[0], SRect {});
    }
}

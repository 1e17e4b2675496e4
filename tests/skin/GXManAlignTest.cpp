// The layout tree: docking, percentages, limits, hidden controls, gaps and
// the types the layout leaves alone, each against the rectangles a skin
// author would expect.
#include "skin/GXManAlign.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Counts how often the layout asked it to draw.
class PlacedControl : public GXConBase {
public:
    PlacedControl()
        : GXConBase(nullptr)
    {
    }
    int Draw() override
    {
        ++draws;
        return GXConBase::Draw();
    }
    int draws = 0;
};

SGxAlign Align(int type, int width, int height, bool percent = false)
{
    SGxAlign align;
    align.nType = type;
    align.nWidth = width;
    align.nHeight = height;
    align.bPercent = percent;
    return align;
}

SGxAlign AbsoluteAt(SRect rect)
{
    SGxAlign align = Align(SGxAlign::kNone, 0, 0);
    align.rect = rect;
    return align;
}

struct Child {
    SGxAlign align;
    bool shown = true;
};

struct LayoutCase {
    std::string name;
    int width;
    int height;
    std::vector<Child> children;
    std::vector<SRect> expected;
};

SRect RectOf(const GXConBase& control)
{
    SRect r;
    control.GetRect(&r);
    return r;
}

std::string Show(const SRect& r)
{
    return std::string("(").append(std::to_string(r.left)) + ", " + std::to_string(r.top) + ", "
        + std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

} // namespace

TEST(GXManAlign, PlacesChildrenOfOneNodeAsTheSkinDescribes)
{
    const SRect untouched { -1, -1, -1, -1 };
    const std::vector<LayoutCase> cases = {
        { "fixed, percent of what remains, then client", 200, 100,
            { { Align(SGxAlign::kLeft, 50, 0) }, { Align(SGxAlign::kLeft, 30, 0, true) },
                { Align(SGxAlign::kClient, 0, 0) } },
            { { 0, 0, 50, 100 }, { 50, 0, 95, 100 }, { 95, 0, 200, 100 } } },
        { "a hidden top child takes no height", 100, 100,
            { { Align(SGxAlign::kTop, 0, 20), false }, { Align(SGxAlign::kTop, 0, 30) } },
            { { 0, 0, 100, 0 }, { 0, 0, 100, 30 } } },
        { "too wide is cut to what remains, negative is nothing", 100, 50,
            { { Align(SGxAlign::kLeft, 500, 0) }, { Align(SGxAlign::kRight, -5, 0) } },
            { { 0, 0, 100, 50 }, { 100, 0, 100, 50 } } },
        { "bottom and right dock from their own edges", 100, 100,
            { { Align(SGxAlign::kBottom, 0, 10) }, { Align(SGxAlign::kRight, 25, 0) },
                { Align(SGxAlign::kClient, 0, 0) } },
            { { 0, 90, 100, 100 }, { 75, 0, 100, 90 }, { 0, 0, 75, 90 } } },
        { "centre is measured from the node, below a top strip", 100, 100,
            { { Align(SGxAlign::kTop, 0, 20) }, { Align(SGxAlign::kCenter, 40, 40) } },
            { { 0, 0, 100, 20 }, { 30, 20, 70, 60 } } },
        { "centre beside a left strip falls outside what remains", 100, 100,
            { { Align(SGxAlign::kLeft, 60, 0) }, { Align(SGxAlign::kCenter, 40, 40) } },
            { { 0, 0, 60, 100 }, { 0, 0, 0, 0 } } },
        { "corners of what remains, limited to it", 100, 100,
            { { Align(SGxAlign::kTop, 0, 10) }, { Align(SGxAlign::kLeftTop, 20, 10) },
                { Align(SGxAlign::kRightTop, 20, 10) }, { Align(SGxAlign::kRightBottom, 30, 20) },
                { Align(SGxAlign::kLeftBottom, 500, 500) } },
            { { 0, 0, 100, 10 }, { 0, 10, 20, 20 }, { 80, 10, 100, 20 }, { 70, 80, 100, 100 }, { 0, 10, 100, 100 } } },
        { "absolute rectangles move with what remains and are cut to it", 100, 100,
            { { Align(SGxAlign::kLeft, 20, 0) }, { AbsoluteAt({ 10, 10, 60, 40 }) },
                { AbsoluteAt({ 50, 50, 200, 200 }) } },
            { { 0, 0, 20, 100 }, { 30, 10, 80, 40 }, { 70, 50, 100, 100 } } },
        { "hidden client, centre and absolute children collapse", 100, 100,
            { { Align(SGxAlign::kClient, 0, 0), false }, { Align(SGxAlign::kCenter, 10, 10), false },
                { AbsoluteAt({ 1, 1, 5, 5 }), false } },
            { { 0, 0, 0, 0 }, { 0, 0, 0, 0 }, { 0, 0, 0, 0 } } },
        { "pop-up and nomove controls keep their place", 100, 100,
            { { Align(SGxAlign::kPopup, 10, 10) }, { Align(SGxAlign::kNoMove, 10, 10) }, { Align(99, 10, 10) } },
            { untouched, untouched, untouched } },
        // A percentage over 100 or below 0 would push the strip past the
        // node or turn it inside out; it is limited like a fixed size.
        { "percentages are limited to what remains", 200, 100,
            { { Align(SGxAlign::kLeft, 150, 0, true) }, { Align(SGxAlign::kTop, 0, -20, true) } },
            { { 0, 0, 200, 100 }, { 200, 0, 200, 0 } } },
        { "sizes from a hostile skin do not wrap around", 100, 100,
            { { Align(SGxAlign::kLeft, INT_MAX, 0, true) }, { Align(SGxAlign::kCenter, INT_MAX, INT_MIN) } },
            { { 0, 0, 100, 100 }, { 0, 0, 0, 0 } } },
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        GXManAlign root;
        root.SetRoot(nullptr);
        std::vector<std::unique_ptr<PlacedControl>> controls;
        for (const Child& child : c.children) {
            controls.push_back(std::make_unique<PlacedControl>());
            controls.back()->SetPos(-1, -1, 0, 0, GXConBase::Redraw::No);
            controls.back()->SetShow(child.shown);
            root.AddChild(controls.back().get(), child.align);
        }
        root.Relayout(0, c.width, c.height);
        EXPECT_EQ(root.GetNodeRect(), (SRect { 0, 0, c.width, c.height }));
        for (std::size_t i = 0; i < controls.size(); ++i)
            EXPECT_EQ(RectOf(*controls[i]), c.expected[i]) << "child " << i << " got " << Show(RectOf(*controls[i]));
    }
}

TEST(GXManAlign, NestedNodesInsetByGapsAndPlaceInWindowCoordinates)
{
    GXManAlign root;
    root.SetRoot(nullptr);
    PlacedControl panel;
    PlacedControl button;
    PlacedControl label;
    SGxAlign panelAlign = Align(SGxAlign::kRight, 100, 0);
    panelAlign.nGapLeft = 2;
    panelAlign.nGapTop = 3;
    panelAlign.nGapRight = 4;
    panelAlign.nGapBottom = 5;
    GXManAlign* pPanel = root.AddChild(&panel, panelAlign);
    GXManAlign* pButton = pPanel->AddChild(&button, Align(SGxAlign::kTop, 0, 10));
    pButton->AddChild(&label, Align(SGxAlign::kRight, 20, 0));

    root.Relayout(2, 300, 50);
    EXPECT_EQ(RectOf(panel), (SRect { 202, 3, 296, 45 }));
    // Children are placed inside the panel's inset rectangle, and reported
    // to their controls in window coordinates.
    EXPECT_EQ(pButton->GetNodeRect(), (SRect { 0, 0, 94, 10 }));
    EXPECT_EQ(RectOf(button), (SRect { 202, 3, 296, 13 }));
    EXPECT_EQ(RectOf(label), (SRect { 276, 3, 296, 13 }));
    EXPECT_EQ(pButton->GetOrigin(), (GXPoint { 202, 3 }));

    EXPECT_EQ(root.FindNode(&label), pButton->FindNode(&label));
    EXPECT_EQ(root.FindNode(&button), pButton);
    EXPECT_EQ(root.FindNode(nullptr), nullptr);

    // A splitter moves one pane without a full walk; its children follow.
    pButton->Place(0, 20, 50, 30);
    EXPECT_EQ(RectOf(button), (SRect { 202, 23, 252, 33 }));
    EXPECT_EQ(RectOf(label), (SRect { 232, 23, 252, 33 }));
}

TEST(GXManAlign, OnlyRestoredAndMaximisedSizesLayOutAndTheRootDecidesRedraw)
{
    GXManAlign root;
    root.SetRoot(nullptr);
    PlacedControl client;
    PlacedControl inner;
    root.AddChild(&client, Align(SGxAlign::kClient, 0, 0))->AddChild(&inner, Align(SGxAlign::kClient, 0, 0));

    root.Relayout(0, 100, 80);
    EXPECT_EQ(RectOf(client), (SRect { 0, 0, 100, 80 }));
    EXPECT_EQ(client.draws, 1);
    EXPECT_EQ(inner.draws, 1);

    for (int sizeType : { 1, 3, 4 }) {
        root.Relayout(sizeType, 10, 10);
        EXPECT_EQ(RectOf(client), (SRect { 0, 0, 100, 80 })) << "size type " << sizeType;
    }

    // The window's refresh walk turns drawing off at the root only.
    root.SetRedraw(GXConBase::Redraw::No);
    root.Relayout(2, 120, 90);
    EXPECT_EQ(RectOf(inner), (SRect { 0, 0, 120, 90 }));
    EXPECT_EQ(client.draws, 1);
    EXPECT_EQ(inner.draws, 1);
}

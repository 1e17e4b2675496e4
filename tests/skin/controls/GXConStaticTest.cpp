// Statics and splitters against a fake skin window: what each image mode
// puts into the back buffer (expected pictures computed pixel by pixel
// here), the animation, clicks, hit tests, load errors and splitter drags.
#include "skin/controls/GXConStatic.h"
#include "skin/controls/GXConSplitter.h"

#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

#include <functional>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

// Image "tile": 3x2 with one see-through pixel at (1,1).
COLORREF TilePixel(int x, int y)
{
    return x == 1 && y == 1 ? kGxColorKey : GxRgb(10 + x * 40, 20 + y * 80, 200);
}
// Image "strip": four 3x2 frames, each see-through at its own (0,0).
COLORREF StripPixel(int x, int y)
{
    return x % 3 == 0 && y == 0 ? kGxColorKey : GxRgb(50 * (x / 3) + 10, 100 + x % 3, 50 + y);
}

void AddImages(FakeSkinOwner* pOwner)
{
    pOwner->images["tile"] = MakeDib(3, 2, TilePixel);
    pOwner->images["two"] = MakeDib(3, 2, TilePixel);
    pOwner->images["strip"] = MakeDib(12, 2, StripPixel);
}

// What a keyed copy leaves: the source pixel, or white where it is the key.
COLORREF Keyed(COLORREF c)
{
    return c == kGxColorKey ? kWhite : c;
}

// The control's rectangle in the 20x10 back buffer.
constexpr SRect kRect { 2, 1, 10, 6 };
bool Inside(int x, int y)
{
    return x >= kRect.left && x < kRect.right && y >= kRect.top && y < kRect.bottom;
}

} // namespace

TEST(GXConStatic, EachImageModeDrawsItsPicture)
{
    using Expect = std::function<COLORREF(int, int)>;
    struct Case {
        std::string attributes;
        int ticks;
        Expect expected; // in control coordinates, for points inside it
    };
    const Case cases[] = {
        { R"(StaticControlType="bitmap" Image="tile")", 0,
            [](int x, int y) { return Keyed(TilePixel(x % 3, y % 2)); } },
        { R"(StaticControlType="bitmap" Image="$second" ImageType="misspelt")", 0,
            [](int x, int y) { return x < 3 && y < 2 ? Keyed(TilePixel(x, y)) : kWhite; } },
        { R"(StaticControlType="bitmap" Image="tile" ImageType="stretch")", 0,
            [](int x, int y) { return TilePixel(x * 3 / 8, y * 2 / 5); } },
        { R"(StaticControlType="bitmap" Image="strip" ImageType="animation" AniSplit="4")", 2,
            [](int x, int y) { return x < 3 && y < 2 ? Keyed(StripPixel(6 + x, y)) : kWhite; } },
        // Five ticks of four frames come back round to frame 1.
        { R"(StaticControlType="bitmap" Image="strip" ImageType="tileanimation" AniSplit="4")", 5,
            [](int x, int y) { return Keyed(StripPixel(3 + x % 3, y % 2)); } },
        // A frame count below 1 counts as one frame: the whole strip.
        { R"(StaticControlType="bitmap" Image="strip" ImageType="animation" AniSplit="0")", 3,
            [](int x, int y) { return x < 12 && y < 2 ? Keyed(StripPixel(x, y)) : kWhite; } },
        { R"(StaticControlType="color" ControlColor="#102030")", 0, [](int, int) { return GxRgb(0x10, 0x20, 0x30); } },
        { "", 0, [](int, int) { return kWhite; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        FakeSkinOwner owner;
        AddImages(&owner);
        GDib back = MakeDib(20, 10, [](int, int) { return kWhite; });
        GXConStatic control(&owner);
        ParsedElement element("<StaticControl " + c.attributes + "/>");
        ASSERT_TRUE(control.Load(&back, element.get()));
        control.SetPos(kRect.left, kRect.top, kRect.Width(), kRect.Height(), GXConBase::Redraw::No);
        for (int i = 0; i < c.ticks; ++i)
            control.OnTimer(GXConStatic::kAnimationTimer);
        control.Draw();
        EXPECT_EQ("", ComparePixels(back, [&](int x, int y) {
            // The animation frame is not clipped to the control.
            const bool bUnclipped = c.attributes.find("AniSplit=\"0\"") != std::string::npos && y >= kRect.top
                && y < kRect.top + 2 && x >= kRect.left && x < kRect.left + 12;
            return Inside(x, y) || bUnclipped ? c.expected(x - kRect.left, y - kRect.top) : kWhite;
        }));
    }
}

TEST(GXConStatic, AnimationTimerAndFrames)
{
    struct Case {
        std::string attributes;
        int period;
        std::vector<int> frames; // after each tick
    };
    const Case cases[] = {
        { R"(AniSplit="4" AniDelay="250")", 250, { 1, 2, 3, 0, 1 } },
        { R"(AniSplit="4" AnimDelay="300")", 300, { 1, 2, 3, 0 } },
        { R"(AniSplit="2" AnimDelay="300" AniDelay="40")", 40, { 1, 0, 1 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        FakeSkinOwner owner;
        AddImages(&owner);
        GXConStatic control(&owner);
        ParsedElement element(
            R"(<StaticControl StaticControlType="bitmap" Image="strip" ImageType="animation" )" + c.attributes + "/>");
        ASSERT_TRUE(control.Load(nullptr, element.get()));
        ASSERT_EQ(owner.timers.size(), 1u);
        EXPECT_EQ(owner.timers[0], (FakeSkinOwner::STimerCall { true, GXConStatic::kAnimationTimer, c.period }));
        control.OnTimer(7); // an empty control does not animate
        EXPECT_EQ(control.GetCurrentFrame(), 0);
        control.SetPos(0, 0, 5, 5, GXConBase::Redraw::No);
        for (int frame : c.frames) {
            control.OnTimer(GXConStatic::kAnimationTimer);
            EXPECT_EQ(control.GetCurrentFrame(), frame);
        }
    }
}

TEST(GXConStatic, LoadErrorsNameWhatFailed)
{
    struct Case {
        std::string element;
        int code;
        std::string detail;
    };
    const Case cases[] = {
        { R"(<StaticControl StaticControlType="bitmap"/>)", 4, "Image" },
        { R"(<StaticControl StaticControlType="bitmap" Image="tile" Image2="missing"/>)", 5, "missing" },
        { R"(<StaticControl StaticControlType="picture"/>)", 7, "StaticControlType=picture" },
        { R"(<StaticControl FontName="nofont"/>)", 6, "nofont" },
        { R"(<SplitterControl AssociateControl="NOPE"/>)", 46, "NOPE" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        FakeSkinOwner owner;
        AddImages(&owner);
        GXConSplitter control(&owner);
        ParsedElement element(c.element);
        EXPECT_FALSE(control.Load(nullptr, element.get()));
        EXPECT_EQ(control.GetErrorCode(), c.code);
        EXPECT_EQ(control.GetErrorDetail(), c.detail);
    }
}

TEST(GXConStatic, ClicksHitTestsAndImageSets)
{
    struct Step {
        int button;
        int x;
        bool up;
    };
    struct Case {
        std::string attributes;
        std::vector<Step> steps;
        std::vector<unsigned> commands;
        std::vector<std::string> scripts;
        bool hitInside;
        bool hitOutside;
    };
    const Case cases[] = {
        { "", { { 1, 1, false }, { 1, 1, true } }, {}, {}, false, false },
        { R"(NotifyClick="1")", { { 1, 1, false }, { 1, 1, true } }, { 55 }, {}, true, false },
        { R"(NotifyClick="1")", { { 1, 1, false }, { 1, 30, true }, { 1, 1, true } }, {}, {}, true, false },
        { R"(NotifyClick="1")", { { 2, 1, false }, { 1, 1, true } }, {}, {}, true, false },
        { R"x(NotifyClick="1" OnEvent="Go()")x", { { 1, 1, false }, { 1, 1, true } }, {}, { "Go()" }, true, false },
        { R"(NotifyClick="2")", { { 1, 1, false }, { 4, 1, false }, { 1, 1, true } }, { 55 }, {}, true, false },
        { R"(NotifyClick="1" Enable="0")", { { 1, 1, false }, { 1, 1, true } }, {}, {}, false, false },
        { R"(Tooltip="tip")", {}, {}, {}, true, true },
        { R"(NcHitTest="HTCAPTION")", {}, {}, {}, true, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        FakeSkinOwner owner;
        GXConStatic control(&owner);
        control.SetIds(12, 0, 55, 0);
        ParsedElement element("<StaticControl " + c.attributes + "/>");
        ASSERT_TRUE(control.Load(nullptr, element.get()));
        control.SetPos(0, 0, 10, 10, GXConBase::Redraw::No);
        for (const Step& s : c.steps) {
            bool capture = false;
            if (s.up)
                control.OnButtonUp(s.button, s.x, 1, GXConBase::Captured::Yes);
            else
                control.OnButtonDown(s.button, s.x, 1, &capture);
        }
        EXPECT_EQ(owner.Commands(), c.commands);
        EXPECT_EQ(owner.scripts, c.scripts);
        // A clickable static keeps its press until the button goes up.
        bool capture = false;
        const bool bClickable = c.attributes.find(R"(NotifyClick="1")") != std::string::npos && control.IsEnabled();
        EXPECT_EQ(control.OnButtonDown(GXConBase::kButtonLeft, 1, 1, &capture), bClickable);
        EXPECT_EQ(capture, bClickable);
        EXPECT_EQ(control.HitTest(5, 5), c.hitInside);
        EXPECT_EQ(control.HitTest(50, 5), c.hitOutside);
    }

    FakeSkinOwner owner;
    AddImages(&owner);
    GXConStatic control(&owner);
    ParsedElement element(
        R"(<StaticControl StaticControlType="bitmap" Image="tile" Image3="strip" DefaultImageNum="2"/>)");
    ASSERT_TRUE(control.Load(nullptr, element.get()));
    EXPECT_EQ(control.GetImageNum(), 2);
    EXPECT_FALSE(control.SetImageNum(1));
    EXPECT_FALSE(control.SetImageNum(6));
    EXPECT_TRUE(control.SetImageNum(0));
    EXPECT_EQ(control.GetImageNum(), 0);
}

TEST(GXConSplitter, DragResizesTheAssociatedPaneNeverBelowZero)
{
    FakeSkinOwner owner;
    GXConStatic pane(&owner);
    GXManAlign root;
    SGxAlign align;
    align.nType = SGxAlign::kLeft;
    align.nWidth = 20;
    align.nHeight = 40;
    GXManAlign* pNode = root.AddChild(&pane, align);
    owner.nodes[7] = pNode;
    owner.ids["PANE"] = 7;

    GXConSplitter splitter(&owner);
    ParsedElement element(R"(<SplitterControl AssociateControl="PANE"/>)");
    ASSERT_TRUE(splitter.Load(nullptr, element.get()));
    splitter.SetPos(20, 0, 4, 40, GXConBase::Redraw::No);
    EXPECT_TRUE(splitter.HitTest(-100, -100));

    bool capture = false;
    EXPECT_FALSE(splitter.OnMouseMove(5, 5, GXConBase::Captured::No, &capture));
    ASSERT_TRUE(splitter.OnButtonDown(GXConBase::kButtonLeft, 2, 10, &capture));
    EXPECT_TRUE(capture);
    struct Move {
        int dx;
        int dy;
        int width;
        int height;
    };
    for (const Move& m : { Move { 5, 3, 25, 43 }, Move { -30, 0, 0, 40 }, Move { 1, -50, 21, 0 } }) {
        EXPECT_TRUE(splitter.OnMouseMove(2 + m.dx, 10 + m.dy, GXConBase::Captured::Yes, &capture));
        EXPECT_EQ(pNode->GetAlign().nWidth, m.width);
        EXPECT_EQ(pNode->GetAlign().nHeight, m.height);
    }
    EXPECT_EQ(owner.relayouts, 3);
    EXPECT_TRUE(splitter.OnButtonUp(GXConBase::kButtonLeft, 0, 0, GXConBase::Captured::Yes));
    EXPECT_FALSE(splitter.OnMouseMove(50, 50, GXConBase::Captured::No, &capture));
    EXPECT_EQ(owner.relayouts, 3);
}

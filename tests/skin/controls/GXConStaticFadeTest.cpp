// The fading static against a fake skin window: the timers it hands over
// between frames and fade steps, fade levels that land exactly on the next
// frame, a skin image left untouched, and what it draws.
#include "skin/controls/GXConStaticFade.h"

#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

namespace {

using Timer = FakeSkinOwner::STimerCall;
constexpr COLORREF kWhite = 0xFFFFFF;

// Three 2x2 frames of one colour each.
COLORREF FrameColor(int frame)
{
    return GxRgb(10, 20 + 100 * frame, 230 - 100 * frame);
}
COLORREF StripPixel(int x, int)
{
    return FrameColor(x / 2);
}

struct FadeRig {
    explicit FadeRig(const std::string& attributes)
    {
        owner.images["strip"] = MakeDib(6, 2, StripPixel);
        back = MakeDib(8, 6, [](int, int) { return kWhite; });
        ParsedElement element(
            R"(<StaticFadeControl StaticFadeControlType="bitmap" Image="strip" )" + attributes + "/>");
        EXPECT_TRUE(fade.Load(&back, element.get()));
        fade.SetPos(1, 1, 4, 4, GXConBase::Redraw::No);
    }
    FakeSkinOwner owner;
    GDib back;
    GXConStaticFade fade { &owner };
};

// Each channel within the two colours' (a fade step never overshoots).
bool Between(COLORREF c, COLORREF a, COLORREF b)
{
    const auto in = [](int v, int x, int y) { return v >= std::min(x, y) && v <= std::max(x, y); };
    return in(GxGreen(c), GxGreen(a), GxGreen(b)) && in(GxBlue(c), GxBlue(a), GxBlue(b));
}

} // namespace

TEST(GXConStaticFade, FadeStepsLandOnTheNextFrame)
{
    struct Case {
        std::string amount;
        std::vector<int> levels; // after each fade step; 0 ends the fade
    };
    std::vector<int> ones(254);
    for (int i = 0; i < 254; ++i)
        ones[static_cast<std::size_t>(i)] = i + 1;
    ones.push_back(0);
    const Case cases[] = {
        { "255", { 0 } },
        { "100", { 100, 200, 0 } },
        { "51", { 51, 102, 153, 204, 0 } },
        { "2147483647", { 0 } },
        // A step of 0 or less counts as 1: the fade still ends.
        { "0", ones },
        { "-5", ones },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount);
        FadeRig rig(
            R"(ImageType="animation" AniSplit="3" AniDelay="700" FadeDelay="40" FadeAmount=")" + c.amount + "\"");
        EXPECT_EQ(rig.owner.timers, (std::vector<Timer> { { true, 1010, 700 } }));
        rig.fade.OnTimer(GXConStaticFade::kFadeTimer); // no fade running yet: nothing to blend
        rig.fade.OnTimer(GXConStaticFade::kFrameTimer);
        EXPECT_EQ(rig.fade.GetCurrentFrame(), 1);
        EXPECT_EQ(
            rig.owner.timers, (std::vector<Timer> { { true, 1010, 700 }, { false, 1010, 0 }, { true, 1000, 40 } }));
        rig.owner.timers.clear();
        for (std::size_t i = 0; i < c.levels.size(); ++i) {
            rig.fade.OnTimer(GXConStaticFade::kFadeTimer);
            ASSERT_EQ(rig.fade.GetFadeLevel(), c.levels[i]) << "step " << i;
            const COLORREF shown = PixelAt(rig.fade.GetDisplayImage(), 0, 0);
            if (c.levels[i] != 0) {
                EXPECT_TRUE(Between(shown, FrameColor(0), FrameColor(1))) << std::hex << shown;
            }
        }
        EXPECT_EQ("", ComparePixels(rig.fade.GetDisplayImage(), [](int x, int y) {
            return x < 2 ? FrameColor(1) : StripPixel(x, y);
        }));
        EXPECT_EQ(rig.owner.timers, (std::vector<Timer> { { false, 1000, 0 }, { true, 1010, 700 } }));
        // The skin's own image, shared with other controls, is untouched.
        EXPECT_EQ("", ComparePixels(rig.owner.images["strip"], StripPixel));
        rig.fade.OnTimer(5);
        EXPECT_EQ(rig.fade.GetFadeLevel(), 0);
    }
}

TEST(GXConStaticFade, DrawsTheFadedFrame)
{
    struct Case {
        std::string mode;
        int frames; // frame timer ticks, each followed by a whole fade
        std::vector<Timer> lastTimers;
        std::function<COLORREF(int, int)> expected; // control coordinates
    };
    const Case cases[] = {
        { "animation", 0, {}, [](int x, int y) { return x < 2 && y < 2 ? FrameColor(0) : kWhite; } },
        { "animation", 2, { { false, 1000, 0 }, { true, 1010, 1000 } },
            [](int x, int y) { return x < 2 && y < 2 ? FrameColor(2) : kWhite; } },
        { "tileanimation", 0, {}, [](int, int) { return FrameColor(0); } },
        // A tiled animation fades once and stays.
        { "tileanimation", 1, { { false, 1000, 0 } }, [](int, int) { return FrameColor(1); } },
        { "tile", 0, {}, [](int x, int) { return FrameColor(x % 6 / 2); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode + " " + std::to_string(c.frames));
        FadeRig rig("ImageType=\"" + c.mode + R"(" AniSplit="3" FadeAmount="128")");
        EXPECT_EQ(rig.owner.timers.empty(), c.mode == "tile");
        for (int f = 0; f < c.frames; ++f) {
            rig.owner.timers.clear();
            rig.fade.OnTimer(GXConStaticFade::kFrameTimer);
            rig.fade.OnTimer(GXConStaticFade::kFadeTimer);
            rig.fade.OnTimer(GXConStaticFade::kFadeTimer);
            EXPECT_EQ(std::vector<Timer>(rig.owner.timers.begin() + 2, rig.owner.timers.end()), c.lastTimers);
        }
        rig.fade.Draw();
        EXPECT_EQ("", ComparePixels(rig.back, [&](int x, int y) {
            return x >= 1 && x < 5 && y >= 1 && y < 5 ? c.expected(x - 1, y - 1) : kWhite;
        }));
    }
}

TEST(GXConStaticFade, LoadErrorsAndImageSets)
{
    FakeSkinOwner owner;
    GXConStaticFade fade(&owner);
    ParsedElement bad(R"(<StaticFadeControl StaticFadeControlType="odd"/>)");
    EXPECT_FALSE(fade.Load(nullptr, bad.get()));
    EXPECT_EQ(fade.GetErrorCode(), 7);
    EXPECT_EQ(fade.GetErrorDetail(), "StaticFadeControlType=odd");

    FadeRig rig(R"(Image2="strip" DefaultImageNum="1")");
    EXPECT_EQ(rig.fade.GetImageNum(), 1);
    EXPECT_FALSE(rig.fade.SetImageNum(4));
    EXPECT_TRUE(rig.fade.SetImageNum(0));
    EXPECT_EQ(rig.fade.GetImageNum(), 0);
}

// The marquee with an image font, so its strip is known to the pixel:
// the strip and its quarter turns (checked against Qt's own rotation),
// the offsets of both behaviours in all four directions, the drawn window
// into the strip, and load errors.
#include "skin/controls/GXConMarquee.h"

#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

#include "skin/GXSubFont.h"

#include <QTransform>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

// Glyphs "A" and "B", 2x3 each, no see-through pixels.
COLORREF GlyphPixel(int x, int y)
{
    return GxRgb(x < 2 ? 200 : 20, 30 * y + 10 * (x % 2), x < 2 ? 40 : 220);
}
// Pixel (x, y) of the strip of "ABA".
COLORREF AbaPixel(int x, int y)
{
    return GlyphPixel((x / 2 == 1 ? 2 : 0) + x % 2, y);
}

struct MarqueeRig {
    explicit MarqueeRig(const std::string& attributes, int width = 4, int height = 3)
    {
        owner.images["glyphs"] = MakeDib(4, 3, GlyphPixel);
        auto font = std::make_unique<GXSubFont>();
        EXPECT_TRUE(font->SetImageFont([this](const std::string& n) { return owner.FindImage(n); }, "glyphs", "AB"));
        owner.fonts["glyphs"] = std::move(font);
        back = MakeDib(12, 8, [](int, int) { return kWhite; });
        ParsedElement element(R"(<MarqueeControl FontName="glyphs" Text="ABA" )" + attributes + "/>");
        EXPECT_TRUE(marquee.Load(&back, element.get()));
        marquee.SetIds(4, 0, 44, 0);
        marquee.SetPos(2, 1, width, height, GXConBase::Redraw::No);
    }
    std::vector<int> Ticks(int n, bool bVertical)
    {
        std::vector<int> offsets;
        for (int i = 0; i < n; ++i) {
            marquee.OnTimer(GXConMarquee::kScrollTimer);
            offsets.push_back(bVertical ? marquee.GetOffset().y : marquee.GetOffset().x);
        }
        return offsets;
    }
    FakeSkinOwner owner;
    GDib back;
    GXConMarquee marquee { &owner };
};

// Run-length expectations: {value, count}.
std::vector<int> Runs(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int> out;
    for (const auto& [value, count] : runs)
        out.insert(out.end(), static_cast<std::size_t>(count), value);
    return out;
}

} // namespace

TEST(GXConMarquee, StripAndItsQuarterTurns)
{
    MarqueeRig plain("");
    plain.marquee.OnTimer(GXConMarquee::kScrollTimer);
    const GDib& strip = plain.marquee.GetStrip();
    ASSERT_EQ(strip.GetWidth(), 6);
    ASSERT_EQ(strip.GetHeight(), 3);
    EXPECT_EQ("", ComparePixels(strip, AbaPixel));
    for (const auto& [vertical, degrees] : { std::pair { "left", -90 }, std::pair { "RIGHT", 90 } }) {
        SCOPED_TRACE(vertical);
        MarqueeRig turned(std::string("Vertical=\"") + vertical + "\"");
        turned.marquee.OnTimer(GXConMarquee::kScrollTimer);
        const QImage expected = strip.GetImage().transformed(QTransform().rotate(degrees));
        EXPECT_EQ(turned.marquee.GetStrip().GetImage().convertToFormat(QImage::Format_RGB32),
            expected.convertToFormat(QImage::Format_RGB32));
    }
}

TEST(GXConMarquee, ScrollStepsAndWrapsInEachDirection)
{
    struct Case {
        std::string attributes;
        int width;
        bool vertical;
        std::vector<int> offsets;
    };
    const Case cases[] = {
        { R"(Direction="left" ScrollAmount="2")", 4, false, { 2, 4, 6, -4, -2, 0, 2 } },
        { R"(Direction="right" ScrollAmount="2")", 4, false, { -2, -4, -6, 4, 2, 0 } },
        { R"(Direction="up")", 4, true, { 1, 2, 3, -3, -2 } },
        { R"(Direction="down")", 4, true, { -1, -2, -3, 3, 2 } },
        // A short text with ScrollWhenLargeText rests; a long one scrolls.
        { R"(ScrollWhenLargeText="1")", 10, false, { 0, 0, 0 } },
        { R"(ScrollWhenLargeText="1")", 4, false, { 1, 2, 3 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        MarqueeRig s(c.attributes, c.width);
        ASSERT_EQ(s.owner.timers.size(), 1u);
        EXPECT_EQ(s.owner.timers[0], (FakeSkinOwner::STimerCall { true, GXConMarquee::kScrollTimer, 100 }));
        EXPECT_EQ(s.Ticks(static_cast<int>(c.offsets.size()), c.vertical), c.offsets);
    }
}

TEST(GXConMarquee, AlternateBouncesAndRestsAtEachEnd)
{
    struct Case {
        std::string name;
        std::string attributes;
        int width;
        int ticks;
        std::vector<int> offsets;
    };
    const Case cases[] = {
        // "ABA" is 6 wide. In a 10-wide control it travels inside it: right
        // until its right end touches the edge (offset -4), then back. Each
        // end holds for the 30 pause ticks plus the ticks that reach it and
        // turn back.
        { "short text", R"(Behavior="alternate")", 10, 101,
            Runs({ { 0, 61 }, { -1, 1 }, { -2, 1 }, { -3, 1 }, { -4, 32 }, { -3, 1 }, { -2, 1 }, { -1, 1 },
                { 0, 2 } }) },
        // In a 4-wide control the control's window travels over the text.
        { "long text", R"(Behavior="alternate")", 4, 66, Runs({ { 0, 30 }, { 1, 1 }, { 2, 32 }, { 1, 1 }, { 0, 2 } }) },
        { "one pixel narrower", R"(Behavior="alternate")", 7, 80, Runs({ { 0, 80 } }) },
        { "parked", R"(Behavior="alternate" AlternateWhenLargeText="1")", 10, 50, Runs({ { 0, 50 } }) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MarqueeRig s(c.attributes, c.width);
        EXPECT_EQ(s.Ticks(c.ticks, false), c.offsets);
    }
    MarqueeRig vertical(R"(Behavior="alternate" Direction="down" ScrollAmount="2")", 4, 7);
    EXPECT_EQ(vertical.Ticks(62, true), Runs({ { 0, 61 }, { -2, 1 } }));
}

TEST(GXConMarquee, DrawsItsWindowIntoTheStrip)
{
    struct Case {
        std::string attributes;
        int ticks;
        int offset;
    };
    const Case cases[]
        = { { R"(ScrollAmount="2")", 1, 2 }, { R"(Direction="right" ScrollAmount="3")", 1, -3 }, { "", 0, 0 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        MarqueeRig s(c.attributes);
        s.marquee.OnTimer(GXConMarquee::kScrollTimer);
        s.marquee.SetText("ABA", 0); // a new text starts again at offset 0
        EXPECT_EQ(s.marquee.GetOffset(), (GXPoint { 0, 0 }));
        s.Ticks(c.ticks, false);
        s.marquee.Draw();
        EXPECT_EQ("", ComparePixels(s.back, [&](int x, int y) {
            const int sx = x - 2 + c.offset;
            const bool bControl = x >= 2 && x < 6 && y >= 1 && y < 4;
            return bControl && sx >= 0 && sx < 6 ? AbaPixel(sx, y - 1) : kWhite;
        }));
    }
}

// A smoothed letter edge on the strip would be neither the letter's colour
// nor the key, and would show as a pink fringe wherever the strip is drawn.
TEST(GXConMarquee, SystemFontStripHoldsOnlyTheKeyAndTheTextColour)
{
    constexpr COLORREF kText = 0xF0EAE6; // #E6EAF0
    FakeSkinOwner owner;
    ParsedElement font(R"(<Font FontName="Status" FaceName="NanumGothic" Size="10" Bold="1"/>)");
    std::string name;
    ASSERT_TRUE(CreateSkinFont(font.get(), [](const std::string& s) { return s; }, &owner.fonts["Status"], &name, {}));
    GDib back = MakeDib(400, 30, [](int, int) { return kWhite; });
    ParsedElement element(R"(<MarqueeControl FontName="Status" FontColor="#E6EAF0" Text="테스트 곡 - Test Song"/>)");
    GXConMarquee marquee(&owner);
    ASSERT_TRUE(marquee.Load(&back, element.get()));
    marquee.SetPos(0, 0, 400, 30, GXConBase::Redraw::No);
    marquee.OnTimer(GXConMarquee::kScrollTimer);
    const GDib& strip = marquee.GetStrip();
    ASSERT_FALSE(strip.IsEmpty());
    int letters = 0;
    std::string stray;
    for (int y = 0; y < strip.GetHeight(); ++y) {
        for (int x = 0; x < strip.GetWidth(); ++x) {
            const QRgb pixel = strip.GetImage().pixel(x, y) & 0xFFFFFF;
            const COLORREF color = GxRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
            letters += color == kText;
            if (color != kText && color != kGxColorKey && stray.empty())
                stray = std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(pixel);
        }
    }
    EXPECT_GT(letters, 50);
    EXPECT_EQ(stray, "");
}

TEST(GXConMarquee, LoadErrors)
{
    struct Case {
        std::string attributes;
        int code;
        std::string detail;
    };
    const Case cases[] = {
        { R"(Direction="sideways")", 7, "Direction=sideways" },
        { R"(Behavior="bounce")", 7, "Behavior=bounce" },
        { R"(FontName="nofont")", 6, "nofont" },
    };
    for (const Case& c : cases) {
        FakeSkinOwner owner;
        GXConMarquee marquee(&owner);
        ParsedElement element("<MarqueeControl " + c.attributes + "/>");
        EXPECT_FALSE(marquee.Load(nullptr, element.get()));
        EXPECT_EQ(marquee.GetErrorCode(), c.code);
        EXPECT_EQ(marquee.GetErrorDetail(), c.detail);
    }
}

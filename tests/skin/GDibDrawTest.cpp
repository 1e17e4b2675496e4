// Each drawing operation against a picture worked out pixel by pixel from
// what the operation means, not from how GDib computes it.
#include "skin/GDib.h"

#include "support/DibPixels.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

constexpr COLORREF kKey = kGxColorKey;
constexpr COLORREF kBackground = 0x203040;

// A source with a distinct colour per pixel and a diagonal of key pixels.
COLORREF SourceColor(int x, int y)
{
    if ((x + y) % 5 == 0)
        return kKey;
    return GxRgb(10 + x * 7, 20 + y * 11, (x * y) % 200);
}

GDib Background(int w, int h)
{
    return MakeDib(w, h, [](int, int) { return kBackground; });
}

struct BlockCase {
    const char* name;
    int x, y, sx, sy, w, h;
    std::optional<GXRect> clip;
    bool drawn;
};

// dest(x + i, y + j) = src(sx + i, sy + j) for every i, j of the block whose
// source pixel exists and whose destination lies in the image and the clip.
COLORREF ExpectedBlock(const BlockCase& c, int srcW, int srcH, int X, int Y, bool keyed, COLORREF under)
{
    // 64-bit: the cases include offsets at the ends of the int range.
    const std::int64_t w = c.w == -1 ? srcW : c.w;
    const std::int64_t h = c.h == -1 ? srcH : c.h;
    const std::int64_t i = std::int64_t { X } - c.x, j = std::int64_t { Y } - c.y;
    if (i < 0 || j < 0 || i >= w || j >= h)
        return under;
    const std::int64_t sx = c.sx + i, sy = c.sy + j;
    if (sx < 0 || sy < 0 || sx >= srcW || sy >= srcH)
        return under;
    if (c.clip && (X < c.clip->left || X >= c.clip->right || Y < c.clip->top || Y >= c.clip->bottom))
        return under;
    const COLORREF s = SourceColor(static_cast<int>(sx), static_cast<int>(sy));
    return keyed && s == kKey ? under : s;
}

const BlockCase kBlocks[] = {
    { "Whole", 2, 3, 0, 0, -1, -1, std::nullopt, true },
    { "NegativeDestX", -10, 0, 0, 0, 30, 6, std::nullopt, true },
    { "NegativeDestY", 1, -4, 0, 0, 8, 8, std::nullopt, true },
    { "NegativeSourceXY", 0, 0, -3, -2, 10, 10, std::nullopt, true },
    { "PastRightAndBottom", 15, 8, 5, 2, 40, 40, std::nullopt, true },
    { "Clipped", 0, 0, 0, 0, -1, -1, GXRect { 4, 2, 9, 7 }, true },
    { "ClipMissesBlock", 0, 0, 0, 0, 5, 5, GXRect { 10, 10, 12, 12 }, false },
    { "LeftOfImage", -40, 0, 0, 0, 30, 6, std::nullopt, false },
    { "SourceStartsPastEnd", 0, 0, 40, 0, 5, 5, std::nullopt, false },
    { "ZeroWidth", 0, 0, 0, 0, 0, 5, std::nullopt, false },
    { "HugeOffsets", INT32_MIN, INT32_MAX, INT32_MAX, 0, INT32_MAX, 5, std::nullopt, false },
};

class BlockDraw : public ::testing::TestWithParam<BlockCase> { };

TEST_P(BlockDraw, OpaqueAndKeyedCopyMatchThePixelRule)
{
    const BlockCase& c = GetParam();
    const GDib source = MakeDib(30, 12, SourceColor);
    for (bool keyed : { false, true }) {
        GDib dest = Background(20, 10);
        if (c.clip)
            dest.SetClipRect(&*c.clip);
        const bool ok = keyed ? source.CopyTransparentTo(&dest, c.x, c.y, c.sx, c.sy, c.w, c.h)
                              : source.CopyTo(&dest, c.x, c.y, c.sx, c.sy, c.w, c.h);
        EXPECT_EQ(ok, c.drawn) << (keyed ? "keyed" : "opaque");
        EXPECT_EQ(
            ComparePixels(dest, [&](int X, int Y) { return ExpectedBlock(c, 30, 12, X, Y, keyed, kBackground); }), "")
            << (keyed ? "keyed" : "opaque");
    }
}

INSTANTIATE_TEST_SUITE_P(
    GDib, BlockDraw, ::testing::ValuesIn(kBlocks), [](const auto& test) { return std::string(test.param.name); });

TEST(GDib, KeyedCopyHonoursAnotherKeyColour)
{
    GDib source = MakeDib(6, 6, SourceColor);
    const COLORREF key = SourceColor(1, 1);
    source.SetColorKey(key);
    GDib dest = Background(6, 6);
    ASSERT_TRUE(source.CopyTransparentTo(&dest, 0, 0));
    EXPECT_EQ(
        ComparePixels(dest, [&](int x, int y) { return SourceColor(x, y) == key ? kBackground : SourceColor(x, y); }),
        "");
}

TEST(GDib, AlphaBlendMixesEveryChannelAndSkipsTheKey)
{
    const GDib source = MakeDib(12, 8, SourceColor);
    auto under = [](int x, int y) { return GxRgb(200 - x * 9, y * 30, 90); };
    for (int alpha : { 0, 77, 128, 255, 77 }) {
        GDib dest = MakeDib(10, 6, under);
        ASSERT_TRUE(source.AlphaBlendTo(&dest, alpha, -1, 0));
        auto mix = [alpha](int s, int d) { return (s * alpha + d * (255 - alpha)) / 255; };
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          const COLORREF s = SourceColor(x + 1, y);
                          const COLORREF d = under(x, y);
                          if (s == kKey)
                              return d;
                          return GxRgb(mix(GxRed(s), GxRed(d)), mix(GxGreen(s), GxGreen(d)), mix(GxBlue(s), GxBlue(d)));
                      }),
            "")
            << "alpha " << alpha;
    }
}

TEST(GDib, DifferentDepthsDoNotDrawIntoEachOther)
{
    GDib rgb24 = MakeDib(4, 4, SourceColor);
    GDib rgb32;
    ASSERT_TRUE(rgb32.Create(4, 4, 32));
    GDib rgb16;
    ASSERT_TRUE(rgb16.Create(4, 4, 16));
    EXPECT_FALSE(rgb24.CopyTo(&rgb32, 0, 0));
    EXPECT_FALSE(rgb32.CopyTransparentTo(&rgb24, 0, 0));
    EXPECT_FALSE(rgb16.CopyTo(&rgb24, 0, 0));
    EXPECT_FALSE(rgb24.AlphaBlendTo(&rgb32, 100, 0, 0));
    EXPECT_FALSE(rgb24.StretchTo(&rgb32));
    EXPECT_EQ(PixelAt(rgb32, 1, 1), 0u);
}

struct StretchCase {
    int srcW, srcH, w, h;
};

TEST(GDib, StretchPicksTheNearestSourcePixel)
{
    // Sizes whose steps are exact in 16.16, so the picked column is
    // floor(i * source width / width).
    for (const StretchCase& c : { StretchCase { 4, 3, 8, 12 }, StretchCase { 8, 8, 4, 2 }, StretchCase { 3, 5, 12, 5 },
             StretchCase { 5, 4, 5, 4 } }) {
        const GDib source = MakeDib(c.srcW, c.srcH, SourceColor);
        GDib dest = Background(14, 14);
        ASSERT_TRUE(source.StretchTo(&dest, c.w, c.h));
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          if (x >= c.w || y >= c.h)
                              return kBackground;
                          return SourceColor(x * c.srcW / c.w, y * c.srcH / c.h);
                      }),
            "")
            << c.srcW << "x" << c.srcH << " -> " << c.w << "x" << c.h;
    }
}

TEST(GDib, StretchIsRefusedWhereItWouldBeClippedOrDegenerate)
{
    const GDib source = MakeDib(4, 4, SourceColor);
    GDib dest = Background(10, 10);
    const GXRect clip { 0, 0, 5, 5 };
    dest.SetClipRect(&clip);
    EXPECT_FALSE(source.StretchTo(&dest));
    dest.SetClipRect(nullptr);
    EXPECT_FALSE(source.StretchTo(&dest, 0, 5));
    GDib line = Background(10, 1);
    EXPECT_FALSE(source.StretchTo(&line));
    EXPECT_EQ(ComparePixels(dest, [](int, int) { return kBackground; }), "");
    // Of a target larger than the destination only the part inside is drawn.
    EXPECT_TRUE(source.StretchTo(&dest, 40, 40));
    EXPECT_EQ(PixelAt(dest, 9, 9), SourceColor(0, 0));
}

TEST(GDib, TilesRepeatFromTheRectanglesCorner)
{
    const GDib source = MakeDib(7, 6, SourceColor);
    const GXRect rect { -5, 2, 17, 11 };
    for (auto transparent : { GDib::Transparent::No, GDib::Transparent::Yes }) {
        GDib dest = Background(15, 12);
        ASSERT_TRUE(source.TileTo(3, 4, &dest, rect, transparent, 2, 1));
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          if (x < rect.left || x >= rect.right || y < rect.top || y >= rect.bottom)
                              return kBackground;
                          const COLORREF s = SourceColor(2 + (x - rect.left) % 3, 1 + (y - rect.top) % 4);
                          return transparent == GDib::Transparent::Yes && s == kKey ? kBackground : s;
                      }),
            "");
    }
    GDib dest = Background(4, 4);
    EXPECT_FALSE(source.TileTo(0, 4, &dest, rect, GDib::Transparent::No));
    // A vast rectangle with a one-pixel tile still ends promptly.
    EXPECT_TRUE(
        source.TileTo(1, 1, &dest, GXRect { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX }, GDib::Transparent::No, 3, 2));
    EXPECT_EQ(ComparePixels(dest, [](int, int) { return SourceColor(3, 2); }), "");
}

TEST(GDib, FramesAndCellsCutTheStripEvenly)
{
    // A 100-pixel strip in 3 frames: frames are 33 wide, column 99 unused.
    const GDib strip = MakeDib(100, 4, [](int x, int y) { return GxRgb(x, y, x % 33); });
    for (int frame = 0; frame < 3; ++frame) {
        GDib dest = Background(40, 6);
        ASSERT_TRUE(strip.DrawFrameTo(&dest, 2, 1, 3, frame, GDib::Transparent::No));
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          if (x < 2 || x >= 35 || y < 1 || y >= 5)
                              return kBackground;
                          return GxRgb(frame * 33 + x - 2, y - 1, (x - 2) % 33);
                      }),
            "")
            << "frame " << frame;
    }
    GDib dest = Background(40, 6);
    EXPECT_FALSE(strip.DrawFrameTo(&dest, 0, 0, 3, 3, GDib::Transparent::No));
    EXPECT_FALSE(strip.DrawFrameTo(&dest, 0, 0, 0, 0, GDib::Transparent::No));

    const GDib grid = MakeDib(9, 8, SourceColor); // 3 x 2 cells of 3 x 4
    GDib cell = Background(5, 5);
    ASSERT_TRUE(grid.DrawCellTo(&cell, 1, 0, 3, 2, 2, 1));
    EXPECT_EQ(ComparePixels(cell,
                  [](int x, int y) {
                      if (x < 1 || x >= 4 || y >= 4)
                          return kBackground;
                      const COLORREF s = SourceColor(6 + x - 1, 4 + y);
                      return s == kKey ? kBackground : s;
                  }),
        "");
}

TEST(GDib, ShiftColorClampsChannelsAndLeavesTheKey)
{
    GDib image = MakeDib(8, 5, SourceColor);
    ASSERT_TRUE(image.ShiftColor(300, -300, 0));
    EXPECT_EQ(ComparePixels(image,
                  [](int x, int y) {
                      const COLORREF s = SourceColor(x, y);
                      return s == kKey ? kKey : GxRgb(255, 0, GxBlue(s));
                  }),
        "");
    image = MakeDib(8, 5, SourceColor);
    ASSERT_TRUE(image.ShiftColor(10, 0, -10));
    EXPECT_EQ(ComparePixels(image,
                  [](int x, int y) {
                      const COLORREF s = SourceColor(x, y);
                      return s == kKey ? kKey
                                       : GxRgb(std::min(255, GxRed(s) + 10), GxGreen(s), std::max(0, GxBlue(s) - 10));
                  }),
        "");
    GDib rgb32;
    ASSERT_TRUE(rgb32.Create(2, 2, 32));
    EXPECT_FALSE(rgb32.ShiftColor(1, 1, 1));
    EXPECT_FALSE(GDib().ShiftColor(1, 1, 1));
}

TEST(GDib, ConvertTo24ResolvesPaletteIndicesAndDropsTheFourthByte)
{
    const GXRgbQuad table[4] = { { 0, 0, 0, 0 }, { 255, 0, 0, 0 }, { 0, 128, 255, 0 }, { 9, 8, 7, 0 } };
    auto tableColor = [&](int i) { return GxRgb(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue); };
    for (int bits : { 1, 4, 8 }) {
        const int colours = bits == 1 ? 2 : 4;
        GDib image;
        ASSERT_TRUE(image.Create(5, 3, bits, colours, table));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                *image.GetPixelAddress(x, y) = static_cast<std::uint8_t>((x + y) % colours);
        ASSERT_TRUE(image.ConvertTo24());
        EXPECT_EQ(image.GetBitCount(), 24);
        EXPECT_EQ(ComparePixels(image, [&](int x, int y) { return tableColor((x + y) % colours); }), "")
            << bits << " bits";
    }
    GDib rgb32;
    ASSERT_TRUE(rgb32.Create(3, 2, 32));
    PutPixel(rgb32, 2, 1, 0x123456);
    ASSERT_TRUE(rgb32.ConvertTo24());
    EXPECT_EQ(rgb32.GetBitCount(), 24);
    EXPECT_EQ(PixelAt(rgb32, 2, 1), 0x123456u);
    EXPECT_EQ(PixelAt(rgb32, 0, 0), 0u);
}

TEST(GDib, PaletteCopyPicksTheNearestDestinationEntry)
{
    const GXRgbQuad sourceTable[3] = { { 250, 0, 0, 0 }, { 0, 0, 200, 0 }, { 100, 100, 100, 0 } };
    const GXRgbQuad destTable[3] = { { 0, 0, 255, 0 }, { 255, 0, 0, 0 }, { 128, 128, 128, 0 } };
    GDib source, dest;
    ASSERT_TRUE(source.Create(3, 1, 8, 3, sourceTable));
    ASSERT_TRUE(dest.Create(3, 1, 8, 3, destTable));
    for (int x = 0; x < 3; ++x)
        *source.GetPixelAddress(x, 0) = static_cast<std::uint8_t>(x);
    ASSERT_TRUE(source.CopyTo(&dest, 0, 0));
    EXPECT_EQ(*dest.GetPixelAddress(0, 0), 1);
    EXPECT_EQ(*dest.GetPixelAddress(1, 0), 0);
    EXPECT_EQ(*dest.GetPixelAddress(2, 0), 2);
}

TEST(GDib, FillClipFillsOnlyTheClipRectangle)
{
    GDib image = Background(8, 6);
    const GXRect clip { 2, 1, 20, 3 };
    image.SetClipRect(&clip);
    ASSERT_TRUE(image.FillClip(0x0000FF));
    EXPECT_EQ(
        ComparePixels(image, [](int x, int y) { return x >= 2 && y >= 1 && y < 3 ? 0x0000FFu : kBackground; }), "");
    image.SetClipRect(nullptr);
    ASSERT_TRUE(image.FillClip(0x00FF00));
    EXPECT_EQ(ComparePixels(image, [](int, int) { return 0x00FF00u; }), "");
    GDib palette;
    ASSERT_TRUE(palette.Create(2, 2, 8));
    EXPECT_FALSE(palette.Fill(0));
}

TEST(GDib, CreateRefusesSizesAndDepthsItCannotHold)
{
    GDib image;
    EXPECT_FALSE(image.Create(4, -1, 24)); // a top-down header's height
    EXPECT_FALSE(image.Create(0, 4, 24));
    EXPECT_FALSE(image.Create(GDib::kMaxSide + 1, 1, 24));
    EXPECT_FALSE(image.Create(GDib::kMaxSide, GDib::kMaxSide, 32)); // past the byte cap
    EXPECT_FALSE(image.Create(4, 4, 12));
    EXPECT_FALSE(image.Create(4, 4, 4, 17, nullptr));
    EXPECT_TRUE(image.IsEmpty());
    ASSERT_TRUE(image.Create24(3, 3));
    EXPECT_EQ(ComparePixels(image, [](int, int) { return kKey; }), "");
    EXPECT_EQ(image.GetPixelAddress(3, 0), nullptr);
    EXPECT_EQ(image.GetPixelAddress(0, -1), nullptr);
}

TEST(GDib, AssignCopiesDeeplyAndKeepsTheKeyOnlyWhenShapesMatch)
{
    GDib source = MakeDib(4, 3, SourceColor);
    source.SetColorKey(0x010203);
    GDib same = Background(4, 3);
    same.SetColorKey(0x0A0B0C);
    same.Assign(source);
    EXPECT_EQ(same.GetColorKey(), 0x0A0B0Cu);
    GDib other = Background(9, 9);
    other.Assign(source);
    EXPECT_EQ(other.GetColorKey(), 0x010203u);
    EXPECT_EQ(other.GetWidth(), 4);
    // Writing the copy leaves the source alone.
    PutPixel(other, 0, 0, 0x777777);
    other.Fill(0x111111);
    EXPECT_EQ(ComparePixels(source, SourceColor), "");
    EXPECT_EQ(ComparePixels(same, SourceColor), "");
}

TEST(GDib, PainterDrawsIntoThisImageOnlyAndEndsBeforeRawAccess)
{
    GDib back = Background(10, 10);
    const GDib* pIdentity = &back;
    GDib copy(back); // shares pixels until one side writes
    QPainter* pDC = back.GetMemDC();
    ASSERT_NE(pDC, nullptr);
    EXPECT_EQ(back.GetMemDC(), pDC);
    pDC->fillRect(QRect(2, 2, 3, 3), QColor(255, 0, 0));
    EXPECT_EQ(PixelAt(back, 3, 3), 0x0000FFu);
    EXPECT_EQ(PixelAt(copy, 3, 3), kBackground);
    // Resizing keeps the object the controls hold.
    ASSERT_TRUE(back.Create24(20, 5));
    EXPECT_EQ(&back, pIdentity);
    EXPECT_EQ(back.GetWidth(), 20);
}

TEST(GDib, BlitsOntoPaintersAndDevices)
{
    const GDib strip = MakeDib(30, 4, [](int x, int y) { return GxRgb(x, y, 7); });
    QImage screen(20, 10, QImage::Format_RGB32);
    screen.fill(0xFF000000);
    {
        QPainter painter(&screen);
        EXPECT_TRUE(strip.BitBltFrameTo(&painter, 2, 3, 3, 1));
        EXPECT_TRUE(strip.BitBltTo(&painter, 15, 0, 28, 1, -1, 2));
        EXPECT_FALSE(strip.BitBltTo(&painter, 0, 0, 0, 0, 0, 4));
    }
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            QRgb want = 0xFF000000;
            if (x >= 2 && x < 12 && y >= 3 && y < 7)
                want = qRgb(10 + x - 2, y - 3, 7);
            else if (x >= 15 && x < 17 && y < 2) // the part of the source that exists
                want = qRgb(28 + x - 15, 1 + y, 7);
            ASSERT_EQ(screen.pixel(x, y), want) << x << "," << y;
        }
    QImage window(30, 4, QImage::Format_RGB32);
    EXPECT_TRUE(strip.DrawToWindow(&window));
    EXPECT_EQ(window.pixel(29, 3), qRgb(29, 3, 7));
    QPainter inactive;
    EXPECT_FALSE(strip.BitBltTo(&inactive, 0, 0));
    EXPECT_FALSE(GDib().DrawToWindow(&window));
}

} // namespace

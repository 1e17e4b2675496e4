#include "skin/SkinRegion.h"

#include "foundation/GXmp.h"
#include "skin/GDib.h"
#include "support/DibPixels.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A 12 x 9 mask: magenta outside a plus sign and one stray pixel.
bool MaskInside(int x, int y)
{
    return (x >= 4 && x < 8) || (y >= 3 && y < 6) || (x == 0 && y == 8);
}

const GDib& Mask()
{
    static const GDib mask = MakeDib(12, 9, [](int x, int y) { return MaskInside(x, y) ? 0x102030u : kGxColorKey; });
    return mask;
}

struct RegionCase {
    const char* name;
    const char* xml;
    bool ok;
    int error;
    const char* detail;
    // Points that must be inside and outside the result (away from curved
    // edges, where pixels may differ by one from other rasterisers).
    std::vector<std::pair<int, int>> inside;
    std::vector<std::pair<int, int>> outside;
};

const RegionCase kCases[] = {
    { "NoChildren", "<SetWindowRgn/>", true, 0, "", {}, { { 0, 0 } } },
    { "RectsUniteWithoutMode",
        R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,10,10"/><Rgn Type="rect" Param="5,5,20,20"/></SetWindowRgn>)",
        true, 0, "", { { 0, 0 }, { 9, 9 }, { 19, 19 } }, { { 15, 2 }, { 20, 20 }, { 10, 0 } } },
    { "And",
        R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,10,10"/><Rgn Type="rect" Param="5,5,20,20" Mode="and"/></SetWindowRgn>)",
        true, 0, "", { { 5, 5 }, { 9, 9 } }, { { 4, 4 }, { 10, 10 } } },
    { "Diff",
        R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,10,10"/><Rgn Type="rect" Param="5,5,20,20" Mode="diff"/></SetWindowRgn>)",
        true, 0, "", { { 4, 9 }, { 0, 0 } }, { { 5, 5 }, { 15, 15 } } },
    { "Xor",
        R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,10,10"/><Rgn Type="rect" Param="5,5,20,20" Mode="xor"/></SetWindowRgn>)",
        true, 0, "", { { 0, 0 }, { 15, 15 } }, { { 7, 7 } } },
    { "CopyKeepsTheRegion",
        R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,10,10"/><Rgn Type="rect" Param="50,50,60,60" Mode="copy"/></SetWindowRgn>)",
        true, 0, "", { { 0, 0 } }, { { 55, 55 } } },
    { "UnknownModeUnites",
        R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,2,2" Mode="AND"/><Rgn Type="rect" Param="8,8,9,9" Mode="plus"/></SetWindowRgn>)",
        true, 0, "", { { 1, 1 }, { 8, 8 } }, { { 5, 5 } } },
    { "SwappedCorners", R"(<SetWindowRgn><Rgn Type="rect" Param="10,10,0,0"/></SetWindowRgn>)", true, 0, "",
        { { 0, 0 }, { 9, 9 } }, { { 10, 10 } } },
    { "Ellipse", R"(<SetWindowRgn><Rgn Type="ellipse" Param="0,0,40,20"/></SetWindowRgn>)", true, 0, "",
        { { 20, 10 }, { 3, 10 }, { 20, 2 } }, { { 1, 1 }, { 38, 18 }, { 40, 10 } } },
    { "RoundRect", R"(<SetWindowRgn><Rgn Type="roundrect" Param="0,0,40,30,20,20"/></SetWindowRgn>)", true, 0, "",
        { { 20, 15 }, { 20, 0 }, { 0, 15 }, { 39, 15 } }, { { 0, 0 }, { 39, 29 }, { 1, 28 } } },
    { "Bitmap", R"(<SetWindowRgn><Rgn Type="bitmap" Param="mask"/></SetWindowRgn>)", true, 0, "",
        { { 4, 0 }, { 0, 3 }, { 11, 5 }, { 0, 8 } }, { { 0, 0 }, { 11, 8 }, { 1, 8 } } },
    { "WrongElement", "<SetWindowRegion/>", false, 0, "", {}, {} },
    { "WrongChild", R"(<SetWindowRgn><Rgn Type="rect" Param="0,0,1,1"/><Region/></SetWindowRgn>)", false, 42, "Region",
        {}, {} },
    { "MissingType", R"(<SetWindowRgn><Rgn Param="0,0,1,1"/></SetWindowRgn>)", false, 43, "Rgn,Type", {}, {} },
    { "UnknownType", R"(<SetWindowRgn><Rgn Type="star" Param="0,0,1,1"/></SetWindowRgn>)", false, 12, "star", {}, {} },
    { "EmptyParam", R"(<SetWindowRgn><Rgn Type="ellipse"/></SetWindowRgn>)", false, 4, "Type,Param", {}, {} },
    { "NoSuchImage", R"(<SetWindowRgn><Rgn Type="bitmap" Param="nothing"/></SetWindowRgn>)", false, 5, "nothing", {},
        {} },
};

class WindowRegion : public ::testing::TestWithParam<RegionCase> { };

TEST_P(WindowRegion, BuildsTheShapeOrReportsTheError)
{
    const RegionCase& c = GetParam();
    GXmp xmp;
    ASSERT_TRUE(xmp.LoadBuffer(c.xml, static_cast<int>(std::strlen(c.xml))));
    QRegion region(0, 0, 99, 99);
    int error = 0;
    std::string detail;
    const bool ok = BuildWindowRegion(xmp.GetRoot(), &region, &error, &detail,
        [](const std::string& name) { return name == "mask" ? &Mask() : nullptr; });
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(detail, c.detail);
    for (auto [x, y] : c.inside)
        EXPECT_TRUE(region.contains(QPoint(x, y))) << x << "," << y;
    for (auto [x, y] : c.outside)
        EXPECT_FALSE(region.contains(QPoint(x, y))) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(SkinRegion, WindowRegion, ::testing::ValuesIn(kCases),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SkinRegion, ImageRegionIsExactlyTheUnkeyedPixelsAcrossBatches)
{
    // A checkerboard of 60 rows with 25 runs each: more than one batch.
    auto inside = [](int x, int y) { return (x + y) % 2 == 0 || (y % 7 == 0 && x < 9); };
    GDib board = MakeDib(50, 60, [&](int x, int y) { return inside(x, y) ? 0x00FF00u : kGxColorKey; });
    board.SetColorKey(0x00FF00); // the image's own key plays no part
    const std::optional<QRegion> region = CreateRegionFromImage(&board);
    ASSERT_TRUE(region);
    for (int y = -1; y <= 60; ++y)
        for (int x = -1; x <= 50; ++x)
            ASSERT_EQ(region->contains(QPoint(x, y)), x >= 0 && y >= 0 && x < 50 && y < 60 && inside(x, y))
                << x << "," << y;

    GXRgbQuad table[2] = { { 255, 0, 255, 0 }, { 0, 0, 0, 0 } };
    GDib palette;
    ASSERT_TRUE(palette.Create(3, 1, 8, 2, table));
    *palette.GetPixelAddress(1, 0) = 1;
    const std::optional<QRegion> fromPalette = CreateRegionFromImage(&palette);
    ASSERT_TRUE(fromPalette);
    EXPECT_EQ(*fromPalette, QRegion(1, 0, 1, 1));
    EXPECT_FALSE(CreateRegionFromImage(nullptr));
    const GDib empty;
    EXPECT_FALSE(CreateRegionFromImage(&empty));
}

} // namespace

// Region shapes: what a "Rgn" element loads as, how shapes combine into a
// window's outline, and when a shape asks to be combined again.
#include "skin/controls/GXConRgn.h"

#include "support/ControlTestOwner.h"
#include "support/DibPixels.h"

#include <gtest/gtest.h>

namespace {

// A 6 x 4 image whose left half is magenta (see-through).
GDib HalfKeyed()
{
    return MakeDib(6, 4, [](int x, int) { return x < 3 ? kGxColorKey : GxRgb(1, 2, 3); });
}

// The same pixels, however the two regions split them into rectangles.
bool SamePixels(const QRegion& a, const QRegion& b)
{
    return a.xored(b).isEmpty();
}

} // namespace

TEST(GXConRgn, LoadReadsTypeParamAndMode)
{
    struct Case {
        std::string attributes;
        int error;
        std::string detail;
        GXConRgn::Shape shape;
        GXConRgn::Mode mode;
    };
    using S = GXConRgn::Shape;
    using M = GXConRgn::Mode;
    const Case cases[] = {
        { "", 0, "", S::None, M::Or },
        { R"(Type="rect" Mode="and")", 0, "", S::Rect, M::And },
        { R"(Type="ellipse" Mode="xor")", 0, "", S::Ellipse, M::Xor },
        { R"(Type="roundrect" Param="8,6" Mode="diff")", 0, "", S::RoundRect, M::Diff },
        { R"(Type="bitmap" Param="shape.bmp" Mode="copy")", 0, "", S::Bitmap, M::Copy },
        { R"(Type="rect" Mode="AND")", 0, "", S::Rect, M::Or },
        { R"(Type="roundrect")", 4, "Param", S::None, M::Or },
        { R"(Type="bitmap" Param="")", 4, "Param", S::None, M::Or },
        { R"(Type="bitmap" Param="nothing.bmp")", 5, "nothing.bmp", S::Bitmap, M::Or },
        { R"(Type="polygon")", 12, "polygon", S::None, M::Or },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        ControlTestOwner owner;
        owner.images["shape.bmp"] = HalfKeyed();
        GXConRgn shape(&owner);
        const auto doc = ParseElement("<Rgn " + c.attributes + "/>");
        EXPECT_EQ(shape.Load(nullptr, doc->GetRoot()), c.error == 0);
        EXPECT_EQ(shape.GetErrorCode(), c.error);
        EXPECT_EQ(shape.GetErrorDetail(), c.detail);
        EXPECT_EQ(shape.GetShape(), c.shape);
        if (c.error == 0) {
            EXPECT_EQ(shape.GetMode(), c.mode);
        }
    }
}

TEST(GXConRgn, ShapesCombineInListOrderAtTheirPlaces)
{
    // A 20 x 20 square at the origin, then a second shape, 10 x 10 at
    // (15, 15), combined by each mode.
    struct Case {
        const char* mode;
        QRegion expected;
    };
    const QRegion first(0, 0, 20, 20);
    const QRegion second(15, 15, 10, 10);
    const Case cases[] = {
        { "or", first.united(second) },
        { "and", first.intersected(second) },
        { "xor", first.xored(second) },
        { "diff", first.subtracted(second) },
        { "copy", first },
        { "", first.united(second) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        GXConRgn a(nullptr), b(nullptr);
        const auto docA = ParseElement(R"(<Rgn Type="rect"/>)");
        const auto docB = ParseElement(std::string(R"(<Rgn Type="rect" Mode=")") + c.mode + "\"/>");
        ASSERT_TRUE(a.Load(nullptr, docA->GetRoot()));
        ASSERT_TRUE(b.Load(nullptr, docB->GetRoot()));
        a.SetPos(0, 0, 20, 20, GXConBase::Redraw::No);
        b.SetPos(15, 15, 10, 10, GXConBase::Redraw::No);
        QRegion total;
        a.CombineInto(&total);
        b.CombineInto(&total);
        EXPECT_TRUE(SamePixels(total, c.expected));
    }
}

TEST(GXConRgn, RebuildsOnlyWhenItsSizeChangesAndRecombinesWhenMoved)
{
    GXConRgn shape(nullptr);
    const auto doc = ParseElement(R"(<Rgn Type="rect"/>)");
    ASSERT_TRUE(shape.Load(nullptr, doc->GetRoot()));
    shape.SetPos(5, 5, 40, 20, GXConBase::Redraw::No);
    EXPECT_TRUE(SamePixels(shape.GetRegion(), QRegion(0, 0, 40, 20)));
    QRegion total;
    shape.CombineInto(&total);
    EXPECT_FALSE(shape.NeedsCombine());

    struct Step {
        const char* name;
        QRect place;
        bool needsCombine;
    };
    const Step steps[] = {
        { "the same place", { 5, 5, 40, 20 }, false },
        { "moved", { 9, 5, 40, 20 }, true },
        { "resized", { 9, 5, 60, 20 }, true },
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        shape.SetPos(s.place.x(), s.place.y(), s.place.width(), s.place.height(), GXConBase::Redraw::No);
        EXPECT_EQ(shape.NeedsCombine(), s.needsCombine);
        total = QRegion();
        shape.CombineInto(&total);
        EXPECT_EQ(total.boundingRect(), s.place);
    }
}

TEST(GXConRgn, BitmapShapeAutosizesOnePixelShort)
{
    ControlTestOwner owner;
    owner.images["shape.bmp"] = HalfKeyed();
    GXConRgn shape(&owner);
    const auto doc = ParseElement(
        R"(<Rgn Type="bitmap" Param="shape.bmp" Align="none" Left="10" Top="20" Width="autosize" Height="autosize" Gaps="1,2,3,4"/>)");
    ASSERT_TRUE(shape.Load(nullptr, doc->GetRoot()));
    SGxAlign align;
    int error = 0;
    ASSERT_TRUE(shape.ReadAlign(doc->GetRoot(), &align, &error));
    EXPECT_EQ(align.nWidth, 6 + 1 + 3);
    EXPECT_EQ(align.nHeight, 4 + 2 + 4);
    EXPECT_EQ(align.rect, (SRect { 10, 20, 15, 23 }));
    // The image's own shape, whatever size the layout gives.
    shape.SetPos(0, 0, 100, 100, GXConBase::Redraw::No);
    EXPECT_TRUE(SamePixels(shape.GetRegion(), QRegion(3, 0, 3, 4)));
}

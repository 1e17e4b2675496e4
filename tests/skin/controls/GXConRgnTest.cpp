// Region shapes: what a "Rgn" element loads as and how a bitmap shape is
// sized. Combining them on a real window is tests/skin/x11/GXConRgnX11Test.
#include "skin/controls/GXConRgn.h"

#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

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
        { R"(Type="rect" Mode="and")", 0, "", S::Rect, M::And },
        { R"(Type="roundrect" Param="8,6" Mode="diff")", 0, "", S::RoundRect, M::Diff },
        { R"(Type="bitmap" Param="shape.bmp" Mode="copy")", 0, "", S::Bitmap, M::Copy },
        { R"(Type="rect" Mode="AND")", 0, "", S::Rect, M::Or },
        { R"(Type="roundrect")", 4, "Param", S::None, M::Or },
        { R"(Type="bitmap" Param="nothing.bmp")", 5, "nothing.bmp", S::Bitmap, M::Or },
        { R"(Type="polygon")", 12, "polygon", S::None, M::Or },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        FakeSkinOwner owner;
        owner.images["shape.bmp"] = HalfKeyed();
        GXConRgn shape(&owner);
        const ParsedElement doc("<Rgn " + c.attributes + "/>");
        EXPECT_EQ(shape.Load(nullptr, doc.get()), c.error == 0);
        EXPECT_EQ(shape.GetErrorCode(), c.error);
        EXPECT_EQ(shape.GetErrorDetail(), c.detail);
        EXPECT_EQ(shape.GetShape(), c.shape);
        if (c.error == 0) {
            EXPECT_EQ(shape.GetMode(), c.mode);
        }
    }
}

TEST(GXConRgn, BitmapShapeAutosizesOnePixelShort)
{
    FakeSkinOwner owner;
    owner.images["shape.bmp"] = HalfKeyed();
    GXConRgn shape(&owner);
    const ParsedElement doc(
        R"(<Rgn Type="bitmap" Param="shape.bmp" Align="none" Left="10" Top="20" Width="autosize" Height="autosize" Gaps="1,2,3,4"/>)");
    ASSERT_TRUE(shape.Load(nullptr, doc.get()));
    SGxAlign align;
    int error = 0;
    ASSERT_TRUE(shape.ReadAlign(doc.get(), &align, &error));
    EXPECT_EQ(align.nWidth, 6 + 1 + 3);
    EXPECT_EQ(align.nHeight, 4 + 2 + 4);
    EXPECT_EQ(align.rect, (SRect { 10, 20, 15, 23 }));
    // The image's own shape, whatever size the layout gives.
    shape.SetPos(0, 0, 100, 100, GXConBase::Redraw::No);
    EXPECT_TRUE(SamePixels(shape.GetRegion(), QRegion(3, 0, 3, 4)));
}

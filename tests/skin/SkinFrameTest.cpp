#include "skin/SkinFrame.h"

#include "skin/GDib.h"
#include "support/DibPixels.h"

#include <gtest/gtest.h>

namespace {

constexpr COLORREF kUnder = 0x0F0F0F;

// A 12 x 9 source frame inside a larger image, at (2, 1); the key shows on
// a diagonal so transparency is visible in every part.
COLORREF FrameSource(int x, int y)
{
    if ((x * 3 + y) % 7 == 0)
        return kGxColorKey;
    return GxRgb(x * 17, y * 23, 99);
}
const GXRect kS { 2, 1, 14, 10 };

// Which source column (or row) a destination offset uses in a frame with
// caps of size `cap` on both ends and a tiled middle of period `cap`.
int FrameCoord(int offset, int destSize, int sourceStart, int sourceEnd, int cap)
{
    if (offset < cap)
        return sourceStart + offset;
    if (offset >= destSize - cap)
        return sourceEnd - cap + (offset - (destSize - cap));
    return sourceStart + cap + (offset - cap) % cap;
}

TEST(SkinFrame, NinePartFrameTilesEdgesAndCentre)
{
    const GDib source = MakeDib(16, 12, FrameSource);
    for (FillCentre fill : { FillCentre::No, FillCentre::Yes }) {
        GDib dest = MakeDib(40, 30, [](int, int) { return kUnder; });
        const GXRect d { 3, 2, 34, 27 }; // 31 x 25: cx = 12/3 = 4, cy = 9/3 = 3
        DrawFrameImage(&source, &dest, kS, d, fill);
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          if (x < d.left || x >= d.right || y < d.top || y >= d.bottom)
                              return kUnder;
                          const int ox = x - d.left, oy = y - d.top;
                          const bool centre = ox >= 4 && ox < d.Width() - 4 && oy >= 3 && oy < d.Height() - 3;
                          if (centre && fill == FillCentre::No)
                              return kUnder;
                          const COLORREF s = FrameSource(FrameCoord(ox, d.Width(), kS.left, kS.right, 4),
                              FrameCoord(oy, d.Height(), kS.top, kS.bottom, 3));
                          return s == kGxColorKey ? kUnder : s;
                      }),
            "");
    }
}

TEST(SkinFrame, TooSmallDestinationDrawsNothing)
{
    const GDib source = MakeDib(16, 12, FrameSource);
    GDib dest = MakeDib(10, 10, [](int, int) { return kUnder; });
    DrawFrameImage(&source, &dest, kS, GXRect { 0, 0, 2, 8 }, FillCentre::Yes);
    DrawFrameImage(&source, &dest, kS, GXRect { 0, 0, 8, 2 }, FillCentre::No);
    EXPECT_EQ(ComparePixels(dest, [](int, int) { return kUnder; }), "");
}

TEST(SkinFrame, ThreePartFramesInBothDirections)
{
    const GDib source = MakeDib(16, 12, FrameSource);
    // Horizontal: caps of 12/3 = 4 columns, every row from the source's
    // rows in turn. A nine-part frame as high as its source with a centre
    // draws the same.
    for (bool viaNinePart : { false, true }) {
        GDib dest = MakeDib(30, 20, [](int, int) { return kUnder; });
        const GXRect d { 1, 2, 27, 11 };
        if (viaNinePart)
            DrawFrameImage(&source, &dest, kS, d, FillCentre::Yes);
        else
            DrawHFrameImage(&source, &dest, kS, d);
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          if (x < d.left || x >= d.right || y < d.top || y >= d.bottom)
                              return kUnder;
                          const COLORREF s = FrameSource(FrameCoord(x - d.left, d.Width(), kS.left, kS.right, 4),
                              kS.top + (y - d.top) % kS.Height());
                          return s == kGxColorKey ? kUnder : s;
                      }),
            "");
    }
    GDib dest = MakeDib(20, 30, [](int, int) { return kUnder; });
    const GXRect d { 2, 1, 16, 24 };
    DrawVFrameImage(&source, &dest, kS, d);
    EXPECT_EQ(ComparePixels(dest,
                  [&](int x, int y) {
                      if (x < d.left || x >= d.right || y < d.top || y >= d.bottom)
                          return kUnder;
                      const COLORREF s = FrameSource(
                          kS.left + (x - d.left) % kS.Width(), FrameCoord(y - d.top, d.Height(), kS.top, kS.bottom, 3));
                      return s == kGxColorKey ? kUnder : s;
                  }),
        "");
}

TEST(SkinFrame, NarrowDestinationGetsTheOuterHalvesOpaque)
{
    const GDib source = MakeDib(16, 12, FrameSource);
    GDib dest = MakeDib(20, 20, [](int, int) { return kUnder; });
    const GXRect d { 3, 4, 8, 6 }; // 5 wide <= 12 / 2: w = 5 / 2 + 1 = 3
    DrawHFrameImage(&source, &dest, kS, d);
    EXPECT_EQ(ComparePixels(dest,
                  [&](int x, int y) {
                      if (y < d.top || y >= d.top + kS.Height())
                          return kUnder;
                      if (x >= d.right - 3 && x < d.right)
                          return FrameSource(kS.right - 3 + x - (d.right - 3), kS.top + y - d.top);
                      if (x >= d.left && x < d.left + 3)
                          return FrameSource(kS.left + x - d.left, kS.top + y - d.top);
                      return kUnder;
                  }),
        "");
    GDib tall = MakeDib(20, 20, [](int, int) { return kUnder; });
    const GXRect v { 1, 5, 18, 9 }; // 4 high <= 9 / 2: h = 3
    DrawVFrameImage(&source, &tall, kS, v);
    EXPECT_EQ(ComparePixels(tall,
                  [&](int x, int y) {
                      if (x < v.left || x >= v.left + kS.Width())
                          return kUnder;
                      if (y >= v.bottom - 3 && y < v.bottom)
                          return FrameSource(kS.left + x - v.left, kS.bottom - 3 + y - (v.bottom - 3));
                      if (y >= v.top && y < v.top + 3)
                          return FrameSource(kS.left + x - v.left, kS.top + y - v.top);
                      return kUnder;
                  }),
        "");
}

} // namespace

#include "skin/SkinFrame.h"

#include "skin/GDib.h"

#include <algorithm>

namespace {

// Tiles the piece of size w x h at (sx, sy) over the target rectangle.
void Piece(const GDib* pSource, GDib* pDest, int w, int h, const GXRect& target, int sx, int sy)
{
    pSource->TileTo(w, h, pDest, target, GDib::Transparent::Yes, sx, sy);
}

} // namespace

void DrawFrameImage(const GDib* pSource, GDib* pDest, const GXRect& s, const GXRect& d, FillCentre fill)
{
    if (!pSource || !pDest)
        return;
    if (d.Height() == s.Height() && fill == FillCentre::Yes) {
        DrawHFrameImage(pSource, pDest, s, d);
        return;
    }
    const int cx = std::min(d.Width(), s.Width()) / 3;
    const int cy = std::min(d.Height(), s.Height()) / 3;
    if (cx <= 0 || cy <= 0)
        return;
    // Edges first, then the corners over their ends.
    Piece(pSource, pDest, cx, cy, { d.left + cx, d.top, d.right - cx, d.top + cy }, s.left + cx, s.top);
    Piece(pSource, pDest, cx, cy, { d.left + cx, d.bottom - cy, d.right - cx, d.bottom }, s.left + cx, s.bottom - cy);
    Piece(pSource, pDest, cx, cy, { d.left, d.top + cy, d.left + cx, d.bottom - cy }, s.left, s.top + cy);
    Piece(pSource, pDest, cx, cy, { d.left, d.top, d.left + cx, d.top + cy }, s.left, s.top);
    Piece(pSource, pDest, cx, cy, { d.left, d.bottom - cy, d.left + cx, d.bottom }, s.left, s.bottom - cy);
    Piece(pSource, pDest, cx, cy, { d.right - cx, d.top + cy, d.right, d.bottom - cy }, s.right - cx, s.top + cy);
    Piece(pSource, pDest, cx, cy, { d.right - cx, d.top, d.right, d.top + cy }, s.right - cx, s.top);
    Piece(pSource, pDest, cx, cy, { d.right - cx, d.bottom - cy, d.right, d.bottom }, s.right - cx, s.bottom - cy);
    if (fill == FillCentre::Yes)
        Piece(
            pSource, pDest, cx, cy, { d.left + cx, d.top + cy, d.right - cx, d.bottom - cy }, s.left + cx, s.top + cy);
}

void DrawHFrameImage(const GDib* pSource, GDib* pDest, const GXRect& s, const GXRect& d)
{
    if (!pSource || !pDest)
        return;
    if (d.Width() <= s.Width() / 2) {
        const int w = d.Width() / 2 + 1;
        pSource->CopyTo(pDest, d.left, d.top, s.left, s.top, w, s.Height());
        pSource->CopyTo(pDest, d.right - w, d.top, s.right - w, s.top, w, s.Height());
        return;
    }
    const int cx = s.Width() / 3;
    const int h = s.Height();
    Piece(pSource, pDest, cx, h, { d.left, d.top, d.left + cx, d.bottom }, s.left, s.top);
    Piece(pSource, pDest, cx, h, { d.right - cx, d.top, d.right, d.bottom }, s.left + 2 * cx, s.top);
    Piece(pSource, pDest, cx, h, { d.left + cx, d.top, d.right - cx, d.bottom }, s.left + cx, s.top);
}

void DrawVFrameImage(const GDib* pSource, GDib* pDest, const GXRect& s, const GXRect& d)
{
    if (!pSource || !pDest)
        return;
    if (d.Height() <= s.Height() / 2) {
        const int h = d.Height() / 2 + 1;
        pSource->CopyTo(pDest, d.left, d.top, s.left, s.top, s.Width(), h);
        pSource->CopyTo(pDest, d.left, d.bottom - h, s.left, s.bottom - h, s.Width(), h);
        return;
    }
    const int cy = s.Height() / 3;
    const int w = s.Width();
    Piece(pSource, pDest, w, cy, { d.left, d.top, d.right, d.top + cy }, s.left, s.top);
    Piece(pSource, pDest, w, cy, { d.left, d.bottom - cy, d.right, d.bottom }, s.left, s.top + 2 * cy);
    Piece(pSource, pDest, w, cy, { d.left, d.top + cy, d.right, d.bottom - cy }, s.left, s.top + cy);
}

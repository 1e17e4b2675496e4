#pragma once

#include "skin/GXTypes.h"

class GDib;

// Thread: user-interface thread.
// Framed images: a source rectangle cut into corners, edges and a centre
// (or two caps and a middle) that are tiled over a destination rectangle
// of any size. Pieces are drawn with the source's colour key, except where
// stated.

enum class FillCentre { No, Yes };

// Nine parts, each a third of the smaller of the two rectangles; nothing
// when a third is empty. A frame as high as its source becomes a
// three-part horizontal frame when the centre is filled.
void DrawFrameImage(const GDib* pSource, GDib* pDest, const GXRect& source, const GXRect& dest, FillCentre fill);
// Left cap, tiled middle, right cap. A destination at most half as wide as
// the source gets the source's two outer halves, opaque.
void DrawHFrameImage(const GDib* pSource, GDib* pDest, const GXRect& source, const GXRect& dest);
// Top cap, tiled middle, bottom cap; the same rule for short destinations.
void DrawVFrameImage(const GDib* pSource, GDib* pDest, const GXRect& source, const GXRect& dest);

#pragma once

#include "foundation/RectGeometry.h"

// How the layout places one control inside its parent: read from the
// control element's Align, Width, Height, Left, Top, Right, Bottom, Rect and
// Gaps attributes (GXConBase::ReadAlign) and walked by GXManAlign.
struct SGxAlign {
    // The Align words in this order; the numbers are what ReadAlign stores.
    enum Type : int {
        kLeft = 0, // docked to the left edge, takes width
        kTop = 1, // docked to the top edge, takes height
        kBottom = 2, // docked to the bottom edge, takes height
        kRight = 3, // docked to the right edge, takes width
        kClient = 4, // what remains
        kCenter = 5, // centred in the parent, fixed size
        kPopup = 6, // placed by its own code, never by the layout
        kLeftTop = 7, // corners of what remains, fixed size
        kRightTop = 8,
        kRightBottom = 9,
        kLeftBottom = 10,
        kNone = 11, // at an absolute rectangle in what remains
        kNoMove = 12, // placed by its own code, never by the layout
    };

    int nType = kNone;
    int nWidth = 0;
    int nHeight = 0;
    // Margins, or the rectangle of kNone.
    SRect rect;
    int nGapLeft = 0;
    int nGapRight = 0;
    int nGapTop = 0;
    int nGapBottom = 0;
    // Width and Height are percentages of what remains (dock types only).
    bool bPercent = false;
};

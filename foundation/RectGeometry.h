#pragma once

#include <vector>

// Screen rectangles as the window code uses them: right and bottom are one
// past the last pixel. Pure geometry; the monitors' work areas come from
// the user-interface layer. Thread: any.
struct SRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    [[nodiscard]] int Width() const { return right - left; }
    [[nodiscard]] int Height() const { return bottom - top; }
    [[nodiscard]] bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const SRect&, const SRect&) = default;
};

// True when the two share at least one pixel.
[[nodiscard]] bool RectsIntersect(const SRect& a, const SRect& b);

// For window snapping: true when a and b do not overlap but b grown by one
// pixel on every side meets a (edge contact), or when they share a vertical
// edge (left or right equal) and a horizontal edge (top or bottom equal).
[[nodiscard]] bool RectsTouch(const SRect* a, const SRect* b);

// True when the rectangle meets any of the work areas.
[[nodiscard]] bool IsRectOnScreen(const SRect& rect, const std::vector<SRect>& workAreas);

// The work area of the screen nearest the rectangle: the one it overlaps
// most, else (lying off every screen) the one at the least distance; null
// without work areas.
[[nodiscard]] const SRect* NearestWorkArea(const SRect& rect, const std::vector<SRect>& workAreas);

// *out = rect moved inside area: per axis, a rectangle larger than the area
// takes the area's extent; otherwise it is shifted back across whichever
// edge it crosses. Without an area the rectangle stays as it is. Null rect
// or out does nothing.
void FitRectToWorkArea(const SRect* rect, const SRect* area, SRect* out);

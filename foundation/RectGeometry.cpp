#include "foundation/RectGeometry.h"

#include <algorithm>

namespace {

// One axis of FitRectToWorkArea.
void FitSpan(int* lo, int* hi, int areaLo, int areaHi)
{
    if (*hi - *lo > areaHi - areaLo) {
        *lo = areaLo;
        *hi = areaHi;
    } else if (*lo < areaLo) {
        *hi += areaLo - *lo;
        *lo = areaLo;
    } else if (*hi > areaHi) {
        *lo -= *hi - areaHi;
        *hi = areaHi;
    }
}

} // namespace

bool RectsIntersect(const SRect& a, const SRect& b)
{
    if (a.IsEmpty() || b.IsEmpty())
        return false;
    return std::max(a.left, b.left) < std::min(a.right, b.right)
        && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

bool RectsTouch(const SRect* a, const SRect* b)
{
    if (a == nullptr || b == nullptr)
        return false;
    if (!RectsIntersect(*a, *b)) {
        SRect grown { b->left - 1, b->top - 1, b->right + 1, b->bottom + 1 };
        if (RectsIntersect(*a, grown))
            return true;
    }
    bool sharesVertical = a->left == b->left || a->right == b->right;
    bool sharesHorizontal = a->top == b->top || a->bottom == b->bottom;
    return sharesVertical && sharesHorizontal;
}

bool IsRectOnScreen(const SRect& rect, const std::vector<SRect>& workAreas)
{
    return std::any_of(
        workAreas.begin(), workAreas.end(), [&](const SRect& area) { return RectsIntersect(rect, area); });
}

void FitRectToWorkArea(const SRect* rect, const SRect* area, SRect* out)
{
    if (rect == nullptr || out == nullptr)
        return;
    SRect fitted = *rect;
    if (area != nullptr) {
        FitSpan(&fitted.left, &fitted.right, area->left, area->right);
        FitSpan(&fitted.top, &fitted.bottom, area->top, area->bottom);
    }
    *out = fitted;
}

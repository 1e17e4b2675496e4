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

// How far apart two spans are along one axis; 0 when they meet.
long long Gap(int aLo, int aHi, int bLo, int bHi)
{
    return std::max({ 0LL, static_cast<long long>(bLo) - aHi, static_cast<long long>(aLo) - bHi });
}

long long Overlap(int aLo, int aHi, int bLo, int bHi)
{
    return std::max(0LL, static_cast<long long>(std::min(aHi, bHi)) - std::max(aLo, bLo));
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

const SRect* NearestWorkArea(const SRect& rect, const std::vector<SRect>& workAreas)
{
    const SRect* pBest = nullptr;
    long long bestOverlap = 0;
    long long bestDistance = 0;
    for (const SRect& area : workAreas) {
        const long long overlap = Overlap(rect.left, rect.right, area.left, area.right)
            * Overlap(rect.top, rect.bottom, area.top, area.bottom);
        const long long dx = Gap(rect.left, rect.right, area.left, area.right);
        const long long dy = Gap(rect.top, rect.bottom, area.top, area.bottom);
        const long long distance = dx * dx + dy * dy;
        if (!pBest || overlap > bestOverlap || (overlap == 0 && bestOverlap == 0 && distance < bestDistance)) {
            pBest = &area;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    return pBest;
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

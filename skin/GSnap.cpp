#include "skin/GSnap.h"

#include "skin/RectConversion.h"

#include <QApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

// The window property that marks a window as served by a GSnap; a second
// one would fight the first over every move.
constexpr char kSnapProperty[] = "tavdjSnap";

int Sat(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

std::int64_t Distance(std::int64_t a, std::int64_t b)
{
    return a > b ? a - b : b - a;
}

// v within [lo - d, hi + d].
bool Near(std::int64_t v, std::int64_t lo, std::int64_t hi, int d)
{
    return v >= lo - d && v <= hi + d;
}

// The best snap of one axis: the nearest candidate within the distance; on
// equal distances the first one found stays.
struct SBest {
    std::int64_t distance = INT64_MAX;
    std::int64_t value = 0;
    bool found = false;

    void Offer(std::int64_t from, std::int64_t to, std::int64_t result, int limit)
    {
        const std::int64_t d = Distance(from, to);
        if (d <= limit && d < distance) {
            distance = d;
            value = result;
            found = true;
        }
    }
};

// One axis of a window, in the group's terms (the far edge reaches past
// the docked windows).
struct SSpan {
    std::int64_t lo;
    std::int64_t hi;
};

// A move along one axis: either edge of the group may meet either edge of
// a target; the group keeps its extent.
void SnapMoveAxis(SSpan* span, const std::vector<SSpan>& targets, int d)
{
    SBest best;
    const std::int64_t extent = span->hi - span->lo;
    for (const SSpan& t : targets) {
        best.Offer(span->lo, t.lo, t.lo, d);
        best.Offer(span->lo, t.hi, t.hi, d);
        best.Offer(span->hi, t.lo, t.lo - extent, d);
        best.Offer(span->hi, t.hi, t.hi - extent, d);
    }
    if (best.found) {
        span->lo = best.value;
        span->hi = best.value + extent;
    }
}

// A resize along one axis: the edge that moved snaps, the other stays.
void SnapSizeAxis(SSpan* span, std::int64_t startLo, const std::vector<SSpan>& targets, int d)
{
    const bool farEdge = span->lo == startLo;
    SBest best;
    for (const SSpan& t : targets) {
        const std::int64_t edge = farEdge ? span->hi : span->lo;
        best.Offer(edge, t.lo, t.lo, d);
        best.Offer(edge, t.hi, t.hi, d);
    }
    if (!best.found)
        return;
    (farEdge ? span->hi : span->lo) = best.value;
}

// The proposal of a resize: the start rectangle with the dragged edges
// taken from what the resize proposes.
SRect SizingProposal(const SRect& proposed, const SRect& start, GSnapSizing sizing)
{
    SRect r = start;
    switch (sizing) {
    case GSnapSizing::kMove:
        return proposed;
    case GSnapSizing::kLeft:
        r.left = proposed.left;
        break;
    case GSnapSizing::kRight:
        r.right = proposed.right;
        break;
    case GSnapSizing::kTop:
        r.top = proposed.top;
        break;
    case GSnapSizing::kBottom:
        r.bottom = proposed.bottom;
        break;
    case GSnapSizing::kTopLeft:
        r.top = proposed.top;
        r.left = proposed.left;
        break;
    case GSnapSizing::kTopRight:
        r.top = proposed.top;
        r.right = proposed.right;
        break;
    case GSnapSizing::kBottomLeft:
        r.bottom = proposed.bottom;
        r.left = proposed.left;
        break;
    case GSnapSizing::kBottomRight:
        r.bottom = proposed.bottom;
        r.right = proposed.right;
        break;
    }
    return r;
}

} // namespace

GSnap::GSnap() = default;

GSnap::~GSnap()
{
    Detach();
}

bool GSnap::Attach(QWidget* pWindow, int nDistance)
{
    Detach();
    if (pWindow == nullptr || pWindow->property(kSnapProperty).isValid())
        return false;
    m_pWindow = pWindow;
    m_nDistance = nDistance;
    pWindow->setProperty(kSnapProperty, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
    return true;
}

bool GSnap::Detach()
{
    if (m_pWindow == nullptr)
        return false;
    m_pWindow->setProperty(kSnapProperty, QVariant());
    m_pWindow = nullptr;
    m_bInMoveSize = false;
    return true;
}

GSnap* GSnap::Of(const QWidget* pWindow)
{
    if (pWindow == nullptr)
        return nullptr;
    return reinterpret_cast<GSnap*>(pWindow->property(kSnapProperty).value<quintptr>());
}

void GSnap::AddDocked(QWidget* pWindow)
{
    m_docked.emplace_back(pWindow);
}

void GSnap::ClearDocked()
{
    m_docked.clear();
}

void GSnap::BeginMoveSize()
{
    if (m_pWindow == nullptr)
        return;
    m_bInMoveSize = true;
    m_rectStart = ToSRect(m_pWindow->frameGeometry());
    m_dockedAtStart.clear();
    for (const QPointer<QWidget>& docked : m_docked) {
        if (docked != nullptr)
            m_dockedAtStart.push_back(ToSRect(docked->frameGeometry()));
    }
    m_targets = CollectTargets();
}

SRect GSnap::SnapMove(const SRect& proposed) const
{
    if (!m_bInMoveSize || m_bDisabled || m_pWindow == nullptr)
        return proposed;
    return Snap(proposed, m_rectStart, GSnapSizing::kMove, m_targets, m_dockedAtStart, m_nDistance);
}

SRect GSnap::SnapSize(const SRect& proposed, GSnapSizing sizing) const
{
    if (!m_bInMoveSize || m_bDisabled || m_pWindow == nullptr)
        return proposed;
    return Snap(proposed, m_rectStart, sizing, m_targets, m_dockedAtStart, m_nDistance);
}

void GSnap::EndMoveSize()
{
    m_bInMoveSize = false;
}

SRect GSnap::Snap(const SRect& proposed, const SRect& start, GSnapSizing sizing, const SSnapTargets& targets,
    std::span<const SRect> docked, int nDistance)
{
    const SRect want = SizingProposal(proposed, start, sizing);
    if (want == start)
        return want;

    // The group reaches as far right and down as the window and its docked
    // windows together; snapping works on the group's edges.
    std::int64_t extendRight = 0;
    std::int64_t extendBottom = 0;
    for (const SRect& r : docked) {
        extendRight = std::max<std::int64_t>(extendRight, static_cast<std::int64_t>(r.right) - start.right);
        extendBottom = std::max<std::int64_t>(extendBottom, static_cast<std::int64_t>(r.bottom) - start.bottom);
    }
    SSpan x { want.left, want.right + extendRight };
    SSpan y { want.top, want.bottom + extendBottom };

    // A target counts for one axis only where it lies near the window along
    // the other, so a window far below another never jumps to its side.
    std::vector<SSpan> targetsX;
    std::vector<SSpan> targetsY;
    for (const SRect& t : targets.rects) {
        if (Near(y.lo, t.top, t.bottom, nDistance) || Near(t.top, y.lo, y.hi, nDistance))
            targetsX.push_back(SSpan { t.left, t.right });
        if (Near(x.lo, t.left, t.right, nDistance) || Near(t.left, x.lo, x.hi, nDistance))
            targetsY.push_back(SSpan { t.top, t.bottom });
    }

    if (sizing == GSnapSizing::kMove) {
        SnapMoveAxis(&x, targetsX, nDistance);
        SnapMoveAxis(&y, targetsY, nDistance);
    } else {
        if (want.Width() != start.Width())
            SnapSizeAxis(&x, start.left, targetsX, nDistance);
        if (want.Height() != start.Height())
            SnapSizeAxis(&y, start.top, targetsY, nDistance);
    }

    const SRect result { Sat(x.lo), Sat(y.lo), Sat(x.hi - extendRight), Sat(y.hi - extendBottom) };
    if (result.Width() < kMinSnappedSize || result.Height() < kMinSnappedSize)
        return want;
    if (!IsRectOnScreen(result, targets.workAreas))
        return want;
    return result;
}

bool GSnap::IsDocked(const QWidget* pWindow) const
{
    return std::any_of(
        m_docked.begin(), m_docked.end(), [&](const QPointer<QWidget>& docked) { return docked == pWindow; });
}

SSnapTargets GSnap::CollectTargets() const
{
    SSnapTargets targets;
    for (const QWidget* pOther : QApplication::topLevelWidgets()) {
        if (pOther == m_pWindow || !pOther->isVisible() || IsDocked(pOther))
            continue;
        if (pOther->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
            continue;
        // Tooltips and menus are gone before the user can drag a window.
        const Qt::WindowType type = pOther->windowType();
        if (type == Qt::ToolTip || type == Qt::Popup)
            continue;
        targets.rects.push_back(ToSRect(pOther->frameGeometry()));
    }
    for (const QScreen* pScreen : QGuiApplication::screens()) {
        const SRect area = ToSRect(pScreen->availableGeometry());
        targets.rects.push_back(area);
        targets.workAreas.push_back(area);
    }
    return targets;
}

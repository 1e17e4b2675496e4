#pragma once

#include "foundation/RectGeometry.h"

#include <QPointer>

#include <span>
#include <vector>

class QWidget;

// How a window is being changed, numbered as resize edges usually are: the
// edge or corner the user drags, or kMove for a move.
enum class GSnapSizing {
    kMove = 0,
    kLeft = 1,
    kRight = 2,
    kTop = 3,
    kTopLeft = 4,
    kTopRight = 5,
    kBottom = 6,
    kBottomLeft = 7,
    kBottomRight = 8
};

// What a moving window may snap to, collected once when the move starts.
struct SSnapTargets {
    // Edges to snap to: other windows and the screens' work areas.
    std::vector<SRect> rects;
    // Where a window may end up: a snap that leaves the window outside all
    // of them is not applied.
    std::vector<SRect> workAreas;
};

// Thread: user-interface thread only.
// Makes a top-level window snap to the edges of the screens' work areas and
// of the program's other visible top-level windows while the user moves or
// resizes it. The window's own drag and resize loop asks it: BeginMoveSize
// when the drag starts, SnapMove or SnapSize for every proposed rectangle,
// EndMoveSize at the end. Docked windows (a panel attached to the main
// window) move with the window as one group: they are no targets, and what
// they add to the right and below counts as part of the window.
//
// The program can only see its own windows, so other programs' windows are
// no targets, and it moves its own windows itself, which needs X11.
class GSnap {
public:
    static constexpr int kDefaultDistance = 8;
    static constexpr int kChildWindowDistance = 10;
    static constexpr int kMainWindowDistance = 16;
    // A snapped window smaller than this in either direction is refused, so
    // snapping an edge never collapses a window.
    static constexpr int kMinSnappedSize = 10;

    GSnap();
    ~GSnap();
    GSnap(const GSnap&) = delete;
    GSnap& operator=(const GSnap&) = delete;

    // False when another GSnap already serves the window.
    bool Attach(QWidget* pWindow, int nDistance);
    bool Detach();
    // The GSnap attached to the window, null when none is.
    [[nodiscard]] static GSnap* Of(const QWidget* pWindow);
    [[nodiscard]] bool IsAttached() const { return m_pWindow != nullptr; }
    // While disabled, proposals pass unchanged.
    void SetDisabled(bool bDisabled) { m_bDisabled = bDisabled; }
    [[nodiscard]] bool IsDisabled() const { return m_bDisabled; }
    [[nodiscard]] int GetDistance() const { return m_nDistance; }
    void AddDocked(QWidget* pWindow);
    void ClearDocked();

    // The drag starts: remembers the window's rectangle and collects the
    // targets (screens' work areas, the program's visible top-level windows
    // that are neither minimised nor maximised, neither this window nor
    // docked to it).
    void BeginMoveSize();
    // The window's rectangle at the start moved by the cursor's travel.
    [[nodiscard]] SRect SnapMove(const SRect& proposed) const;
    // The rectangle the resize proposes; only the dragged edges count.
    [[nodiscard]] SRect SnapSize(const SRect& proposed, GSnapSizing sizing) const;
    void EndMoveSize();

    // The whole snapping rule, without a window. proposed: for a move, the
    // start rectangle moved by the cursor's travel; for a resize, the
    // rectangle whose dragged edges (named by sizing) are taken. start: the
    // window's rectangle when the drag began. docked: the docked windows'
    // rectangles then. Returns the rectangle the window should take.
    [[nodiscard]] static SRect Snap(const SRect& proposed, const SRect& start, GSnapSizing sizing,
        const SSnapTargets& targets, std::span<const SRect> docked, int nDistance);

private:
    [[nodiscard]] bool IsDocked(const QWidget* pWindow) const;
    [[nodiscard]] SSnapTargets CollectTargets() const;

    QPointer<QWidget> m_pWindow;
    int m_nDistance = kDefaultDistance;
    bool m_bDisabled = false;
    bool m_bInMoveSize = false;
    SRect m_rectStart;
    std::vector<SRect> m_dockedAtStart;
    SSnapTargets m_targets;
    std::vector<QPointer<QWidget>> m_docked;
};

// Window snapping: the rule itself against screens, windows, docked panels
// and several screens, then the snapper on real (offscreen) windows.
#include "skin/GSnap.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Show(const SRect& r)
{
    return std::string("(").append(std::to_string(r.left)) + ", " + std::to_string(r.top) + ", "
        + std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

// One screen 1000 x 700 without panels, and the same screen with a second
// one, 800 x 600, to its right.
const SRect kScreen { 0, 0, 1000, 700 };
const SRect kRightScreen { 1000, 0, 1800, 600 };

SSnapTargets Targets(std::vector<SRect> windows, std::vector<SRect> screens)
{
    SSnapTargets targets;
    targets.rects = std::move(windows);
    for (const SRect& screen : screens) {
        targets.rects.push_back(screen);
        targets.workAreas.push_back(screen);
    }
    return targets;
}

SRect Moved(const SRect& r, int dx, int dy)
{
    return SRect { r.left + dx, r.top + dy, r.right + dx, r.bottom + dy };
}

struct SnapCase {
    std::string name;
    SRect proposed;
    SRect start;
    GSnapSizing sizing;
    SSnapTargets targets;
    std::vector<SRect> docked;
    int distance;
    SRect expected;
};

} // namespace

TEST(GSnap, SnapsMovesAndResizesToScreensAndWindows)
{
    const SRect other { 100, 100, 300, 400 };
    const SRect start { 500, 200, 700, 350 };
    const std::vector<SnapCase> cases = {
        { "10 px right of another window's right edge: touches it", Moved(start, -190, 0), start, GSnapSizing::kMove,
            Targets({ other }, { kScreen }), {}, 16, { 300, 200, 500, 350 } },
        { "17 px away: stays", Moved(start, -183, 0), start, GSnapSizing::kMove, Targets({ other }, { kScreen }), {},
            16, { 317, 200, 517, 350 } },
        { "right edge meets another window's left edge", SRect { -105, 150, 95, 300 }, start, GSnapSizing::kMove,
            Targets({ other }, { kScreen }), {}, 8, { -100, 150, 100, 300 } },
        { "a window far below is no target for the sides", SRect { 305, 600, 505, 690 }, start, GSnapSizing::kMove,
            Targets({ other }, { kScreen }), {}, 8, { 305, 600, 505, 690 } },
        { "into a screen corner both axes snap on their own", SRect { 795, 545, 995, 695 }, start, GSnapSizing::kMove,
            Targets({}, { kScreen }), {}, 8, { 800, 550, 1000, 700 } },
        { "on equal distances the first target wins", SRect { 505, 200, 705, 350 }, start, GSnapSizing::kMove,
            Targets({ { 0, 0, 500, 700 }, { 0, 0, 510, 700 } }, { kScreen }), {}, 8, { 500, 200, 700, 350 } },
        { "the nearest edge wins", SRect { 505, 200, 705, 350 }, start, GSnapSizing::kMove,
            Targets({ { 0, 0, 500, 700 }, { 0, 0, 702, 700 } }, { kScreen }), {}, 8, { 502, 200, 702, 350 } },
        { "a docked panel's right edge snaps to the screen's", SRect { 690, 200, 890, 350 }, start, GSnapSizing::kMove,
            Targets({}, { kScreen }), { { 700, 200, 805, 350 } }, 16, { 695, 200, 895, 350 } },
        { "a proposal equal to the start stays even next to an edge", SRect { 2, 2, 202, 152 },
            SRect { 2, 2, 202, 152 }, GSnapSizing::kMove, Targets({}, { kScreen }), {}, 16, { 2, 2, 202, 152 } },
        { "a snap that leaves every work area is refused", SRect { -195, 100, 5, 250 }, start, GSnapSizing::kMove,
            Targets({ { -400, 0, -200, 700 } }, { kScreen }), {}, 8, { -195, 100, 5, 250 } },
        { "the edge between two screens is a target from either side", SRect { 1006, 100, 1206, 250 }, start,
            GSnapSizing::kMove, Targets({}, { kScreen, kRightScreen }), {}, 8, { 1000, 100, 1200, 250 } },
        { "below the shorter screen the snap is refused", SRect { 1300, 604, 1500, 754 }, start, GSnapSizing::kMove,
            Targets({}, { kScreen, kRightScreen }), {}, 8, { 1300, 604, 1500, 754 } },
        { "onto the second screen's bottom edge", SRect { 1300, 445, 1500, 595 }, start, GSnapSizing::kMove,
            Targets({}, { kScreen, kRightScreen }), {}, 8, { 1300, 450, 1500, 600 } },
        { "resizing the right edge snaps it, the left stays", SRect { 0, 0, 994, 0 }, start, GSnapSizing::kRight,
            Targets({}, { kScreen }), {}, 8, { 500, 200, 1000, 350 } },
        { "resizing the left edge snaps it, the right stays", SRect { 305, 0, 0, 0 }, start, GSnapSizing::kLeft,
            Targets({ other }, { kScreen }), {}, 8, { 300, 200, 700, 350 } },
        { "the edges a resize does not drag are kept from the start", SRect { 1, 2, 994, 4 }, start,
            GSnapSizing::kRight, Targets({}, { kScreen }), {}, 8, { 500, 200, 1000, 350 } },
        { "a corner resize snaps both dragged edges", SRect { 0, 0, 996, 697 }, start, GSnapSizing::kBottomRight,
            Targets({}, { kScreen }), {}, 8, { 500, 200, 1000, 700 } },
        { "an axis whose size does not change does not snap", SRect { 3, 0, 0, 0 }, SRect { 500, 5, 700, 350 },
            GSnapSizing::kLeft, Targets({}, { kScreen }), {}, 8, { 0, 5, 700, 350 } },
        { "resizing the top edge to a window above", SRect { 0, 110, 0, 0 }, start, GSnapSizing::kTop,
            Targets({ other, { 600, 0, 900, 105 } }, { kScreen }), {}, 8, { 500, 105, 700, 350 } },
        // With a docked panel the group's right edge snaps; the window's own
        // right edge stays where it was when the left edge is dragged, and
        // stops short of the target by the panel when the right edge is.
        { "resizing the left edge of a docked group keeps the window's right", SRect { 5, 0, 0, 0 }, start,
            GSnapSizing::kLeft, Targets({}, { kScreen }), { { 700, 200, 800, 350 } }, 8, { 0, 200, 700, 350 } },
        { "resizing the right edge of a docked group snaps the panel's edge", SRect { 0, 0, 895, 0 }, start,
            GSnapSizing::kRight, Targets({}, { kScreen }), { { 700, 200, 800, 350 } }, 8, { 500, 200, 900, 350 } },
        { "a resize that would leave less than 10 pixels is refused", SRect { 0, 0, 505, 0 }, start,
            GSnapSizing::kRight, Targets({ { 0, 0, 509, 700 } }, { kScreen }), {}, 8, { 500, 200, 505, 350 } },
    };
    for (const SnapCase& c : cases) {
        const SRect got = GSnap::Snap(c.proposed, c.start, c.sizing, c.targets, c.docked, c.distance);
        EXPECT_EQ(got, c.expected) << c.name << ": got " << Show(got);
    }
}

TEST(GSnap, SecondSnapperOnTheSameWindowIsRefused)
{
    QWidget window;
    GSnap first;
    GSnap second;
    EXPECT_TRUE(first.Attach(&window, GSnap::kMainWindowDistance));
    EXPECT_FALSE(second.Attach(&window, GSnap::kDefaultDistance));
    EXPECT_FALSE(second.IsAttached());
    EXPECT_TRUE(first.Detach());
    EXPECT_FALSE(first.Detach());
    EXPECT_TRUE(second.Attach(&window, GSnap::kChildWindowDistance));
    EXPECT_EQ(second.GetDistance(), GSnap::kChildWindowDistance);
}

TEST(GSnap, SnapsToTheProgramsOwnVisibleWindowsUnlessDisabled)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int x0 = screen.x() + 200;
    const int y0 = screen.y() + 150;
    QWidget moving(nullptr, Qt::FramelessWindowHint);
    moving.setGeometry(x0, y0, 100, 80);
    moving.show();
    QWidget neighbour(nullptr, Qt::FramelessWindowHint);
    neighbour.setGeometry(x0 - 150, y0, 100, 80);
    neighbour.show();
    // Each of these would be nearer than the neighbour if it counted.
    QWidget minimised(nullptr, Qt::FramelessWindowHint);
    minimised.setGeometry(x0 - 135, y0, 100, 80);
    minimised.show();
    minimised.setWindowState(Qt::WindowMinimized);
    QWidget hidden(nullptr, Qt::FramelessWindowHint);
    hidden.setGeometry(x0 - 137, y0, 100, 80);
    QWidget panel(nullptr, Qt::FramelessWindowHint);
    panel.setGeometry(x0 - 138, y0, 100, 80);
    panel.show();

    GSnap snap;
    ASSERT_TRUE(snap.Attach(&moving, GSnap::kMainWindowDistance));
    snap.AddDocked(&panel);
    snap.BeginMoveSize();
    // Dragged left until 10 px from the neighbour's right edge: only the
    // visible, normal, undocked neighbour counts, so it snaps there.
    const SRect proposed { x0 - 40, y0, x0 + 60, y0 + 80 };
    EXPECT_EQ(snap.SnapMove(proposed), (SRect { x0 - 50, y0, x0 + 50, y0 + 80 }));

    snap.SetDisabled(true);
    EXPECT_EQ(snap.SnapMove(proposed), proposed);
    snap.SetDisabled(false);

    snap.EndMoveSize();
    EXPECT_EQ(snap.SnapMove(proposed), proposed);
}

// The real main window on the default skin, dragged by the skin's
// background offscreen: the drag goes through the window's snapper, so the
// window snaps to the screen's edges and to the program's other windows
// and a docked mini browser comes along.
#include "app/CTavDJ1Dlg.h"

#include "app/COption.h"
#include "engine/stream/CDJDataMan.h"
#include "skin/GXWindowChild.h"

#include "fakes/FakeFirewall.h"
#include "fakes/FakeMixer.h"
#include "fakes/FakeWaveIn.h"
#include "support/MessageDlgRecorder.h"
#include "support/ProgramEnvironment.h"
#include "support/QtEventWait.h"
#include "support/QtSkinDrag.h"
#include "support/TempHome.h"

#include <QScreen>

#include <gtest/gtest.h>

#include <optional>

namespace {

// The program's engine saves itself at exit, so its home and fakes are
// built before it and end after it.
struct SProgramRig {
    TempHome home;
    FakeMixerSystem mixer;
    FakeWaveInBackend waveIn;
    FakeFirewall firewall;
    bool bSystemsTaken = SetTheDJDataManSystems({ .pWaveIn = &waveIn, .pMixer = &mixer, .pFirewall = &firewall });

    SProgramRig() { testutil::InstallDefaultSkin(home.Path("program")); }
};

SProgramRig& Rig()
{
    static SProgramRig rig;
    return rig;
}

TEST(MainWindowSnap, DragSnapsWithinSixteenPixelsAndTakesTheDockedBrowser)
{
    ASSERT_TRUE(Rig().bSystemsTaken) << "the engine was built before: run each test alone, as ctest does";
    MessageDlgRecorder boxes;
    TheOption().Load();
    CTavDJ1Dlg window;
    ASSERT_TRUE(window.CreateMainWindow(nullptr));
    QWidget* pSkin = window.SkinWindow()->GetWidget();
    QWidget* pBrowser = window.Controls().pMiniBrowser->GetWidget();
    const QRect screen = window.screen()->availableGeometry();
    // Every case starts 20 px from the left edge, too far from either side
    // to snap, unless it moves that way.
    ASSERT_GE(screen.width(), window.width() + 40);
    const int nHeight = window.height();
    const int nBottom = screen.height() - nHeight;

    struct SCase {
        const char* name;
        QPoint start; // the window's top-left, from the screen's
        QPoint travel;
        bool bDockedBrowser; // visible, touching the window's right edge
        int nNeighbourGap; // a window this far below the window; 0 for none
        QPoint expected;
    };
    const SCase cases[] = {
        { "10 px from the top edge: lands on it", { 20, 50 }, { 0, -40 }, false, 0, { 20, 0 } },
        { "30 px from the top edge: stays", { 20, 50 }, { 0, -20 }, false, 0, { 20, 30 } },
        { "10 px from the left edge: lands on it", { 20, 50 }, { -10, 0 }, false, 0, { 0, 50 } },
        { "10 px above the bottom edge: lands on it", { 20, 50 }, { 0, nBottom - 60 }, false, 0, { 20, nBottom } },
        { "a docked mini browser keeps its offset", { 20, 50 }, { 0, -40 }, true, 0, { 20, 0 } },
        { "10 px above another window: touches it", { 20, 50 }, { 0, 30 }, false, 40, { 20, 90 } },
        { "30 px above another window: stays", { 20, 50 }, { 0, 10 }, false, 40, { 20, 60 } },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint start = screen.topLeft() + c.start;
        window.move(start);
        const QPoint browserStart = start + QPoint(window.width(), 20);
        pBrowser->move(browserStart);
        pBrowser->setVisible(c.bDockedBrowser);
        std::optional<QWidget> neighbour;
        if (c.nNeighbourGap > 0) {
            neighbour.emplace(nullptr, Qt::FramelessWindowHint);
            neighbour->setGeometry(start.x(), start.y() + nHeight + c.nNeighbourGap, 200, 100);
            neighbour->show();
        }
        ASSERT_TRUE(RunEventsUntil([&] {
            return window.pos() == start && pBrowser->pos() == browserStart && (!neighbour || neighbour->isVisible());
        }));

        testutil::DragSkinBy(pSkin, c.travel);
        const QPoint expected = screen.topLeft() + c.expected;
        EXPECT_TRUE(RunEventsUntil([&] { return window.pos() == expected; }))
            << "at " << window.x() << "," << window.y();
        if (c.bDockedBrowser) {
            EXPECT_EQ(pBrowser->pos(), browserStart + (expected - start));
        }
    }
    TheDJDataMan().Shutdown();
}

} // namespace

// A widget attached to a window control follows the control: moved into
// place, or masked to it in region mode.
#include "skin/controls/GXConWindow.h"

#include "support/FakeSkinOwner.h"

#include <QWidget>

#include <gtest/gtest.h>

TEST(GXConWindow, KeepsTheAttachedWidgetInStep)
{
    // The skin window's client area starts at (100, 200) on the screen; the
    // widget's parent at (50, 150), so the parent sees control (x, y) at
    // (x + 50, y + 50).
    FakeSkinOwner owner;
    QWidget parent;
    parent.setGeometry(50, 150, 400, 300);
    QWidget field(&parent);
    GXConWindow control(&owner);
    control.SetPos(10, 20, 100, 18, GXConBase::Redraw::No);

    struct Step {
        const char* name;
        QRect place;
        GXConWindow::RegionMode mode;
        QRect geometry;
        QRegion mask;
    };
    const Step steps[] = {
        { "attached where the control is", { 10, 20, 100, 18 }, GXConWindow::RegionMode::No, { 60, 70, 100, 18 }, {} },
        { "moved with it", { 30, 20, 120, 18 }, GXConWindow::RegionMode::No, { 80, 70, 120, 18 }, {} },
        { "region mode masks instead of moving", { 40, 25, 50, 10 }, GXConWindow::RegionMode::Yes, { 80, 70, 120, 18 },
            QRegion(10, 5, 50, 10) },
        { "back to moving drops the mask", { 40, 25, 50, 10 }, GXConWindow::RegionMode::No, { 90, 75, 50, 10 }, {} },
    };
    control.Attach(&field);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        control.SetRegionMode(s.mode);
        control.SetPos(s.place.x(), s.place.y(), s.place.width(), s.place.height(), GXConBase::Redraw::No);
        EXPECT_EQ(field.geometry(), s.geometry);
        EXPECT_EQ(field.mask(), s.mask);
    }
    control.Attach(nullptr);
    control.SetPos(0, 0, 5, 5, GXConBase::Redraw::No);
    EXPECT_EQ(field.geometry(), QRect(90, 75, 50, 10));
}

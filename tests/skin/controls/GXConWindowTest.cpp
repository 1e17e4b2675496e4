// A widget attached to a window control follows the control: moved into
// place, or masked to it in region mode.
#include "skin/controls/GXConWindow.h"

#include "support/FakeSkinOwner.h"

#include <QPointer>
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

// A widget the control moved into a nested skin window shows there, even
// one hidden at home; it goes back to the parent it came from, where and as
// visible as it was, when the control is closed or deleted, so deleting the
// skin's window never deletes it; one that a later skin has placed already
// stays there.
TEST(GXConWindow, GivesAPlacedWidgetBackToItsParent)
{
    enum class End { Close, Delete, PlacedByALaterSkin };
    struct Case {
        const char* name;
        bool bHidden;
        End end;
    };
    const Case cases[] = {
        { "closed", false, End::Close },
        { "deleted", false, End::Delete },
        { "hidden at home stays hidden", true, End::Close },
        { "placed by a later skin first", false, End::PlacedByALaterSkin },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSkinOwner owner;
        QWidget home;
        QPointer<QWidget> pField = new QWidget(&home);
        pField->setGeometry(5, 6, 10, 10);
        pField->setHidden(c.bHidden);
        auto pHost = std::make_unique<QWidget>();
        auto pLaterHost = std::make_unique<QWidget>();
        auto pControl = std::make_unique<GXConWindow>(&owner);
        pControl->SetPos(10, 20, 100, 18, GXConBase::Redraw::No);
        pControl->Place(pField, pHost.get());
        EXPECT_EQ(pField->parentWidget(), pHost.get());
        EXPECT_EQ(pField->size(), QSize(100, 18));
        EXPECT_FALSE(pField->isHidden());

        GXConWindow later(&owner);
        if (c.end == End::PlacedByALaterSkin)
            later.Place(pField, pLaterHost.get());
        if (c.end == End::Delete)
            pControl.reset();
        else
            pControl->Close();
        pHost.reset();
        ASSERT_FALSE(pField.isNull());
        if (c.end == End::PlacedByALaterSkin) {
            EXPECT_EQ(pField->parentWidget(), pLaterHost.get());
            // Still to the first home, not to the skin it was taken from.
            later.Close();
        }
        EXPECT_EQ(pField->parentWidget(), &home);
        EXPECT_EQ(pField->geometry(), QRect(5, 6, 10, 10));
        EXPECT_EQ(pField->isHidden(), c.bHidden);
        // Given back, it no longer follows the control.
        if (pControl != nullptr && c.end == End::Close) {
            pControl->SetPos(0, 0, 50, 50, GXConBase::Redraw::No);
            EXPECT_EQ(pField->geometry(), QRect(5, 6, 10, 10));
        }
    }
}

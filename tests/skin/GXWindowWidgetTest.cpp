// The Qt face of a skin window, fed synthetic Qt events offscreen: what the
// window, its controls and the owner make of them, the skin's own caption
// drag, the system areas that act on release, and painting that only copies
// the back buffer.
#include "skin/GXWindowWidget.h"

#include "foundation/GXmp.h"
#include "skin/GXSkinIds.h"
#include "support/SkinWindowRig.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Msg = RecordingSkinOwner::SMessage;

void Mouse(QWidget* pWidget, QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::LeftButton)
{
    const QPointF global = pWidget->mapToGlobal(QPointF(local));
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(local), global, button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(pWidget, &event);
}

// A control whose NcHitTest attribute is the given name.
ProbeControl* AddArea(SkinWindowRig& rig, const GXRect& rect, const char* pszHitTest)
{
    ProbeControl* p = rig.Add(rect);
    GXmp doc;
    const std::string xml = std::string("<C NcHitTest=\"") + pszHitTest + "\"/>";
    EXPECT_TRUE(doc.LoadBuffer(xml.c_str(), static_cast<int>(xml.size())));
    p->Load(nullptr, doc.GetRoot());
    return p;
}

TEST(GXWindowWidget, CaptionDragMovesTheWindowItself)
{
    SkinWindowRig rig(200, 100);
    SGxWindowFlags flags;
    flags.bDraggable = true;
    flags.bPopupWindow = true;
    rig.pWindow->SetWindowFlags(flags);
    QWidget* pWidget = rig.pWindow->GetWidget();
    pWidget->move(100, 100);

    Mouse(pWidget, QEvent::MouseButtonPress, { 150, 50 });
    const QPointF global = pWidget->mapToGlobal(QPointF(170, 60));
    QMouseEvent move(QEvent::MouseMove, QPointF(170, 60), global, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pWidget, &move);
    Mouse(pWidget, QEvent::MouseButtonRelease, { 170, 60 });
    EXPECT_EQ(pWidget->pos(), QPoint(120, 110));
}

TEST(GXWindowWidget, SystemAreasActOnReleaseInsideTheArea)
{
    SkinWindowRig rig(200, 100);
    AddArea(rig, { 180, 0, 200, 20 }, "HTCLOSE");
    QWidget* pWidget = rig.pWindow->GetWidget();

    Mouse(pWidget, QEvent::MouseButtonPress, { 185, 5 });
    Mouse(pWidget, QEvent::MouseButtonRelease, { 100, 50 }); // let go elsewhere
    EXPECT_TRUE(rig.owner.Only(GXMsg::kClose).empty());
    Mouse(pWidget, QEvent::MouseButtonPress, { 185, 5 });
    Mouse(pWidget, QEvent::MouseButtonRelease, { 190, 10 });
    // The skin window never closes itself: the owner is asked.
    EXPECT_EQ(rig.owner.Only(GXMsg::kClose), (std::vector<Msg> { { false, GXMsg::kClose, 0, 0 } }));
    const auto ncDowns = rig.owner.Only(GXMsg::kNcLButtonDown);
    ASSERT_EQ(ncDowns.size(), 2u);
    EXPECT_EQ(ncDowns[0].wParam, static_cast<std::uintptr_t>(GXHitTest::kClose));
}

TEST(GXWindowWidget, SecondPressIsADoubleClickOnlyWhenTheSkinAsks)
{
    SkinWindowRig rig;
    ProbeControl* p = rig.Add({ 0, 0, 50, 50 });
    QWidget* pWidget = rig.pWindow->GetWidget();
    Mouse(pWidget, QEvent::MouseButtonDblClick, { 5, 5 });
    SGxWindowFlags flags;
    flags.bEnableDblClk = true;
    rig.pWindow->SetWindowFlags(flags);
    Mouse(pWidget, QEvent::MouseButtonDblClick, { 5, 5 }, Qt::RightButton);
    EXPECT_EQ(p->events, (std::vector<std::string> { "down 1 5,5", "down 4 5,5" }));
}

TEST(GXWindowWidget, KeysAndContextMenusReachTheOwner)
{
    SkinWindowRig rig;
    QWidget* pWidget = rig.pWindow->GetWidget();
    struct Case {
        int nQtKey;
        const char* text;
        int nVirtualKey;
    };
    const Case cases[] = { { Qt::Key_Left, "", GXKey::kLeft }, { Qt::Key_F5, "", GXKey::kF1 + 4 },
        { Qt::Key_A, "a", 'A' }, { Qt::Key_Return, "\r", GXKey::kReturn }, { Qt::Key_7, "7", '7' } };
    for (const Case& c : cases) {
        QKeyEvent press(QEvent::KeyPress, c.nQtKey, Qt::NoModifier, QString::fromLatin1(c.text));
        QCoreApplication::sendEvent(pWidget, &press);
        EXPECT_EQ(rig.owner.Only(GXMsg::kKeyDown).back().wParam, static_cast<std::uintptr_t>(c.nVirtualKey));
    }
    EXPECT_EQ(rig.owner.Only(GXMsg::kChar).size(), 2u); // the printable ones
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(3, 4), QPoint(300, 400));
    QCoreApplication::sendEvent(pWidget, &menu);
    EXPECT_EQ(rig.owner.Only(GXMsg::kContextMenu).back().lParam, (400 << 16) | 300);
}

TEST(GXWindowWidget, PaintingCopiesTheBackBuffer)
{
    SkinWindowRig rig(40, 30);
    rig.pWindow->SetBackground(nullptr, GxRgb(10, 200, 30), GXWindowMain::Background::Color);
    rig.pWindow->RefreshAll();
    const QImage shot = rig.pWindow->GetWidget()->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(40, 30));
    EXPECT_EQ(QColor(shot.pixel(20, 15)), QColor(10, 200, 30));
    EXPECT_EQ(QColor(shot.pixel(39, 29)), QColor(10, 200, 30));
}

} // namespace

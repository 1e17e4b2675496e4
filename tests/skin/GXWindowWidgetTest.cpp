// The Qt face of a skin window, fed synthetic Qt events offscreen: what the
// window, its controls and the owner make of them, the skin's own caption
// drag, the system areas that act on release, and painting that only copies
// the back buffer.
#include "skin/GXWindowWidget.h"

#include "foundation/GXmp.h"
#include "skin/GXSkinIds.h"
#include "skin/controls/GXConButton.h"
#include "support/FakeSkinOwner.h"
#include "support/SkinWindowRig.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Msg = RecordingSkinOwner::SMessage;

void Mouse(QWidget* pWidget, QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::LeftButton)
{
    const QPointF global = pWidget->mapToGlobal(QPointF(local));
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(local), global, button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(pWidget, &event);
}

// A mouse event with the buttons held after it, as the system reports them.
void MouseHeld(QWidget* pWidget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF global = pWidget->mapToGlobal(QPointF(local));
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

// A border drag of a skin window that is a window of its own: the border
// shows its sizing cursor, the dragged edges move, the opposite ones stay,
// and the size keeps within the skin's MinMaxSize (or a few pixels without
// one).
TEST(GXWindowWidget, BorderResizeKeepsWithinMinMaxSize)
{
    struct Case {
        const char* name;
        std::array<int, 4> minMax;
        QPoint press;
        Qt::CursorShape cursor;
        QPoint travel;
        QRect expected;
    };
    const std::array<int, 4> limits { 150, 80, 260, -1 };
    const Case cases[] = {
        { "corner within limits", limits, { 198, 98 }, Qt::SizeFDiagCursor, { -20, 10 }, { 100, 100, 180, 110 } },
        { "corner below the minimum", limits, { 198, 2 }, Qt::SizeBDiagCursor, { -150, 60 }, { 100, 120, 150, 80 } },
        { "left edge past the minimum", limits, { 1, 50 }, Qt::SizeHorCursor, { 120, 0 }, { 150, 100, 150, 100 } },
        { "right edge past the maximum", limits, { 198, 50 }, Qt::SizeHorCursor, { 200, 0 }, { 100, 100, 260, 100 } },
        { "top edge, no height maximum", limits, { 100, 1 }, Qt::SizeVerCursor, { 0, -50 }, { 100, 50, 200, 150 } },
        { "no limits: a few pixels", { -1, -1, -1, -1 }, { 198, 98 }, Qt::SizeFDiagCursor, { -300, -300 },
            { 100, 100, 8, 8 } },
        { "a minimum no window can have", { 100000, -1, -1, -1 }, { 198, 50 }, Qt::SizeHorCursor, { 10, 0 },
            { 100, 100, 32767, 100 } },
        { "inside: no resize", limits, { 100, 50 }, Qt::ArrowCursor, { 30, 30 }, { 100, 100, 200, 100 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SkinWindowRig rig(200, 100);
        SGxWindowFlags flags;
        flags.bResizeBorder = true;
        flags.minMaxSize = c.minMax;
        rig.pWindow->SetWindowFlags(flags);
        QWidget* pWidget = rig.pWindow->GetWidget();
        pWidget->move(100, 100);
        MouseHeld(pWidget, QEvent::MouseMove, c.press, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(pWidget->cursor().shape(), c.cursor);
        MouseHeld(pWidget, QEvent::MouseButtonPress, c.press, Qt::LeftButton, Qt::LeftButton);
        MouseHeld(pWidget, QEvent::MouseMove, c.press + c.travel, Qt::NoButton, Qt::LeftButton);
        MouseHeld(pWidget, QEvent::MouseButtonRelease, c.press + c.travel, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(pWidget->geometry(), c.expected);
    }
}

// A real button in the window, driven by the buttons as the system reports
// them: only the release of the button that pressed it clicks it.
TEST(GXWindowWidget, AnotherButtonReleasedWhileOneIsHeldDoesNotClick)
{
    struct Event {
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::MouseButtons held;
        QPoint at;
    };
    constexpr auto kPress = QEvent::MouseButtonPress;
    constexpr auto kRelease = QEvent::MouseButtonRelease;
    constexpr auto kMove = QEvent::MouseMove;
    constexpr Qt::MouseButtons kBoth = Qt::LeftButton | Qt::RightButton;
    const QPoint in(20, 20);
    const QPoint out(150, 80);
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::vector<std::uintptr_t> commands;
    };
    const Case cases[] = {
        { "left click", { { kPress, Qt::LeftButton, Qt::LeftButton, in }, { kRelease, Qt::LeftButton, {}, in } },
            { 30 } },
        { "right pressed and released while left is held",
            { { kPress, Qt::LeftButton, Qt::LeftButton, in }, { kPress, Qt::RightButton, kBoth, in },
                { kRelease, Qt::RightButton, Qt::LeftButton, in } },
            {} },
        { "the left release then clicks",
            { { kPress, Qt::LeftButton, Qt::LeftButton, in }, { kPress, Qt::RightButton, kBoth, in },
                { kRelease, Qt::RightButton, Qt::LeftButton, in }, { kRelease, Qt::LeftButton, {}, in } },
            { 30 } },
        { "the press still ends outside without a click",
            { { kPress, Qt::LeftButton, Qt::LeftButton, in }, { kPress, Qt::RightButton, kBoth, in },
                { kRelease, Qt::RightButton, Qt::LeftButton, in }, { kMove, Qt::NoButton, Qt::LeftButton, out },
                { kRelease, Qt::LeftButton, {}, out } },
            {} },
        { "right click", { { kPress, Qt::RightButton, Qt::RightButton, in }, { kRelease, Qt::RightButton, {}, in } },
            { 31 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SkinWindowRig rig(200, 100);
        auto pOwned = std::make_unique<GXConButton>(rig.pWindow.get());
        GXConButton* pButton = pOwned.get();
        pButton->SetIds(3, 4, 30, 31);
        ParsedElement element(R"(<ButtonControl ButtonControlType="transparent"/>)");
        ASSERT_TRUE(pButton->Load(nullptr, element.get()));
        SGxAlign align;
        align.nType = SGxAlign::kNone;
        align.rect = GXRect { 10, 10, 50, 30 };
        rig.pWindow->AddControl(std::move(pOwned), align);
        rig.pWindow->HandleSize(0, 200, 100);
        QWidget* pWidget = rig.pWindow->GetWidget();
        for (const Event& e : c.events) {
            MouseHeld(pWidget, e.type, e.at, e.button, e.held);
        }
        std::vector<std::uintptr_t> commands;
        for (const Msg& m : rig.owner.Only(GXMsg::kCommand))
            commands.push_back(m.wParam);
        EXPECT_EQ(commands, c.commands);
    }
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

// A nested skin window dragged by its skin on a real X server: the skin's
// own drag loop moves the pop-up and its snapper pulls it onto the screen's
// edge, unless snapping is off. Each test builds its own application on its
// own Xvfb.
#include "skin/GXWindowChild.h"

#include "skin/GXManAlign.h"
#include "support/RequireTool.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

bool WaitExposed(QWidget& widget)
{
    QElapsedTimer clock;
    clock.start();
    while (widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()) {
        if (clock.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QCoreApplication::processEvents();
    return true;
}

void Send(QWidget* pWidget, QEvent::Type type, QPoint local, Qt::MouseButtons held)
{
    const QPointF global = pWidget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(pWidget, &event);
}

// Presses at (50, 40) of the pop-up and lets go dx, dy further on.
void DragBy(QWidget* pWidget, int dx, int dy)
{
    Send(pWidget, QEvent::MouseButtonPress, { 50, 40 }, Qt::LeftButton);
    Send(pWidget, QEvent::MouseMove, { 50 + dx, 40 + dy }, Qt::LeftButton);
    Send(pWidget, QEvent::MouseButtonRelease, { 50 + dx, 40 + dy }, Qt::NoButton);
}

} // namespace

TEST(GXWindowChildX11, CaptionDragSnapsToTheScreenEdge)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    XvfbServer server;
    ASSERT_TRUE(server.Start("1024x768x24"));
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus", 1);
    int argc = 1;
    char name[] = "skin_x11_tests";
    char* argv[] = { name, nullptr };
    auto app = std::make_unique<QApplication>(argc, argv);
    {
        GXWindowMain::Ptr pTop(new GXWindowMain(nullptr));
        ASSERT_TRUE(pTop->Create(nullptr, GXRect { 400, 300, 600, 400 }));
        auto pOwned = std::make_unique<GXWindowChild>(pTop.get());
        GXWindowChild* pChild = pOwned.get();
        pTop->AddControl(std::move(pOwned), SGxAlign {});
        ASSERT_TRUE(pChild->Load(nullptr, nullptr));
        SGxWindowFlags flags;
        flags.bPopupWindow = true;
        flags.bDraggable = true;
        pChild->SetWindowFlags(flags);
        QWidget* pWidget = pChild->GetWidget();
        ASSERT_NE(pWidget, nullptr);
        pWidget->setGeometry(100, 100, 200, 100);
        pWidget->show();
        ASSERT_TRUE(WaitExposed(*pWidget));

        struct Case {
            const char* name;
            bool bSnapOff;
            QPoint travel;
            QPoint expected;
        };
        const Case cases[] = {
            { "near the left edge", false, { -94, 0 }, { 0, 100 } },
            { "far from every edge", false, { 50, 30 }, { 150, 130 } },
            { "near the top, snapping off", true, { 0, -95 }, { 100, 5 } },
            { "near the bottom", false, { 0, 562 }, { 100, 668 } },
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            pWidget->move(100, 100);
            QCoreApplication::processEvents();
            pChild->SetSnapDisabled(c.bSnapOff);
            DragBy(pWidget, c.travel.x(), c.travel.y());
            EXPECT_EQ(pWidget->geometry().topLeft(), c.expected);
            EXPECT_EQ(pWidget->size(), QSize(200, 100));
        }
    }
    app.reset();
}

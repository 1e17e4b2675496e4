// The tooltip on a real X server with two screens side by side: it appears
// inside the work area of the screen under the cursor, also where the
// cursor is at a screen's edge. Each test builds its own application on its
// own Xvfb, so this executable never shares the offscreen one.
#include "skin/GXSubTooltipWindow.h"

#include "skin/GXConBase.h"
#include "support/RequireTool.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The two screens: the left one larger, the right one shorter, so their
// bottom edges differ. Xvfb has one framebuffer; RandR monitors split it.
const QRect kLeftScreen(0, 0, 1024, 768);
const QRect kRightScreen(1024, 0, 640, 480);

class Hovered : public GXConBase {
public:
    Hovered()
        : GXConBase(nullptr)
    {
    }
};

// One RandR monitor ("name w/mmw x h/mmh + x + y output").
bool AddMonitor(const std::string& display, const char* name, const QRect& r, const char* output)
{
    const std::string geometry = std::to_string(r.width()) + "/" + std::to_string(r.width() / 4) + "x"
        + std::to_string(r.height()) + "/" + std::to_string(r.height() / 4) + "+" + std::to_string(r.x()) + "+"
        + std::to_string(r.y());
    return CommandSucceeds("DISPLAY=" + display + " xrandr --setmonitor " + name + " " + geometry + " " + output);
}

// Runs the event loop until the window is on the screen; false after a
// bound that only catches a hang.
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

bool Inside(const QRect& inner, const QRect& outer)
{
    return outer.contains(inner);
}

} // namespace

TEST(GXSubTooltipWindowX11, StaysInsideTheWorkAreaOfTheScreenUnderTheCursor)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    TAVDJ_REQUIRE_TOOL(ToolOnPath("xrandr"), "xrandr");
    XvfbServer server;
    ASSERT_TRUE(server.Start("1664x768x24"));
    ASSERT_TRUE(AddMonitor(server.Display(), "LEFT", kLeftScreen, "screen"));
    ASSERT_TRUE(AddMonitor(server.Display(), "RIGHT", kRightScreen, "none"));

    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    // Without a session bus, D-Bus would start one through the X server
    // (a daemon that outlives the test); point it at no bus at all.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus", 1);
    int argc = 1;
    char name[] = "skin_x11_tests";
    char* argv[] = { name, nullptr };
    auto app = std::make_unique<QApplication>(argc, argv);
    ASSERT_EQ(QGuiApplication::screens().size(), 2);

    struct Case {
        const char* name;
        QPoint cursor;
        QRect workArea;
        bool above;
    };
    const Case cases[] = {
        { "right edge of the left screen", { 1020, 100 }, kLeftScreen, false },
        { "bottom of the left screen", { 300, 760 }, kLeftScreen, true },
        { "left edge of the right screen", { 1024, 200 }, kRightScreen, false },
        { "bottom right corner of the right screen", { 1660, 475 }, kRightScreen, true },
    };
    Hovered control;
    GXSubTooltipWindow* pTooltip = GXSubTooltipWindow::Acquire();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QScreen* pScreen = QGuiApplication::screenAt(c.cursor);
        ASSERT_NE(pScreen, nullptr);
        EXPECT_EQ(pScreen->geometry(), c.workArea);
        QCursor::setPos(c.cursor);
        ASSERT_EQ(QCursor::pos(), c.cursor);

        pTooltip->Hide();
        ASSERT_TRUE(
            pTooltip->Show(&control, "방송을 시작합니다\nStart broadcasting", nullptr, GXSubTooltipWindow::kTimeoutMs));
        ASSERT_TRUE(WaitExposed(*pTooltip));
        const QRect placed = pTooltip->frameGeometry();
        EXPECT_TRUE(Inside(placed, pScreen->availableGeometry()))
            << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
        EXPECT_FALSE(placed.contains(c.cursor));
        if (c.above)
            EXPECT_EQ(placed.y() + placed.height(), c.cursor.y() - 5);
        else
            EXPECT_EQ(placed.y(), c.cursor.y() + 20);
        EXPECT_FALSE(pTooltip->isActiveWindow());
    }
    GXSubTooltipWindow::Release();
    app.reset();
}

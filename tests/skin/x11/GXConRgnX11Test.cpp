// Region controls shaping a real top-level skin window on an X server: the
// pixels the server shows are the window's exactly inside the combined
// outline, an unchanged layout leaves the mask alone, and a resize that
// moves a shape changes the outline on the screen.
#include "skin/controls/GXConRgn.h"

#include "skin/GXWindowMain.h"
#include "skin/SkinRegion.h"
#include "support/FakeSkinOwner.h"
#include "support/RequireTool.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const QPoint kOrigin(40, 30);

// Pixels of the screen over the window that disagree with the expected
// outline: the window's red inside it, anything else outside.
int Mismatches(const QRegion& expected, const QSize& size)
{
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, kOrigin.x(), kOrigin.y(), size.width(), size.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    if (shot.size() != size)
        return -1;
    int wrong = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x)
            wrong += ((shot.pixel(x, y) & 0xFFFFFF) == 0xFF0000) != expected.contains(QPoint(x, y));
    }
    return wrong;
}

// The server draws asynchronously: wait, bounded, until the screen shows
// the outline.
int WaitForOutline(const QRegion& expected, const QSize& size)
{
    QElapsedTimer clock;
    clock.start();
    int wrong = Mismatches(expected, size);
    while (wrong != 0 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        wrong = Mismatches(expected, size);
    }
    return wrong;
}

// The outline of the shapes below for a window of w x h.
QRegion Expected(int w, int h)
{
    QRegion r = QRegion(0, 0, 120, 80, QRegion::Ellipse).united(QRegion(100, 30, 90, 40));
    r = r.subtracted(RoundRectRegion(QRect(30, 20, 30, 30), 10, 10));
    return r.intersected(QRegion(2, 2, 196, 136)).xored(QRegion(0, h - 20, w, 20));
}

} // namespace

TEST(GXConRgnX11, RegionControlsShapeTheTopLevelSkinWindow)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    XvfbServer server;
    ASSERT_TRUE(server.Start("320x240x24"));
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus", 1);
    int argc = 1;
    char name[] = "skin_x11_tests";
    char* argv[] = { name, nullptr };
    auto app = std::make_unique<QApplication>(argc, argv);

    GXWindowMain::Ptr pWindow(new GXWindowMain(nullptr));
    ASSERT_TRUE(pWindow->Create(nullptr, GXRect { kOrigin.x(), kOrigin.y(), kOrigin.x() + 200, kOrigin.y() + 120 }));
    pWindow->SetBackground(nullptr, GxRgb(255, 0, 0), GXWindowMain::Background::Color);
    // An ellipse, a bar united with it, a hole cut out of both, a frame
    // that trims the edges, a strip docked to the bottom that flips what it
    // covers and a shape whose "copy" changes nothing.
    struct Shape {
        const char* attributes;
        int align;
        SRect rect;
        int height;
    };
    const Shape shapes[] = {
        { R"(Type="ellipse")", SGxAlign::kNone, { 0, 0, 120, 80 }, 0 },
        { R"(Type="rect" Mode="or")", SGxAlign::kNone, { 100, 30, 190, 70 }, 0 },
        { R"(Type="roundrect" Param="10,10" Mode="diff")", SGxAlign::kNone, { 30, 20, 60, 50 }, 0 },
        { R"(Type="rect" Mode="and")", SGxAlign::kNone, { 2, 2, 198, 138 }, 0 },
        { R"(Type="rect" Mode="xor")", SGxAlign::kBottom, {}, 20 },
        { R"(Type="rect" Mode="copy")", SGxAlign::kNone, { 0, 0, 10, 10 }, 0 },
    };
    std::vector<GXConRgn*> controls;
    for (const Shape& s : shapes) {
        auto pShape = std::make_unique<GXConRgn>(pWindow.get());
        const ParsedElement element(std::string("<Rgn ") + s.attributes + "/>");
        ASSERT_TRUE(pShape->Load(nullptr, element.get()));
        SGxAlign align;
        align.nType = s.align;
        align.rect = s.rect;
        align.nHeight = s.height;
        controls.push_back(pShape.get());
        pWindow->AddRegionControl(std::move(pShape), align);
    }
    QWidget* pWidget = pWindow->GetWidget();
    pWindow->HandleSize(0, 200, 120);
    pWidget->show();
    EXPECT_TRUE(pWidget->mask().xored(Expected(200, 120)).isEmpty());
    EXPECT_EQ(WaitForOutline(Expected(200, 120), QSize(200, 120)), 0);

    // The same size again: no shape was rebuilt or moved, nothing to send.
    for (const GXConRgn* pShape : controls)
        EXPECT_FALSE(pShape->NeedsCombine());
    pWidget->clearMask();
    pWindow->HandleSize(0, 200, 120);
    EXPECT_TRUE(pWidget->mask().isEmpty());

    // Taller: the docked strip moves down, and the screen follows.
    pWidget->resize(200, 140);
    EXPECT_TRUE(pWidget->mask().xored(Expected(200, 140)).isEmpty());
    EXPECT_EQ(WaitForOutline(Expected(200, 140), QSize(200, 140)), 0);
}

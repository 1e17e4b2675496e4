// Region shapes cutting a real top-level window on an X server: the pixels
// the server shows are the window's exactly where the combined shapes are,
// and the outline follows when a shape is resized.
#include "skin/controls/GXConRgn.h"

#include "support/FakeSkinOwner.h"
#include "support/RequireTool.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const QRect kWindow(40, 30, 200, 120);

struct Shape {
    const char* attributes;
    QRect place;
};

// Pixels of the screen inside the window that disagree with the expected
// outline: the window's red where the mask is, anything else outside.
int Mismatches(const QRegion& expected)
{
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, kWindow.x(), kWindow.y(), kWindow.width(), kWindow.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    if (shot.size() != kWindow.size())
        return -1;
    int wrong = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const bool bRed = (shot.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
            wrong += bRed != expected.contains(QPoint(x, y));
        }
    }
    return wrong;
}

// The server draws asynchronously: wait, bounded, until the screen shows
// the outline.
int WaitForOutline(const QRegion& expected)
{
    QElapsedTimer clock;
    clock.start();
    int wrong = Mismatches(expected);
    while (wrong != 0 && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        wrong = Mismatches(expected);
    }
    return wrong;
}

} // namespace

TEST(GXConRgnX11, ShapesTheTopLevelWindow)
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

    // An ellipse, a bar united with it, a hole cut out of both, a strip that
    // flips what it covers, a frame that trims the edges and a shape whose
    // "copy" changes nothing.
    const Shape shapes[] = {
        { R"(Type="ellipse")", { 0, 0, 120, 80 } },
        { R"(Type="rect" Mode="or")", { 100, 30, 90, 40 } },
        { R"(Type="roundrect" Param="10,10" Mode="diff")", { 30, 20, 30, 30 } },
        { R"(Type="rect" Mode="xor")", { 0, 90, 200, 20 } },
        { R"(Type="rect" Mode="and")", { 2, 2, 196, 116 } },
        { R"(Type="rect" Mode="copy")", { 0, 0, 10, 10 } },
    };
    FakeSkinOwner owner;
    std::vector<std::unique_ptr<GXConRgn>> controls;
    std::vector<GXConRgn*> list;
    for (const Shape& s : shapes) {
        controls.push_back(std::make_unique<GXConRgn>(&owner));
        const ParsedElement doc(std::string("<Rgn ") + s.attributes + "/>");
        ASSERT_TRUE(controls.back()->Load(nullptr, doc.get()));
        controls.back()->SetPos(s.place.x(), s.place.y(), s.place.width(), s.place.height(), GXConBase::Redraw::No);
        list.push_back(controls.back().get());
    }
    QWidget window(nullptr, Qt::FramelessWindowHint);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::red);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.setGeometry(kWindow);
    QRegion outline = GXConRgn::CombineChanged(list).value_or(QRegion());
    EXPECT_FALSE(GXConRgn::CombineChanged(list).has_value());
    window.setMask(outline);
    window.show();

    QRegion expected = QRegion(0, 0, 120, 80, QRegion::Ellipse).united(QRegion(100, 30, 90, 40));
    expected = expected.subtracted(QRegion(30, 20, 30, 30)).xored(QRegion(0, 90, 200, 20));
    expected = expected.intersected(QRegion(2, 2, 196, 116));
    // The rounded hole's corners are the only pixels whose rounding is the
    // shape code's own; everything else is fixed by the geometry.
    EXPECT_TRUE(expected.xored(outline).subtracted(QRegion(30, 20, 30, 30)).isEmpty());
    EXPECT_EQ(WaitForOutline(outline), 0);

    // The same place asks for nothing; a moved or grown shape asks for a new
    // outline, and the screen shows it.
    controls[0]->SetPos(0, 0, 120, 80, GXConBase::Redraw::No);
    controls[3]->SetPos(0, 95, 200, 20, GXConBase::Redraw::No);
    controls[1]->SetPos(100, 30, 100, 60, GXConBase::Redraw::No);
    EXPECT_FALSE(controls[0]->NeedsCombine());
    EXPECT_TRUE(controls[1]->NeedsCombine());
    EXPECT_TRUE(controls[3]->NeedsCombine());
    outline = GXConRgn::CombineChanged(list).value_or(QRegion());
    EXPECT_TRUE(outline.contains(QPoint(195, 85)));
    window.setMask(outline);
    EXPECT_EQ(WaitForOutline(outline), 0);
}

// The tooltip offscreen: where it goes for a cursor, when it is shown again,
// what it looks like, and the shared instance's life.
#include "skin/GXSubTooltipWindow.h"

#include "fakes/FakeClock.h"
#include "skin/GXConBase.h"

#include <QFontMetrics>
#include <QImage>
#include <QPointer>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Show(const SRect& r)
{
    return std::string("(").append(std::to_string(r.left)) + ", " + std::to_string(r.top) + ", "
        + std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

class Labelled : public GXConBase {
public:
    Labelled()
        : GXConBase(nullptr)
    {
    }
};

} // namespace

TEST(GXSubTooltipWindow, PlacesItselfNearTheCursorInsideTheWorkArea)
{
    struct Case {
        std::string name;
        GXPoint cursor;
        GXSize size;
        SRect workArea;
        SRect expected;
    };
    const SRect screen { 0, 0, 1024, 768 };
    // A second screen to the right whose work area leaves a panel at its top.
    const SRect secondArea { 1024, 30, 2304, 1024 };
    const Case cases[] = {
        { "below the cursor, left edge at it", { 100, 100 }, { 80, 20 }, screen, { 100, 120, 180, 140 } },
        { "pushed left at the right edge", { 1000, 100 }, { 80, 20 }, screen, { 944, 120, 1024, 140 } },
        { "above the cursor at the bottom", { 500, 760 }, { 80, 20 }, screen, { 500, 735, 580, 755 } },
        { "above and pushed left in the corner", { 1020, 767 }, { 80, 20 }, screen, { 944, 742, 1024, 762 } },
        { "just fits below", { 10, 728 }, { 50, 20 }, screen, { 10, 748, 60, 768 } },
        { "at the left edge of the second screen", { 1024, 500 }, { 80, 20 }, secondArea, { 1024, 520, 1104, 540 } },
        { "above the cursor near the second screen's bottom", { 2300, 1010 }, { 60, 40 }, secondArea,
            { 2244, 965, 2304, 1005 } },
        { "wider than the work area takes its width", { 300, 300 }, { 2000, 20 }, screen, { 0, 320, 1024, 340 } },
    };
    for (const Case& c : cases) {
        const SRect got = GXSubTooltipWindow::PlaceNearCursor(c.cursor, c.size, c.workArea);
        EXPECT_EQ(got, c.expected) << c.name << ": got " << Show(got);
    }
}

TEST(GXSubTooltipWindow, SameControlAndTextAreNotShownAgainWithinTwoSeconds)
{
    FakeClock clock;
    GXSubTooltipWindow tooltip(clock);
    Labelled play;
    Labelled stop;
    const GXPoint at { 40, 40 };

    ASSERT_TRUE(tooltip.Show(&play, "Play", nullptr, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_TRUE(tooltip.isVisible());
    EXPECT_EQ(tooltip.GetOwner(), &play);

    // The mouse moves on over the same control: nothing restarts.
    clock.Advance(1999);
    EXPECT_FALSE(tooltip.Show(&play, "Play", nullptr, GXSubTooltipWindow::kTimeoutMs));
    // Another control or another text shows at once.
    EXPECT_TRUE(tooltip.Show(&stop, "Stop", nullptr, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_TRUE(tooltip.Show(&stop, "Stopped", nullptr, GXSubTooltipWindow::kTimeoutMs));
    // After two seconds the same text shows again; a given position always.
    clock.Advance(2000);
    EXPECT_TRUE(tooltip.Show(&stop, "Stopped", nullptr, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_TRUE(tooltip.Show(&stop, "Stopped", &at, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_EQ(tooltip.pos(), QPoint(40, 40));

    // An empty text hides it.
    EXPECT_FALSE(tooltip.Show(&stop, "", nullptr, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_FALSE(tooltip.isVisible());
    EXPECT_EQ(tooltip.GetOwner(), nullptr);
}

TEST(GXSubTooltipWindow, DrawsLinesOnPaperWithABorder)
{
    FakeClock clock;
    GXSubTooltipWindow tooltip(clock);
    Labelled control;
    const GXPoint at { 0, 0 };
    const QFontMetrics metrics(tooltip.font());

    ASSERT_TRUE(tooltip.Show(&control, "방송 시작", &at, GXSubTooltipWindow::kTimeoutMs));
    const int oneLine = tooltip.height();
    EXPECT_EQ(oneLine, metrics.height() + 6);
    ASSERT_TRUE(tooltip.Show(&control, "방송 시작\nStart", &at, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_EQ(tooltip.height(), 2 * metrics.height() + 6);
    EXPECT_EQ(tooltip.width(), metrics.horizontalAdvance(QString::fromUtf8("방송 시작")) + 6);

    const QImage image = tooltip.grab().toImage();
    ASSERT_EQ(image.size(), tooltip.size());
    const QRgb paper = qRgb(255, 255, 200);
    EXPECT_EQ(image.pixel(1, image.height() - 2), paper);
    EXPECT_EQ(image.pixel(image.width() - 2, 1), paper);
    for (const QPoint& corner : { QPoint(0, 0), QPoint(image.width() - 1, 0), QPoint(0, image.height() - 1),
             QPoint(image.width() - 1, image.height() - 1) })
        EXPECT_EQ(image.pixel(corner), qRgb(0, 0, 0)) << corner.x() << "," << corner.y();
    // Both lines are drawn: there is ink below the first line's height.
    int ink = 0;
    for (int y = 3 + metrics.height(); y < image.height() - 1; ++y)
        for (int x = 3; x < image.width() - 1; ++x)
            ink += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(ink, 10);

    // A skin's endless text makes no endless window.
    ASSERT_TRUE(tooltip.Show(&control, std::string(5000, 'W'), &at, GXSubTooltipWindow::kTimeoutMs));
    EXPECT_EQ(tooltip.width(), 4096);
}

TEST(GXSubTooltipWindow, LastSkinWindowToReleaseTheSharedTooltipDestroysIt)
{
    ASSERT_EQ(GXSubTooltipWindow::Shared(), nullptr);
    QPointer<GXSubTooltipWindow> first = GXSubTooltipWindow::Acquire();
    EXPECT_EQ(GXSubTooltipWindow::Acquire(), first.data());
    GXSubTooltipWindow::Release();
    EXPECT_FALSE(first.isNull());
    GXSubTooltipWindow::Release();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(GXSubTooltipWindow::Shared(), nullptr);

    // A skin window made afterwards gets a new one.
    QPointer<GXSubTooltipWindow> second = GXSubTooltipWindow::Acquire();
    EXPECT_FALSE(second.isNull());
    EXPECT_EQ(GXSubTooltipWindow::Shared(), second.data());
    GXSubTooltipWindow::Release();
    EXPECT_TRUE(second.isNull());
}

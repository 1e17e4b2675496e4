// The skin's hot drawing paths at 1920x1080: a 300x100 control drawn with
// its colour key, the same control blended, and the whole back buffer
// copied to the window, each beside plain QPainter doing the same job on
// the same pixels (the key turned into alpha once, as a Qt program would).
// Goal: one 50 ms animation tick of the default skin (restore, keyed draw,
// blend, and blit of one control's rectangle) under 1 ms.
#include "skin/GDib.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kWindowWidth = 1920;
constexpr int kWindowHeight = 1080;
constexpr int kControlWidth = 300;
constexpr int kControlHeight = 100;
constexpr int kX = 800;
constexpr int kY = 500;

// A control with rounded, key-coloured corners and a gradient face.
GDib MakeControl()
{
    GDib control;
    if (!control.Create(kControlWidth, kControlHeight, 24))
        std::abort();
    for (int y = 0; y < kControlHeight; ++y) {
        for (int x = 0; x < kControlWidth; ++x) {
            const int dx = std::min(x, kControlWidth - 1 - x), dy = std::min(y, kControlHeight - 1 - y);
            const bool corner = dx < 20 && dy < 20 && (20 - dx) * (20 - dx) + (20 - dy) * (20 - dy) > 400;
            std::uint8_t* p = control.GetPixelAddress(x, y);
            p[0] = corner ? 0xFF : static_cast<std::uint8_t>(x);
            p[1] = corner ? 0x00 : static_cast<std::uint8_t>(y * 2);
            p[2] = corner ? 0xFF : 0x80;
        }
    }
    return control;
}

GDib MakeWindow()
{
    GDib window;
    if (!window.Create(kWindowWidth, kWindowHeight, 24))
        std::abort();
    window.Fill(0x303030);
    return window;
}

// The control as a QPainter program would hold it: key pixels transparent.
QImage WithAlpha(const GDib& control)
{
    QImage image = control.GetImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        auto* p = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((p[x] & 0xFFFFFF) == 0xFF00FF)
                p[x] = 0;
    }
    return image;
}

// A face pixel and a corner pixel of the drawn control must show the right
// colours, so no run reports a figure for work it skipped.
bool ControlLanded(const QImage& window, bool blended)
{
    const QRgb face = window.pixel(kX + 150, kY + 50);
    const QRgb corner = window.pixel(kX, kY);
    const bool faceOk = blended ? qRed(face) > 0x30 && qRed(face) < 0x80 : qRed(face) == 0x80;
    return faceOk && (corner & 0xFFFFFF) == 0x303030;
}

void BM_GDibColorKeyCopy(benchmark::State& state)
{
    const GDib control = MakeControl();
    GDib window = MakeWindow();
    for (auto _ : state)
        control.CopyTransparentTo(&window, kX, kY);
    if (!ControlLanded(window.GetImage(), false))
        state.SkipWithError("the control was not drawn");
}

void BM_QPainterColorKeyCopy(benchmark::State& state)
{
    const QImage control = WithAlpha(MakeControl());
    QImage window = MakeWindow().GetImage().copy();
    for (auto _ : state) {
        QPainter painter(&window);
        painter.drawImage(kX, kY, control);
    }
    if (!ControlLanded(window, false))
        state.SkipWithError("the control was not drawn");
}

void BM_GDibAlphaBlend(benchmark::State& state)
{
    const GDib control = MakeControl();
    const GDib background = MakeWindow();
    GDib window = MakeWindow();
    for (auto _ : state) {
        background.CopyTo(&window, kX, kY, kX, kY, kControlWidth, kControlHeight);
        control.AlphaBlendTo(&window, 128, kX, kY);
    }
    if (!ControlLanded(window.GetImage(), true))
        state.SkipWithError("the control was not blended");
}

void BM_QPainterAlphaBlend(benchmark::State& state)
{
    const QImage control = WithAlpha(MakeControl());
    const QImage background = MakeWindow().GetImage();
    QImage window = background.copy();
    for (auto _ : state) {
        QPainter painter(&window);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(kX, kY), background, QRect(kX, kY, kControlWidth, kControlHeight));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(128 / 255.0);
        painter.drawImage(kX, kY, control);
    }
    if (!ControlLanded(window, true))
        state.SkipWithError("the control was not blended");
}

void BM_GDibBackBufferCopy(benchmark::State& state)
{
    const GDib back = MakeWindow();
    GDib screen;
    if (!screen.Create(kWindowWidth, kWindowHeight, 24))
        state.SkipWithError("no screen image");
    for (auto _ : state)
        back.CopyTo(&screen, 0, 0);
    if (screen.GetImage().pixel(kWindowWidth - 1, kWindowHeight - 1) != back.GetImage().pixel(0, 0))
        state.SkipWithError("the back buffer was not copied");
}

void BM_GDibBackBufferBlit(benchmark::State& state)
{
    const GDib back = MakeWindow();
    QImage screen(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    screen.fill(0);
    for (auto _ : state) {
        QPainter painter(&screen);
        back.BitBltTo(&painter, 0, 0);
    }
    if (screen.pixel(kWindowWidth - 1, kWindowHeight - 1) != back.GetImage().pixel(0, 0))
        state.SkipWithError("the back buffer was not blitted");
}

void BM_QPainterBackBufferCopy(benchmark::State& state)
{
    const QImage back = MakeWindow().GetImage();
    QImage screen(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    screen.fill(0);
    for (auto _ : state) {
        QPainter painter(&screen);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, back);
    }
    if (screen.pixel(kWindowWidth - 1, kWindowHeight - 1) != back.pixel(0, 0))
        state.SkipWithError("the back buffer was not copied");
}

// One animation tick: restore the control's background, draw it keyed,
// blend its highlight, and blit its rectangle to the window.
void BM_GDibAnimationTick(benchmark::State& state)
{
    const GDib control = MakeControl();
    const GDib background = MakeWindow();
    GDib back = MakeWindow();
    QImage screen(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    screen.fill(0);
    for (auto _ : state) {
        background.CopyTo(&back, kX, kY, kX, kY, kControlWidth, kControlHeight);
        control.CopyTransparentTo(&back, kX, kY);
        control.AlphaBlendTo(&back, 96, kX, kY);
        QPainter painter(&screen);
        back.BitBltTo(&painter, kX, kY, kX, kY, kControlWidth, kControlHeight);
    }
    if ((screen.pixel(kX, kY) & 0xFFFFFF) != 0x303030 || qRed(screen.pixel(kX + 150, kY + 50)) != 0x80)
        state.SkipWithError("the tick did not reach the window");
}

BENCHMARK(BM_GDibColorKeyCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QPainterColorKeyCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GDibAlphaBlend)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QPainterAlphaBlend)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GDibBackBufferCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GDibBackBufferBlit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QPainterBackBufferCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GDibAnimationTick)->Unit(benchmark::kMicrosecond);

} // namespace

#pragma once

#include "skin/GDib.h"

#include <functional>
#include <sstream>
#include <string>

// Reads and writes GDib pixels one at a time, the slow obvious way, so that
// tests can build inputs and expected pictures without the drawing code
// under test.

inline void PutPixel(GDib& image, int x, int y, COLORREF color)
{
    std::uint8_t* p = image.GetPixelAddress(x, y);
    p[0] = static_cast<std::uint8_t>(GxBlue(color));
    p[1] = static_cast<std::uint8_t>(GxGreen(color));
    p[2] = static_cast<std::uint8_t>(GxRed(color));
    p[3] = 0xFF;
}

inline COLORREF PixelAt(const GDib& image, int x, int y)
{
    const std::uint8_t* p = image.GetPixelAddress(x, y);
    return GxRgb(p[2], p[1], p[0]);
}

// A 24-bit image whose pixel (x, y) is color(x, y).
inline GDib MakeDib(int w, int h, const std::function<COLORREF(int, int)>& color)
{
    GDib image;
    if (!image.Create(w, h, 24))
        return image;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            PutPixel(image, x, y, color(x, y));
    return image;
}

// Empty when every pixel equals expected(x, y); else the first mismatches.
inline std::string ComparePixels(const GDib& image, const std::function<COLORREF(int, int)>& expected)
{
    std::ostringstream out;
    int n = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x) {
            const COLORREF got = PixelAt(image, x, y);
            const COLORREF want = expected(x, y);
            if (got != want && n++ < 5)
                out << "(" << x << "," << y << ") got " << std::hex << got << " want " << want << std::dec << "; ";
        }
    return out.str();
}

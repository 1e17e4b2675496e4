#pragma once

#include "foundation/RectGeometry.h"

#include <cstdint>

// The value types every skin class shares. Colours, rectangles and the
// numeric codes below are what skin files, scripts and the shell exchange,
// so their numbers are contracts and never change.

// A colour as skins and scripts pass it around: 0x00BBGGRR (red in the low
// byte). kGxTransparent is the one value with a high byte.
using COLORREF = std::uint32_t;

constexpr COLORREF GxRgb(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16);
}
constexpr int GxRed(COLORREF c)
{
    return static_cast<int>(c & 0xFF);
}
constexpr int GxGreen(COLORREF c)
{
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GxBlue(COLORREF c)
{
    return static_cast<int>((c >> 16) & 0xFF);
}

// Skin images mark their see-through pixels with magenta.
constexpr COLORREF kGxColorKey = 0xFF00FF;
// The colour name "transparent".
constexpr COLORREF kGxTransparent = 0xFFFFFFFF;

// Right and bottom are one past the last pixel.
using GXRect = SRect;

struct GXPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const GXPoint&, const GXPoint&) = default;
};

struct GXSize {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const GXSize&, const GXSize&) = default;
};

// One colour-table entry of a palette image, in the byte order BMP files
// store it.
struct GXRgbQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
    friend bool operator==(const GXRgbQuad&, const GXRgbQuad&) = default;
};

// Text-format flags of skin texts ("TextFormat" attributes, fonts). The
// values are stored in skin files as numbers by some skins and scripts.
namespace GXTextFormat {
constexpr unsigned kTop = 0x0;
constexpr unsigned kLeft = 0x0;
constexpr unsigned kHCenter = 0x1;
constexpr unsigned kRight = 0x2;
constexpr unsigned kVCenter = 0x4;
constexpr unsigned kBottom = 0x8;
constexpr unsigned kWordBreak = 0x10;
constexpr unsigned kSingleLine = 0x20;
constexpr unsigned kExpandTabs = 0x40;
constexpr unsigned kTabStop = 0x80;
constexpr unsigned kNoClip = 0x100;
constexpr unsigned kExternalLeading = 0x200;
constexpr unsigned kNoPrefix = 0x800;
constexpr unsigned kInternal = 0x1000;
constexpr unsigned kPathEllipsis = 0x4000;
constexpr unsigned kEndEllipsis = 0x8000;
} // namespace GXTextFormat

// Hit-test codes a control answers for a point ("NcHitTest" attributes);
// the window turns them into moving and sizing.
namespace GXHitTest {
constexpr int kError = -2; // not a hit-test name
constexpr int kTransparent = -1;
constexpr int kNowhere = 0;
constexpr int kClient = 1;
constexpr int kCaption = 2;
constexpr int kSysMenu = 3;
constexpr int kGrowBox = 4;
constexpr int kMenu = 5;
constexpr int kHScroll = 6;
constexpr int kVScroll = 7;
constexpr int kMinButton = 8;
constexpr int kMaxButton = 9;
constexpr int kLeft = 10;
constexpr int kRight = 11;
constexpr int kTop = 12;
constexpr int kTopLeft = 13;
constexpr int kTopRight = 14;
constexpr int kBottom = 15;
constexpr int kBottomLeft = 16;
constexpr int kBottomRight = 17;
constexpr int kBorder = 18;
constexpr int kObject = 19;
constexpr int kClose = 20;
constexpr int kHelp = 21;
} // namespace GXHitTest

// Standard cursor ids a skin can name ("Cursor" attributes).
namespace GXCursor {
constexpr int kArrow = 32512;
constexpr int kIBeam = 32513;
constexpr int kWait = 32514;
constexpr int kCross = 32515;
constexpr int kUpArrow = 32516;
constexpr int kSize = 32640;
constexpr int kIcon = 32641;
constexpr int kSizeNWSE = 32642;
constexpr int kSizeNESW = 32643;
constexpr int kSizeWE = 32644;
constexpr int kSizeNS = 32645;
constexpr int kSizeAll = 32646;
constexpr int kNo = 32648;
constexpr int kHand = 32649;
constexpr int kAppStarting = 32650;
constexpr int kHelp = 32651;
} // namespace GXCursor

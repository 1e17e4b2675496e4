#pragma once

#include "skin/GXTypes.h"

#include <string>
#include <string_view>

// Thread: any (pure functions), except GetDefaultGuiFontFace, which asks Qt
// and so needs the application object's thread.
// The value syntaxes skin.xml attributes share. None of them reports a
// syntax error: a malformed value reads as zeros or as the stated fallback,
// because skins in the wild rely on that leniency.

// "left,top,right,bottom"; the rectangle is emptied first and missing
// numbers stay 0. Always 1.
int ParseSkinRect(std::string_view text, GXRect* pRect);
// "x,y"; a missing number leaves its member unchanged. Always 1.
int ParseSkinPoint(std::string_view text, GXPoint* pPoint);
// The hit-test code of an exact name ("HTCAPTION"); GXHitTest::kError for
// any other text.
[[nodiscard]] int ParseHitTestName(std::string_view text);
// OR of the flags whose names occur anywhere in the text; 0 for none.
// Always 1.
int ParseTextFormat(std::string_view text, unsigned* pFormat);
// "#rrggbb" or a colour name (any case); unknown names are black and
// "transparent" is kGxTransparent.
[[nodiscard]] COLORREF ParseSkinColor(std::string_view text);
// The standard cursor id of an exact name ("IDC_HAND"); 0 otherwise.
[[nodiscard]] int ParseCursorName(std::string_view text);
// The face of the desktop's general font; "System" when none is known.
[[nodiscard]] std::string GetDefaultGuiFontFace();
// Each channel plus its delta, limited to 0..255.
[[nodiscard]] COLORREF AdjustColor(COLORREF color, int nRed, int nGreen, int nBlue);

#include "skin/SkinFormat.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

struct NamedColor {
    const char* pszName;
    COLORREF value;
};

// Skins name colours by these words; the values follow the web's colour
// keywords except where published skins were drawn against the values
// below, which therefore stay (lightblue, aqua, mediumturquoise,
// blanchedalmond, khaki, lavender, fuchsia). Two names keep the spelling
// skins use ("paleturqoise", "comflowerblue").
constexpr std::array<NamedColor, 138> kColors = { {
#include "skin/SkinColorNames.inc"
} };

struct NamedCode {
    const char* pszName;
    int nCode;
};

constexpr NamedCode kHitTests[] = {
    { "HTTRANSPARENT", GXHitTest::kTransparent },
    { "HTNOWHERE", GXHitTest::kNowhere },
    { "HTCLIENT", GXHitTest::kClient },
    { "HTCAPTION", GXHitTest::kCaption },
    { "HTSYSMENU", GXHitTest::kSysMenu },
    { "HTGROWBOX", GXHitTest::kGrowBox },
    { "HTSIZE", GXHitTest::kGrowBox },
    { "HTMENU", GXHitTest::kMenu },
    { "HTHSCROLL", GXHitTest::kHScroll },
    { "HTVSCROLL", GXHitTest::kVScroll },
    { "HTMINBUTTON", GXHitTest::kMinButton },
    { "HTMAXBUTTON", GXHitTest::kMaxButton },
    { "HTLEFT", GXHitTest::kLeft },
    { "HTRIGHT", GXHitTest::kRight },
    { "HTTOP", GXHitTest::kTop },
    { "HTTOPLEFT", GXHitTest::kTopLeft },
    { "HTTOPRIGHT", GXHitTest::kTopRight },
    { "HTBOTTOM", GXHitTest::kBottom },
    { "HTBOTTOMLEFT", GXHitTest::kBottomLeft },
    { "HTBOTTOMRIGHT", GXHitTest::kBottomRight },
    { "HTBORDER", GXHitTest::kBorder },
    { "HTOBJECT", GXHitTest::kObject },
    { "HTCLOSE", GXHitTest::kClose },
    { "HTHELP", GXHitTest::kHelp },
};

constexpr NamedCode kCursors[] = {
    { "IDC_APPSTARTING", GXCursor::kAppStarting },
    { "IDC_ARROW", GXCursor::kArrow },
    { "IDC_CROSS", GXCursor::kCross },
    { "IDC_HAND", GXCursor::kHand },
    { "IDC_HELP", GXCursor::kHelp },
    { "IDC_IBEAM", GXCursor::kIBeam },
    { "IDC_ICON", GXCursor::kIcon },
    { "IDC_NO", GXCursor::kNo },
    { "IDC_SIZE", GXCursor::kSize },
    { "IDC_SIZEALL", GXCursor::kSizeAll },
    { "IDC_SIZENESW", GXCursor::kSizeNESW },
    { "IDC_SIZENS", GXCursor::kSizeNS },
    { "IDC_SIZENWSE", GXCursor::kSizeNWSE },
    { "IDC_SIZEWE", GXCursor::kSizeWE },
    { "IDC_UPARROW", GXCursor::kUpArrow },
    { "IDC_WAIT", GXCursor::kWait },
};

struct NamedFlag {
    const char* pszName;
    unsigned nFlag;
};

// Searched in this order, each as a substring of the whole value.
constexpr NamedFlag kTextFlags[] = {
    { "top", GXTextFormat::kTop },
    { "left", GXTextFormat::kLeft },
    { "hcenter", GXTextFormat::kHCenter },
    { "right", GXTextFormat::kRight },
    { "vcenter", GXTextFormat::kVCenter },
    { "bottom", GXTextFormat::kBottom },
    { "wordbreak", GXTextFormat::kWordBreak },
    { "singleline", GXTextFormat::kSingleLine },
    { "expandtabs", GXTextFormat::kExpandTabs },
    { "tabstop", GXTextFormat::kTabStop },
    { "noclip", GXTextFormat::kNoClip },
    { "externalleading", GXTextFormat::kExternalLeading },
    { "noprefix", GXTextFormat::kNoPrefix },
    { "internal", GXTextFormat::kInternal },
    { "pathellipsis", GXTextFormat::kPathEllipsis },
    { "endellipsis", GXTextFormat::kEndEllipsis },
};

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// integer := space* [+-] digit+ ; read as a long and limited to the int
// range, since values from skin files may be anything.
bool ReadInt(std::string_view text, std::size_t* pPos, int* pValue)
{
    std::size_t pos = *pPos;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    std::size_t end = pos;
    if (end < text.size() && (text[end] == '+' || text[end] == '-'))
        ++end;
    const std::size_t digits = end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    if (end == digits)
        return false;
    const std::string number(text.substr(pos, end - pos));
    errno = 0;
    const long value = std::strtol(number.c_str(), nullptr, 10);
    *pValue = static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    *pPos = end;
    return true;
}

// list := integer ("," integer)* ; up to nMax numbers, as many as read.
int ReadIntList(std::string_view text, int* pValues, int nMax)
{
    std::size_t pos = 0;
    int n = 0;
    while (n < nMax) {
        if (n > 0) {
            if (pos >= text.size() || text[pos] != ',')
                break;
            ++pos;
        }
        if (!ReadInt(text, &pos, &pValues[n]))
            break;
        ++n;
    }
    return n;
}

// field := space* hexdigit{1,2}
bool ReadHexField(std::string_view text, std::size_t* pPos, int* pValue)
{
    std::size_t pos = *pPos;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos]))) {
        const char c = text[pos++];
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
        ++digits;
    }
    if (digits == 0)
        return false;
    *pValue = value;
    *pPos = pos;
    return true;
}

int LookUp(std::string_view text, const NamedCode* pTable, std::size_t nCount, int nFallback)
{
    for (std::size_t i = 0; i < nCount; ++i)
        if (text == pTable[i].pszName)
            return pTable[i].nCode;
    return nFallback;
}

} // namespace

int ParseSkinRect(std::string_view text, GXRect* pRect)
{
    int values[4] = { 0, 0, 0, 0 };
    ReadIntList(text, values, 4);
    *pRect = GXRect { values[0], values[1], values[2], values[3] };
    return 1;
}

int ParseSkinPoint(std::string_view text, GXPoint* pPoint)
{
    int values[2] = { pPoint->x, pPoint->y };
    ReadIntList(text, values, 2);
    pPoint->x = values[0];
    pPoint->y = values[1];
    return 1;
}

int ParseHitTestName(std::string_view text)
{
    return LookUp(text, kHitTests, std::size(kHitTests), GXHitTest::kError);
}

int ParseTextFormat(std::string_view text, unsigned* pFormat)
{
    unsigned format = 0;
    for (const NamedFlag& flag : kTextFlags)
        if (text.find(flag.pszName) != std::string_view::npos)
            format |= flag.nFlag;
    *pFormat = format;
    return 1;
}

COLORREF ParseSkinColor(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
        [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    if (!lower.empty() && lower[0] == '#') {
        // Fields that are missing read as 0.
        int channels[3] = { 0, 0, 0 };
        std::size_t pos = 1;
        for (int& channel : channels)
            if (!ReadHexField(lower, &pos, &channel))
                break;
        return GxRgb(channels[0], channels[1], channels[2]);
    }
    for (const NamedColor& color : kColors)
        if (lower == color.pszName)
            return color.value;
    return 0;
}

int ParseCursorName(std::string_view text)
{
    return LookUp(text, kCursors, std::size(kCursors), 0);
}

std::string GetDefaultGuiFontFace()
{
    if (QGuiApplication::instance()) {
        const QString face = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        if (!face.isEmpty())
            return face.toStdString();
    }
    return "System";
}

COLORREF AdjustColor(COLORREF color, int nRed, int nGreen, int nBlue)
{
    auto channel
        = [](int value, int delta) { return static_cast<int>(std::clamp<long>(long { value } + delta, 0, 255)); };
    return GxRgb(channel(GxRed(color), nRed), channel(GxGreen(color), nGreen), channel(GxBlue(color), nBlue));
}

#include "skin/SkinFormat.h"

#include <QColor>

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(SkinFormat, RectangleAndPointForms)
{
    struct Case {
        const char* text;
        GXRect rect;
    };
    for (const Case& c : std::vector<Case> {
             { "1,2,3,4", { 1, 2, 3, 4 } },
             { "5,6", { 5, 6, 0, 0 } },
             { "-7, +8,\t9,10", { -7, 8, 9, 10 } },
             { "1 ,2,3,4", { 1, 0, 0, 0 } }, // the comma must follow the number
             { "1,2,x,4", { 1, 2, 0, 0 } },
             { "", { 0, 0, 0, 0 } },
             { "abc", { 0, 0, 0, 0 } },
             { "99999999999,-99999999999,1,2", { INT32_MAX, INT32_MIN, 1, 2 } },
             { "1,2,3,4,5", { 1, 2, 3, 4 } },
         }) {
        GXRect rect { 9, 9, 9, 9 };
        EXPECT_EQ(ParseSkinRect(c.text, &rect), 1);
        EXPECT_EQ(rect, c.rect) << '"' << c.text << '"';
    }
    struct PointCase {
        const char* text;
        GXPoint point;
    };
    for (const PointCase& c : std::vector<PointCase> {
             { "3,4", { 3, 4 } },
             { "3", { 3, -1 } },
             { "", { -1, -1 } },
             { " 12,-13", { 12, -13 } },
         }) {
        GXPoint point { -1, -1 };
        EXPECT_EQ(ParseSkinPoint(c.text, &point), 1);
        EXPECT_EQ(point, c.point) << '"' << c.text << '"';
    }
}

TEST(SkinFormat, TextFormatFlagsAreFoundAnywhere)
{
    struct Case {
        const char* text;
        unsigned flags;
    };
    for (const Case& c : std::vector<Case> {
             { "hcenter|vcenter|singleline", 0x25 },
             { "singleline vcenter,hcenter", 0x25 },
             { "center", 0 },
             { "left top", 0 },
             { "right bottom wordbreak", 0x1A },
             { "expandtabs tabstop noclip externalleading", 0x3C0 },
             { "noprefix internal pathellipsis endellipsis", 0xD800 },
             { "HCENTER", 0 },
             { "", 0 },
         }) {
        unsigned flags = 0xDEAD;
        EXPECT_EQ(ParseTextFormat(c.text, &flags), 1);
        EXPECT_EQ(flags, c.flags) << '"' << c.text << '"';
    }
}

TEST(SkinFormat, HitTestAndCursorNames)
{
    const std::vector<std::pair<const char*, int>> hitTests = { { "HTTRANSPARENT", -1 }, { "HTNOWHERE", 0 },
        { "HTCLIENT", 1 }, { "HTCAPTION", 2 }, { "HTSYSMENU", 3 }, { "HTGROWBOX", 4 }, { "HTSIZE", 4 }, { "HTMENU", 5 },
        { "HTHSCROLL", 6 }, { "HTVSCROLL", 7 }, { "HTMINBUTTON", 8 }, { "HTMAXBUTTON", 9 }, { "HTLEFT", 10 },
        { "HTRIGHT", 11 }, { "HTTOP", 12 }, { "HTTOPLEFT", 13 }, { "HTTOPRIGHT", 14 }, { "HTBOTTOM", 15 },
        { "HTBOTTOMLEFT", 16 }, { "HTBOTTOMRIGHT", 17 }, { "HTBORDER", 18 }, { "HTOBJECT", 19 }, { "HTCLOSE", 20 },
        { "HTHELP", 21 }, { "htcaption", -2 }, { "HTCAPTION ", -2 }, { "", -2 } };
    for (const auto& [name, code] : hitTests)
        EXPECT_EQ(ParseHitTestName(name), code) << name;
    const std::vector<std::pair<const char*, int>> cursors = { { "IDC_APPSTARTING", 32650 }, { "IDC_ARROW", 32512 },
        { "IDC_CROSS", 32515 }, { "IDC_HAND", 32649 }, { "IDC_HELP", 32651 }, { "IDC_IBEAM", 32513 },
        { "IDC_ICON", 32641 }, { "IDC_NO", 32648 }, { "IDC_SIZE", 32640 }, { "IDC_SIZEALL", 32646 },
        { "IDC_SIZENESW", 32643 }, { "IDC_SIZENS", 32645 }, { "IDC_SIZENWSE", 32642 }, { "IDC_SIZEWE", 32644 },
        { "IDC_UPARROW", 32516 }, { "IDC_WAIT", 32514 }, { "idc_arrow", 0 }, { "IDC_PIN", 0 } };
    for (const auto& [name, id] : cursors)
        EXPECT_EQ(ParseCursorName(name), id) << name;
}

// The table's names in order; the values are checked against Qt's web
// colour keywords, except for the names whose values skins fix otherwise.
const char* const kColorNames[] = { "white", "whitesmoke", "ghostwhite", "snow", "gainsboro", "lightgrey", "silver",
    "darkgray", "gray", "dimgray", "lightslategray", "slategray", "darkslategray", "black", "azure", "aliceblue",
    "mintcream", "honeydew", "lightcyan", "paleturqoise", "powderblue", "lightblue", "lightsteelblue", "skyblue",
    "lightskyblue", "cyan", "aqua", "deepskyblue", "aquamarine", "turquoise", "darkturquoise", "lightseagreen",
    "mediumturquoise", "mediumaquamarine", "cadetblue", "teal", "darkcyan", "comflowerblue", "dodgerblue", "steelblue",
    "royalblue", "blue", "mediumblue", "mediumslateblue", "slateblue", "darkslateblue", "darkblue", "midnightblue",
    "navy", "palegreen", "lightgreen", "mediumspringgreen", "springgreen", "chartreuse", "lawngreen", "lime",
    "limegreen", "greenyellow", "yellowgreen", "darkseagreen", "mediumseagreen", "seagreen", "olivedrab", "forestgreen",
    "green", "darkkhaki", "olive", "darkolivegreen", "darkgreen", "floralwhite", "seashell", "ivory", "beige",
    "cornsilk", "lemonchiffon", "lightyellow", "lightgoldenrodyellow", "papayawhip", "blanchedalmond", "palegoldenrod",
    "khaki", "bisque", "moccasin", "navajowhite", "peachpuff", "yellow", "gold", "wheat", "orange", "darkorange",
    "oldlace", "linen", "antiquewhite", "lightsalmon", "darksalmon", "salmon", "lightcoral", "indianred", "coral",
    "tomato", "orangered", "red", "crimson", "firebrick", "maroon", "darkred", "lavender", "lavenderblush", "mistyrose",
    "thistle", "pink", "lightpink", "palevioletred", "hotpink", "fuchsia", "magenta", "mediumvioletred", "deeppink",
    "plum", "violet", "orchid", "mediumorchid", "mediumpurple", "blueviolet", "darkviolet", "darkorchid", "tan",
    "burlywood", "sandybrown", "peru", "goldenrod", "darkgoldenrod", "chocolate", "rosybrown", "sienna", "saddlebrown",
    "brown", "transparent" };

TEST(SkinFormat, AllColourNamesWithTheirExceptions)
{
    static_assert(std::size(kColorNames) == 138);
    const std::map<std::string, COLORREF> exceptions = { { "lightblue", 0xEDD8AD }, { "aqua", 0x80FF00 },
        { "mediumturquoise", 0xDDE040 }, { "blanchedalmond", 0xCDEDFF }, { "khaki", 0x8CEBF0 },
        { "lavender", 0xFEE6E6 }, { "fuchsia", 0xEE00FF }, { "transparent", 0xFFFFFFFF } };
    const std::map<std::string, std::string> spelling
        = { { "paleturqoise", "paleturquoise" }, { "comflowerblue", "cornflowerblue" } };
    for (const char* name : kColorNames) {
        COLORREF expected = 0;
        if (auto it = exceptions.find(name); it != exceptions.end()) {
            expected = it->second;
        } else {
            auto alias = spelling.find(name);
            const QColor web = QColor::fromString(QString::fromLatin1(alias != spelling.end() ? alias->second : name));
            ASSERT_TRUE(web.isValid()) << name;
            expected = GxRgb(web.red(), web.green(), web.blue());
        }
        EXPECT_EQ(ParseSkinColor(name), expected) << name;
        std::string upper(name);
        upper[0] = static_cast<char>(std::toupper(upper[0]));
        EXPECT_EQ(ParseSkinColor(upper), expected) << upper;
    }
    // Only the spellings skins use are known.
    EXPECT_EQ(ParseSkinColor("cornflowerblue"), 0u);
    EXPECT_EQ(ParseSkinColor("rebeccapurple"), 0u);
    EXPECT_EQ(ParseSkinColor(" red"), 0u);
}

TEST(SkinFormat, HexColoursReadRedGreenBlue)
{
    const std::vector<std::pair<const char*, COLORREF>> cases = { { "#ff0000", 0xFF }, { "#FF0000", 0xFF },
        { "#Ff0000", 0xFF }, { "#00ff00", 0xFF00 }, { "#123456", 0x563412 }, { "#1234", 0x3412 }, { "#1", 0x1 },
        { "#", 0 }, { "#12 34 56", 0x563412 }, { "#zz0000", 0 }, { "#12345678", 0x563412 } };
    for (const auto& [text, color] : cases)
        EXPECT_EQ(ParseSkinColor(text), color) << text;
    EXPECT_EQ(ParseSkinColor("Red"), ParseSkinColor("#FF0000"));
}

TEST(SkinFormat, AdjustColorClampsEachChannel)
{
    EXPECT_EQ(AdjustColor(GxRgb(250, 5, 100), 10, -10, 0), GxRgb(255, 0, 100));
    EXPECT_EQ(AdjustColor(GxRgb(1, 2, 3), INT32_MAX, INT32_MIN, 0), GxRgb(255, 0, 3));
    EXPECT_FALSE(GetDefaultGuiFontFace().empty());
}

} // namespace

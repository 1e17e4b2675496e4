#include "skin/GXSubFont.h"

#include "foundation/GXmp.h"
#include "skin/GDib.h"
#include "skin/SkinFormat.h"
#include "support/DibPixels.h"

#include <QFontInfo>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

std::unique_ptr<GXSubFont> FontFrom(const char* xml, std::string* pName = nullptr, const std::string& faceOverride = "")
{
    GXmp xmp;
    if (!xmp.LoadBuffer(xml, static_cast<int>(std::strlen(xml))))
        return nullptr;
    std::unique_ptr<GXSubFont> font;
    std::string name;
    const bool ok = CreateSkinFont(
        xmp.GetRoot(), [](const std::string& text) { return text == "$face" ? std::string("DejaVu Sans") : text; },
        &font, pName ? pName : &name, faceOverride);
    return ok ? std::move(font) : nullptr;
}

TEST(GXSubFont, FontElementSetsPixelSizeWeightAndFace)
{
    struct Case {
        const char* xml;
        int pixels;
        bool bold;
        const char* face;
    };
    const Case cases[] = {
        { R"(<Font FontName="f" FaceName="NanumGothic" Size="9"/>)", 12, false, "NanumGothic" },
        { R"(<Font FontName="f" FaceName="NanumGothic" Size="10" Bold="1"/>)", 13, true, "NanumGothic" },
        { R"(<Font FontName="f" FaceName="$face"/>)", 12, false, "DejaVu Sans" },
        { R"(<Font FontName="f" FaceName="NanumGothic" Size="20" Bold="0"/>)", 27, false, "NanumGothic" },
    };
    for (const Case& c : cases) {
        std::string name;
        const auto font = FontFrom(c.xml, &name);
        ASSERT_TRUE(font) << c.xml;
        EXPECT_EQ(name, "f");
        ASSERT_TRUE(font->GetFont());
        EXPECT_EQ(font->GetFont()->pixelSize(), c.pixels) << c.xml;
        EXPECT_EQ(font->GetFont()->bold(), c.bold) << c.xml;
        EXPECT_EQ(font->GetFaceName(), c.face);
        EXPECT_EQ(QFontInfo(*font->GetFont()).family().toStdString(), c.face);
    }
    const auto guiFont = FontFrom(R"(<Font FontName="g" FaceName="DefaultGUIFont"/>)");
    ASSERT_TRUE(guiFont);
    EXPECT_EQ(guiFont->GetFaceName(), GetDefaultGuiFontFace());
    const auto overridden = FontFrom(R"(<Font FontName="g" FaceName="DefaultGUIFont"/>)", nullptr, "NanumGothic");
    ASSERT_TRUE(overridden);
    EXPECT_EQ(overridden->GetFaceName(), "NanumGothic");
    EXPECT_FALSE(FontFrom(R"(<ImageFont FontName="g"/>)"));
}

TEST(GXSubFont, FontAttachesOnceAndSelectsOnce)
{
    auto font = FontFrom(R"(<Font FontName="f" FaceName="DejaVu Sans" Size="9"/>)");
    ASSERT_TRUE(font);
    EXPECT_FALSE(font->SetFont(QFont("NanumGothic")));
    EXPECT_EQ(font->GetFont()->family(), "DejaVu Sans");

    GDib back = MakeDib(80, 20, [](int, int) { return 0xFFFFFFu; });
    QPainter* pDC = back.GetMemDC();
    ASSERT_NE(pDC, nullptr);
    const QString before = pDC->font().family();
    const GXRect rect { 0, 0, 80, 20 };
    EXPECT_FALSE(font->DrawText(rect, pDC, nullptr, "Hi", 0, 0));
    EXPECT_FALSE(font->Deselect(pDC));
    EXPECT_TRUE(font->Select(pDC));
    EXPECT_FALSE(font->Select(pDC));
    EXPECT_EQ(pDC->font().family(), "DejaVu Sans");
    EXPECT_TRUE(font->DrawText(rect, pDC, nullptr, "Hi", GXTextFormat::kSingleLine, 0));
    EXPECT_TRUE(font->Deselect(pDC));
    EXPECT_FALSE(font->Deselect(pDC));
    EXPECT_EQ(pDC->font().family(), before);
    back.ReleaseMemDC();
    int dark = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            dark += GxRed(PixelAt(back, x, y)) < 128 ? 1 : 0;
    EXPECT_GT(dark, 5);

    GXSubFont unloaded;
    EXPECT_FALSE(unloaded.Select(pDC));
    EXPECT_FALSE(unloaded.DrawText(rect, nullptr, &back, "x", 0, 0));
}

// Ink bounds of black pixels in a white image: left, top, right, bottom.
GXRect InkBounds(const GDib& image)
{
    GXRect ink { image.GetWidth(), image.GetHeight(), -1, -1 };
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (GxRed(PixelAt(image, x, y)) < 128) {
                ink.left = std::min(ink.left, x), ink.top = std::min(ink.top, y);
                ink.right = std::max(ink.right, x + 1), ink.bottom = std::max(ink.bottom, y + 1);
            }
    return ink;
}

TEST(GXSubFont, SystemFontAlignmentFollowsTheFlags)
{
    auto font = FontFrom(R"(<Font FontName="f" FaceName="DejaVu Sans" Size="9"/>)");
    ASSERT_TRUE(font);
    struct Case {
        unsigned format;
        bool right;
        bool bottom;
    };
    // Vertical placement holds only for single lines.
    for (const Case& c :
        { Case { GXTextFormat::kRight | GXTextFormat::kSingleLine | GXTextFormat::kBottom, true, true },
            Case { GXTextFormat::kBottom, false, false }, Case { GXTextFormat::kRight, true, false } }) {
        GDib back = MakeDib(120, 60, [](int, int) { return 0xFFFFFFu; });
        QPainter* pDC = back.GetMemDC();
        ASSERT_TRUE(font->Select(pDC));
        ASSERT_TRUE(font->DrawText(GXRect { 0, 0, 120, 60 }, pDC, nullptr, "Tx", c.format, 0));
        ASSERT_TRUE(font->Deselect(pDC));
        const GXRect ink = InkBounds(back);
        EXPECT_EQ(ink.right > 100, c.right) << std::hex << c.format;
        EXPECT_EQ(ink.bottom > 45, c.bottom) << std::hex << c.format;
    }
}

TEST(GXSubFont, ImageFontDrawsGlyphsAndLeavesGapsForUnknownBytes)
{
    // "0123456789" on a 100 x 7 strip: glyph k is filled with colour k+1,
    // with a key-coloured last column.
    const GDib strip = MakeDib(100, 7, [](int x, int) { return x % 10 == 9 ? kGxColorKey : GxRgb(x / 10 + 1, 0, 0); });
    GXSubFont font;
    auto find = [&](const std::string& name) { return name == "digits" ? &strip : nullptr; };
    EXPECT_FALSE(font.SetImageFont(find, "missing", "0123456789"));
    EXPECT_FALSE(font.SetImageFont(find, "digits", ""));
    ASSERT_TRUE(font.SetImageFont(find, "digits", "0123456789"));
    EXPECT_FALSE(font.SetImageFont(find, "digits", "0123456789"));
    EXPECT_FALSE(font.SetFont(QFont()));
    EXPECT_EQ(font.GetGlyphWidth(), 10);
    EXPECT_EQ(font.GlyphIndex('7'), 7);
    EXPECT_EQ(font.GlyphIndex(':'), -1);
    EXPECT_TRUE(font.Select(nullptr));

    constexpr COLORREF kBack = 0x00FF00;
    struct Case {
        const char* text;
        unsigned format;
        int x0, y0; // where the first glyph lands
    };
    const GXRect rect { 5, 3, 75, 23 };
    for (const Case& c : { Case { "12:34", 0, 5, 3 }, Case { "12:34", 0x5, 5 + (70 - 50) / 2, 3 + (20 - 7) / 2 },
             Case { "12:34", 0xA, 75 - 50, 23 - 7 }, Case { "123456789", 0x1, 5 - 10, 3 } }) {
        GDib dest = MakeDib(90, 30, [](int, int) { return kBack; });
        const GXRect outer { 0, 0, 60, 30 };
        dest.SetClipRect(&outer);
        ASSERT_TRUE(font.DrawText(rect, nullptr, &dest, c.text, c.format, 0));
        ASSERT_NE(dest.GetClipRect(), nullptr);
        EXPECT_EQ(*dest.GetClipRect(), outer);
        const int n = static_cast<int>(std::strlen(c.text));
        EXPECT_EQ(ComparePixels(dest,
                      [&](int x, int y) {
                          const bool inClip = x >= std::max(rect.left, outer.left)
                              && x < std::min(rect.right, outer.right) && y >= rect.top && y < rect.bottom;
                          const int i = (x - c.x0) >= 0 ? (x - c.x0) / 10 : -1;
                          if (!inClip || i < 0 || i >= n || y < c.y0 || y >= c.y0 + 7 || (x - c.x0) % 10 == 9)
                              return kBack;
                          const char ch = c.text[i];
                          if (ch < '0' || ch > '9')
                              return kBack;
                          return GxRgb(ch - '0' + 1, 0, 0);
                      }),
            "")
            << c.text << " " << c.format;
    }

    GXSize size;
    ASSERT_TRUE(font.MeasureText("12\n\n345", &size));
    EXPECT_EQ(size, (GXSize { 30, 14 }));
    ASSERT_TRUE(font.MeasureText("\n", &size));
    EXPECT_EQ(size, (GXSize { 0, 0 }));
}

TEST(GXSubFont, MeasureCountsLinesNotLineFeeds)
{
    auto font = FontFrom(R"(<Font FontName="f" FaceName="DejaVu Sans" Size="9"/>)");
    ASSERT_TRUE(font);
    GXSize one, two;
    ASSERT_TRUE(font->MeasureText("Radio", &one));
    ASSERT_TRUE(font->MeasureText("Radio\n\nOn", &two));
    EXPECT_GT(one.cx, 0);
    EXPECT_EQ(two.cx, one.cx);
    EXPECT_EQ(two.cy, 2 * one.cy);
    GXSubFont unloaded;
    EXPECT_FALSE(unloaded.MeasureText("x", &one));
}

} // namespace

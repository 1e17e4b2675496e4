#pragma once

#include "skin/GXTypes.h"

#include <QFont>
#include <QImage>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class GDib;
class GXmpData;
class QPainter;

// Thread: user-interface thread only.
// The font a control draws its texts with: a system font made from a "Font"
// define item, or an image font made from an "ImageFont" item, a strip of
// equal-width glyphs, one per byte of a character list. A font is attached
// once. Controls bracket each text with Select and Deselect on the painter
// they draw with.
class GXSubFont {
public:
    GXSubFont();
    GXSubFont(const GXSubFont&) = delete;
    GXSubFont& operator=(const GXSubFont&) = delete;
    virtual ~GXSubFont();

    // False when a font is already attached.
    bool SetFont(const QFont& font);
    // False when already loaded, for an empty character list, or when no
    // image has that name. The strip stays owned by the window.
    bool SetImageFont(const std::function<const GDib*(const std::string&)>& findImage, const std::string& imageName,
        const std::string& characters);
    void SetFontInfo(const std::string& face, int nSize, int nBold);

    // System font: false when not loaded or already selected. Image font:
    // true, there is nothing to select.
    bool Select(QPainter* pDC);
    bool Deselect(QPainter* pDC);

    // How a system font's letters meet the pixels under them. A layer
    // filled with the colour key takes hard edges: only the exact key is
    // see-through, so a smoothed edge, half letter and half key, would show
    // as a fringe of the key's colour wherever the layer is drawn.
    enum class Edges { Smooth, Hard };

    // Draws text (UTF-8) into rect. A system font must be selected on pDC
    // and uses colour and every format flag; an image font draws into pDest,
    // or onto pDC when pDest is null, places one line by the alignment flags
    // and ignores the colour (its glyphs are keyed, never smoothed).
    bool DrawText(const GXRect& rect, QPainter* pDC, GDib* pDest, const std::string& text, unsigned nFormat,
        COLORREF color, Edges edges = Edges::Smooth);
    [[nodiscard]] int GlyphIndex(unsigned char c) const;
    // Width of the widest line and the sum of the line heights; runs of
    // line feeds separate lines, empty lines count for nothing.
    bool MeasureText(const std::string& text, GXSize* pSize) const;

    [[nodiscard]] bool IsLoaded() const { return m_nLoaded != 0; }
    [[nodiscard]] bool IsImageFont() const { return m_pGlyphs != nullptr; }
    [[nodiscard]] const std::optional<QFont>& GetFont() const { return m_font; }
    [[nodiscard]] const std::string& GetFaceName() const { return m_strFace; }
    [[nodiscard]] int GetSize() const { return m_nSize; }
    [[nodiscard]] int GetBold() const { return m_nBold; }
    [[nodiscard]] int GetGlyphWidth() const { return m_nGlyphWidth; }
    [[nodiscard]] int GetGlyphHeight() const { return m_nGlyphHeight; }

private:
    bool DrawImageText(const GXRect& rect, QPainter* pDC, GDib* pDest, const std::string& text, unsigned nFormat);

    int m_nLoaded = 0;
    const GDib* m_pGlyphs = nullptr;
    std::string m_strCharacters;
    int m_nCharacters = 0;
    int m_nGlyphWidth = 0;
    int m_nGlyphHeight = 0;
    std::array<int, 256> m_glyphIndex;
    // The strip with its key pixels see-through, made on first use for
    // drawing onto a painter.
    QImage m_glyphsWithAlpha;
    std::optional<QFont> m_font;
    QPainter* m_pSelectedIn = nullptr;
    QFont m_previousFont;
    std::string m_strFace;
    int m_nSize = 0;
    int m_nBold = 0;
};

// Builds a system font from a "Font" element (FaceName, FontName, Size,
// Bold). A face starting with "$" goes through evaluate; a non-empty
// faceOverride replaces the face; "DefaultGUIFont" means the desktop's
// font. The pixel size is the point size at 96 dots per inch, rounded.
[[nodiscard]] bool CreateSkinFont(const GXmpData* pElement,
    const std::function<std::string(const std::string&)>& evaluate, std::unique_ptr<GXSubFont>* pOut,
    std::string* pOutName, const std::string& faceOverride);

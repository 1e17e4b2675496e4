#include "skin/GXSubFont.h"

#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/SkinFormat.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Qt's text flags for our format flags. Vertical centring and bottom only
// hold for single-line text; without "noprefix" an ampersand marks the
// next letter.
int QtTextFlags(unsigned nFormat)
{
    int flags = 0;
    if (nFormat & GXTextFormat::kHCenter)
        flags |= Qt::AlignHCenter;
    else if (nFormat & GXTextFormat::kRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if ((nFormat & GXTextFormat::kSingleLine) && (nFormat & GXTextFormat::kVCenter))
        flags |= Qt::AlignVCenter;
    else if ((nFormat & GXTextFormat::kSingleLine) && (nFormat & GXTextFormat::kBottom))
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;
    if (nFormat & GXTextFormat::kSingleLine)
        flags |= Qt::TextSingleLine;
    else if (nFormat & GXTextFormat::kWordBreak)
        flags |= Qt::TextWordWrap;
    if (nFormat & GXTextFormat::kExpandTabs)
        flags |= Qt::TextExpandTabs;
    if (nFormat & GXTextFormat::kNoClip)
        flags |= Qt::TextDontClip;
    if (!(nFormat & GXTextFormat::kNoPrefix))
        flags |= Qt::TextShowMnemonic;
    return flags;
}

// Splits at line feeds; runs of them separate once, empty lines vanish.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

GXSubFont::GXSubFont()
{
    m_glyphIndex.fill(-1);
}

GXSubFont::~GXSubFont() = default;

bool GXSubFont::SetFont(const QFont& font)
{
    if (m_nLoaded)
        return false;
    m_font = font;
    m_nLoaded = 1;
    return true;
}

bool GXSubFont::SetImageFont(const std::function<const GDib*(const std::string&)>& findImage,
    const std::string& imageName, const std::string& characters)
{
    if (m_nLoaded || m_pGlyphs || characters.empty() || !findImage)
        return false;
    const GDib* pImage = findImage(imageName);
    if (!pImage)
        return false;
    m_pGlyphs = pImage;
    m_strCharacters = characters;
    m_nCharacters = static_cast<int>(std::min<std::size_t>(characters.size(), 0x7FFFFFFF));
    m_nGlyphWidth = pImage->GetWidth() / m_nCharacters;
    m_nGlyphHeight = pImage->GetHeight();
    for (int i = 0; i < m_nCharacters; ++i)
        m_glyphIndex[static_cast<unsigned char>(characters[static_cast<std::size_t>(i)])] = i;
    m_nLoaded = 1;
    return true;
}

void GXSubFont::SetFontInfo(const std::string& face, int nSize, int nBold)
{
    m_strFace = face;
    m_nSize = nSize;
    m_nBold = nBold;
}

bool GXSubFont::Select(QPainter* pDC)
{
    if (!m_nLoaded)
        return false;
    if (!m_font)
        return true;
    if (m_pSelectedIn || !pDC)
        return false;
    m_previousFont = pDC->font();
    pDC->setFont(*m_font);
    m_pSelectedIn = pDC;
    return true;
}

bool GXSubFont::Deselect(QPainter* pDC)
{
    if (!m_nLoaded)
        return false;
    if (!m_font)
        return true;
    if (!m_pSelectedIn || m_pSelectedIn != pDC)
        return false;
    pDC->setFont(m_previousFont);
    m_pSelectedIn = nullptr;
    return true;
}

int GXSubFont::GlyphIndex(unsigned char c) const
{
    return m_glyphIndex[c];
}

bool GXSubFont::DrawText(const GXRect& rect, QPainter* pDC, GDib* pDest, const std::string& text, unsigned nFormat,
    COLORREF color, Edges edges)
{
    if (!m_nLoaded)
        return false;
    if (!m_font)
        return DrawImageText(rect, pDC, pDest, text, nFormat);
    if (!pDC || pDC != m_pSelectedIn || !pDC->isActive())
        return false;
    const QRect box(rect.left, rect.top, rect.Width(), rect.Height());
    QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (nFormat & (GXTextFormat::kEndEllipsis | GXTextFormat::kPathEllipsis)) {
        const Qt::TextElideMode mode = nFormat & GXTextFormat::kEndEllipsis ? Qt::ElideRight : Qt::ElideMiddle;
        line = pDC->fontMetrics().elidedText(line, mode, std::max(0, box.width()), QtTextFlags(nFormat));
    }
    pDC->save();
    if (edges == Edges::Hard) {
        QFont hard = pDC->font();
        hard.setStyleStrategy(
            QFont::StyleStrategy((hard.styleStrategy() & ~QFont::PreferAntialias) | QFont::NoAntialias));
        pDC->setFont(hard);
        pDC->setRenderHint(QPainter::TextAntialiasing, false);
    }
    pDC->setPen(QColor(GxRed(color), GxGreen(color), GxBlue(color)));
    pDC->drawText(box, QtTextFlags(nFormat), line);
    pDC->restore();
    return true;
}

bool GXSubFont::DrawImageText(const GXRect& rect, QPainter* pDC, GDib* pDest, const std::string& text, unsigned nFormat)
{
    const std::int64_t textWidth = std::int64_t { m_nGlyphWidth } * static_cast<std::int64_t>(text.size());
    std::int64_t x = rect.left;
    std::int64_t y = rect.top;
    if (nFormat & GXTextFormat::kVCenter)
        y = rect.top + (std::int64_t { rect.Height() } - m_nGlyphHeight) / 2;
    if (nFormat & GXTextFormat::kBottom)
        y = std::int64_t { rect.bottom } - m_nGlyphHeight;
    if (nFormat & GXTextFormat::kHCenter)
        x = rect.left + (rect.Width() - textWidth) / 2;
    if (nFormat & GXTextFormat::kRight)
        x = rect.right - textWidth;
    const std::int64_t limit = std::max<std::int64_t>(rect.right, rect.left);

    if (pDest) {
        // The rectangle narrows the destination's own clip for the text and
        // the clip is put back afterwards.
        const GXRect* pOld = pDest->GetClipRect();
        const std::optional<GXRect> old = pOld ? std::optional<GXRect>(*pOld) : std::nullopt;
        GXRect clip = rect;
        if (old)
            clip = GXRect { std::max(clip.left, old->left), std::max(clip.top, old->top),
                std::min(clip.right, old->right), std::min(clip.bottom, old->bottom) };
        pDest->SetClipRect(&clip);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::int64_t gx = x + static_cast<std::int64_t>(i) * m_nGlyphWidth;
            if (gx >= limit)
                break; // the rest lies right of the rectangle
            const int g = m_glyphIndex[static_cast<unsigned char>(text[i])];
            if (g >= 0 && gx > -std::int64_t { m_nGlyphWidth })
                m_pGlyphs->DrawFrameTo(
                    pDest, static_cast<int>(gx), static_cast<int>(y), m_nCharacters, g, GDib::Transparent::Yes);
        }
        pDest->SetClipRect(old ? &*old : nullptr);
        return true;
    }
    if (!pDC || !pDC->isActive())
        return true;
    if (m_glyphsWithAlpha.isNull()) {
        m_glyphsWithAlpha = m_pGlyphs->GetImage().convertToFormat(QImage::Format_ARGB32);
        const QRgb key = qRgb(
            GxRed(m_pGlyphs->GetColorKey()), GxGreen(m_pGlyphs->GetColorKey()), GxBlue(m_pGlyphs->GetColorKey()));
        for (int row = 0; row < m_glyphsWithAlpha.height(); ++row) {
            auto* p = reinterpret_cast<QRgb*>(m_glyphsWithAlpha.scanLine(row));
            for (int col = 0; col < m_glyphsWithAlpha.width(); ++col)
                if ((p[col] | 0xFF000000) == key)
                    p[col] = 0;
        }
    }
    pDC->save();
    pDC->setClipRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()), Qt::IntersectClip);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::int64_t gx = x + static_cast<std::int64_t>(i) * m_nGlyphWidth;
        if (gx >= limit)
            break;
        const int g = m_glyphIndex[static_cast<unsigned char>(text[i])];
        if (g >= 0 && gx > -std::int64_t { m_nGlyphWidth })
            pDC->drawImage(QPoint(static_cast<int>(gx), static_cast<int>(y)), m_glyphsWithAlpha,
                QRect(g * m_nGlyphWidth, 0, m_nGlyphWidth, m_nGlyphHeight));
    }
    pDC->restore();
    return true;
}

bool GXSubFont::MeasureText(const std::string& text, GXSize* pSize) const
{
    if (!pSize)
        return false;
    *pSize = GXSize {};
    if (!m_nLoaded)
        return false;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::optional<QFontMetrics> metrics;
    if (m_font)
        metrics.emplace(*m_font);
    for (const std::string& line : Lines(text)) {
        if (metrics) {
            width = std::max<std::int64_t>(
                width, metrics->horizontalAdvance(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()))));
            height += metrics->height();
        } else {
            width = std::max<std::int64_t>(
                width, std::int64_t { m_nGlyphWidth } * static_cast<std::int64_t>(line.size()));
            height += m_nGlyphHeight;
        }
    }
    pSize->cx = static_cast<int>(std::min<std::int64_t>(width, INT32_MAX));
    pSize->cy = static_cast<int>(std::min<std::int64_t>(height, INT32_MAX));
    return true;
}

bool CreateSkinFont(const GXmpData* pElement, const std::function<std::string(const std::string&)>& evaluate,
    std::unique_ptr<GXSubFont>* pOut, std::string* pOutName, const std::string& faceOverride)
{
    if (!pElement || !pOut || pElement->GetName() != "Font")
        return false;
    std::string face = pElement->GetAttributeString("FaceName", "");
    if (pOutName)
        *pOutName = pElement->GetAttributeString("FontName", "");
    if (!face.empty() && face[0] == '$' && evaluate)
        face = evaluate(face);
    if (!faceOverride.empty())
        face = faceOverride;
    else if (face == "DefaultGUIFont")
        face = GetDefaultGuiFontFace();
    int nSize = 9;
    int nBold = 0;
    if (!pElement->GetAttributeInt("Size", &nSize))
        nSize = 9;
    if (!pElement->GetAttributeInt("Bold", &nBold))
        nBold = 0;
    // Character height in pixels at 96 dots per inch, rounded; sizes beyond
    // what a screen shows are limited so the arithmetic stays sound.
    const double pixels = std::trunc(std::clamp(nSize, -4096, 4096) * 96.0 / 72.0 + 0.5);
    QFont font(QString::fromStdString(face));
    font.setPixelSize(std::max(1, static_cast<int>(std::abs(pixels))));
    font.setWeight(nBold != 0 ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleStrategy(QFont::PreferAntialias);
    // Unhinted, FreeType lays out and draws each glyph as designed instead of
    // running the hinter on it first: a third of the window's first drawing,
    // for text that looks the same at a skin's sizes.
    font.setHintingPreference(QFont::PreferNoHinting);
    auto pFont = std::make_unique<GXSubFont>();
    if (!pFont->SetFont(font))
        return false;
    pFont->SetFontInfo(face, nSize, nBold);
    *pOut = std::move(pFont);
    return true;
}

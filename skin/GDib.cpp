#include "skin/GDib.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr std::uint32_t kRgbMask = 0x00FFFFFFu;

// A COLORREF (0x00BBGGRR) as the stored pixel value (0xFFRRGGBB).
constexpr std::uint32_t ToPixel(COLORREF c)
{
    return kOpaque | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

bool IsValidBitCount(int nBits)
{
    return nBits == 1 || nBits == 4 || nBits == 8 || nBits == 16 || nBits == 24 || nBits == 32;
}

// The blend table is built for one alpha at a time and shared by every image:
// a skin fades many controls with the same alpha, and 64 KB per image would
// be waste. Only the user-interface thread blends.
struct AlphaTable {
    int nAlpha = -1;
    std::array<std::uint8_t, 256 * 256> values {};
};

const std::uint8_t* AlphaTableFor(int nAlpha)
{
    static AlphaTable table;
    if (table.nAlpha != nAlpha) {
        for (int s = 0; s < 256; ++s)
            for (int d = 0; d < 256; ++d)
                table.values[static_cast<std::size_t>(s * 256 + d)]
                    = static_cast<std::uint8_t>((s * nAlpha + d * (255 - nAlpha)) / 255);
        table.nAlpha = nAlpha;
    }
    return table.values.data();
}

// The destination entry nearest to colour c; on equal distances the lower
// index wins.
int NearestEntry(const GXRgbQuad& c, const std::vector<GXRgbQuad>& table)
{
    int nBest = 0;
    int nBestDistance = 0x30000;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int dr = c.rgbRed - table[i].rgbRed;
        const int dg = c.rgbGreen - table[i].rgbGreen;
        const int db = c.rgbBlue - table[i].rgbBlue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < nBestDistance) {
            nBestDistance = distance;
            nBest = static_cast<int>(i);
        }
    }
    return nBest;
}

std::uint32_t* Row(QImage& image, int y)
{
    return reinterpret_cast<std::uint32_t*>(image.scanLine(y));
}
const std::uint32_t* Row(const QImage& image, int y)
{
    return reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
}

// The hottest loop of a skin: controls are drawn with their key on every
// animation tick. Four pixels at a time where the processor allows, then
// one by one.
void CopyKeyedRow(const std::uint32_t* pSrc, std::uint32_t* pDst, int nWidth, std::uint32_t key)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i vKey = _mm_set1_epi32(static_cast<int>(key));
    const __m128i vMask = _mm_set1_epi32(static_cast<int>(kRgbMask));
    for (; i + 4 <= nWidth; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pDst + i));
        const __m128i isKey = _mm_cmpeq_epi32(_mm_and_si128(s, vMask), vKey);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(pDst + i), _mm_or_si128(_mm_and_si128(isKey, d), _mm_andnot_si128(isKey, s)));
    }
#endif
    for (; i < nWidth; ++i)
        if ((pSrc[i] & kRgbMask) != key)
            pDst[i] = pSrc[i];
}

struct BlendParams {
    std::uint32_t key;
    int nAlpha;
    const std::uint8_t* table; // the shared table built for nAlpha
};

// Every channel d becomes (s * alpha + d * (255 - alpha)) / 255; key pixels
// are skipped. Four pixels at a time compute the same quotient exactly as
// (x + 1 + (x >> 8)) >> 8, which equals x / 255 for every x up to 255 * 255;
// the rest go through the table.
void BlendRow(const std::uint32_t* pSrc, std::uint32_t* pDst, int nWidth, const BlendParams& params)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i alpha = _mm_set1_epi16(static_cast<short>(params.nAlpha));
    const __m128i rest = _mm_set1_epi16(static_cast<short>(255 - params.nAlpha));
    const __m128i vKey = _mm_set1_epi32(static_cast<int>(params.key));
    const __m128i vMask = _mm_set1_epi32(static_cast<int>(kRgbMask));
    auto mix = [&](__m128i s, __m128i d) {
        const __m128i x = _mm_add_epi16(_mm_mullo_epi16(s, alpha), _mm_mullo_epi16(d, rest));
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8);
    };
    for (; i + 4 <= nWidth; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pSrc + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pDst + i));
        const __m128i isKey = _mm_cmpeq_epi32(_mm_and_si128(s, vMask), vKey);
        const __m128i low = mix(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        const __m128i high = mix(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        const __m128i blended = _mm_packus_epi16(low, high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + i),
            _mm_or_si128(_mm_and_si128(isKey, d), _mm_andnot_si128(isKey, blended)));
    }
#endif
    const std::uint8_t* table = params.table;
    for (; i < nWidth; ++i) {
        const std::uint32_t s = pSrc[i];
        if ((s & kRgbMask) == params.key)
            continue;
        const std::uint32_t d = pDst[i];
        pDst[i] = kOpaque | std::uint32_t { table[(s >> 16 & 0xFF) << 8 | (d >> 16 & 0xFF)] } << 16
            | std::uint32_t { table[(s >> 8 & 0xFF) << 8 | (d >> 8 & 0xFF)] } << 8
            | table[(s & 0xFF) << 8 | (d & 0xFF)];
    }
}

std::uint8_t ClampChannel(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

} // namespace

// A block to draw after clipping: destination x, y, source x, y, size.
struct GDib::Block {
    int x = 0;
    int y = 0;
    int sx = 0;
    int sy = 0;
    int nWidth = 0;
    int nHeight = 0;
};

GDib::GDib() = default;

GDib::GDib(const GDib& src)
{
    Assign(src);
}

GDib& GDib::operator=(const GDib& src)
{
    if (&src != this)
        Assign(src);
    return *this;
}

GDib::~GDib()
{
    ReleaseMemDC();
}

bool GDib::IsAllowedSize(int nWidth, int nHeight, int nBitCount)
{
    // 64-bit: the sides come from file headers.
    return nWidth > 0 && nHeight > 0 && nWidth <= kMaxSide && nHeight <= kMaxSide
        && std::int64_t { nWidth } * nHeight * (nBitCount <= 8 ? 1 : 4) <= kMaxBytes;
}

bool GDib::Create(int nWidth, int nHeight, int nBitCount, int nColors, const GXRgbQuad* pColors)
{
    const bool bPalette = nBitCount <= 8;
    if (!IsAllowedSize(nWidth, nHeight, nBitCount))
        return false;
    Destroy();
    if (!IsValidBitCount(nBitCount))
        return false;
    const int nMaxColors = bPalette ? 1 << nBitCount : 256;
    if (nColors < 0 || nColors > nMaxColors)
        return false;

    QImage image(nWidth, nHeight, bPalette ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    if (image.isNull())
        return false;
    m_colorTable.assign(static_cast<std::size_t>(nColors), GXRgbQuad {});
    if (pColors && nColors > 0)
        std::copy(pColors, pColors + nColors, m_colorTable.begin());
    if (bPalette) {
        // Qt wants an entry for every index a pixel may hold.
        QList<QRgb> qtTable(256, kOpaque);
        for (std::size_t i = 0; i < m_colorTable.size(); ++i)
            qtTable[static_cast<qsizetype>(i)]
                = qRgb(m_colorTable[i].rgbRed, m_colorTable[i].rgbGreen, m_colorTable[i].rgbBlue);
        image.setColorTable(qtTable);
        image.fill(0);
    } else {
        image.fill(kOpaque);
    }
    m_image = std::move(image);
    m_nBitCount = nBitCount;
    return true;
}

bool GDib::Create24(int nWidth, int nHeight)
{
    if (!Create(nWidth, nHeight, 24))
        return false;
    return Fill(kGxColorKey);
}

bool GDib::Destroy()
{
    ReleaseMemDC();
    m_image = QImage();
    m_nBitCount = 0;
    m_colorTable.clear();
    m_bClip = false;
    m_rcClip = GXRect {};
    m_colorKey = kGxColorKey;
    return true;
}

void GDib::Assign(const GDib& src)
{
    if (&src == this)
        return;
    if (src.IsEmpty()) {
        Destroy();
        return;
    }
    src.ReleaseMemDC();
    if (GetWidth() == src.GetWidth() && GetHeight() == src.GetHeight() && m_nBitCount == src.m_nBitCount
        && m_nBitCount > 8) {
        ReleaseMemDC();
        m_image = src.m_image; // shared until either side writes
        return;
    }
    // The pixels are shared until either side writes: a new image of its
    // own here would be filled only to be thrown away (a back buffer is a
    // megabyte, and every page of it a fault).
    Destroy();
    m_image = src.m_image;
    m_nBitCount = src.m_nBitCount;
    m_colorTable = src.m_colorTable;
    m_colorKey = src.m_colorKey;
}

std::uint8_t* GDib::GetPixelAddress(int x, int y)
{
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return nullptr;
    ReleaseMemDC();
    return m_image.scanLine(y) + static_cast<std::ptrdiff_t>(x) * (IsRgb() ? 4 : 1);
}

const std::uint8_t* GDib::GetPixelAddress(int x, int y) const
{
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return nullptr;
    ReleaseMemDC();
    return m_image.constScanLine(y) + static_cast<std::ptrdiff_t>(x) * (IsRgb() ? 4 : 1);
}

int GDib::GetColorTable(GXRgbQuad* pTable, int nMax) const
{
    if (!pTable || nMax <= 0)
        return 0;
    const int n = std::min(nMax, GetColorCount());
    std::copy(m_colorTable.begin(), m_colorTable.begin() + n, pTable);
    return n;
}

bool GDib::SetColorKey(COLORREF key)
{
    m_colorKey = key;
    return true;
}

void GDib::SetClipRect(const GXRect* pRect)
{
    m_bClip = pRect != nullptr;
    m_rcClip = pRect ? *pRect : GXRect {};
}

QPainter* GDib::GetMemDC()
{
    if (IsEmpty() || !IsRgb())
        return nullptr;
    if (m_pPainter && m_pPainter->isActive())
        return m_pPainter.get();
    // Unshare the pixels first: the painter must draw into this image's
    // memory, not into a copy it shares with another image.
    m_image.bits();
    // The painter object outlives each begin and end, so a pointer a caller
    // still holds after raw access stays a (now inactive) painter.
    if (!m_pPainter)
        m_pPainter = std::make_unique<QPainter>();
    if (!m_pPainter->begin(&m_image))
        return nullptr;
    return m_pPainter.get();
}

void GDib::ReleaseMemDC() const
{
    if (m_pPainter && m_pPainter->isActive())
        m_pPainter->end();
}

// ---- filling and conversion ----

bool GDib::Fill(COLORREF color)
{
    if (m_nBitCount != 24 && m_nBitCount != 32)
        return false;
    ReleaseMemDC();
    m_image.fill(ToPixel(color));
    return true;
}

bool GDib::FillClip(COLORREF color)
{
    if (!m_bClip)
        return Fill(color);
    if (IsEmpty() || !IsRgb())
        return true;
    const int left = std::max(m_rcClip.left, 0);
    const int top = std::max(m_rcClip.top, 0);
    const int right = std::min(m_rcClip.right, GetWidth());
    const int bottom = std::min(m_rcClip.bottom, GetHeight());
    ReleaseMemDC();
    const std::uint32_t pixel = ToPixel(color);
    for (int y = top; y < bottom; ++y)
        std::fill(Row(m_image, y) + left, Row(m_image, y) + std::max(left, right), pixel);
    return true;
}

bool GDib::ConvertTo24()
{
    if (IsEmpty())
        return true;
    if (m_nBitCount == 32) {
        // The store already holds opaque 0xFFRRGGBB; the fourth byte is gone.
        m_nBitCount = 24;
        return true;
    }
    if (m_nBitCount > 8)
        return true;
    if (std::int64_t { GetWidth() } * GetHeight() > kMaxBytes / 4)
        return false;
    ReleaseMemDC();
    // Qt resolves the indices through the table Create gave the image, in
    // which indices past a short table read as black.
    QImage converted = m_image.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull())
        return false;
    const COLORREF key = m_colorKey;
    const bool bClip = m_bClip;
    const GXRect rcClip = m_rcClip;
    m_image = std::move(converted);
    m_nBitCount = 24;
    m_colorTable.clear();
    m_colorKey = key;
    m_bClip = bClip;
    m_rcClip = rcClip;
    return true;
}

bool GDib::ShiftColor(int nRed, int nGreen, int nBlue)
{
    if (IsEmpty() || m_nBitCount != 24)
        return false;
    ReleaseMemDC();
    const std::uint32_t key = ToPixel(m_colorKey) & kRgbMask;
    for (int y = 0; y < GetHeight(); ++y) {
        std::uint32_t* p = Row(m_image, y);
        for (int x = 0; x < GetWidth(); ++x) {
            if ((p[x] & kRgbMask) == key)
                continue;
            const int r = static_cast<int>(p[x] >> 16 & 0xFF) + nRed;
            const int g = static_cast<int>(p[x] >> 8 & 0xFF) + nGreen;
            const int b = static_cast<int>(p[x] & 0xFF) + nBlue;
            p[x] = kOpaque | std::uint32_t { ClampChannel(r) } << 16 | std::uint32_t { ClampChannel(g) } << 8
                | ClampChannel(b);
        }
    }
    return true;
}

// ---- drawing into another image ----

bool GDib::ClipBlock(const GDib& dest, Block* pBlock) const
{
    // 64-bit, because callers pass offsets from skin files unchecked.
    std::int64_t x = pBlock->x, y = pBlock->y, sx = pBlock->sx, sy = pBlock->sy;
    std::int64_t w = pBlock->nWidth, h = pBlock->nHeight;
    if (w <= 0 || h <= 0)
        return false;
    if (x < 0) {
        sx -= x, w += x, x = 0;
    }
    if (y < 0) {
        sy -= y, h += y, y = 0;
    }
    if (sx < 0) {
        x -= sx, w += sx, sx = 0;
    }
    if (sy < 0) {
        y -= sy, h += sy, sy = 0;
    }
    w = std::min({ w, GetWidth() - sx, dest.GetWidth() - x });
    h = std::min({ h, GetHeight() - sy, dest.GetHeight() - y });
    if (w <= 0 || h <= 0)
        return false;
    if (dest.m_bClip) {
        const std::int64_t left = std::max<std::int64_t>(x, dest.m_rcClip.left);
        const std::int64_t top = std::max<std::int64_t>(y, dest.m_rcClip.top);
        const std::int64_t right = std::min<std::int64_t>(x + w, dest.m_rcClip.right);
        const std::int64_t bottom = std::min<std::int64_t>(y + h, dest.m_rcClip.bottom);
        if (right <= left || bottom <= top)
            return false;
        sx += left - x, sy += top - y;
        x = left, y = top, w = right - left, h = bottom - top;
    }
    *pBlock = Block { static_cast<int>(x), static_cast<int>(y), static_cast<int>(sx), static_cast<int>(sy),
        static_cast<int>(w), static_cast<int>(h) };
    return true;
}

bool GDib::CopyBlock(GDib* pDest, const Block& requested, KeyMode mode) const
{
    if (!pDest)
        return false;
    if (pDest == this) {
        // Overlapping rows of one image: draw from a snapshot.
        const GDib snapshot(*this);
        return snapshot.CopyBlock(pDest, requested, mode);
    }
    Block block = requested;
    if (!ClipBlock(*pDest, &block) || m_nBitCount != pDest->m_nBitCount)
        return false;
    ReleaseMemDC();
    pDest->ReleaseMemDC();
    if (IsRgb()) {
        const std::uint32_t key = ToPixel(m_colorKey) & kRgbMask;
        for (int j = 0; j < block.nHeight; ++j) {
            const std::uint32_t* pSrc = Row(m_image, block.sy + j) + block.sx;
            std::uint32_t* pDst = Row(pDest->m_image, block.y + j) + block.x;
            if (mode == KeyMode::Opaque) {
                std::memcpy(pDst, pSrc, static_cast<std::size_t>(block.nWidth) * 4);
                continue;
            }
            CopyKeyedRow(pSrc, pDst, block.nWidth, key);
        }
        return true;
    }
    if (m_nBitCount != 8)
        return true; // 1- and 4-bit blocks are never drawn
    std::array<std::uint8_t, 256> lookup {};
    for (std::size_t i = 0; i < m_colorTable.size(); ++i)
        lookup[i] = static_cast<std::uint8_t>(NearestEntry(m_colorTable[i], pDest->m_colorTable));
    for (int j = 0; j < block.nHeight; ++j) {
        const std::uint8_t* pSrc = m_image.constScanLine(block.sy + j) + block.sx;
        std::uint8_t* pDst = pDest->m_image.scanLine(block.y + j) + block.x;
        for (int i = 0; i < block.nWidth; ++i)
            pDst[i] = lookup[pSrc[i]];
    }
    return true;
}

bool GDib::CopyTo(GDib* pDest, int x, int y, int sx, int sy, int nWidth, int nHeight) const
{
    return CopyBlock(pDest,
        Block { x, y, sx, sy, nWidth == -1 ? GetWidth() : nWidth, nHeight == -1 ? GetHeight() : nHeight },
        KeyMode::Opaque);
}

bool GDib::CopyTransparentTo(GDib* pDest, int x, int y, int sx, int sy, int nWidth, int nHeight) const
{
    return CopyBlock(pDest,
        Block { x, y, sx, sy, nWidth == -1 ? GetWidth() : nWidth, nHeight == -1 ? GetHeight() : nHeight },
        KeyMode::Keyed);
}

bool GDib::AlphaBlendTo(GDib* pDest, int nAlpha, int x, int y, int sx, int sy, int nWidth, int nHeight) const
{
    if (!pDest)
        return false;
    if (pDest == this) {
        const GDib snapshot(*this);
        return snapshot.AlphaBlendTo(pDest, nAlpha, x, y, sx, sy, nWidth, nHeight);
    }
    Block block { x, y, sx, sy, nWidth == -1 ? GetWidth() : nWidth, nHeight == -1 ? GetHeight() : nHeight };
    if (!ClipBlock(*pDest, &block) || m_nBitCount != pDest->m_nBitCount)
        return false;
    if (m_nBitCount != 24)
        return true;
    ReleaseMemDC();
    pDest->ReleaseMemDC();
    const int alpha = std::clamp(nAlpha, 0, 255);
    const std::uint8_t* table = AlphaTableFor(alpha);
    const std::uint32_t key = ToPixel(m_colorKey) & kRgbMask;
    for (int j = 0; j < block.nHeight; ++j)
        BlendRow(Row(m_image, block.sy + j) + block.sx, Row(pDest->m_image, block.y + j) + block.x, block.nWidth,
            BlendParams { key, alpha, table });
    return true;
}

bool GDib::StretchTo(GDib* pDest, int nWidth, int nHeight) const
{
    if (!pDest || m_nBitCount != pDest->m_nBitCount)
        return false;
    if (nWidth < 0)
        nWidth = pDest->GetWidth();
    if (nHeight < 0)
        nHeight = pDest->GetHeight();
    // A stretched draw is never clipped; it is refused instead.
    if (nWidth <= 0 || nHeight <= 0 || pDest->GetWidth() <= 1 || pDest->GetHeight() <= 1 || pDest->m_bClip)
        return false;
    if (m_nBitCount != 24 || IsEmpty())
        return true;
    if (pDest == this) {
        const GDib snapshot(*this);
        return snapshot.StretchTo(pDest, nWidth, nHeight);
    }
    ReleaseMemDC();
    pDest->ReleaseMemDC();
    const std::int64_t xStep = (std::int64_t { GetWidth() } << 16) / nWidth;
    const std::int64_t yStep = (std::int64_t { GetHeight() } << 16) / nHeight;
    // A target larger than the destination shows only its part inside it.
    nWidth = std::min(nWidth, pDest->GetWidth());
    nHeight = std::min(nHeight, pDest->GetHeight());
    for (int j = 0; j < nHeight; ++j) {
        const std::uint32_t* pSrc = Row(m_image, static_cast<int>((j * yStep) >> 16));
        std::uint32_t* pDst = Row(pDest->m_image, j);
        for (int i = 0; i < nWidth; ++i)
            pDst[i] = pSrc[(i * xStep) >> 16];
    }
    return true;
}

bool GDib::TileTo(
    int nTileWidth, int nTileHeight, GDib* pDest, const GXRect& rect, Transparent transparent, int sx, int sy) const
{
    if (!pDest)
        return false;
    if (nTileWidth == -1)
        nTileWidth = GetWidth();
    if (nTileHeight == -1)
        nTileHeight = GetHeight();
    if (nTileWidth <= 0 || nTileHeight <= 0)
        return false;
    if (sx == -1)
        sx = 0;
    if (sy == -1)
        sy = 0;
    // Pieces left of or above the destination are clipped away anyway; skip
    // whole tiles there, keeping the pattern's phase, so a huge rectangle
    // from a skin file cannot make us loop for ever.
    std::int64_t left = rect.left, top = rect.top;
    if (left < 0)
        left += (-left / nTileWidth) * nTileWidth;
    if (top < 0)
        top += (-top / nTileHeight) * nTileHeight;
    const std::int64_t right = std::min<std::int64_t>(rect.right, pDest->GetWidth());
    const std::int64_t bottom = std::min<std::int64_t>(rect.bottom, pDest->GetHeight());
    const KeyMode mode = transparent == Transparent::Yes ? KeyMode::Keyed : KeyMode::Opaque;
    for (std::int64_t x = left; x < right; x += nTileWidth) {
        for (std::int64_t y = top; y < bottom; y += nTileHeight) {
            const int w = static_cast<int>(std::min<std::int64_t>(nTileWidth, rect.right - x));
            const int h = static_cast<int>(std::min<std::int64_t>(nTileHeight, rect.bottom - y));
            CopyBlock(pDest, Block { static_cast<int>(x), static_cast<int>(y), sx, sy, w, h }, mode);
        }
    }
    return true;
}

bool GDib::DrawFrameTo(GDib* pDest, int x, int y, int nFrames, int nFrame, Transparent transparent) const
{
    if (nFrames <= 0 || nFrame < 0 || nFrame >= nFrames)
        return false;
    const int nFrameWidth = GetWidth() / nFrames;
    const Block block { x, y, nFrame * nFrameWidth, 0, nFrameWidth, GetHeight() };
    return CopyBlock(pDest, block, transparent == Transparent::Yes ? KeyMode::Keyed : KeyMode::Opaque);
}

bool GDib::DrawCellTo(GDib* pDest, int x, int y, int nColumns, int nColumn, int nRows, int nRow) const
{
    if (nColumns <= 0 || nRows <= 0 || nColumn < 0 || nColumn >= nColumns || nRow < 0 || nRow >= nRows)
        return false;
    const int nCellWidth = GetWidth() / nColumns;
    const int nCellHeight = GetHeight() / nRows;
    return CopyBlock(
        pDest, Block { x, y, nColumn * nCellWidth, nRow * nCellHeight, nCellWidth, nCellHeight }, KeyMode::Keyed);
}

// ---- drawing onto a paint device ----

bool GDib::BitBltTo(QPainter* pDC, int x, int y, int sx, int sy, int nWidth, int nHeight) const
{
    if (nWidth == -1)
        nWidth = GetWidth();
    if (nHeight == -1)
        nHeight = GetHeight();
    if (nWidth == 0 || nHeight == 0 || !pDC || !pDC->isActive() || IsEmpty())
        return false;
    ReleaseMemDC();
    pDC->drawImage(QPoint(x, y), m_image, QRect(sx, sy, nWidth, nHeight));
    return true;
}

bool GDib::BitBltFrameTo(QPainter* pDC, int x, int y, int nFrames, int nFrame) const
{
    if (nFrames <= 0)
        return false;
    const int nFrameWidth = GetWidth() / nFrames;
    return BitBltTo(pDC, x, y, nFrame * nFrameWidth, 0, nFrameWidth, GetHeight());
}

bool GDib::DrawToWindow(QPaintDevice* pWindow) const
{
    if (!pWindow || IsEmpty())
        return false;
    ReleaseMemDC();
    QPainter painter;
    if (!painter.begin(pWindow))
        return false;
    painter.drawImage(QPoint(0, 0), m_image);
    return true;
}

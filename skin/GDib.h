#pragma once

#include "skin/GXTypes.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QByteArray;
class QIODevice;
class QPaintDevice;
class QPainter;

// Thread: an image is used by one thread at a time. Loading and converting
// may run on any thread (a picture prefetch decodes on its own); blending
// only on the user-interface thread (the alpha-blend table is shared and
// unlocked).
// The skin engine's one image type: every skin image and every skin
// window's back buffer. Pixels live in a 32-bit QImage (0xFFRRGGBB) so that
// QPainter can draw text and fills into the same memory the blit loops read;
// palette images (1, 4, 8 bits) keep one index byte per pixel. The logical
// bit count is what the rules go by: images of different bit counts never
// draw into one another, and the loader converts everything it can to 24.
// An image keeps its identity across Create, so controls may hold the back
// buffer's address while the window resizes it.
class GDib {
public:
    enum class Transparent { No, Yes };

    // Largest side and pixel count Create accepts: a skin never needs more,
    // and hostile headers must not make us allocate gigabytes.
    static constexpr int kMaxSide = 32767;
    static constexpr std::int64_t kMaxBytes = std::int64_t { 256 } << 20;

    GDib();
    GDib(const GDib& src);
    GDib& operator=(const GDib& src);
    ~GDib();

    // ---- construction and storage ----
    // A new zero-filled image. False for a side outside 1..kMaxSide or more
    // than kMaxBytes (the image stays as it was), and for a bit count not in
    // {1,4,8,16,24,32} or a colour count above 256 (or 1 << bits for palette
    // images), which leave it empty.
    [[nodiscard]] bool Create(
        int nWidth, int nHeight, int nBitCount, int nColors = 0, const GXRgbQuad* pColors = nullptr);
    // A 24-bit image filled with the colour key: entirely transparent.
    [[nodiscard]] bool Create24(int nWidth, int nHeight);
    bool Destroy();
    // Deep copy; same size and depth above 8 bits copies only the pixels and
    // keeps this image's colour key.
    void Assign(const GDib& src);

    [[nodiscard]] bool IsEmpty() const { return m_image.isNull(); }
    [[nodiscard]] int GetWidth() const { return m_image.width(); }
    [[nodiscard]] int GetHeight() const { return m_image.height(); }
    [[nodiscard]] int GetBitCount() const { return m_nBitCount; }
    [[nodiscard]] int GetColorCount() const { return static_cast<int>(m_colorTable.size()); }

    // Pixel (x, y), y counted from the top: 4 bytes (B, G, R, 0xFF) for 16,
    // 24 and 32 bits, one index byte for palette images; null outside the
    // image. Ends an open GetMemDC painter first.
    [[nodiscard]] std::uint8_t* GetPixelAddress(int x, int y);
    [[nodiscard]] const std::uint8_t* GetPixelAddress(int x, int y) const;
    // Copies up to nMax colour-table entries; returns how many.
    int GetColorTable(GXRgbQuad* pTable, int nMax) const;

    bool SetColorKey(COLORREF key);
    [[nodiscard]] COLORREF GetColorKey() const { return m_colorKey; }
    // Confines every drawing into this image to the rectangle; null clears.
    void SetClipRect(const GXRect* pRect);
    // The clip rectangle, or null when drawing is not clipped.
    [[nodiscard]] const GXRect* GetClipRect() const { return m_bClip ? &m_rcClip : nullptr; }

    // A painter on the pixels, begun on first use and kept until
    // ReleaseMemDC, Destroy, Create or raw pixel access; null for an empty
    // or palette image.
    QPainter* GetMemDC();
    void ReleaseMemDC() const;

    // The pixels as Qt sees them (for painting onto widgets and tests).
    [[nodiscard]] const QImage& GetImage() const { return m_image; }

    // ---- loading (each empties the image first; a failure leaves it empty) ----
    // Our own BMP reader: 1, 4, 8, 16, 24 and 32 bits, RLE8, RLE4, bit
    // fields, top-down rows; 16-bit and bit-field pixels become 24 bits, rows
    // missing from a short file stay black. False for what it does not read
    // (core headers, other compressions), which LoadPicture may still read.
    [[nodiscard]] bool LoadBmpFile(const std::string& path);
    [[nodiscard]] bool LoadBmp(QIODevice& file);
    [[nodiscard]] bool LoadBmpMemory(const void* pData, std::size_t nSize);
    // Any format Qt decodes (BMP, PNG, JPEG, GIF, ICO, ...); pixels with
    // alpha are composed over black; the result is 24 bits.
    [[nodiscard]] bool LoadPictureFile(const std::string& path);
    [[nodiscard]] bool LoadPictureMemory(const void* pData, std::size_t nSize);
    // A skin's picture file (a bitmap, or any picture the toolkit reads) as
    // a 24-bit image; null when it is neither.
    [[nodiscard]] static std::unique_ptr<GDib> FromFileData(const std::string& data);
    [[nodiscard]] bool LoadPicture(const QByteArray& data);

    // ---- filling and conversion ----
    bool Fill(COLORREF color);
    bool FillClip(COLORREF color);
    bool ConvertTo24();
    bool ShiftColor(int nRed, int nGreen, int nBlue);

    // ---- drawing into another image (this is the source) ----
    // A width or height of -1 means the source's. False when nothing could
    // be drawn for the geometry or the two bit counts differ.
    bool CopyTo(GDib* pDest, int x, int y, int sx = 0, int sy = 0, int nWidth = -1, int nHeight = -1) const;
    bool CopyTransparentTo(GDib* pDest, int x, int y, int sx = 0, int sy = 0, int nWidth = -1, int nHeight = -1) const;
    bool AlphaBlendTo(
        GDib* pDest, int nAlpha, int x, int y, int sx = 0, int sy = 0, int nWidth = -1, int nHeight = -1) const;
    // Nearest neighbour, the whole source onto the destination's (0, 0,
    // width, height), negative meaning the destination's size; 24 bits only.
    // Refused when the destination is clipped or at most one pixel across.
    bool StretchTo(GDib* pDest, int nWidth = -1, int nHeight = -1) const;
    // Covers rect with pieces of the tile at (sx, sy) of the source, from the
    // rectangle's top-left corner; -1 means the source's size and 0.
    bool TileTo(int nTileWidth, int nTileHeight, GDib* pDest, const GXRect& rect, Transparent transparent, int sx = -1,
        int sy = -1) const;
    // Frame nFrame of a horizontal strip of nFrames equal frames, and cell
    // (column, row) of a grid (always keyed); false for an index outside.
    bool DrawFrameTo(GDib* pDest, int x, int y, int nFrames, int nFrame, Transparent transparent) const;
    bool DrawCellTo(GDib* pDest, int x, int y, int nColumns, int nColumn, int nRows, int nRow) const;

    // ---- drawing onto a paint device through a painter ----
    // Opaque; -1 means the image's size; false without an active painter.
    bool BitBltTo(QPainter* pDC, int x, int y, int sx = 0, int sy = 0, int nWidth = -1, int nHeight = -1) const;
    bool BitBltFrameTo(QPainter* pDC, int x, int y, int nFrames, int nFrame) const;
    // The whole image at (0, 0); false when no painter can begin on the
    // device (a widget outside its paint event, for one).
    bool DrawToWindow(QPaintDevice* pWindow) const;

private:
    // Create's limits on the sides and the size.
    [[nodiscard]] static bool IsAllowedSize(int nWidth, int nHeight, int nBitCount);
    struct Block;
    enum class KeyMode { Opaque, Keyed };

    [[nodiscard]] bool ClipBlock(const GDib& dest, Block* pBlock) const;
    bool CopyBlock(GDib* pDest, const Block& block, KeyMode mode) const;
    [[nodiscard]] bool IsRgb() const { return m_nBitCount >= 16; }
    [[nodiscard]] bool LoadBmpBytes(const std::uint8_t* pData, std::size_t nSize);

    QImage m_image;
    int m_nBitCount = 0;
    std::vector<GXRgbQuad> m_colorTable;
    // Raw pixel access ends the painter, also from const readers.
    mutable std::unique_ptr<QPainter> m_pPainter;
    bool m_bClip = false;
    GXRect m_rcClip;
    COLORREF m_colorKey = kGxColorKey;
};

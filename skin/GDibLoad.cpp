// GDib's loaders: our own BMP reader (uncompressed, RLE8, RLE4, bit fields)
// and Qt's decoders for every other format. Every byte of a BMP comes from a
// skin file or a zip entry, so every read is bounded by the data and every
// write by the image.
#include "skin/GDib.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitFields = 3;
// A file larger than any image Create accepts plus its headers cannot be a
// skin image; reading stops there.
constexpr std::int64_t kMaxFileBytes = GDib::kMaxBytes + (std::int64_t { 1 } << 20);

std::uint16_t ReadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t ReadU32(const std::uint8_t* p)
{
    return std::uint32_t { p[0] } | std::uint32_t { p[1] } << 8 | std::uint32_t { p[2] } << 16
        | std::uint32_t { p[3] } << 24;
}

// The decoder for data that opens with a format's own signature. Named
// (and Qt told not to look further), it is the only one Qt tries; else Qt
// loads every image plugin it has to ask each whether it reads the data.
const char* FormatBySignature(const QByteArray& data)
{
    struct Signature {
        std::string_view bytes;
        const char* format;
    };
    static constexpr std::array<Signature, 4> kSignatures { {
        { std::string_view("\x89PNG\r\n\x1a\n", 8), "png" },
        { std::string_view("\xFF\xD8\xFF", 3), "jpeg" },
        { std::string_view("GIF87a", 6), "gif" },
        { std::string_view("GIF89a", 6), "gif" },
    } };
    const std::string_view head(data.constData(), static_cast<std::size_t>(data.size()));
    for (const Signature& signature : kSignatures) {
        if (head.substr(0, signature.bytes.size()) == signature.bytes)
            return signature.format;
    }
    return nullptr;
}

// One channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int nShift = 0;
    int nBits = 0;

    explicit Channel(std::uint32_t m)
        : mask(m)
    {
        if (m == 0)
            return;
        while (!(m & 1)) {
            m >>= 1;
            ++nShift;
        }
        while (m & 1) {
            m >>= 1;
            ++nBits;
        }
    }
    [[nodiscard]] std::uint32_t Get(std::uint32_t pixel) const
    {
        if (nBits == 0)
            return 0;
        // Only the mask's lowest run of bits counts; a mask with gaps must
        // not spill into the neighbouring channels.
        const std::uint32_t maxValue = nBits >= 32 ? 0xFFFFFFFFu : (1u << nBits) - 1;
        const std::uint32_t v = ((pixel & mask) >> nShift) & maxValue;
        return static_cast<std::uint32_t>((std::uint64_t { v } * 255 + maxValue / 2) / maxValue);
    }
};

// Decodes RLE8 or RLE4 pairs into one index byte per pixel. Rows are counted
// from the bottom as the stream stores them; pixels past a row or past the
// image are dropped, and the stream ends with its data.
void DecodeRle(const std::uint8_t* pData, std::size_t nSize, int nBits, QImage& image)
{
    const int nWidth = image.width();
    const int nHeight = image.height();
    std::size_t pos = 0;
    std::int64_t x = 0;
    std::int64_t row = 0;
    auto put = [&](std::uint8_t index) {
        if (x < nWidth && row < nHeight)
            image.scanLine(static_cast<int>(nHeight - 1 - row))[x] = index;
        ++x;
    };
    while (pos + 1 < nSize && row < nHeight) {
        const std::uint8_t first = pData[pos];
        const std::uint8_t second = pData[pos + 1];
        pos += 2;
        if (first != 0) {
            // A run never continues onto the next row.
            for (int i = 0; i < first && x < nWidth; ++i)
                put(nBits == 8 ? second : static_cast<std::uint8_t>(i % 2 == 0 ? second >> 4 : second & 0x0F));
            continue;
        }
        if (second == 0) {
            x = 0;
            ++row;
        } else if (second == 1) {
            return;
        } else if (second == 2) {
            if (pos + 1 >= nSize)
                return;
            x += pData[pos];
            row += pData[pos + 1];
            pos += 2;
        } else {
            const std::size_t nBytes = nBits == 8 ? second : (second + 1u) / 2;
            if (nBytes > nSize - pos)
                return;
            for (int i = 0; i < second; ++i) {
                const std::uint8_t byte = pData[pos + static_cast<std::size_t>(nBits == 8 ? i : i / 2)];
                put(nBits == 8 ? byte : static_cast<std::uint8_t>(i % 2 == 0 ? byte >> 4 : byte & 0x0F));
            }
            pos += (nBytes + 1) & ~std::size_t { 1 };
        }
    }
}

// Reads up to kMaxFileBytes in pieces, so a large claimed size costs no
// allocation before the bytes are really there. Empty when the device holds
// more than that.
QByteArray ReadBounded(QIODevice& device)
{
    QByteArray data;
    char piece[65536];
    for (;;) {
        const qint64 n = device.read(piece, sizeof piece);
        if (n <= 0)
            return data;
        if (data.size() + n > kMaxFileBytes)
            return QByteArray();
        data.append(piece, static_cast<qsizetype>(n));
    }
}

} // namespace

bool GDib::LoadBmpFile(const std::string& path)
{
    Destroy();
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return LoadBmp(file);
}

bool GDib::LoadBmp(QIODevice& file)
{
    Destroy();
    const QByteArray data = ReadBounded(file);
    return LoadBmpBytes(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
}

bool GDib::LoadBmpMemory(const void* pData, std::size_t nSize)
{
    Destroy();
    if (!pData)
        return false;
    return LoadBmpBytes(static_cast<const std::uint8_t*>(pData), nSize);
}

// A BMP file: a 14-byte file header ("BM", size, reserved, pixel offset), an
// info header of 40 bytes or more, masks or a colour table, then the pixel
// rows. What this reader refuses (core headers, unknown compressions) falls
// to the general decoder in the caller.
bool GDib::LoadBmpBytes(const std::uint8_t* p, std::size_t nSize)
{
    if (nSize <= kFileHeaderSize || ReadU16(p) != 0x4D42)
        return false;
    const std::uint32_t offset = ReadU32(p + 10);
    if (offset <= kFileHeaderSize + kInfoHeaderSize - 1 || offset >= nSize)
        return false;
    const std::uint8_t* pInfo = p + kFileHeaderSize;
    const std::uint32_t nInfoSize = ReadU32(pInfo);
    if (nInfoSize < kInfoHeaderSize || nInfoSize > offset - kFileHeaderSize)
        return false;
    const std::int32_t nWidth = static_cast<std::int32_t>(ReadU32(pInfo + 4));
    const std::int32_t nRawHeight = static_cast<std::int32_t>(ReadU32(pInfo + 8));
    const int nBits = ReadU16(pInfo + 14);
    const std::uint32_t nCompression = ReadU32(pInfo + 16);
    const std::uint32_t nSizeImage = ReadU32(pInfo + 20);
    // Top-down files store their first row first; compressed ones may not.
    const bool bTopDown = nRawHeight < 0;
    if (nRawHeight == INT32_MIN || (bTopDown && nCompression != kBiRgb && nCompression != kBiBitFields))
        return false;
    const int nHeight = bTopDown ? -nRawHeight : nRawHeight;

    const bool bKnown = (nCompression == kBiRgb && nBits != 0) || (nCompression == kBiRle8 && nBits == 8)
        || (nCompression == kBiRle4 && nBits == 4) || (nCompression == kBiBitFields && (nBits == 16 || nBits == 32));
    if (!bKnown)
        return false;

    // Everything between the info header and the pixels is colour table, up
    // to what the depth can index.
    std::vector<GXRgbQuad> table;
    if (nBits <= 8) {
        const std::size_t nEntries
            = std::min<std::size_t>((offset - kFileHeaderSize - nInfoSize) / 4, std::size_t { 1 } << nBits);
        const std::uint8_t* pTable = pInfo + nInfoSize;
        for (std::size_t i = 0; i < nEntries; ++i)
            table.push_back(GXRgbQuad { pTable[i * 4], pTable[i * 4 + 1], pTable[i * 4 + 2], 0 });
    }

    // 16-bit and bit-field pixels are unpacked to 24 bits: nothing draws them
    // at their own depth.
    std::uint32_t masks[3] = { 0x7C00, 0x03E0, 0x001F };
    if (nBits == 32 && nCompression == kBiRgb) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    } else if (nCompression == kBiBitFields) {
        // The masks follow a 40-byte header or sit inside a larger one.
        if (offset - kFileHeaderSize < kInfoHeaderSize + 12)
            return false;
        for (int i = 0; i < 3; ++i)
            masks[i] = ReadU32(pInfo + kInfoHeaderSize + 4 * i);
    }
    const int nStoreBits = nBits == 16 || nCompression == kBiBitFields ? 24 : nBits;
    // A palette image is drawn only after it becomes 24 bits; one too large
    // for that is refused before its pixels cost anything. A few bytes of
    // RLE can otherwise claim hundreds of megapixels.
    if (std::int64_t { nWidth } * nHeight > kMaxBytes / 4)
        return false;
    if (!Create(nWidth, nHeight, nStoreBits, static_cast<int>(table.size()), table.data()))
        return false;

    const std::uint8_t* pPixels = p + offset;
    const std::size_t nAvailable = nSize - offset;
    if (nCompression == kBiRle8 || nCompression == kBiRle4) {
        const std::size_t nData = nSizeImage == 0 ? nAvailable : std::min<std::size_t>(nSizeImage, nAvailable);
        DecodeRle(pPixels, nData, nBits, m_image);
        return true;
    }

    // Rows that are not all present (a truncated file) stay black.
    const std::int64_t nStride = ((std::int64_t { nWidth } * nBits + 31) / 32) * 4;
    const std::int64_t nRows = std::min<std::int64_t>(nHeight, static_cast<std::int64_t>(nAvailable) / nStride);
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (std::int64_t r = 0; r < nRows; ++r) {
        const std::uint8_t* pRow = pPixels + r * nStride;
        const int y = static_cast<int>(bTopDown ? r : nHeight - 1 - r);
        std::uint8_t* pOut = m_image.scanLine(y);
        auto* pOut32 = reinterpret_cast<std::uint32_t*>(pOut);
        for (int x = 0; x < nWidth; ++x) {
            switch (nBits) {
            case 1:
                pOut[x] = static_cast<std::uint8_t>(pRow[x / 8] >> (7 - x % 8) & 1);
                break;
            case 4:
                pOut[x] = static_cast<std::uint8_t>(x % 2 == 0 ? pRow[x / 2] >> 4 : pRow[x / 2] & 0x0F);
                break;
            case 8:
                pOut[x] = pRow[x];
                break;
            case 24:
                pOut32[x] = 0xFF000000u | std::uint32_t { pRow[x * 3 + 2] } << 16
                    | std::uint32_t { pRow[x * 3 + 1] } << 8 | pRow[x * 3];
                break;
            default: {
                const std::uint32_t v = nBits == 16 ? ReadU16(pRow + x * 2) : ReadU32(pRow + x * 4);
                pOut32[x] = 0xFF000000u | red.Get(v) << 16 | green.Get(v) << 8 | blue.Get(v);
                break;
            }
            }
        }
    }
    return true;
}

bool GDib::LoadPictureFile(const std::string& path)
{
    Destroy();
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return LoadPicture(ReadBounded(file));
}

bool GDib::LoadPictureMemory(const void* pData, std::size_t nSize)
{
    Destroy();
    if (!pData || nSize == 0 || static_cast<std::int64_t>(nSize) > kMaxFileBytes)
        return false;
    return LoadPicture(QByteArray(static_cast<const char*>(pData), static_cast<qsizetype>(nSize)));
}

std::unique_ptr<GDib> GDib::FromFileData(const std::string& data)
{
    auto pImage = std::make_unique<GDib>();
    if (!pImage->LoadBmpMemory(data.data(), data.size()) && !pImage->LoadPictureMemory(data.data(), data.size()))
        return nullptr;
    if (!pImage->ConvertTo24())
        return nullptr;
    return pImage;
}

bool GDib::LoadPicture(const QByteArray& data)
{
    Destroy();
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    const char* pFormat = FormatBySignature(data);
    QImageReader reader(&buffer, pFormat);
    reader.setAutoDetectImageFormat(pFormat == nullptr);
    reader.setDecideFormatFromContent(pFormat == nullptr);
    // Refuse what Create would refuse before the decoder allocates it.
    const QSize size = reader.size();
    if (size.isValid()
        && (size.width() > kMaxSide || size.height() > kMaxSide
            || std::int64_t { size.width() } * size.height() * 4 > kMaxBytes))
        return false;
    QImage decoded;
    if (!reader.read(&decoded) || decoded.isNull())
        return false;
    if (decoded.hasAlphaChannel()) {
        if (!Create(decoded.width(), decoded.height(), 24))
            return false;
        // See-through pixels show black, as the picture would over a fresh
        // black image.
        QPainter painter(&m_image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(QPoint(0, 0), decoded);
        return true;
    }
    // An opaque picture is taken as decoded, without a filled image of its
    // size made first only to be replaced.
    if (!IsAllowedSize(decoded.width(), decoded.height(), 24))
        return false;
    m_image = decoded.convertToFormat(QImage::Format_RGB32);
    m_nBitCount = 24;
    return !m_image.isNull();
}

#include "skin/SkinCursor.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <array>
#include <cstdint>
#include <utility>

namespace {

// An animated cursor holds its frames as nested chunks; skins nest a few.
constexpr int kMaxChunkDepth = 4;

std::uint16_t Read16(std::string_view data, std::size_t offset)
{
    return static_cast<std::uint16_t>(
        static_cast<unsigned char>(data[offset]) | static_cast<unsigned char>(data[offset + 1]) << 8);
}

std::uint32_t Read32(std::string_view data, std::size_t offset)
{
    return static_cast<std::uint32_t>(Read16(data, offset))
        | static_cast<std::uint32_t>(Read16(data, offset + 2)) << 16;
}

// The first "icon" chunk inside the RIFF chunk list data[begin, end).
std::string_view FindIconChunk(std::string_view data, int nDepth)
{
    std::size_t offset = 0;
    while (offset + 8 <= data.size()) {
        const std::string_view id = data.substr(offset, 4);
        const std::uint64_t nSize = Read32(data, offset + 4);
        const std::size_t nBody = offset + 8;
        if (nSize > data.size() - nBody)
            return {};
        const std::string_view body = data.substr(nBody, static_cast<std::size_t>(nSize));
        if (id == "icon")
            return body;
        if (id == "LIST" && body.size() >= 4 && body.substr(0, 4) == "fram" && nDepth < kMaxChunkDepth) {
            const std::string_view found = FindIconChunk(body.substr(4), nDepth + 1);
            if (!found.empty())
                return found;
        }
        // Chunks are padded to an even length.
        offset = nBody + static_cast<std::size_t>(nSize) + (nSize & 1);
    }
    return {};
}

std::optional<QCursor> CursorFromIconFile(std::string_view data)
{
    // ICONDIR: reserved 0, type 1 (icon) or 2 (cursor), count; then 16-byte
    // entries whose bytes 4..7 are the hotspot of a cursor.
    if (data.size() < 6 + 16 || Read16(data, 0) != 0)
        return std::nullopt;
    const std::uint16_t nType = Read16(data, 2);
    if ((nType != 1 && nType != 2) || Read16(data, 4) == 0)
        return std::nullopt;
    int nHotX = 0;
    int nHotY = 0;
    if (nType == 2) {
        nHotX = Read16(data, 6 + 4);
        nHotY = Read16(data, 6 + 6);
    }
    // Qt reads the image of the first entry; it is told the file is an icon,
    // which is the same layout.
    QByteArray bytes(data.data(), static_cast<qsizetype>(data.size()));
    bytes[2] = 1;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    // Only the icon decoder, not every image plugin asked in turn.
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    nHotX = std::min(nHotX, image.width() - 1);
    nHotY = std::min(nHotY, image.height() - 1);
    return QCursor(QPixmap::fromImage(image), nHotX, nHotY);
}

} // namespace

std::optional<QCursor> LoadSkinCursor(std::string_view data)
{
    if (data.size() >= 12 && data.substr(0, 4) == "RIFF" && data.substr(8, 4) == "ACON") {
        const std::uint64_t nRiff = Read32(data, 4);
        const std::string_view chunks = data.substr(
            12, static_cast<std::size_t>(std::min<std::uint64_t>(nRiff >= 4 ? nRiff - 4 : 0, data.size() - 12)));
        const std::string_view frame = FindIconChunk(chunks, 0);
        return frame.empty() ? std::nullopt : CursorFromIconFile(frame);
    }
    return CursorFromIconFile(data);
}

std::optional<QCursor> PredefinedSkinCursor(const std::string& name)
{
    static const std::array<std::pair<const char*, Qt::CursorShape>, 16> kShapes { {
        { "IDC_APPSTARTING", Qt::BusyCursor },
        { "IDC_ARROW", Qt::ArrowCursor },
        { "IDC_CROSS", Qt::CrossCursor },
        { "IDC_HAND", Qt::PointingHandCursor },
        { "IDC_HELP", Qt::WhatsThisCursor },
        { "IDC_IBEAM", Qt::IBeamCursor },
        { "IDC_ICON", Qt::ArrowCursor },
        { "IDC_NO", Qt::ForbiddenCursor },
        { "IDC_SIZE", Qt::SizeAllCursor },
        { "IDC_SIZEALL", Qt::SizeAllCursor },
        { "IDC_SIZENESW", Qt::SizeBDiagCursor },
        { "IDC_SIZENS", Qt::SizeVerCursor },
        { "IDC_SIZENWSE", Qt::SizeFDiagCursor },
        { "IDC_SIZEWE", Qt::SizeHorCursor },
        { "IDC_UPARROW", Qt::UpArrowCursor },
        { "IDC_WAIT", Qt::WaitCursor },
    } };
    for (const auto& [pszName, shape] : kShapes) {
        if (name == pszName)
            return QCursor(shape);
    }
    return std::nullopt;
}

#include "skin/SkinRegion.h"

#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/SkinFormat.h"

#include <QPainterPath>
#include <QPolygon>

#include <cstdio>
#include <vector>

namespace {

// Regions are built from batches of row runs so that no single region
// description grows without bound on a large, busy mask.
constexpr std::size_t kRectBatch = 1000;

// Up to n comma-separated integers; the rest stay 0.
void ReadNumbers(const std::string& text, int* pValues, int n)
{
    GXRect first;
    ParseSkinRect(text, &first);
    pValues[0] = first.left, pValues[1] = first.top, pValues[2] = first.right, pValues[3] = first.bottom;
    if (n <= 4)
        return;
    // The two corner numbers after the box of a rounded rectangle.
    std::size_t pos = 0;
    for (int commas = 0; commas < 4 && pos != std::string::npos; ++commas) {
        pos = text.find(',', pos);
        if (pos != std::string::npos)
            ++pos;
    }
    if (pos == std::string::npos)
        return;
    GXPoint corner;
    ParseSkinPoint(text.substr(pos), &corner);
    pValues[4] = corner.x, pValues[5] = corner.y;
}

QRect BoxOf(const int* v)
{
    const int left = std::min(v[0], v[2]), right = std::max(v[0], v[2]);
    const int top = std::min(v[1], v[3]), bottom = std::max(v[1], v[3]);
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

QRegion RoundRectRegion(const QRect& box, int nCornerWidth, int nCornerHeight)
{
    // The corner numbers give the full corner ellipse; its radii are half.
    QPainterPath path;
    path.addRoundedRect(QRectF(box), nCornerWidth / 2.0, nCornerHeight / 2.0);
    return QRegion(path.toFillPolygon().toPolygon(), Qt::WindingFill);
}

std::optional<QRegion> CreateRegionFromImage(const GDib* pImage)
{
    if (!pImage || pImage->IsEmpty())
        return std::nullopt;
    GDib image(*pImage);
    image.ConvertTo24();
    const QImage& pixels = image.GetImage();
    constexpr QRgb kMagenta = 0x00FF00FF;
    QRegion result;
    std::vector<QRect> pending;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* pRow = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int x = 0;
        while (x < pixels.width()) {
            while (x < pixels.width() && (pRow[x] & 0x00FFFFFF) == kMagenta)
                ++x;
            const int start = x;
            while (x < pixels.width() && (pRow[x] & 0x00FFFFFF) != kMagenta)
                ++x;
            if (x > start)
                pending.emplace_back(start, y, x - start, 1);
        }
        if (pending.size() >= kRectBatch || y == pixels.height() - 1) {
            QRegion batch;
            batch.setRects(pending.data(), static_cast<int>(pending.size()));
            result = result.united(batch);
            pending.clear();
        }
    }
    return result;
}

bool BuildWindowRegion(
    const GXmpData* pElement, QRegion* pRegion, int* pError, std::string* pDetail, const SkinImageLookup& findImage)
{
    if (!pElement || pElement->GetName() != "SetWindowRgn")
        return false;
    *pRegion = QRegion();
    auto fail = [&](int nError, const std::string& detail) {
        *pError = nError;
        *pDetail = detail;
        return false;
    };
    GXmpData::Position pos = pElement->GetFirstChildPosition();
    while (const GXmpData* pChild = pElement->GetNextChild(pos)) {
        if (pChild->GetType() != GXmpData::kElement || pChild->GetName() != "Rgn")
            return fail(SkinRegionError::kBadChildTag, pChild->GetName());
        std::string type;
        if (!pChild->GetAttribute("Type", &type))
            return fail(SkinRegionError::kChildMissingAttribute, "Rgn,Type");
        const std::string param = pChild->GetAttributeString("Param", "");
        const std::string mode = pChild->GetAttributeString("Mode", "");

        if (type != "rect" && type != "ellipse" && type != "roundrect" && type != "bitmap")
            return fail(SkinRegionError::kUnknownType, type);
        if (param.empty())
            return fail(SkinRegionError::kMissingAttribute, "Type,Param");
        QRegion shape;
        int v[6] = { 0, 0, 0, 0, 0, 0 };
        if (type == "rect") {
            ReadNumbers(param, v, 4);
            shape = QRegion(BoxOf(v));
        } else if (type == "ellipse") {
            ReadNumbers(param, v, 4);
            shape = QRegion(BoxOf(v), QRegion::Ellipse);
        } else if (type == "roundrect") {
            ReadNumbers(param, v, 6);
            shape = RoundRectRegion(BoxOf(v), v[4], v[5]);
        } else {
            const GDib* pImage = findImage ? findImage(param) : nullptr;
            if (!pImage)
                return fail(SkinRegionError::kImageOpen, param);
            const std::optional<QRegion> cut = CreateRegionFromImage(pImage);
            if (!cut)
                return fail(SkinRegionError::kBitmapRegion, "");
            shape = *cut;
        }

        // "copy" copies the region onto itself: it stays as it is.
        if (mode == "and")
            *pRegion = pRegion->intersected(shape);
        else if (mode == "diff")
            *pRegion = pRegion->subtracted(shape);
        else if (mode == "xor")
            *pRegion = pRegion->xored(shape);
        else if (mode != "copy")
            *pRegion = pRegion->united(shape);
    }
    return true;
}

#include "skin/controls/GXConRgn.h"

#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/GXSkinIds.h"
#include "skin/SkinFormat.h"
#include "skin/SkinRegion.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kErrorMissing = GXSkinError::kMissingAttribute;
constexpr int kErrorImage = GXSkinError::kImageOpen;
constexpr int kErrorUnknownType = GXSkinError::kUnknownType;

int Sum(long long a, long long b, long long c)
{
    return static_cast<int>(std::clamp<long long>(a + b + c, INT_MIN, INT_MAX));
}

} // namespace

GXConRgn::GXConRgn(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

bool GXConRgn::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    const std::string type = pElement->GetAttributeString("Type", "none");
    const std::string param = pElement->GetAttributeString("Param", "");
    const std::string mode = pElement->GetAttributeString("Mode", "or");
    if (type == "none") {
        m_shape = Shape::None;
    } else if (type == "rect") {
        m_shape = Shape::Rect;
    } else if (type == "ellipse") {
        m_shape = Shape::Ellipse;
    } else if (type == "roundrect" || type == "bitmap") {
        if (param.empty()) {
            SetError(kErrorMissing, "%s", "Param");
            return false;
        }
        if (type == "roundrect") {
            m_shape = Shape::RoundRect;
            GXPoint corner;
            ParseSkinPoint(param, &corner);
            m_sizeCorner = GXSize { corner.x, corner.y };
        } else {
            m_shape = Shape::Bitmap;
            const GDib* pImage = FindImage(param);
            if (pImage == nullptr) {
                SetError(kErrorImage, "%s", param.c_str());
                return false;
            }
            m_region = CreateRegionFromImage(pImage).value_or(QRegion());
            m_sizeImage = GXSize { pImage->GetWidth(), pImage->GetHeight() };
        }
    } else {
        SetError(kErrorUnknownType, "%s", type.c_str());
        return false;
    }
    m_mode = mode == "and" ? Mode::And
        : mode == "xor"    ? Mode::Xor
        : mode == "diff"   ? Mode::Diff
        : mode == "copy"   ? Mode::Copy
                           : Mode::Or;
    return GXConBase::Load(pBackBuffer, pElement);
}

bool GXConRgn::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError)
{
    if (!GXConBase::ReadAlign(pElement, pAlign, pnError))
        return false;
    if (m_shape != Shape::Bitmap)
        return true;
    // Right and bottom land on the image's last pixel, not one past it:
    // skins have been drawn around that one-pixel-short box.
    std::string value;
    if (pElement->GetAttribute("Width", &value) && value == "autosize") {
        pAlign->nWidth = Sum(m_sizeImage.cx, m_rectGaps.left, m_rectGaps.right);
        pAlign->rect.right = Sum(pAlign->rect.left, m_sizeImage.cx, -1);
    }
    if (pElement->GetAttribute("Height", &value) && value == "autosize") {
        pAlign->nHeight = Sum(m_sizeImage.cy, m_rectGaps.top, m_rectGaps.bottom);
        pAlign->rect.bottom = Sum(pAlign->rect.top, m_sizeImage.cy, -1);
    }
    return true;
}

void GXConRgn::OnSize(int cx, int cy)
{
    if (GXSize { cx, cy } == m_sizeLast)
        return;
    m_sizeLast = GXSize { cx, cy };
    const QRect box(0, 0, std::max(0, cx), std::max(0, cy));
    switch (m_shape) {
    case Shape::Rect:
        m_region = QRegion(box);
        break;
    case Shape::Ellipse:
        m_region = QRegion(box, QRegion::Ellipse);
        break;
    case Shape::RoundRect:
        m_region = RoundRectRegion(box, m_sizeCorner.cx, m_sizeCorner.cy);
        break;
    case Shape::None:
    case Shape::Bitmap:
        return;
    }
    m_ptCombined.reset();
}

int GXConRgn::Draw()
{
    return 1;
}

bool GXConRgn::HitTest(int, int) const
{
    return false;
}

bool GXConRgn::NeedsCombine() const
{
    return !m_ptCombined || *m_ptCombined != GXPoint { m_rect.left, m_rect.top };
}

void GXConRgn::CombineInto(QRegion* pTotal)
{
    m_ptCombined = GXPoint { m_rect.left, m_rect.top };
    const QRegion placed = m_region.translated(m_rect.left, m_rect.top);
    switch (m_mode) {
    case Mode::And:
        *pTotal = pTotal->intersected(placed);
        break;
    case Mode::Or:
        *pTotal = pTotal->united(placed);
        break;
    case Mode::Xor:
        *pTotal = pTotal->xored(placed);
        break;
    case Mode::Diff:
        *pTotal = pTotal->subtracted(placed);
        break;
    case Mode::Copy:
        break;
    }
}

std::optional<QRegion> GXConRgn::CombineChanged(const std::vector<GXConRgn*>& shapes)
{
    if (std::none_of(shapes.begin(), shapes.end(), [](const GXConRgn* p) { return p->NeedsCombine(); }))
        return std::nullopt;
    QRegion total;
    for (GXConRgn* pShape : shapes)
        pShape->CombineInto(&total);
    return total;
}

#include "skin/GXManAlign.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

// Skin values are read with atoi and may be anything up to INT_MAX, so the
// sums of a walk are taken in 64 bits and brought back into the int range.
int Sat(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// A rectangle in 64 bits, for the sums of one placement.
struct SBox {
    std::int64_t left;
    std::int64_t top;
    std::int64_t right;
    std::int64_t bottom;
};

// The box cut to the remaining area; (0, 0, 0, 0) when nothing is left.
SRect IntersectWith(const SBox& box, const SRect& area)
{
    const std::int64_t left = std::max<std::int64_t>(box.left, area.left);
    const std::int64_t top = std::max<std::int64_t>(box.top, area.top);
    const std::int64_t right = std::min<std::int64_t>(box.right, area.right);
    const std::int64_t bottom = std::min<std::int64_t>(box.bottom, area.bottom);
    if (left >= right || top >= bottom)
        return SRect {};
    return SRect { Sat(left), Sat(top), Sat(right), Sat(bottom) };
}

// A length limited to 0..room (0 when nothing is left).
int Limit(std::int64_t length, int room)
{
    return static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(length, room)));
}

// The strip a docked child takes along its dock direction. A percentage is
// of what remains; it is limited like a fixed size, so a skin's 150 % or
// -20 % cannot push the strip past the parent or turn it inside out.
int DockSize(const SGxAlign& align, int nWanted, int nRoom, bool bVisible)
{
    if (!bVisible)
        return 0;
    const std::int64_t size = align.bPercent ? static_cast<std::int64_t>(nRoom) * nWanted / 100 : nWanted;
    return Limit(size, nRoom);
}

} // namespace

GXManAlign::GXManAlign() = default;

GXManAlign::GXManAlign(GXManAlign* pParent, GXConBase* pControl, const SGxAlign& align)
    : m_pControl(pControl)
    , m_align(align)
    , m_pParent(pParent)
{
}

GXManAlign::~GXManAlign() = default;

void GXManAlign::SetRoot(GXConBase* pControl)
{
    m_pControl = pControl;
    m_bRoot = true;
}

GXManAlign* GXManAlign::AddChild(GXConBase* pControl, const SGxAlign& align)
{
    m_children.push_back(std::unique_ptr<GXManAlign>(new GXManAlign(this, pControl, align)));
    return m_children.back().get();
}

void GXManAlign::Relayout(int nSizeType, int nWidth, int nHeight)
{
    constexpr int kSizeRestored = 0;
    constexpr int kSizeMaximized = 2;
    if (nSizeType == kSizeRestored || nSizeType == kSizeMaximized)
        Layout(nWidth, nHeight);
}

void GXManAlign::Layout(int nWidth, int nHeight)
{
    SRect remain { 0, 0, nWidth, nHeight };
    if (m_bRoot)
        m_rect = remain;
    // The list is walked by index: a control's SetPos runs skin code, and a
    // tree that grew under it must not leave this loop on a stale iterator.
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        GXManAlign& child = *m_children[i];
        const SGxAlign& align = child.m_align;
        const bool bVisible = child.m_pControl == nullptr || child.m_pControl->IsShown();
        const int roomX = Sat(static_cast<std::int64_t>(remain.right) - remain.left);
        const int roomY = Sat(static_cast<std::int64_t>(remain.bottom) - remain.top);
        SRect place;
        switch (align.nType) {
        case SGxAlign::kLeft: {
            const int size = DockSize(align, align.nWidth, roomX, bVisible);
            place = SRect { remain.left, remain.top, remain.left + size, remain.bottom };
            remain.left = place.right;
            break;
        }
        case SGxAlign::kTop: {
            const int size = DockSize(align, align.nHeight, roomY, bVisible);
            place = SRect { remain.left, remain.top, remain.right, remain.top + size };
            remain.top = place.bottom;
            break;
        }
        case SGxAlign::kBottom: {
            const int size = DockSize(align, align.nHeight, roomY, bVisible);
            place = SRect { remain.left, remain.bottom - size, remain.right, remain.bottom };
            remain.bottom = place.top;
            break;
        }
        case SGxAlign::kRight: {
            const int size = DockSize(align, align.nWidth, roomX, bVisible);
            place = SRect { remain.right - size, remain.top, remain.right, remain.bottom };
            remain.right = place.left;
            break;
        }
        case SGxAlign::kClient:
            place = bVisible ? remain : SRect {};
            break;
        case SGxAlign::kCenter: {
            // Centred in the whole node, not in what remains: a centred logo
            // stays in the middle of the window whatever is docked around it.
            if (!bVisible)
                break;
            const std::int64_t dx = (static_cast<std::int64_t>(roomX) - align.nWidth) / 2;
            const std::int64_t dy = (static_cast<std::int64_t>(roomY) - align.nHeight) / 2;
            place = IntersectWith(SBox { dx, dy, dx + align.nWidth, dy + align.nHeight }, remain);
            break;
        }
        case SGxAlign::kLeftTop:
        case SGxAlign::kRightTop:
        case SGxAlign::kRightBottom:
        case SGxAlign::kLeftBottom: {
            const int w = bVisible ? Limit(align.nWidth, roomX) : 0;
            const int h = bVisible ? Limit(align.nHeight, roomY) : 0;
            const bool bRight = align.nType == SGxAlign::kRightTop || align.nType == SGxAlign::kRightBottom;
            const bool bBottom = align.nType == SGxAlign::kRightBottom || align.nType == SGxAlign::kLeftBottom;
            const int left = bRight ? remain.right - w : remain.left;
            const int top = bBottom ? remain.bottom - h : remain.top;
            place = SRect { left, top, left + w, top + h };
            break;
        }
        case SGxAlign::kNone: {
            if (!bVisible)
                break;
            const SRect& r = align.rect;
            place = IntersectWith(
                SBox { static_cast<std::int64_t>(r.left) + remain.left, static_cast<std::int64_t>(r.top) + remain.top,
                    static_cast<std::int64_t>(r.right) + remain.left,
                    static_cast<std::int64_t>(r.bottom) + remain.top },
                remain);
            break;
        }
        default:
            // Pop-ups and "nomove" controls are placed by their own code.
            continue;
        }
        child.Place(place.left, place.top, place.right, place.bottom);
    }
}

void GXManAlign::Place(int nLeft, int nTop, int nRight, int nBottom)
{
    m_rect = SRect { Sat(static_cast<std::int64_t>(nLeft) + m_align.nGapLeft),
        Sat(static_cast<std::int64_t>(nTop) + m_align.nGapTop),
        Sat(static_cast<std::int64_t>(nRight) - m_align.nGapRight),
        Sat(static_cast<std::int64_t>(nBottom) - m_align.nGapBottom) };
    const int width = Sat(static_cast<std::int64_t>(m_rect.right) - m_rect.left);
    const int height = Sat(static_cast<std::int64_t>(m_rect.bottom) - m_rect.top);
    if (m_pControl != nullptr) {
        const GXPoint origin = m_pParent != nullptr ? m_pParent->GetOrigin() : GXPoint {};
        m_pControl->SetPos(Sat(static_cast<std::int64_t>(m_rect.left) + origin.x),
            Sat(static_cast<std::int64_t>(m_rect.top) + origin.y), width, height, RootRedraw());
    }
    Layout(width, height);
}

GXPoint GXManAlign::GetOrigin() const
{
    if (m_bRoot)
        return GXPoint {};
    const GXPoint parent = m_pParent != nullptr ? m_pParent->GetOrigin() : GXPoint {};
    return GXPoint { Sat(static_cast<std::int64_t>(m_rect.left) + parent.x),
        Sat(static_cast<std::int64_t>(m_rect.top) + parent.y) };
}

GXManAlign* GXManAlign::FindNode(const GXConBase* pControl)
{
    for (const std::unique_ptr<GXManAlign>& child : m_children) {
        if (child->m_pControl == pControl)
            return child.get();
        if (GXManAlign* found = child->FindNode(pControl))
            return found;
    }
    return nullptr;
}

GXConBase::Redraw GXManAlign::RootRedraw() const
{
    const GXManAlign* node = this;
    while (node != nullptr && !node->m_bRoot)
        node = node->m_pParent;
    return node != nullptr ? node->m_redraw : m_redraw;
}

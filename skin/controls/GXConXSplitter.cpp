#include "skin/controls/GXConXSplitter.h"

#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/GXConOwner.h"
#include "skin/GXManAlign.h"
#include "skin/GXSkinIds.h"
#include "skin/SkinFormat.h"
#include "skin/SkinFrame.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kErrorMissing = GXSkinError::kMissingAttribute;
constexpr int kErrorImage = GXSkinError::kImageOpen;

constexpr const char* kPaneNames[] = { "ControlLT", "ControlRT", "ControlLB", "ControlRB" };

// Sizes come from skins and the pointer; sums never wrap.
int Sum(long long a, long long b, long long c = 0)
{
    return static_cast<int>(std::clamp<long long>(a + b + c, INT_MIN, INT_MAX));
}

// The pair of panes across one bar: when one is below its minimum and the
// other above its own, the other gives up what the first lacks.
void KeepMinimum(int* pFirst, int* pSecond, int nMinFirst, int nMinSecond)
{
    if (*pFirst<nMinFirst&& * pSecond> nMinSecond) {
        *pSecond = Sum(*pSecond, *pFirst, -static_cast<long long>(nMinFirst));
        *pFirst = nMinFirst;
    } else if (*pFirst > nMinFirst && *pSecond < nMinSecond) {
        *pFirst = Sum(*pFirst, *pSecond, -static_cast<long long>(nMinSecond));
        *pSecond = nMinSecond;
    }
}

} // namespace

GXConXSplitter::GXConXSplitter(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

bool GXConXSplitter::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!GXConBase::Load(pBackBuffer, pElement))
        return false;
    std::string value;
    for (int i = 0; i < kPaneCount; ++i) {
        if (!pElement->GetAttribute(kPaneNames[i], &value)) {
            SetError(kErrorMissing, "%s", kPaneNames[i]);
            return false;
        }
        // A name the ID table does not know leaves the pane missing, and a
        // splitter without all four panes places nothing.
        int id = -1;
        if (GetOwner() != nullptr && GetOwner()->LookupIdName(value, &id))
            m_nPaneIds[static_cast<std::size_t>(i)] = id;
    }
    const auto image = [&](const char* pszAttribute, GDib** ppImage, bool bRequired) {
        if (!pElement->GetAttribute(pszAttribute, &value)) {
            if (bRequired)
                SetError(kErrorMissing, "%s", pszAttribute);
            return !bRequired;
        }
        *ppImage = FindImage(value);
        if (*ppImage == nullptr)
            SetError(kErrorImage, "%s", value.c_str());
        return *ppImage != nullptr;
    };
    if (!image("ImageHFrame", &m_pHFrame, true) || !image("ImageVFrame", &m_pVFrame, true)
        || !image("ImageCenter", &m_pCenter, true) || !image("ImageHPadding", &m_pHPadding, false)
        || !image("ImageVPadding", &m_pVPadding, false))
        return false;
    m_nBarWidth = m_pCenter->GetWidth();
    m_nBarHeight = m_pCenter->GetHeight();
    const auto cursor = [&](const char* pszAttribute) -> const QCursor* {
        if (!pElement->GetAttribute(pszAttribute, &value) || GetOwner() == nullptr)
            return nullptr;
        return GetOwner()->FindCursor(value);
    };
    m_pCursorH = cursor("CursorH");
    m_pCursorV = cursor("CursorV");
    m_pCursorCenter = cursor("CursorCenter");
    if (pElement->GetAttribute("PaneAlignToLeft", &value))
        m_bAlignLeft = value == "true" || value == "1";
    if (pElement->GetAttribute("PaneAlignToTop", &value))
        m_bAlignTop = value == "true" || value == "1";
    int number = 0;
    if (pElement->GetAttributeInt("PaneWidth", &number))
        m_nPaneWidth = number;
    if (pElement->GetAttributeInt("PaneHeight", &number))
        m_nPaneHeight = number;
    if (pElement->GetAttribute("PaneMinSize", &value))
        ParseSkinRect(value, &m_minimum);
    return true;
}

GXConXSplitter::SPanes GXConXSplitter::ComputePanes() const
{
    const int w = m_rect.Width();
    const int h = m_rect.Height();
    const int bw = m_nBarWidth;
    const int bh = m_nBarHeight;
    SPanes p;
    if (m_bAlignLeft) {
        p.nLeft = m_nPaneWidth;
        p.nRight = Sum(w, -static_cast<long long>(m_nPaneWidth), -static_cast<long long>(bw));
    } else {
        p.nRight = m_nPaneWidth;
        p.nLeft = Sum(w, -static_cast<long long>(m_nPaneWidth), -static_cast<long long>(bw));
    }
    if (m_bAlignTop) {
        p.nTop = m_nPaneHeight;
        p.nBottom = Sum(h, -static_cast<long long>(bh), -static_cast<long long>(m_nPaneHeight));
    } else {
        p.nBottom = m_nPaneHeight;
        p.nTop = Sum(h, -static_cast<long long>(m_nPaneHeight), -static_cast<long long>(bh));
    }
    const int maxHeight = std::max(0, h - bh);
    const int maxWidth = std::max(0, w - bw);
    p.nTop = std::clamp(p.nTop, 0, maxHeight);
    p.nBottom = std::clamp(p.nBottom, 0, maxHeight);
    p.nLeft = std::clamp(p.nLeft, 0, maxWidth);
    p.nRight = std::clamp(p.nRight, 0, maxWidth);
    KeepMinimum(&p.nTop, &p.nBottom, m_minimum.top, m_minimum.bottom);
    KeepMinimum(&p.nLeft, &p.nRight, m_minimum.left, m_minimum.right);
    return p;
}

void GXConXSplitter::Relayout()
{
    if (GetOwner() == nullptr)
        return;
    std::array<GXManAlign*, kPaneCount> nodes {};
    for (int i = 0; i < kPaneCount; ++i) {
        const auto u = static_cast<std::size_t>(i);
        nodes[u] = m_nPaneIds[u] >= 0 ? GetOwner()->FindLayoutNode(m_nPaneIds[u]) : nullptr;
        if (nodes[u] == nullptr || nodes[u]->GetControl() == nullptr)
            return;
    }
    const SPanes p = ComputePanes();
    const int x0 = m_rectGaps.left;
    const int y0 = m_rectGaps.top;
    const int xRight = Sum(x0, p.nLeft, m_nBarWidth);
    const int yBottom = Sum(y0, p.nTop, m_nBarHeight);
    nodes[kLeftTop]->Place(x0, y0, Sum(x0, p.nLeft), Sum(y0, p.nTop));
    nodes[kRightTop]->Place(xRight, y0, Sum(xRight, p.nRight), Sum(y0, p.nTop));
    nodes[kLeftBottom]->Place(x0, yBottom, Sum(x0, p.nLeft), Sum(yBottom, p.nBottom));
    nodes[kRightBottom]->Place(xRight, yBottom, Sum(xRight, p.nRight), Sum(yBottom, p.nBottom));
}

void GXConXSplitter::SetPos(int x, int y, int cx, int cy, Redraw redraw)
{
    m_rect = SRect { x, y, Sum(x, cx), Sum(y, cy) };
    OnSize(cx, cy);
    if (redraw == Redraw::Yes)
        Draw();
}

void GXConXSplitter::OnSize(int, int)
{
    Relayout();
}

void GXConXSplitter::Refresh()
{
    Relayout();
}

GXConXSplitter::Part GXConXSplitter::PartAt(int x, int y) const
{
    const SPanes p = ComputePanes();
    const bool bInColumn = x >= p.nLeft && x <= Sum(p.nLeft, m_nBarWidth);
    const bool bInRow = y >= p.nTop && y <= Sum(p.nTop, m_nBarHeight);
    if (bInColumn)
        return bInRow ? kCrossing : kVerticalBar;
    return bInRow ? kHorizontalBar : kNone;
}

bool GXConXSplitter::HitTest(int x, int y) const
{
    return GXConBase::HitTest(x, y) && PartAt(x, y) != kNone;
}

const QCursor* GXConXSplitter::GetCursor(int x, int y) const
{
    switch (PartAt(x, y)) {
    case kHorizontalBar:
        return m_pCursorH;
    case kVerticalBar:
        return m_pCursorV;
    case kCrossing:
        return m_pCursorCenter;
    case kNone:
        break;
    }
    return nullptr;
}

bool GXConXSplitter::OnButtonDown(int, int x, int y, bool* pbCapture)
{
    if (!IsEnabled() || IsTooSmall())
        return false;
    const Part part = PartAt(x, y);
    if (part == kNone)
        return false;
    *pbCapture = true;
    m_bDragging = true;
    m_dragPart = part;
    return true;
}

bool GXConXSplitter::OnMouseMove(int x, int y, Captured, bool*)
{
    if (!m_bDragging)
        return false;
    if (m_dragPart == kVerticalBar || m_dragPart == kCrossing)
        m_nPaneWidth = Sum(m_bAlignLeft ? x : Sum(m_rect.Width(), -static_cast<long long>(x)), -(m_nBarWidth / 2));
    if (m_dragPart == kHorizontalBar || m_dragPart == kCrossing)
        m_nPaneHeight = m_bAlignTop ? Sum(y, -(m_nBarHeight / 2))
                                    : Sum(m_rect.Height(), -(m_nBarHeight / 2), -static_cast<long long>(y));
    Relayout();
    return true;
}

bool GXConXSplitter::OnButtonUp(int, int, int, Captured)
{
    if (!m_bDragging)
        return false;
    m_bDragging = false;
    m_dragPart = kNone;
    return true;
}

int GXConXSplitter::Draw()
{
    GDib* pDest = GetBackBuffer();
    if (m_rect.IsEmpty() || IsTooSmall() || pDest == nullptr || m_pCenter == nullptr)
        return 1;
    const SPanes p = ComputePanes();
    GXRect hBar { m_rect.left, Sum(m_rect.top, p.nTop), m_rect.right, Sum(m_rect.top, p.nTop, m_nBarHeight) };
    GXRect vBar { Sum(m_rect.left, p.nLeft), m_rect.top, Sum(m_rect.left, p.nLeft, m_nBarWidth), m_rect.bottom };
    if (m_rect.Height() < m_nBarHeight)
        hBar = m_rect;
    if (m_rect.Width() < m_nBarWidth)
        vBar = m_rect;
    const auto whole = [](const GDib* pImage) { return GXRect { 0, 0, pImage->GetWidth(), pImage->GetHeight() }; };
    DrawFrameImage(m_pHFrame, pDest, whole(m_pHFrame), hBar, FillCentre::Yes);
    DrawFrameImage(m_pVFrame, pDest, whole(m_pVFrame), vBar, FillCentre::Yes);
    if (m_pHPadding != nullptr) {
        m_pHPadding->DrawCellTo(pDest, hBar.left, hBar.top, 2, 0, 1, 0);
        m_pHPadding->DrawCellTo(pDest, hBar.right - m_pHPadding->GetWidth() / 2, hBar.top, 2, 1, 1, 0);
    }
    if (m_pVPadding != nullptr) {
        m_pVPadding->DrawCellTo(pDest, vBar.left, vBar.top, 1, 0, 2, 0);
        m_pVPadding->DrawCellTo(pDest, vBar.left, vBar.bottom - m_pVPadding->GetHeight() / 2, 1, 0, 2, 1);
    }
    if (m_rect.Height() >= m_nBarHeight && m_rect.Width() >= m_nBarWidth)
        m_pCenter->CopyTo(pDest, vBar.left, hBar.top);
    return GXConBase::Draw();
}

#include "skin/controls/GXConSplitter.h"

#include "foundation/GXmpData.h"
#include "skin/GXConOwner.h"
#include "skin/GXManAlign.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kErrorNoAssociate = 46;

// The size at the start of the drag plus the pointer's travel, never
// negative (a pane dragged past its edge collapses, it does not flip).
int Resized(int nStart, int nFrom, int nTo)
{
    const long long size = static_cast<long long>(nStart) + nTo - nFrom;
    return static_cast<int>(std::clamp<long long>(size, 0, INT_MAX));
}

} // namespace

GXConSplitter::GXConSplitter(GXConOwner* pOwner)
    : GXConStatic(pOwner)
{
}

bool GXConSplitter::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!GXConStatic::Load(pBackBuffer, pElement))
        return false;
    std::string name;
    if (!pElement->GetAttribute("AssociateControl", &name))
        return true;
    if (GetOwner() == nullptr || !GetOwner()->LookupIdName(name, &m_nAssociateId)) {
        SetError(kErrorNoAssociate, "%s", name.c_str());
        return false;
    }
    m_bAssociate = true;
    return true;
}

GXPoint GXConSplitter::ToScreen(int x, int y) const
{
    const GXPoint client { m_rect.left + x, m_rect.top + y };
    return GetOwner() != nullptr ? GetOwner()->ClientToScreen(client) : client;
}

bool GXConSplitter::OnButtonDown(int, int x, int y, bool* pbCapture)
{
    if (!IsEnabled() || IsTooSmall() || !m_bAssociate || GetOwner() == nullptr)
        return false;
    const GXManAlign* pNode = GetOwner()->FindLayoutNode(m_nAssociateId);
    if (pNode == nullptr)
        return false;
    m_sizeStart = GXSize { pNode->GetAlign().nWidth, pNode->GetAlign().nHeight };
    m_ptStart = ToScreen(x, y);
    m_bDragging = true;
    *pbCapture = true;
    return true;
}

bool GXConSplitter::OnMouseMove(int x, int y, Captured, bool*)
{
    if (!m_bDragging)
        return false;
    // Looked up on every step: the tree belongs to the window.
    GXManAlign* pNode = GetOwner()->FindLayoutNode(m_nAssociateId);
    if (pNode == nullptr)
        return false;
    const GXPoint now = ToScreen(x, y);
    pNode->SetExtent(Resized(m_sizeStart.cx, m_ptStart.x, now.x), Resized(m_sizeStart.cy, m_ptStart.y, now.y));
    GetOwner()->RelayoutAll();
    return true;
}

bool GXConSplitter::OnMouseLeave()
{
    return false;
}

bool GXConSplitter::OnButtonUp(int, int, int, Captured)
{
    const bool bWasDragging = m_bDragging;
    m_bDragging = false;
    return bWasDragging;
}

bool GXConSplitter::HitTest(int, int) const
{
    return true;
}

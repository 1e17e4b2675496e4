#include "skin/controls/GXConFlash.h"

#include "foundation/GXmpData.h"
#include "foundation/SystemInfo.h"
#include "skin/SkinFormat.h"
#include "skin/host/CFlashMouseHookMan.h"
#include "skin/host/SkinPage.h"

namespace {

// Skin booleans are set by exactly "true" or "1".
bool ReadSkinBool(const GXmpData* pElement, const char* pszName)
{
    std::string value;
    return pElement->GetAttribute(pszName, &value) && (value == "true" || value == "1");
}

} // namespace

GXConFlash::GXConFlash(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
    CFlashMouseHookMan::AddRef();
}

GXConFlash::~GXConFlash()
{
    if (CFlashMouseHookMan* pMan = CFlashMouseHookMan::Get(); pMan != nullptr)
        pMan->Unregister(*this);
    CFlashMouseHookMan::Release();
    m_host.Destroy();
}

bool GXConFlash::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!GXConBase::Load(pBackBuffer, pElement))
        return false;
    if (!m_host.Create(GetOwner() != nullptr ? GetOwner()->GetHostWidget() : nullptr, GXRect {}))
        return false;
    if (pElement == nullptr)
        return true;
    const std::string url = pElement->GetAttributeString("URL", "");
    const std::string offUrl = pElement->GetAttributeString("OffURL", "");
    std::string value;
    if (pElement->GetAttribute("BkgndColor", &value))
        m_host.SetBackgroundColor(ParseSkinColor(value));
    const Online online = IsInternetConnected() ? Online::Yes : Online::No;
    const std::string movie = ResolveSkinPage(GetOwner(), ChooseSkinPage(url, offUrl, online));
    // No player plays it; the stage stays as a placeholder either way.
    if (!movie.empty())
        (void)m_host.LoadMovie(movie);
    m_bOfflineHide = ReadSkinBool(pElement, "OfflineHide");
    if (m_bOfflineHide)
        SetShow(false);
    if (CFlashMouseHookMan* pMan = CFlashMouseHookMan::Get(); pMan != nullptr)
        pMan->Register(*this, m_host.GetInnerWindow());
    return true;
}

void GXConFlash::SetPos(int x, int y, int cx, int cy, Redraw redraw)
{
    m_host.Move(x, y, cx, cy);
    GXConBase::SetPos(x, y, cx, cy, redraw);
}

void GXConFlash::OnSize(int cx, int cy)
{
    if (cx <= 0 || cy <= 0)
        m_host.Disable();
    else
        m_host.Enable();
    if (IsTooSmall())
        m_host.Hide();
    else
        m_host.Show();
}

void GXConFlash::SetPassThrough(PassMode mode, Edge edge, int nDistance, std::vector<GXRect> rects)
{
    m_passMode = mode;
    m_passEdge = edge;
    m_nPassDistance = nDistance;
    m_passRects = std::move(rects);
}

bool GXConFlash::PassesToMovie(int x, int y) const
{
    switch (m_passMode) {
    case PassMode::kAll:
        return true;
    case PassMode::kNearEdge: {
        int nFromEdge = 0;
        switch (m_passEdge) {
        case Edge::kLeft:
            nFromEdge = x;
            break;
        case Edge::kTop:
            nFromEdge = y;
            break;
        case Edge::kBottom:
            nFromEdge = m_rect.Height() - y;
            break;
        case Edge::kRight:
            nFromEdge = m_rect.Width() - x;
            break;
        case Edge::kNone:
            return true;
        }
        return nFromEdge < m_nPassDistance;
    }
    case PassMode::kInRects:
        for (const GXRect& r : m_passRects)
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                return true;
        return false;
    }
    return true;
}

void GXConFlash::HandToSkin(int nButton, GXConOwner::ButtonAction action, GXPoint point)
{
    if (GetOwner() != nullptr)
        GetOwner()->OnForwardedButton(nButton, action, point);
}

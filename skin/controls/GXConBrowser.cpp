#include "skin/controls/GXConBrowser.h"

#include "foundation/GXmpData.h"
#include "foundation/SystemInfo.h"
#include "skin/GDib.h"
#include "skin/GXConOwner.h"
#include "skin/SkinFormat.h"
#include "skin/host/SkinPage.h"

#include <QPainter>

namespace {

// Skin booleans are set by exactly "true" or "1".
bool ReadSkinBool(const GXmpData* pElement, const char* pszName)
{
    std::string value;
    return pElement->GetAttribute(pszName, &value) && (value == "true" || value == "1");
}

Online CurrentlyOnline()
{
    return IsInternetConnected() ? Online::Yes : Online::No;
}

} // namespace

GXConBrowser::GXConBrowser(GXConOwner* pOwner, CWebBrowserWnd::Factory factory)
    : GXConBase(pOwner)
    , m_factory(std::move(factory))
{
}

// The view goes first: it may still hold a completion handler into this.
GXConBrowser::~GXConBrowser()
{
    m_pView.reset();
}

bool GXConBrowser::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!GXConBase::Load(pBackBuffer, pElement))
        return false;
    if (pElement == nullptr)
        return true;
    auto evaluated = [this](const std::string& value) {
        return !value.empty() && value[0] == '$' && GetOwner() != nullptr ? GetOwner()->EvalText(value) : value;
    };
    const std::string url = evaluated(pElement->GetAttributeString("URL", ""));
    const std::string offUrl = evaluated(pElement->GetAttributeString("OffURL", ""));
    std::string value;
    if (pElement->GetAttribute("BkgndColor", &value))
        m_crBkgnd = ParseSkinColor(value);
    const std::string page = ResolveSkinPage(GetOwner(), ChooseSkinPage(url, offUrl, CurrentlyOnline()));
    if (!page.empty()) {
        if (IsTooSmall())
            m_strPendingUrl = page;
        else
            Navigate(page);
    }
    m_bOfflineHide = ReadSkinBool(pElement, "OfflineHide");
    return true;
}

bool GXConBrowser::EnsureView()
{
    if (m_bCreated)
        return m_pView != nullptr;
    m_bCreated = true;
    QWidget* pParent = GetOwner() != nullptr ? GetOwner()->GetHostWidget() : nullptr;
    m_pView = m_factory ? m_factory(pParent) : CWebBrowserWnd::Create(pParent);
    if (m_pView == nullptr)
        return false;
    m_pView->SetDocumentCompleteHandler(
        [this](const std::string&, CWebBrowserWnd::LoadResult) { OnDocumentComplete(); });
    m_pView->Hide();
    m_bShown = false;
    m_pView->MoveBrowser(m_rect);
    return true;
}

// An explicit navigation also drops a page still waiting for the first
// layout, which would otherwise replace it then.
bool GXConBrowser::Navigate(const std::string& url)
{
    m_strPendingUrl.clear();
    if (!EnsureView())
        return false;
    m_pView->Navigate(url);
    m_strLastUrl = url;
    return true;
}

bool GXConBrowser::SetCookie(const std::string& url, const std::string& name, const std::string& value)
{
    if (!EnsureView())
        return false;
    m_pView->SetCookie(url, name, value);
    return true;
}

// Error pages count as documents: nothing in the program reacts to a
// failed load, so the engine's own error page is what the user sees.
void GXConBrowser::OnDocumentComplete()
{
    m_bFirstDocumentComplete = true;
    if (m_bOfflineHide && CurrentlyOnline() == Online::No) {
        m_bHeldOffline = true;
        HidePage();
        Invalidate();
        return;
    }
    m_bHeldOffline = false;
    if (!IsTooSmall())
        ShowPage();
}

void GXConBrowser::ShowPage()
{
    m_pView->Show();
    m_bShown = true;
    m_bShowAllowed = true;
}

void GXConBrowser::HidePage()
{
    m_pView->Hide();
    m_bShown = false;
    m_bShowAllowed = false;
}

void GXConBrowser::SetPos(int x, int y, int cx, int cy, Redraw redraw)
{
    if (m_pView != nullptr) {
        if (cx > 0 && cy > 0) {
            if (m_bShown && m_bShowAllowed && !m_pView->IsVisible())
                m_pView->Show();
        } else if (m_bShown) {
            m_pView->Hide();
        }
        m_pView->MoveBrowser(GXRect { x, y, x + cx, y + cy });
    }
    GXConBase::SetPos(x, y, cx, cy, redraw);
    if (!m_strPendingUrl.empty() && !IsTooSmall()) {
        const std::string url = std::move(m_strPendingUrl);
        m_strPendingUrl.clear();
        Navigate(url);
    }
}

void GXConBrowser::OnSize(int cx, int cy)
{
    if (m_pView == nullptr)
        return;
    const bool bEmpty = cx <= 0 || cy <= 0;
    if (bEmpty || IsTooSmall()) {
        m_pView->Disable();
        if (!bEmpty)
            HidePage();
        return;
    }
    m_pView->Enable();
    if (!m_bShown && m_bFirstDocumentComplete && !m_bHeldOffline)
        ShowPage();
}

int GXConBrowser::Draw()
{
    GDib* pBackBuffer = GetBackBuffer();
    if (!m_bShown && m_crBkgnd != kNoColor && pBackBuffer != nullptr && !m_rect.IsEmpty()) {
        if (QPainter* pDC = pBackBuffer->GetMemDC(); pDC != nullptr) {
            pDC->fillRect(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(),
                QColor(GxRed(m_crBkgnd), GxGreen(m_crBkgnd), GxBlue(m_crBkgnd)));
            pBackBuffer->ReleaseMemDC();
        }
    }
    return GXConBase::Draw();
}

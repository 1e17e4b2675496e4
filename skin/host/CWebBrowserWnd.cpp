#include "skin/host/CWebBrowserWnd.h"

#include "skin/host/CWebBrowserWndNull.h"

namespace {

// The program registers its engine before the first skin loads; both run
// on the user-interface thread, so no lock.
CWebBrowserWnd::Factory& RegisteredFactory()
{
    static CWebBrowserWnd::Factory factory;
    return factory;
}

} // namespace

void CWebBrowserWnd::RegisterFactory(Factory factory)
{
    RegisteredFactory() = std::move(factory);
}

std::unique_ptr<CWebBrowserWnd> CWebBrowserWnd::Create(QWidget* pParent)
{
    const Factory& factory = RegisteredFactory();
    if (!factory)
        return std::make_unique<CWebBrowserWndNull>();
    return factory(pParent);
}

CWebBrowserWnd::~CWebBrowserWnd() = default;

void CWebBrowserWnd::DocumentComplete(const std::string& url, LoadResult result)
{
    if (m_onDocumentComplete)
        m_onDocumentComplete(url, result);
}

#include "skin/web/CWebBrowserWndWebEngine.h"

#include <QApplication>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineView>

void CWebBrowserWndWebEngine::Register()
{
    CWebBrowserWnd::RegisterFactory(&CWebBrowserWndWebEngine::Create);
}

std::unique_ptr<CWebBrowserWnd> CWebBrowserWndWebEngine::Create(QWidget* pParent)
{
    if (pParent == nullptr)
        return nullptr;
    return std::make_unique<CWebBrowserWndWebEngine>(pParent);
}

CWebBrowserWnd* TavdjCreateWebView(QWidget* pParent)
{
    return CWebBrowserWndWebEngine::Create(pParent).release();
}

CWebBrowserWndWebEngine::CWebBrowserWndWebEngine(QWidget* pParent)
    : m_pView(new QWebEngineView(pParent))
{
    m_pView->hide();
    // The page never becomes a drop target: a file dragged onto the skin
    // must not replace the page.
    m_pView->setAcceptDrops(false);
    QObject::connect(m_pView, &QWebEngineView::loadFinished, m_pView, [this](bool ok) {
        DocumentComplete(m_pView->url().toString().toStdString(), ok ? LoadResult::Page : LoadResult::ErrorPage);
    });
}

CWebBrowserWndWebEngine::~CWebBrowserWndWebEngine()
{
    delete m_pView.data();
}

// A URL as text, or an absolute file path (a skin's own page).
void CWebBrowserWndWebEngine::Navigate(const std::string& url)
{
    if (m_pView != nullptr)
        m_pView->load(QUrl::fromUserInput(QString::fromStdString(url)));
}

void CWebBrowserWndWebEngine::MoveBrowser(const GXRect& rect)
{
    if (m_pView == nullptr)
        return;
    m_pView->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
    m_pView->update();
}

void CWebBrowserWndWebEngine::Show()
{
    if (m_pView != nullptr)
        m_pView->show();
}

void CWebBrowserWndWebEngine::Hide()
{
    if (m_pView != nullptr)
        m_pView->hide();
}

bool CWebBrowserWndWebEngine::IsVisible() const
{
    return m_pView != nullptr && m_pView->isVisible();
}

void CWebBrowserWndWebEngine::Enable()
{
    if (m_pView != nullptr)
        m_pView->setEnabled(true);
}

void CWebBrowserWndWebEngine::Disable()
{
    if (m_pView == nullptr)
        return;
    QWidget* pFocus = QApplication::focusWidget();
    if (pFocus != nullptr && (pFocus == m_pView || m_pView->isAncestorOf(pFocus)) && m_pView->parentWidget() != nullptr)
        m_pView->parentWidget()->setFocus();
    m_pView->setEnabled(false);
}

void CWebBrowserWndWebEngine::SetCookie(const std::string& url, const std::string& name, const std::string& value)
{
    if (m_pView == nullptr)
        return;
    const QNetworkCookie cookie(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    m_pView->page()->profile()->cookieStore()->setCookie(cookie, QUrl(QString::fromStdString(url)));
}

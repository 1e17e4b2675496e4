#pragma once

#include "skin/host/CWebBrowserWnd.h"

#include <QPointer>

class QWebEngineView;

// Thread: user-interface thread only; Qt WebEngine loads on threads and
// processes of its own and reports back on this thread.
// The web view drawn by Qt WebEngine: a QWebEngineView as a child widget of
// the skin window. Every view shares the engine's default profile, which
// keeps cookies and cache in memory only, so nothing of a page outlives
// the program. The program builds this class into a library of its own,
// loaded when the first browser control navigates, and makes its views
// through TavdjCreateWebView; the web view's tests link it and register it
// (Register). The engine itself starts when the first view is made.
class CWebBrowserWndWebEngine : public CWebBrowserWnd {
public:
    // Makes CWebBrowserWnd::Create build these.
    static void Register();
    // Null without a parent: a page in a top-level window of its own is
    // never what a skin means.
    [[nodiscard]] static std::unique_ptr<CWebBrowserWnd> Create(QWidget* pParent);

    explicit CWebBrowserWndWebEngine(QWidget* pParent);
    ~CWebBrowserWndWebEngine() override;

    void Navigate(const std::string& url) override;
    void MoveBrowser(const GXRect& rect) override;
    void Show() override;
    void Hide() override;
    [[nodiscard]] bool IsVisible() const override;
    void Enable() override;
    void Disable() override;
    void SetCookie(const std::string& url, const std::string& name, const std::string& value) override;

private:
    // The parent deletes its children, so the view may be gone before us.
    QPointer<QWebEngineView> m_pView;
};

// The program loads this library only when it first shows a page and
// builds its views through this one entry: a hidden view as a child of
// pParent, owned by the caller; null without a parent.
extern "C" CWebBrowserWnd* TavdjCreateWebView(QWidget* pParent);

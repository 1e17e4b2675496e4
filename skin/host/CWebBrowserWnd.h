#pragma once

#include "skin/GXTypes.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;

// Thread: user-interface thread only; loads run in the web engine and are
// reported back on this thread.
// A web page shown in a view of its own over a skin control: our layer over
// whatever web engine the program was built with. The browser control
// drives it; nothing else in the skin knows which engine draws the page.
// Which backend Create builds is registered once at start-up: the program
// registers the Qt WebEngine one (skin/web/), builds and tests without it
// get CWebBrowserWndNull, which shows nothing. Creating a view is what
// starts an engine, so a skin without a browser control never starts one.
class CWebBrowserWnd {
public:
    // Builds a view as a child of the parent widget; null when it cannot.
    using Factory = std::function<std::unique_ptr<CWebBrowserWnd>(QWidget* pParent)>;
    // An error page (unreachable host, missing file) completes a document
    // like any other page; the result tells which it was.
    enum class LoadResult { Page, ErrorPage };
    using DocumentCompleteHandler = std::function<void(const std::string& url, LoadResult result)>;

    // The backend Create builds from now on; an empty factory restores the
    // null backend.
    static void RegisterFactory(Factory factory);
    // A view of the registered backend, hidden; null when it failed.
    [[nodiscard]] static std::unique_ptr<CWebBrowserWnd> Create(QWidget* pParent);

    CWebBrowserWnd() = default;
    CWebBrowserWnd(const CWebBrowserWnd&) = delete;
    CWebBrowserWnd& operator=(const CWebBrowserWnd&) = delete;
    virtual ~CWebBrowserWnd();

    // Starts loading the page (a URL or an absolute file path) and returns
    // at once; a load still running is abandoned.
    virtual void Navigate(const std::string& url) = 0;
    // Places the view at rect of its parent and repaints it.
    virtual void MoveBrowser(const GXRect& rect) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    [[nodiscard]] virtual bool IsVisible() const = 0;
    virtual void Enable() = 0;
    // Also gives the keyboard focus back to the parent when it was inside
    // the view, so keys reach the skin again.
    virtual void Disable() = 0;
    // A cookie for pages under url, stored where the engine's pages find
    // it (the request board reads its user key from one).
    virtual void SetCookie(const std::string& url, const std::string& name, const std::string& value) = 0;

    // Called each time a page or an error page has finished loading.
    void SetDocumentCompleteHandler(DocumentCompleteHandler handler) { m_onDocumentComplete = std::move(handler); }

protected:
    void DocumentComplete(const std::string& url, LoadResult result);

private:
    DocumentCompleteHandler m_onDocumentComplete;
};

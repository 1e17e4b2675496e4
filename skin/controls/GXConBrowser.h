#pragma once

#include "skin/GXConBase.h"
#include "skin/host/CWebBrowserWnd.h"

#include <memory>
#include <string>

// Thread: user-interface thread of its skin window.
// "BrowserControl": a web page over the control's rectangle. The page's
// view (CWebBrowserWnd) is made at the first navigation, hidden, and shown
// once its first document has completed and the control has a usable size;
// until then, and whenever the page is not shown, the control paints its
// background colour. The application opens pages with Navigate and asks
// GetUrl; scripts reach Navigate through their built-in.
class GXConBrowser : public GXConBase {
public:
    // factory: how the view is made; empty means the backend the program
    // registered (CWebBrowserWnd::Create).
    explicit GXConBrowser(GXConOwner* pOwner, CWebBrowserWnd::Factory factory = {});
    ~GXConBrowser() override;

    // URL, OffURL ("$" evaluated, "./" a skin file), BkgndColor,
    // OfflineHide. The page is opened at once when the control already has
    // a usable size, else when it first gets one. Fails only when the
    // common attributes fail.
    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    void SetPos(int x, int y, int cx, int cy, Redraw redraw) override;
    void OnSize(int cx, int cy) override;
    int Draw() override;
    // Opens the page; false when no view could be made.
    bool Navigate(const std::string& url) override;

    // The URL of the last Navigate as it was asked for, not where the site
    // redirected to.
    [[nodiscard]] const std::string& GetUrl() const { return m_strLastUrl; }
    // A cookie for the view's pages (the request board's user key); makes
    // the view when there is none yet. False when none could be made.
    bool SetCookie(const std::string& url, const std::string& name, const std::string& value);

    [[nodiscard]] bool IsPageShown() const { return m_bShown; }
    [[nodiscard]] const std::string& GetPendingUrl() const { return m_strPendingUrl; }

private:
    // Makes the view on first use; false when there is none.
    bool EnsureView();
    void OnDocumentComplete();
    void ShowPage();
    void HidePage();

    CWebBrowserWnd::Factory m_factory;
    std::unique_ptr<CWebBrowserWnd> m_pView;
    bool m_bOfflineHide = false;
    // Set at the first attempt to make the view, also when it failed: a
    // control whose view could not be made does not try again.
    bool m_bCreated = false;
    // A page that waits for the control's first usable size.
    std::string m_strPendingUrl;
    // The page is on the screen.
    bool m_bShown = false;
    // A layout may show the page again (it was shown and only the size
    // hid it).
    bool m_bShowAllowed = false;
    static constexpr COLORREF kNoColor = 0xFFFFFFFF;
    COLORREF m_crBkgnd = kNoColor;
    std::string m_strLastUrl;
    bool m_bFirstDocumentComplete = false;
    // The last document completed while offline with OfflineHide: the page
    // stays hidden until a document completes online.
    bool m_bHeldOffline = false;
};

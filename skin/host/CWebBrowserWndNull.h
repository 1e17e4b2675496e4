#pragma once

#include "skin/host/CWebBrowserWnd.h"

#include <string>
#include <vector>

// Thread: user-interface thread only.
// The web view of a build without a web engine: it loads nothing and never
// completes a document, so the browser control keeps painting its
// background colour. It remembers what it was asked, which is all a test
// of the control's own logic needs to see.
class CWebBrowserWndNull : public CWebBrowserWnd {
public:
    struct Cookie {
        std::string url;
        std::string name;
        std::string value;
    };

    void Navigate(const std::string& url) override { m_urls.push_back(url); }
    void MoveBrowser(const GXRect& rect) override { m_rect = rect; }
    void Show() override { m_bVisible = true; }
    void Hide() override { m_bVisible = false; }
    [[nodiscard]] bool IsVisible() const override { return m_bVisible; }
    void Enable() override { m_bEnabled = true; }
    void Disable() override { m_bEnabled = false; }
    void SetCookie(const std::string& url, const std::string& name, const std::string& value) override
    {
        m_cookies.push_back(Cookie { url, name, value });
    }

    // Every Navigate, oldest first.
    [[nodiscard]] const std::vector<std::string>& GetUrls() const { return m_urls; }
    [[nodiscard]] const GXRect& GetRect() const { return m_rect; }
    [[nodiscard]] bool IsEnabled() const { return m_bEnabled; }
    [[nodiscard]] const std::vector<Cookie>& GetCookies() const { return m_cookies; }

private:
    std::vector<std::string> m_urls;
    std::vector<Cookie> m_cookies;
    GXRect m_rect;
    bool m_bVisible = false;
    bool m_bEnabled = true;
};

// A browser control on Qt WebEngine, on a real X server: the page of a
// loopback server loads, its completion arrives, and the view sits over
// the control and draws the page there; a cookie set through the layer
// goes out with the next request. The engine starts in this one process,
// on its own Xvfb, with the sandbox off because tests run as root.
#include "skin/web/CWebBrowserWndWebEngine.h"

#include "foundation/GXmp.h"
#include "skin/controls/GXConBrowser.h"
#include "support/FakeConOwner.h"
#include "support/LocalHttpServer.h"
#include "support/QtWebEngineDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QScreen>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

using testutil::WaitForWeb;

// The page's text as the engine has it now.
QString PlainText(QWebEngineView& view)
{
    auto text = std::make_shared<QString>();
    auto done = std::make_shared<bool>(false);
    view.page()->toPlainText([text, done](const QString& value) {
        *text = value;
        *done = true;
    });
    if (!WaitForWeb([done] { return *done; }, 10000))
        return {};
    return *text;
}

} // namespace

TEST(CWebBrowserWndWebEngine, LoadsALoopbackPageOverTheControl)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    TempHome home;
    XvfbServer xvfb;
    ASSERT_TRUE(testutil::UseWebEngineDisplay(home, xvfb));
    // Xvfb has no GPU.
    home.Set("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");

    const std::string page = home.Path("tmp") + "/page.html";
    std::ofstream(page) << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
                           "<body style=\"background:#00ff00;margin:0\">방송 신청곡 게시판</body></html>";
    testutil::LocalHttpServer http;
    ASSERT_TRUE(http.Start(page));

    int argc = 1;
    char name[] = "skin_web_tests";
    char* argv[] = { name, nullptr };
    auto app = std::make_unique<QApplication>(argc, argv);
    CWebBrowserWndWebEngine::Register();
    {
        QWidget host;
        host.setGeometry(0, 0, 400, 300);
        host.show();
        FakeConOwner owner;
        owner.pHost = &host;
        GXConBrowser control(&owner);
        const std::string xml = "<BrowserControl URL=\"" + http.Url("/index.html") + "\" BkgndColor=\"red\"/>";
        GXmp doc;
        ASSERT_TRUE(doc.LoadBuffer(xml.data(), static_cast<int>(xml.size())));
        ASSERT_TRUE(control.Load(nullptr, doc.GetRoot()));
        // Loading the skin does not start the engine; the first layout does.
        EXPECT_EQ(host.findChild<QWebEngineView*>(), nullptr);
        control.SetPos(20, 30, 200, 100, GXConBase::Redraw::No);
        auto* pView = host.findChild<QWebEngineView*>();
        ASSERT_NE(pView, nullptr);
        EXPECT_FALSE(pView->isVisible());

        ASSERT_TRUE(WaitForWeb([&] { return control.IsPageShown(); })) << "no load-finished arrived";
        EXPECT_TRUE(pView->isVisible());
        EXPECT_EQ(pView->geometry(), QRect(20, 30, 200, 100));
        EXPECT_EQ(control.GetUrl(), http.Url("/index.html"));
        EXPECT_EQ(PlainText(*pView), QString::fromUtf8("방송 신청곡 게시판"));
        // The page's green reaches the X server's screen inside the control's
        // rectangle, and not outside it.
        QScreen* pScreen = QGuiApplication::primaryScreen();
        const auto pixel = [&](int x, int y) {
            return pScreen->grabWindow(host.winId(), x, y, 1, 1).toImage().pixel(0, 0) & 0xFFFFFF;
        };
        EXPECT_TRUE(WaitForWeb([&] { return pixel(210, 120) == 0x00FF00; }, 20000)) << std::hex << pixel(210, 120);
        EXPECT_NE(pixel(10, 10), 0x00FF00U);

        ASSERT_TRUE(control.SetCookie(http.Url("/"), "userkey", "k42"));
        ASSERT_TRUE(control.Navigate(http.Url("/cookie")));
        EXPECT_TRUE(WaitForWeb([&] { return PlainText(*pView).contains("userkey=k42"); }, 20000))
            << PlainText(*pView).toStdString();
    }
    CWebBrowserWnd::RegisterFactory({});
    app.reset();
}

// The program's web view library, loaded the way the program loads it: the
// engine stays out of the process until the first browser view, then
// draws the page over the control; a missing or wrong library leaves the
// control without a view and the engine unloaded. This executable exports
// the browser layer's base class as the program does and never links Qt
// WebEngine itself, so what the process maps is what the loader loaded.
#include "app/CWebViewPlugin.h"

#include "foundation/GXmp.h"
#include "skin/controls/GXConBrowser.h"
#include "skin/host/CWebBrowserWnd.h"
#include "support/FakeConOwner.h"
#include "support/LocalHttpServer.h"
#include "support/QtWebEngineDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

namespace {

using testutil::WaitForWeb;

bool EngineMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libQt6WebEngineCore") != std::string::npos;
}

std::unique_ptr<QApplication> MakeApplication()
{
    static int argc = 1;
    static char name[] = "app_web_tests";
    static char* argv[] = { name, nullptr };
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace

TEST(CWebViewPlugin, LoadsTheEngineWithTheFirstViewAndDrawsThePage)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    TempHome home;
    XvfbServer xvfb;
    ASSERT_TRUE(testutil::UseWebEngineDisplay(home, xvfb));
    const std::string page = home.Path("tmp") + "/page.html";
    std::ofstream(page) << "<!DOCTYPE html><html><body style=\"background:#00ff00;margin:0\">신청곡</body></html>";
    testutil::LocalHttpServer http;
    ASSERT_TRUE(http.Start(page));

    auto app = MakeApplication();
    CWebViewPlugin::Register(TAVDJ_WEB_VIEW_LIBRARY);
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
        // The window shows, drawn without GL, and the engine is not there.
        EXPECT_FALSE(EngineMapped());
        EXPECT_EQ(QOpenGLContext::globalShareContext(), nullptr);

        control.SetPos(20, 30, 200, 100, GXConBase::Redraw::No);
        EXPECT_TRUE(EngineMapped());
        EXPECT_NE(QOpenGLContext::globalShareContext(), nullptr);
        ASSERT_TRUE(WaitForWeb([&] { return control.IsPageShown(); })) << "no load-finished arrived";
        EXPECT_EQ(control.GetUrl(), http.Url("/index.html"));
        QScreen* pScreen = QGuiApplication::primaryScreen();
        const auto pixel = [&](int x, int y) {
            return pScreen->grabWindow(host.winId(), x, y, 1, 1).toImage().pixel(0, 0) & 0xFFFFFF;
        };
        EXPECT_TRUE(WaitForWeb([&] { return pixel(210, 120) == 0x00FF00; }, 20000)) << std::hex << pixel(210, 120);
        EXPECT_NE(pixel(10, 10), 0x00FF00U);
        // A second view comes from the library already loaded.
        EXPECT_NE(CWebBrowserWnd::Create(&host), nullptr);
    }
    CWebBrowserWnd::RegisterFactory({});
    app.reset();
}

struct SBadLibrary {
    const char* name;
    std::function<std::string(const std::string& folder)> make;
    friend void PrintTo(const SBadLibrary& library, std::ostream* pOut) { *pOut << library.name; }
};

class CWebViewPluginBad : public testing::TestWithParam<SBadLibrary> { };

TEST_P(CWebViewPluginBad, LeavesTheControlWithoutAViewAndTheEngineUnloaded)
{
    TempHome home;
    home.Set("QT_QPA_PLATFORM", "offscreen");
    auto app = MakeApplication();
    const bool engineWasMapped = EngineMapped();
    const std::string path = GetParam().make(home.Path("tmp"));
    CWebViewPlugin::Register(path);
    {
        QWidget host;
        FakeConOwner owner;
        owner.pHost = &host;
        GXConBrowser control(&owner);
        control.SetPos(0, 0, 200, 100, GXConBase::Redraw::No);
        EXPECT_FALSE(control.Navigate("http://127.0.0.1:9/"));
        // Asked again, the loader does not try again.
        EXPECT_EQ(CWebViewPlugin::Load(path), nullptr);
        EXPECT_EQ(CWebBrowserWnd::Create(&host), nullptr);
        EXPECT_EQ(EngineMapped(), engineWasMapped);
    }
    CWebBrowserWnd::RegisterFactory({});
    app.reset();
}

INSTANTIATE_TEST_SUITE_P(CWebViewPlugin, CWebViewPluginBad,
    testing::Values(SBadLibrary { "Missing", [](const std::string& folder) { return folder + "/libnothing.so"; } },
        SBadLibrary { "NotALibrary",
            [](const std::string& folder) {
                std::ofstream(folder + "/libtext.so") << "not a library\n";
                return folder + "/libtext.so";
            } },
        SBadLibrary {
            "WithoutTheEntry", [](const std::string&) { return std::string(TAVDJ_NOT_A_WEB_VIEW_LIBRARY); } }),
    [](const testing::TestParamInfo<SBadLibrary>& param) { return std::string(param.param.name); });

// The browser control's own logic over a web view that loads nothing until
// the test says a document completed: which page a skin's attributes open,
// when the view is made, shown, hidden and moved, and what it paints while
// no page is shown.
#include "skin/controls/GXConBrowser.h"

#include "foundation/GXmp.h"
#include "platform/Connectivity.h"
#include "skin/GDib.h"
#include "skin/host/CWebBrowserWndNull.h"
#include "support/FakeConOwner.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The null view, with the engine's "document complete" in the test's hand.
class ScriptedView : public CWebBrowserWndNull {
public:
    void Finish(const std::string& url) { DocumentComplete(url, LoadResult::ErrorPage); }
};

// A browser control whose views the test can reach.
struct Rig {
    explicit Rig(bool bViewFails = false)
        : control(&owner, [this, bViewFails](QWidget*) -> std::unique_ptr<CWebBrowserWnd> {
            ++viewsMade;
            if (bViewFails)
                return nullptr;
            auto view = std::make_unique<ScriptedView>();
            pView = view.get();
            return view;
        })
    {
    }
    bool Load(const std::string& attributes)
    {
        const std::string xml = "<BrowserControl " + attributes + "/>";
        doc = std::make_unique<GXmp>();
        EXPECT_TRUE(doc->LoadBuffer(xml.data(), static_cast<int>(xml.size())));
        return control.Load(&backBuffer, doc->GetRoot());
    }

    FakeConOwner owner;
    GDib backBuffer;
    std::unique_ptr<GXmp> doc;
    int viewsMade = 0;
    ScriptedView* pView = nullptr;
    GXConBrowser control;
};

void SetOnline(TempHome& home, bool bOnline)
{
    home.Set(platform::kAssumeOnlineEnv, bOnline ? "1" : "0");
}

} // namespace

TEST(GXConBrowser, LoadOpensTheSkinsPageAtTheFirstUsableSize)
{
    struct Case {
        const char* name;
        std::string attributes;
        bool online;
        std::string folder;
        std::string page; // "" when nothing is opened
    };
    const Case cases[] = {
        { "online", R"(URL="http://a.test/" OffURL="http://off.test/")", true, "", "http://a.test/" },
        { "offline page", R"(URL="http://a.test/" OffURL="http://off.test/")", false, "", "http://off.test/" },
        { "offline without one", R"(URL="http://a.test/")", false, "", "http://a.test/" },
        { "evaluated", R"(URL="$page")", true, "", "http://evaluated.test/" },
        { "skin file", R"(URL="./html\main.html")", true, "/tmp/skin", "/tmp/skin/html/main.html" },
        { "skin file offline", R"(URL="http://a.test/" OffURL="./off.html")", false, "/x", "/x/off.html" },
        { "skin file without a folder", R"(URL="./main.html")", true, "", "" },
        { "no page", R"(BkgndColor="red")", true, "", "" },
    };
    TempHome home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetOnline(home, c.online);
        Rig rig;
        rig.owner.folder = c.folder;
        ASSERT_TRUE(rig.Load(c.attributes));
        // At load the control has no size yet: nothing starts an engine.
        EXPECT_EQ(rig.viewsMade, 0);
        EXPECT_EQ(rig.control.GetPendingUrl(), c.page);
        rig.control.SetPos(0, 0, 100, 50, GXConBase::Redraw::No);
        if (c.page.empty()) {
            EXPECT_EQ(rig.viewsMade, 0);
            continue;
        }
        ASSERT_NE(rig.pView, nullptr);
        EXPECT_EQ(rig.pView->GetUrls(), std::vector<std::string> { c.page });
        EXPECT_EQ(rig.control.GetUrl(), c.page);
        EXPECT_EQ(rig.control.GetPendingUrl(), "");
        EXPECT_FALSE(rig.pView->IsVisible());
        EXPECT_EQ(rig.pView->GetRect(), (GXRect { 0, 0, 100, 50 }));
    }
}

TEST(GXConBrowser, PageIsShownOnceItsFirstDocumentCompletesAndTheSizeAllows)
{
    enum class Do { Place, Finish, Offline, Online };
    struct Step {
        Do action;
        int cx;
        int cy;
        bool visible;
        bool enabled;
    };
    struct Case {
        const char* name;
        std::string attributes;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        { "shown after its document", R"(URL="http://a.test/")",
            { { Do::Place, 200, 100, false, true }, { Do::Finish, 0, 0, true, true },
                { Do::Place, 300, 100, true, true } } },
        { "empty size hides, a size shows it again", R"(URL="http://a.test/")",
            { { Do::Place, 200, 100, false, true }, { Do::Finish, 0, 0, true, true }, { Do::Place, 0, 0, false, false },
                { Do::Place, 200, 100, true, true } } },
        { "below MinSize it waits for room", R"(URL="http://a.test/" MinSize="50,50")",
            { { Do::Place, 200, 100, false, true }, { Do::Place, 200, 40, false, false },
                { Do::Finish, 0, 0, false, false }, { Do::Place, 200, 60, true, true } } },
        { "shrunk below MinSize after being shown", R"(URL="http://a.test/" MinSize="50,50")",
            { { Do::Place, 200, 100, false, true }, { Do::Finish, 0, 0, true, true },
                { Do::Place, 40, 100, false, false }, { Do::Place, 200, 100, true, true } } },
        { "OfflineHide keeps an offline page hidden through layouts", R"(URL="http://a.test/" OfflineHide="true")",
            { { Do::Place, 200, 100, false, true }, { Do::Offline, 0, 0, false, true },
                { Do::Finish, 0, 0, false, true }, { Do::Place, 300, 120, false, true },
                { Do::Online, 0, 0, false, true }, { Do::Finish, 0, 0, true, true } } },
        { "OfflineHide only by true or 1", R"(URL="http://a.test/" OfflineHide="yes")",
            { { Do::Place, 200, 100, false, true }, { Do::Offline, 0, 0, false, true },
                { Do::Finish, 0, 0, true, true } } },
    };
    TempHome home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetOnline(home, true);
        Rig rig;
        ASSERT_TRUE(rig.Load(c.attributes));
        int n = 0;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(++n);
            switch (step.action) {
            case Do::Place:
                rig.control.SetPos(10, 20, step.cx, step.cy, GXConBase::Redraw::No);
                break;
            case Do::Finish:
                rig.pView->Finish("http://a.test/");
                break;
            case Do::Offline:
            case Do::Online:
                SetOnline(home, step.action == Do::Online);
                break;
            }
            ASSERT_NE(rig.pView, nullptr);
            EXPECT_EQ(rig.pView->IsVisible(), step.visible);
            EXPECT_EQ(rig.pView->IsEnabled(), step.enabled);
            if (step.action == Do::Place) {
                EXPECT_EQ(rig.pView->GetRect(), (GXRect { 10, 20, 10 + step.cx, 20 + step.cy }));
            }
        }
    }
}

TEST(GXConBrowser, NavigateKeepsTheRequestedUrlAndTheLatestRequestWins)
{
    TempHome home;
    SetOnline(home, true);
    {
        SCOPED_TRACE("redirected, replaced, and before the first layout");
        Rig rig;
        ASSERT_TRUE(rig.Load(R"(URL="http://skin.test/")"));
        // The application's page replaces the skin's one still waiting.
        EXPECT_TRUE(rig.control.Navigate("http://first.test/"));
        EXPECT_TRUE(rig.control.Navigate("http://second.test/"));
        rig.control.SetPos(0, 0, 100, 50, GXConBase::Redraw::No);
        ASSERT_NE(rig.pView, nullptr);
        EXPECT_EQ(rig.pView->GetUrls(), (std::vector<std::string> { "http://first.test/", "http://second.test/" }));
        rig.pView->Finish("http://second.test/elsewhere");
        EXPECT_EQ(rig.control.GetUrl(), "http://second.test/");
        EXPECT_EQ(rig.viewsMade, 1);
        EXPECT_TRUE(rig.control.SetCookie("http://board.test/", "userkey", "k"));
        ASSERT_EQ(rig.pView->GetCookies().size(), 1U);
        EXPECT_EQ(rig.pView->GetCookies()[0].value, "k");
    }
    {
        SCOPED_TRACE("a view that cannot be made is not tried again");
        Rig rig(true);
        EXPECT_FALSE(rig.control.Navigate("http://a.test/"));
        EXPECT_FALSE(rig.control.Navigate("http://b.test/"));
        EXPECT_FALSE(rig.control.SetCookie("http://a.test/", "userkey", "k"));
        EXPECT_EQ(rig.viewsMade, 1);
        EXPECT_EQ(rig.control.GetUrl(), "");
        rig.control.SetPos(0, 0, 100, 50, GXConBase::Redraw::Yes);
    }
}

TEST(GXConBrowser, PaintsItsBackgroundWhileNoPageIsShown)
{
    struct Case {
        const char* name;
        std::string attributes;
        bool finished;
        QRgb centre;
    };
    const QRgb kBlack = 0xFF000000;
    const Case cases[] = {
        { "colour while loading", R"(URL="http://a.test/" BkgndColor="#00ff00")", false, 0xFF00FF00 },
        { "no colour once shown", R"(URL="http://a.test/" BkgndColor="#00ff00")", true, kBlack },
        { "transparent is none", R"(URL="http://a.test/" BkgndColor="transparent")", false, kBlack },
    };
    TempHome home;
    SetOnline(home, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_TRUE(rig.backBuffer.Create24(40, 30));
        rig.backBuffer.Fill(0);
        ASSERT_TRUE(rig.Load(c.attributes));
        rig.control.SetPos(10, 10, 20, 10, GXConBase::Redraw::No);
        if (c.finished)
            rig.pView->Finish("http://a.test/");
        rig.control.Draw();
        rig.backBuffer.ReleaseMemDC();
        const QImage& image = rig.backBuffer.GetImage();
        EXPECT_EQ(image.pixel(20, 15), c.centre);
        EXPECT_EQ(image.pixel(5, 5), kBlack);
        EXPECT_EQ(image.pixel(30, 15), kBlack);
    }
}

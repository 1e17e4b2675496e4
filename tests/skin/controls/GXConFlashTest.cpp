// The Flash control without a player: what its attributes do, the one
// mouse hook its controls share, and which clicks on its stage the skin
// gets back (right and middle always, left only outside the movie's part).
#include "skin/controls/GXConFlash.h"

#include "foundation/GXmp.h"
#include "platform/Connectivity.h"
#include "skin/GXSkinIds.h"
#include "skin/host/CFlashMouseHookMan.h"
#include "support/FakeConOwner.h"
#include "support/SkinWindowRig.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

bool Load(GXConFlash& control, const std::string& attributes)
{
    const std::string xml = "<FlashControl " + attributes + "/>";
    GXmp doc;
    EXPECT_TRUE(doc.LoadBuffer(xml.data(), static_cast<int>(xml.size())));
    return control.Load(nullptr, doc.GetRoot());
}

// What reaches the stage itself, standing in for the movie.
class MovieInput : public QObject {
public:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::MouseButtonPress || pEvent->type() == QEvent::MouseButtonRelease
            || pEvent->type() == QEvent::MouseButtonDblClick || pEvent->type() == QEvent::MouseMove)
            ++events;
        return false;
    }
    int events = 0;
};

} // namespace

TEST(GXConFlash, LoadTakesTheMovieAndItsAttributesWithoutAPlayer)
{
    struct Case {
        const char* name;
        std::string attributes;
        bool online;
        std::string movie;
        bool shown;
    };
    const Case cases[] = {
        { "online", R"(URL="http://a.test/m.swf" OffURL="./off.swf")", true, "http://a.test/m.swf", true },
        { "offline", R"(URL="http://a.test/m.swf" OffURL="./sub\off.swf")", false, "/skin/sub/off.swf", true },
        { "offline without OffURL", R"(URL="http://a.test/m.swf")", false, "http://a.test/m.swf", true },
        { "no script evaluation", R"(URL="$page")", true, "$page", true },
        { "OfflineHide starts hidden even online", R"(URL="./m.swf" OfflineHide="true")", true, "/skin/m.swf", false },
        { "OfflineHide only by true or 1", R"(URL="./m.swf" OfflineHide="on")", true, "/skin/m.swf", true },
        { "no movie", R"(BkgndColor="#102030")", true, "", true },
    };
    TempHome home;
    QWidget host;
    host.resize(200, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        home.Set(platform::kAssumeOnlineEnv, c.online ? "1" : "0");
        FakeConOwner owner;
        owner.pHost = &host;
        owner.folder = "/skin";
        GXConFlash control(&owner);
        ASSERT_TRUE(Load(control, c.attributes));
        EXPECT_FALSE(CFlashWnd::IsPlayerAvailable());
        EXPECT_EQ(control.GetHost().GetMovie(), c.movie);
        EXPECT_EQ(control.IsShown(), c.shown);
        EXPECT_EQ(owner.refreshRequests, c.shown ? 0 : 1);
        ASSERT_NE(control.GetHost().GetInnerWindow(), nullptr);
        EXPECT_EQ(control.GetHost().GetInnerWindow()->parentWidget(), &host);
    }
    {
        SCOPED_TRACE("a window without a widget still loads the skin");
        FakeConOwner owner;
        GXConFlash control(&owner);
        EXPECT_TRUE(Load(control, R"(URL="http://a.test/m.swf")"));
        EXPECT_EQ(control.GetHost().GetInnerWindow(), nullptr);
        control.SetPos(1, 2, 30, 40, GXConBase::Redraw::No);
    }
}

TEST(GXConFlash, ItsControlsShareOneHookThatTheLastOneRemoves)
{
    auto host = std::make_unique<QWidget>();
    FakeConOwner owner;
    owner.pHost = host.get();
    EXPECT_EQ(CFlashMouseHookMan::Get(), nullptr);
    auto first = std::make_unique<GXConFlash>(&owner);
    auto second = std::make_unique<GXConFlash>(&owner);
    ASSERT_TRUE(Load(*first, ""));
    ASSERT_TRUE(Load(*second, ""));
    CFlashMouseHookMan* pMan = CFlashMouseHookMan::Get();
    ASSERT_NE(pMan, nullptr);
    EXPECT_EQ(pMan->GetRefCount(), 2);
    EXPECT_EQ(pMan->GetRecordCount(), 2U);
    first.reset();
    EXPECT_EQ(CFlashMouseHookMan::Get(), pMan);
    EXPECT_EQ(pMan->GetRefCount(), 1);
    EXPECT_EQ(pMan->GetRecordCount(), 1U);
    EXPECT_EQ(host->findChildren<QWidget*>().size(), 1);
    // The window (and with it the stage) may go before its last control.
    host.reset();
    second.reset();
    EXPECT_EQ(CFlashMouseHookMan::Get(), nullptr);
}

TEST(GXConFlash, RightAndMiddleClicksOnTheStageGoToTheSkin)
{
    using Action = GXConOwner::ButtonAction;
    struct Case {
        const char* name;
        QEvent::Type type;
        Qt::MouseButton button;
        QPoint at; // on the stage
        bool movieKeepsLeft;
        std::optional<FakeConOwner::Forwarded> skin;
    };
    // The stage sits at (40, 30) of the window.
    const Case cases[] = {
        { "right down", QEvent::MouseButtonPress, Qt::RightButton, { 5, 6 }, true,
            FakeConOwner::Forwarded { 2, Action::Down, { 45, 36 } } },
        { "right up", QEvent::MouseButtonRelease, Qt::RightButton, { 5, 6 }, true,
            FakeConOwner::Forwarded { 2, Action::Up, { 45, 36 } } },
        { "right double click is a press", QEvent::MouseButtonDblClick, Qt::RightButton, { 0, 0 }, true,
            FakeConOwner::Forwarded { 2, Action::Down, { 40, 30 } } },
        { "middle down", QEvent::MouseButtonPress, Qt::MiddleButton, { 99, 49 }, true,
            FakeConOwner::Forwarded { 3, Action::Down, { 139, 79 } } },
        { "left stays with the movie", QEvent::MouseButtonPress, Qt::LeftButton, { 5, 6 }, true, std::nullopt },
        { "left up with the movie", QEvent::MouseButtonRelease, Qt::LeftButton, { 5, 6 }, true, std::nullopt },
        { "left in the skin's part", QEvent::MouseButtonPress, Qt::LeftButton, { 5, 6 }, false,
            FakeConOwner::Forwarded { 1, Action::Down, { 45, 36 } } },
        { "left up in the skin's part", QEvent::MouseButtonRelease, Qt::LeftButton, { 5, 6 }, false,
            FakeConOwner::Forwarded { 1, Action::Up, { 45, 36 } } },
        { "left double click in the skin's part is dropped", QEvent::MouseButtonDblClick, Qt::LeftButton, { 5, 6 },
            false, std::nullopt },
        { "moves pass on", QEvent::MouseMove, Qt::NoButton, { 5, 6 }, false, std::nullopt },
    };
    QWidget host;
    host.resize(300, 200);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeConOwner owner;
        owner.pHost = &host;
        GXConFlash control(&owner);
        ASSERT_TRUE(Load(control, R"(URL="http://a.test/m.swf")"));
        control.SetPos(40, 30, 100, 50, GXConBase::Redraw::No);
        if (!c.movieKeepsLeft)
            control.SetPassThrough(GXConFlash::PassMode::kInRects, GXConFlash::Edge::kNone, 0, {});
        QWidget* pStage = control.GetHost().GetInnerWindow();
        ASSERT_NE(pStage, nullptr);
        EXPECT_EQ(pStage->geometry(), QRect(40, 30, 100, 50));
        // The hook filters before anything installed earlier on the stage.
        MovieInput movie;
        pStage->installEventFilter(&movie);
        CFlashMouseHookMan::Get()->Register(control, pStage);

        // A move reaches a widget without mouse tracking only as a drag.
        const Qt::MouseButtons held = c.type == QEvent::MouseMove ? Qt::LeftButton
            : c.type == QEvent::MouseButtonRelease                ? Qt::NoButton
                                                                  : Qt::MouseButtons(c.button);
        QMouseEvent event(c.type, QPointF(c.at), QPointF(pStage->mapToGlobal(c.at)), c.button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(pStage, &event);
        if (c.skin) {
            EXPECT_EQ(owner.forwarded, std::vector<FakeConOwner::Forwarded> { *c.skin });
            EXPECT_EQ(movie.events, 0);
        } else {
            EXPECT_TRUE(owner.forwarded.empty());
            const bool swallowed = c.type == QEvent::MouseButtonDblClick;
            EXPECT_EQ(movie.events, swallowed ? 0 : 1);
        }
    }
}

TEST(GXConFlash, PassThroughZonesDecideWhoGetsALeftClick)
{
    using Mode = GXConFlash::PassMode;
    using Edge = GXConFlash::Edge;
    struct Case {
        Mode mode;
        Edge edge;
        GXPoint at;
        bool movie;
    };
    // 100 x 50, the edge zones 10 wide, the rectangles two corners.
    const Case cases[] = {
        { Mode::kAll, Edge::kLeft, { 50, 25 }, true },
        { Mode::kNearEdge, Edge::kNone, { 50, 25 }, true },
        { Mode::kNearEdge, Edge::kLeft, { 9, 25 }, true },
        { Mode::kNearEdge, Edge::kLeft, { 10, 25 }, false },
        { Mode::kNearEdge, Edge::kTop, { 50, 9 }, true },
        { Mode::kNearEdge, Edge::kBottom, { 50, 41 }, true },
        { Mode::kNearEdge, Edge::kBottom, { 50, 40 }, false },
        { Mode::kNearEdge, Edge::kRight, { 90, 0 }, false },
        { Mode::kInRects, Edge::kNone, { 60, 45 }, true },
        { Mode::kInRects, Edge::kNone, { 20, 10 }, false },
    };
    FakeConOwner owner;
    GXConFlash control(&owner);
    control.SetPos(0, 0, 100, 50, GXConBase::Redraw::No);
    for (const Case& c : cases) {
        control.SetPassThrough(c.mode, c.edge, 10, { GXRect { 0, 0, 20, 20 }, GXRect { 50, 40, 100, 50 } });
        EXPECT_EQ(control.PassesToMovie(c.at.x, c.at.y), c.movie)
            << static_cast<int>(c.edge) << " " << c.at.x << "," << c.at.y;
    }
}

TEST(GXConFlash, ARightClickOnTheStageReachesTheSkinWindowsOwner)
{
    SkinWindowRig rig;
    auto pFlash = std::make_unique<GXConFlash>(rig.pWindow.get());
    GXConFlash* pControl = pFlash.get();
    ASSERT_TRUE(Load(*pControl, R"(URL="http://a.test/m.swf")"));
    SGxAlign align;
    align.nType = SGxAlign::kNone;
    align.rect = GXRect { 40, 30, 140, 80 };
    rig.pWindow->AddControl(std::move(pFlash), align);
    rig.pWindow->HandleSize(0, 200, 100);
    QWidget* pStage = pControl->GetHost().GetInnerWindow();
    ASSERT_NE(pStage, nullptr);
    EXPECT_EQ(pStage->parentWidget(), rig.pWindow->GetWidget());
    EXPECT_EQ(pStage->geometry(), QRect(40, 30, 100, 50));

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 6), QPointF(pStage->mapToGlobal(QPoint(5, 6))),
        Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pStage, &press);
    const auto downs = rig.owner.Only(GXMsg::kRButtonDown);
    ASSERT_EQ(downs.size(), 1U);
    EXPECT_EQ(downs[0].lParam, 45 | 36 << 16);
}

// The skin window without a screen: what its controls and the owner see of
// mouse, keys and notifications, hit testing through the layout, the
// lifetime rules, and a window deleted while one of its scripts waits in a
// message box.
#include "skin/GXWindowMain.h"

#include "platform/MessageRegistry.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSubTooltipWindow.h"
#include "skin/GXWindowChild.h"
#include "skin/controls/GXConRgn.h"
#include "support/FakeSkinOwner.h"
#include "support/SkinWindowRig.h"

#include <QCoreApplication>
#include <QRegion>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using Msg = RecordingSkinOwner::SMessage;

unsigned SkinNotify()
{
    return platform::RegisterMessage(GXMsgName::kSkinNotify);
}

std::intptr_t Packed(int x, int y)
{
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>(x & 0xFFFF) | static_cast<std::uint32_t>(y) << 16);
}

TEST(GXWindowMain, CommandsArePostedAndNotificationsSentInOrder)
{
    SkinWindowRig rig;
    ProbeControl* pButton = rig.Add({ 10, 10, 50, 30 });
    pButton->Tell(0xC123, 1, 2);
    pButton->Click(32771);
    pButton->Tell(0xC124, 3, 4);

    const std::vector<Msg> expected { { false, 0xC123, 1, 2 }, { true, GXMsg::kCommand, 32771, 0 },
        { false, 0xC124, 3, 4 } };
    EXPECT_EQ(rig.owner.log, expected);
    // The command waits for the owner's next turn; WM_COMMAND reaching the
    // window itself travels the same way.
    rig.pWindow->HandleCommand(3006, 0);
    ASSERT_EQ(rig.owner.queue.size(), 2u);
    EXPECT_EQ(rig.owner.queue.back(), (Msg { true, GXMsg::kCommand, 3006, 0 }));
}

TEST(GXWindowMain, NestedWindowsPassNotificationsToTheTopOwner)
{
    SkinWindowRig rig;
    auto pChild = std::make_unique<GXWindowChild>(rig.pWindow.get());
    GXWindowChild* pNested = pChild.get();
    rig.pWindow->AddControl(std::move(pChild), SGxAlign {});
    ProbeControl inner(pNested);
    inner.Click(1234);
    inner.Tell(0xC200, 7, 8);
    EXPECT_EQ(rig.owner.log, (std::vector<Msg> { { true, GXMsg::kCommand, 1234, 0 }, { false, 0xC200, 7, 8 } }));
    EXPECT_EQ(pNested->NotifyOwner(GXSkinNotify::kMenuOpening, 9), 0);
    EXPECT_EQ(rig.owner.log.back(), (Msg { false, SkinNotify(), 2, 9 }));
}

// Presses on a control that takes or declines them, and on empty skin.
TEST(GXWindowMain, ButtonPressesReachControlOrOwner)
{
    struct Case {
        const char* name;
        GXPoint at;
        bool bTake;
        bool bDraggable;
        bool bPopup;
        GXWindowMain::PressResult result;
        int nOwnerDowns;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        { "control takes it", { 15, 12 }, true, false, false, GXWindowMain::PressResult::Handled, 0, { "down 1 5,2" } },
        { "control declines", { 15, 12 }, false, false, false, GXWindowMain::PressResult::NotHandled, 1,
            { "down 1 5,2" } },
        { "empty skin", { 150, 80 }, true, false, false, GXWindowMain::PressResult::NotHandled, 1, {} },
        { "empty skin, draggable", { 150, 80 }, true, true, false, GXWindowMain::PressResult::StartDrag, 1, {} },
        { "empty pop-up, draggable", { 150, 80 }, true, true, true, GXWindowMain::PressResult::StartDrag, 0, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SkinWindowRig rig;
        ProbeControl* p = rig.Add({ 10, 10, 50, 30 });
        p->bTakeDown = c.bTake;
        SGxWindowFlags flags;
        flags.bDraggable = c.bDraggable;
        flags.bPopupWindow = c.bPopup;
        rig.pWindow->SetWindowFlags(flags);
        EXPECT_EQ(rig.pWindow->HandleButtonDown(GXButton::kLeft, c.at), c.result);
        EXPECT_EQ(p->events, c.events);
        const auto downs = rig.owner.Only(GXMsg::kLButtonDown);
        ASSERT_EQ(downs.size(), static_cast<std::size_t>(c.nOwnerDowns));
        if (!downs.empty()) {
            EXPECT_EQ(downs[0].lParam, Packed(c.at.x, c.at.y));
        }
    }
}

TEST(GXWindowMain, HitTestingFollowsLayoutAndSkipsHiddenControls)
{
    SkinWindowRig rig(200, 100);
    SGxAlign left;
    left.nType = SGxAlign::kLeft;
    left.nWidth = 50;
    SGxAlign client;
    client.nType = SGxAlign::kClient;
    ProbeControl* pLeft = rig.AddAligned(left);
    ProbeControl* pClient = rig.AddAligned(client);
    ProbeControl* pCover = rig.Add({ 100, 0, 200, 100 });

    rig.pWindow->HandleButtonDown(GXButton::kRight, { 60, 5 });
    EXPECT_EQ(pClient->events, (std::vector<std::string> { "down 2 10,5" }));
    rig.pWindow->HandleButtonDown(GXButton::kLeft, { 49, 99 });
    EXPECT_EQ(pLeft->events, (std::vector<std::string> { "down 1 49,99" }));

    // The control drawn last wins; once hidden it is neither hit nor drawn.
    EXPECT_EQ(rig.pWindow->HitTestControls({ 150, 50 }), pCover);
    pCover->SetShow(false);
    EXPECT_EQ(rig.pWindow->HitTestControls({ 150, 50 }), pClient);
    const int nDraws = pCover->nDraws;
    rig.pWindow->RedrawControl(nullptr);
    rig.pWindow->Update();
    EXPECT_EQ(pCover->nDraws, nDraws);
    EXPECT_GT(pClient->nDraws, 0);
}

TEST(GXWindowMain, CaptureKeepsTheMouseAndHoverIsReported)
{
    SkinWindowRig rig;
    ProbeControl* pA = rig.Add({ 0, 0, 50, 50 }, "a");
    ProbeControl* pB = rig.Add({ 100, 0, 150, 50 }, "b");
    pA->bCapture = true;
    pA->bWantLeave = true;

    rig.pWindow->HandleMouseMove({ 10, 10 });
    EXPECT_EQ(rig.pWindow->GetHotControl(), pA);
    rig.pWindow->HandleMouseMove({ 10, 10 }); // the same place: nothing at all
    rig.pWindow->HandleButtonDown(GXButton::kMiddle, { 10, 10 });
    EXPECT_EQ(rig.pWindow->GetCapturedControl(), pA);
    rig.pWindow->HandleMouseMove({ 110, 20 });
    rig.pWindow->HandleButtonUp(GXButton::kMiddle, { 110, 20 });
    EXPECT_EQ(rig.pWindow->GetCapturedControl(), nullptr);
    rig.pWindow->HandleMouseMove({ 120, 20 });

    EXPECT_EQ(pA->events,
        (std::vector<std::string> {
            "a:move 10,10", "a:down 3 10,10", "a:move 110,20 captured", "a:leave", "a:up 3 110,20 captured" }));
    EXPECT_EQ(pB->events, (std::vector<std::string> { "b:move 20,20" }));
    const auto hovers = rig.owner.Only(SkinNotify());
    ASSERT_EQ(hovers.size(), 2u);
    EXPECT_EQ(hovers[0].lParam, reinterpret_cast<std::intptr_t>(pA));
    EXPECT_EQ(hovers[1].lParam, reinterpret_cast<std::intptr_t>(pB));
}

TEST(GXWindowMain, DoubleClicksAControlDeclinesArriveAsPresses)
{
    SkinWindowRig rig;
    ProbeControl* p = rig.Add({ 0, 0, 50, 50 });
    p->bTakeDown = false;
    rig.pWindow->HandleDoubleClick(GXButton::kMiddle, { 5, 5 });
    rig.pWindow->HandleDoubleClick(GXButton::kLeft, { 5, 5 });
    EXPECT_EQ(p->events, (std::vector<std::string> { "down 4 5,5", "down 2 5,5", "down 4 5,5", "down 1 5,5" }));
}

TEST(GXWindowMain, KeysGoToTheFocusControlElseToTheOwner)
{
    SkinWindowRig rig;
    ProbeControl* pList = rig.Add({ 0, 0, 50, 50 });
    pList->bFocus = true;
    rig.pWindow->HandleKey(GXMsg::kKeyDown, GXKey::kDown, 1);
    EXPECT_EQ(rig.owner.Only(GXMsg::kKeyDown).size(), 1u); // no focus control yet

    rig.pWindow->HandleButtonDown(GXButton::kLeft, { 5, 5 });
    rig.pWindow->HandleKey(GXMsg::kKeyDown, GXKey::kDown, 3);
    EXPECT_EQ(pList->events.back(), "keydown 40 x3");
    EXPECT_EQ(rig.owner.Only(GXMsg::kKeyDown).size(), 1u);

    pList->bTakeKeys = false;
    rig.pWindow->HandleKey(GXMsg::kKeyDown, 'A', 1);
    rig.pWindow->HandleKey(GXMsg::kChar, 'a', 1);
    EXPECT_EQ(rig.owner.Only(GXMsg::kKeyDown).back(), (Msg { false, GXMsg::kKeyDown, 'A', 1 }));
    EXPECT_EQ(rig.owner.Only(GXMsg::kChar).size(), 1u);
}

TEST(GXWindowMain, NonClientHitTestAndSizeLimits)
{
    SkinWindowRig rig(200, 100);
    rig.Add({ 180, 20, 190, 30 });
    SGxWindowFlags flags;
    flags.bResizeBorder = true;
    flags.bClientCaption = true;
    flags.minMaxSize = { 100, 50, -1, -1 };
    rig.pWindow->SetWindowFlags(flags);
    struct Case {
        GXPoint at;
        int nCode;
    };
    const Case cases[] = {
        { { 10, 3 }, GXHitTest::kTopLeft }, // the corner band is 16 long
        { { 3, 16 }, GXHitTest::kTopLeft }, { { 10, 6 }, GXHitTest::kCaption }, // empty skin with ClientCaption
        { { 196, 99 }, GXHitTest::kBottomRight }, { { 100, 2 }, GXHitTest::kTop }, { { 197, 50 }, GXHitTest::kRight },
        { { 185, 25 }, GXHitTest::kClient }, // a control without NcHitTest
    };
    for (const Case& c : cases)
        EXPECT_EQ(rig.pWindow->HandleNcHitTest(c.at), c.nCode) << c.at.x << "," << c.at.y;

    SGxMinMaxInfo info;
    rig.pWindow->HandleGetMinMaxInfo(&info);
    EXPECT_EQ(info.minTrackSize, (GXSize { 100, 50 }));
    EXPECT_EQ(info.maxTrackSize, (GXSize { -1, -1 }));
    EXPECT_EQ(info.maxSize, (GXSize { -1, -1 }));
}

// The application's window, which the skin window lies on.
class OwnerWithWidget final : public GXWindowOwner {
public:
    std::intptr_t SendToOwner(unsigned, std::uintptr_t, std::intptr_t) override { return 0; }
    void PostToOwner(unsigned, std::uintptr_t, std::intptr_t) override { }
    [[nodiscard]] QWidget* GetOwnerWidget() const override { return &widget; }
    mutable QWidget widget;
};

// Which window a skin window's region controls shape: a skin laid over the
// application's window shapes that window; a nested skin window is a window
// of its own and shapes only itself, with or without PopupWindow.
TEST(GXWindowMain, RegionShapesTheWindowOnScreen)
{
    struct Case {
        const char* name;
        bool bNested;
        bool bPopup;
        bool bOwnerShaped;
    };
    const Case cases[] = {
        { "top skin window", false, false, true },
        { "top skin window with PopupWindow", false, true, false },
        { "nested pop-up", true, true, false },
        { "nested without PopupWindow", true, false, false },
    };
    const QRegion ellipse(0, 0, 100, 50, QRegion::Ellipse);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnerWithWidget owner;
        owner.widget.resize(400, 300);
        GXWindowMain::Ptr pTop(new GXWindowMain(nullptr));
        ASSERT_TRUE(pTop->Create(&owner, GXRect { 0, 0, 400, 300 }));
        GXWindowMain* pShaped = pTop.get();
        if (c.bNested) {
            auto pChild = std::make_unique<GXWindowChild>(pTop.get());
            pShaped = pChild.get();
            pTop->AddControl(std::move(pChild), SGxAlign {});
            ASSERT_TRUE(pShaped->Load(nullptr, nullptr));
        }
        SGxWindowFlags flags;
        flags.bPopupWindow = c.bPopup;
        pShaped->SetWindowFlags(flags);
        auto pShape = std::make_unique<GXConRgn>(pShaped);
        const ParsedElement element(R"(<Rgn Type="ellipse"/>)");
        ASSERT_TRUE(pShape->Load(nullptr, element.get()));
        SGxAlign client;
        client.nType = SGxAlign::kClient;
        pShaped->AddRegionControl(std::move(pShape), client);
        pShaped->HandleSize(0, 100, 50);
        EXPECT_EQ(owner.widget.mask(), c.bOwnerShaped ? ellipse : QRegion());
        EXPECT_EQ(pShaped->GetWidget()->mask(), c.bOwnerShaped ? QRegion() : ellipse);
    }
}

TEST(GXWindowMain, ScriptCommandsRunWithDoubleQuotesAndReportFailure)
{
    SkinWindowRig rig;
    ProbeControl* p = rig.Add({ 0, 0, 50, 50 }, "IDC_TITLE", 700);
    const unsigned strCmd = platform::RegisterMessage(GXMsgName::kStrCmd);
    const char* pszGood = "SetControlText('IDC_TITLE', 'on air');";
    p->Tell(strCmd, reinterpret_cast<std::uintptr_t>(pszGood), 0);
    EXPECT_EQ(p->GetText(0), "on air");
    EXPECT_TRUE(rig.owner.Only(SkinNotify()).empty());

    const char* pszBad = "NoSuchFunction(1);";
    p->Tell(strCmd, reinterpret_cast<std::uintptr_t>(pszBad), 0);
    EXPECT_EQ(rig.pWindow->GetErrorCode(), GXSkinError::kScript);
    EXPECT_EQ(rig.pWindow->GetErrorText().rfind("스크립트 처리중 오류 발생 EXP:", 0), 0u);
    EXPECT_EQ(rig.owner.Only(SkinNotify()).back(), (Msg { false, SkinNotify(), 1, 0 }));
}

TEST(GXWindowMain, UnloadForgetsEveryControlPointer)
{
    SkinWindowRig rig;
    ProbeControl* p = rig.Add({ 0, 0, 50, 50 });
    p->bCapture = true;
    p->bWantLeave = true;
    p->bFocus = true;
    p->SetTooltip("tip", 1);
    rig.pWindow->HandleMouseMove({ 5, 5 });
    rig.pWindow->HandleButtonDown(GXButton::kLeft, { 5, 5 });
    ASSERT_EQ(rig.pWindow->GetCapturedControl(), p);
    ASSERT_EQ(GXSubTooltipWindow::Shared()->GetOwner(), p);

    rig.pWindow->UnloadSkin();
    EXPECT_EQ(rig.pWindow->GetCapturedControl(), nullptr);
    EXPECT_EQ(rig.pWindow->GetHotControl(), nullptr);
    EXPECT_EQ(rig.pWindow->GetFocusControl(), nullptr);
    EXPECT_EQ(rig.pWindow->GetLastControlUnderCursor(), nullptr);
    EXPECT_EQ(GXSubTooltipWindow::Shared()->GetOwner(), nullptr);
    // Events after the unload find nothing to touch.
    rig.pWindow->HandleButtonUp(GXButton::kLeft, { 5, 5 });
    rig.pWindow->HandleKey(GXMsg::kKeyDown, GXKey::kUp, 1);
}

TEST(GXWindowMain, WindowsNeverCreatedStillLetTheTooltipGo)
{
    ASSERT_EQ(GXWindowMain::GetLiveCount(), 0);
    {
        GXWindowMain::Ptr pNeverCreated(new GXWindowMain(nullptr));
        EXPECT_EQ(GXWindowMain::GetLiveCount(), 1);
        EXPECT_NE(GXSubTooltipWindow::Shared(), nullptr);
    }
    EXPECT_EQ(GXWindowMain::GetLiveCount(), 0);
    EXPECT_EQ(GXSubTooltipWindow::Shared(), nullptr);
}

TEST(GXWindowMain, ThemeSwitchTintsAliasImagesFromTheirOriginal)
{
    SkinWindowRig rig;
    auto pImage = std::make_unique<GDib>();
    ASSERT_TRUE(pImage->Create(2, 1, 24));
    pImage->Fill(GxRgb(100, 100, 100));
    ASSERT_TRUE(rig.pWindow->RegisterImage("Logo", std::move(pImage)));
    rig.pWindow->AddColorTheme({ 10, 0, -10, "warm" });
    rig.pWindow->AddColorTheme({ 0, 0, 0, "plain" });

    const auto pixel = [&] {
        const std::uint8_t* p = rig.pWindow->FindImage("logo")->GetPixelAddress(0, 0);
        return GxRgb(p[2], p[1], p[0]);
    };
    ASSERT_TRUE(rig.pWindow->SelectColorTheme(-1));
    EXPECT_EQ(pixel(), GxRgb(110, 100, 90));
    ASSERT_TRUE(rig.pWindow->SelectColorTheme(-1));
    EXPECT_EQ(pixel(), GxRgb(100, 100, 100));
    ASSERT_TRUE(rig.pWindow->SelectColorTheme(0));
    EXPECT_EQ(pixel(), GxRgb(110, 100, 90)); // not tinted twice
}

// A click runs a script whose message box spins the owner's loop, where an
// earlier posted reload deletes the skin window. The window must outlive
// the script, stop it, and go once the click's handling has unwound.
TEST(GXWindowMain, ReloadDuringScriptMessageBoxDefersTheDeletion)
{
    RecordingSkinHooks hooks;
    auto pRig = std::make_unique<SkinWindowRig>();
    SkinWindowRig& rig = *pRig;
    ProbeControl* pButton = rig.Add({ 0, 0, 50, 50 }, "IDC_BUTTON", 800);
    const unsigned strCmd = platform::RegisterMessage(GXMsgName::kStrCmd);
    const char* pszScript = "MessageBox('reloading'); SetControlText('IDC_BUTTON', 'too late');";
    pButton->onUp = [&] {
        pButton->Click(GXCommandId::kReloadSkin);
        pButton->Tell(strCmd, reinterpret_cast<std::uintptr_t>(pszScript), 0);
        // Still inside the control's handler after the window was let go.
        pButton->SetText("handler ends", 1);
    };
    hooks.onBox = [&] { rig.owner.DispatchPosted(); };
    bool bReloaded = false;
    rig.owner.onPosted = [&](const Msg& m) {
        if (m.message == GXMsg::kCommand && m.wParam == GXCommandId::kReloadSkin) {
            rig.pWindow.reset();
            bReloaded = true;
        }
    };
    GXWindowMain* pWindow = rig.pWindow.get();
    pWindow->HandleButtonDown(GXButton::kLeft, { 5, 5 });
    pWindow->HandleButtonUp(GXButton::kLeft, { 5, 5 });

    ASSERT_TRUE(bReloaded);
    EXPECT_EQ(GXWindowMain::GetLiveCount(), 1);
    EXPECT_TRUE(pWindow->IsDying());
    EXPECT_EQ(pButton->GetText(0), ""); // the statement after the box never ran
    EXPECT_EQ(pButton->GetText(1), "handler ends");
    EXPECT_EQ(hooks.boxes.size(), 1u);
    pRig.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(GXWindowMain::GetLiveCount(), 0);
}

} // namespace

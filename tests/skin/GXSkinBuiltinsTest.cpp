// The skin's native functions as skin scripts call them: each case is a
// script run in a top skin window with two controls, a nested window and
// the recording owner, and what the controls, the owner and the hooks saw.
#include "skin/GXSkinBuiltins.h"

#include "script/GXScriptHost.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "support/SkinWindowRig.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <climits>

namespace {

using Msg = RecordingSkinOwner::SMessage;

struct Skin {
    Skin()
    {
        pTitle = rig.Add({ 0, 0, 50, 20 }, "IDC_TITLE", 1001);
        pLogo = rig.Add({ 0, 20, 50, 40 }, "IDC_LOGO", 1002);
        pLogo->bNumberedImages = true;
        rig.pWindow->AddControlId("ID_START", 3001);
        rig.pWindow->AddControlId("ID_UNBOUND", 4000);
        auto pChild = std::make_unique<GXWindowChild>(rig.pWindow.get());
        pNested = pChild.get();
        rig.pWindow->AddControl(std::move(pChild), SGxAlign {});
        rig.pWindow->AddControlId("IDW_PANEL", 2000);
        rig.pWindow->MapControlId(2000, pNested);
        auto pInner = std::make_unique<ProbeControl>(pNested, "inner");
        pInner_ = pInner.get();
        pNested->AddControl(std::move(pInner), SGxAlign {});
        pNested->AddControlId("IDC_INNER", 2001);
        pNested->MapControlId(2001, pInner_);
    }
    bool Run(const std::string& script) { return rig.pWindow->RunScript(script); }
    std::string Eval(const std::string& expression) { return rig.pWindow->EvalText("$" + expression); }

    RecordingSkinHooks hooks;
    SkinWindowRig rig;
    ProbeControl* pTitle = nullptr;
    ProbeControl* pLogo = nullptr;
    GXWindowChild* pNested = nullptr;
    ProbeControl* pInner_ = nullptr;
};

TEST(GXSkinBuiltins, CommandsReachTheOwnerPostedUnderBothNames)
{
    Skin skin;
    ASSERT_TRUE(skin.Run("SendCommand(\"ID_START\"); SCMD(\" ID_START \"); SCMD(\"ID_NOWHERE\");"));
    const std::vector<Msg> expected(2, Msg { true, GXMsg::kCommand, 3001, 0 });
    EXPECT_EQ(skin.rig.owner.Only(GXMsg::kCommand), expected);
    EXPECT_EQ(skin.rig.owner.queue.size(), 2u);
}

TEST(GXSkinBuiltins, ControlTextsColoursAndVisibility)
{
    Skin skin;
    ASSERT_TRUE(skin.Run("SCT(\"IDC_TITLE\", \"128kbps\"); SetControlText(\"IDC_INNER\", \"nested\");"
                         "SetControlTextColor(\"IDC_TITLE\", 0xFF0000); SC(\"IDC_LOGO\", 0);"));
    EXPECT_EQ(skin.pTitle->GetText(0), "128kbps");
    EXPECT_EQ(skin.pInner_->GetText(0), "nested");
    EXPECT_EQ(skin.pTitle->TextColor(), 0x0000FFu);
    EXPECT_FALSE(skin.pLogo->IsShown());

    struct Case {
        const char* expression;
        std::string result;
    };
    const Case cases[] = {
        { "GetControlText(\"IDC_TITLE\")", "128kbps" },
        { "GCT(\"IDC_NOWHERE\")", "" },
        { "GCT(\"ID_UNBOUND\")", "" },
        { "itoa(GetControlShow(\"IDC_LOGO\"))", "0" },
        { "itoa(GetControlShow(\"IDC_TITLE\"))", "1" },
        { "itoa(GetControlShow(\"IDC_NOWHERE\"))", "0" },
        { "itoa(atoi(\"  -42xyz\"))", "-42" },
        { "itoa(atoi(\"99999999999\"))", "2147483647" },
        { "itoa(atoi(\"-99999999999\"))", "-2147483648" },
        { "itoa(atoi(\"x1\"))", "0" },
        { "itoa(-7) + itoa(8)", "-78" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(skin.Eval(c.expression), c.result) << c.expression;
}

TEST(GXSkinBuiltins, ShowControlFailuresAndMessageBoxes)
{
    Skin skin;
    ASSERT_TRUE(skin.Run("SC(\"ID_AD_FLASH\", 1); ShowControl(\"IDC_NOWHERE\", 1); SC(\"ID_UNBOUND\", 1);"
                         "MB(\"hello\"); MessageBoxNum(-5);"));
    ASSERT_EQ(skin.hooks.boxes.size(), 4u);
    EXPECT_EQ(skin.hooks.boxes[0].text, "ShowControl() Failed - Can't Find Control ID");
    EXPECT_EQ(skin.hooks.boxes[1].text, "ShowControl() Failed - Can't Find Child Control");
    EXPECT_EQ(skin.hooks.boxes[1].caption, "GXS");
    EXPECT_EQ(skin.hooks.boxes[2].text, "hello");
    EXPECT_EQ(skin.hooks.boxes[2].caption, "");
    EXPECT_EQ(skin.hooks.boxes[3].text, "-5");
    EXPECT_EQ(skin.hooks.boxes[3].caption, "GXS");
}

TEST(GXSkinBuiltins, ImagesRefreshNavigationAndHomepage)
{
    Skin skin;
    skin.pTitle->bNumberedImages = false; // not a static or a button
    ASSERT_TRUE(skin.Run("SETIN(\"IDC_LOGO\", 3); SetImageNum(\"IDC_TITLE\", 4); SetImageNum(\"IDC_NOWHERE\", 5);"
                         "Navigate(\"IDC_TITLE\", \"http://example.invalid/\");"
                         "OpenHomepage(\"http://station.invalid/home\");"));
    // Probes take numbered images, but only statics and buttons get them
    // from a script.
    EXPECT_EQ(skin.pLogo->nImageNum, -1);
    EXPECT_EQ(skin.pTitle->nImageNum, -1);
    EXPECT_EQ(skin.hooks.urls, (std::vector<std::string> { "http://station.invalid/home" }));

    const int nTitleDraws = skin.pTitle->nDraws;
    const int nInnerDraws = skin.pInner_->nDraws;
    ASSERT_TRUE(skin.Run("RA(\"IDW_PANEL\");"));
    EXPECT_EQ(skin.pTitle->nDraws, nTitleDraws);
    ASSERT_TRUE(skin.Run("RefreshAll(\"\");"));
    EXPECT_GT(skin.pTitle->nDraws, nTitleDraws);
    EXPECT_GE(skin.pInner_->nDraws, nInnerDraws);
}

TEST(GXSkinBuiltins, RegisteredOnceAndSafeWithoutAWindow)
{
    GXScriptHost host;
    EXPECT_TRUE(RegisterSkinBuiltins(host, nullptr));
    GXSVal result;
    int nError = 0;
    ASSERT_EQ(host.Run("SCMD(\"X\"); SC(\"X\", 1); RA(\"\"); GCT(\"X\") + itoa(atoi(\"12\"));", &result, &nError), 1);
    EXPECT_EQ(result.m_strText, "12");
    EXPECT_FALSE(RegisterSkinBuiltins(host, nullptr)); // names are entered once
}

} // namespace

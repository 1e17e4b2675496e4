#include "app/CTavDJ1Dlg.h"

#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/SGxAlign.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConMarquee.h"
#include "skin/controls/GXConSlider.h"
#include "skin/controls/GXConStatic.h"

#include "support/MessageDlgRecorder.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

template <class Done> bool ProcessEventsUntil(Done done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

struct SSizeCase {
    const char* name;
    GXPoint minSize;
    GXPoint maxSize;
    QSize expected;
};

class InitialWindowSize : public testing::TestWithParam<SSizeCase> { };

const QSize kSkinOwnSize(420, 300);

TEST_P(InitialWindowSize, FollowsTheSkin)
{
    const SSizeCase& c = GetParam();
    EXPECT_EQ(CTavDJ1Dlg::InitialSize(c.minSize, c.maxSize, kSkinOwnSize), c.expected);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, InitialWindowSize,
    testing::Values(SSizeCase { "MinSize", { 640, 480 }, { 800, 600 }, QSize(640, 480) },
        SSizeCase { "WidthCutToMaxSize", { 900, 480 }, { 800, 600 }, QSize(800, 480) },
        // A skin without MaxSize keeps its width instead of getting none.
        SSizeCase { "NoMaxSizeKeepsWidth", { 900, 480 }, { 0, 0 }, QSize(900, 480) },
        // Without a MainWindow element the skin window's own size holds.
        SSizeCase { "NoMainWindow", { 0, 0 }, { 0, 0 }, kSkinOwnSize },
        SSizeCase { "NegativeMinSize", { -5, 480 }, { 0, 0 }, kSkinOwnSize }),
    [](const testing::TestParamInfo<SSizeCase>& testInfo) { return std::string(testInfo.param.name); });

TEST(MainWindow, SkinPathResolvesInTheProgramFolder)
{
    TempHome home;
    const std::string program = home.Path("program") + "/";
    EXPECT_EQ(CTavDJ1Dlg::ResolveSkinPath("", program), program + "default_skin.zip");
    std::filesystem::create_directory(program + "default_skin");
    EXPECT_EQ(CTavDJ1Dlg::ResolveSkinPath("", program), program + "default_skin");
    EXPECT_EQ(CTavDJ1Dlg::ResolveSkinPath("skins\\blue", program), program + "skins/blue");
    EXPECT_EQ(CTavDJ1Dlg::ResolveSkinPath("/opt/skins/blue.zip", program), "/opt/skins/blue.zip");

    std::ofstream(program + "setting.ini") << "[SKIN]\nSKINPATH=skins\\blue\n";
    EXPECT_EQ(CTavDJ1Dlg::ConfiguredSkinPath(), "skins\\blue");
}

TEST(MainWindow, ControlsBindOnlyUnderTheirClass)
{
    GXWindowMain skin;
    const auto add = [&](int nId, std::unique_ptr<GXConBase> pControl) {
        GXConBase* pRaw = pControl.get();
        skin.AddControl(std::move(pControl), SGxAlign {});
        skin.MapControlId(nId, pRaw);
        return pRaw;
    };
    GXConBase* pStart = add(2004, std::make_unique<GXConButton>(&skin));
    add(2001, std::make_unique<GXConStatic>(&skin)); // a static where a button belongs
    GXConBase* pEcho = add(2006, std::make_unique<GXConSlider>(&skin));
    GXConBase* pStatus = add(2008, std::make_unique<GXConMarquee>(&skin));
    add(2009, std::make_unique<GXConButton>(&skin)); // a button where a static belongs
    GXConBase* pSeconds = add(10345, std::make_unique<GXConStatic>(&skin));
    GXConBase* pBrowserWindow = add(2041, std::make_unique<GXWindowChild>(&skin));

    const SMainControls c = CTavDJ1Dlg::FindControls(skin);
    EXPECT_EQ(c.pStartButton, pStart);
    EXPECT_EQ(c.pSidePanelButton, nullptr);
    EXPECT_EQ(c.effectLevels[0], nullptr);
    EXPECT_EQ(c.effectLevels[1], pEcho);
    EXPECT_EQ(c.pStatus, pStatus);
    EXPECT_EQ(c.pBitrate, nullptr);
    EXPECT_EQ(c.elapsed[2], pSeconds);
    EXPECT_EQ(c.pMiniBrowser, pBrowserWindow);
    EXPECT_EQ(c.pBackground, nullptr);
}

TEST(MainWindow, PostsFromOtherThreadsReachTheWindow)
{
    CTavDJ1Dlg window;
    window.show();
    std::thread poster(
        [handle = window.Handle()] { platform::PostMessage(handle, GXMsg::kCommand, GXCommandId::kMinimise, 0); });
    poster.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.isMinimized(); }));
}

TEST(MainWindow, FailedReloadTellsWhyAndClosesTheWindow)
{
    TempHome home;
    MessageDlgRecorder boxes;
    CTavDJ1Dlg window;
    window.show();
    platform::PostMessage(window.Handle(), GXMsg::kCommand, GXCommandId::kReloadSkin, 0);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !window.isVisible(); }));
    ASSERT_EQ(boxes.Calls().size(), 1U);
    EXPECT_EQ(boxes.Calls()[0].caption, "TavDJ");
    EXPECT_EQ(boxes.Calls()[0].type, CTavDJ1Dlg::kSkinFailureBox);
    EXPECT_FALSE(boxes.Calls()[0].text.empty());
}

} // namespace

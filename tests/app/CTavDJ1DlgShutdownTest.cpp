// The end of the real main window, built on the default skin over a
// scripted sound card: closing while on air, the session's end by signal,
// the mixer put back as it was found, and a caption drag that takes a
// touching mini browser along.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "engine/stream/CDJDataMan.h"
#include "foundation/Ini.h"
#include "platform/Connectivity.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/controls/GXConButton.h"

#include "fakes/FakeFirewall.h"
#include "fakes/FakeMixer.h"
#include "fakes/FakeShoutcastServer.h"
#include "fakes/FakeWaveIn.h"
#include "support/FreePorts.h"
#include "support/MessageDlgRecorder.h"
#include "support/QtEventWait.h"
#include "support/TempHome.h"

#include <QMouseEvent>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace platform::mixer;

constexpr int kSpeakers = 0;
constexpr int kCapture = 1;
// Playback lines as the window finds them: music, line-in, microphone.
constexpr std::array<int, 3> kPlaybackFound { 30000, 20000, 10000 };
constexpr int kCaptureLineFound = 1234;
// The capture lines' mute switches as found: line on, microphone muted.
constexpr std::array<int, 2> kMutesFound { 0, 1 };

// The program's engine controller and settings object live until the
// process ends and save themselves then, so their home and the fakes they
// run on are built before them and end after them.
struct SProgramRig {
    TempHome home;
    FakeMixerSystem mixer;
    FakeWaveInBackend waveIn;
    FakeFirewall firewall;
    FakeMixerCard* pCard = nullptr;
    bool bSystemsTaken = false;

    SProgramRig()
    {
        pCard = &mixer.AddCard("Scripted Card");
        pCard->AddDestination(kDstSpeakers, "Speakers", 2);
        for (const uint32_t type : { kSrcWaveOut, kSrcLine, kSrcMicrophone }) {
            const int source = pCard->AddSource(kSpeakers, type, "Playback", 2);
            pCard->AddControl(kSpeakers, source, kCtlVolume, 65536, false);
        }
        pCard->AddDestination(kDstWaveIn, "Recording", 2);
        for (const uint32_t type : { kSrcLine, kSrcMicrophone }) {
            const int source = pCard->AddSource(kCapture, type, "Capture", 2);
            pCard->AddControl(kCapture, source, kCtlVolume, 65536, false);
            pCard->AddControl(kCapture, source, kCtlMute, 1, true);
        }
        DJDataManSystems systems;
        systems.pMixer = &mixer;
        systems.pWaveIn = &waveIn;
        systems.pFirewall = &firewall;
        bSystemsTaken = SetTheDJDataManSystems(systems);

        const fs::path source = fs::path(TAVDJ_SOURCE_DIR) / "skins" / "default";
        const fs::path program = home.Path("program");
        fs::copy(source, program / "default_skin", fs::copy_options::recursive);
        fs::copy_file(source / "ControlID.XML", program / "ControlID.XML");
    }

    int& Value(int dest, int source, uint32_t type) { return pCard->Control(dest, source, type)->values[0]; }

    // The sound card as the user left it before the program started.
    void SetFound()
    {
        for (int i = 0; i < 3; ++i) {
            for (int32_t& v : pCard->Control(kSpeakers, i, kCtlVolume)->values)
                v = kPlaybackFound[size_t(i)];
        }
        for (int32_t& v : pCard->Control(kCapture, 0, kCtlVolume)->values)
            v = kCaptureLineFound;
        for (int i = 0; i < 2; ++i)
            Value(kCapture, i, kCtlMute) = kMutesFound[size_t(i)];
    }

    void ExpectFound()
    {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Value(kSpeakers, i, kCtlVolume), kPlaybackFound[size_t(i)]) << "playback line " << i;
        EXPECT_EQ(Value(kCapture, 0, kCtlVolume), kCaptureLineFound);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(Value(kCapture, i, kCtlMute), kMutesFound[size_t(i)]) << "mute switch " << i;
    }

    // The program changes the card while it runs, as talking over does.
    void ChangeWhileRunning()
    {
        for (int i = 0; i < 3; ++i)
            Value(kSpeakers, i, kCtlVolume) = 50000;
        Value(kCapture, 0, kCtlMute) = 1;
        Value(kCapture, 1, kCtlMute) = 0;
    }
};

SProgramRig& Rig()
{
    static SProgramRig rig;
    return rig;
}

std::string SettingsFile()
{
    return TheDJDataMan().SettingsPath();
}

int SavedInt(const char* section, const char* key)
{
    return IniGetInt(section, key, -99, SettingsFile());
}

std::string SavedText(const char* section, const char* key)
{
    return IniGetString(section, key, SettingsFile(), "(none)");
}

// Takes the elements with these ids out of the default skin.
void RemoveFromSkin(std::initializer_list<const char*> ids)
{
    const fs::path skinXml = fs::path(Rig().home.Path("program")) / "default_skin" / "skin.xml";
    std::stringstream in;
    in << std::ifstream(skinXml).rdbuf();
    std::stringstream out;
    std::string line;
    while (std::getline(in, line)) {
        bool bKeep = true;
        for (const char* id : ids)
            bKeep &= line.find(std::string("ID=\"") + id + "\"") == std::string::npos;
        if (bKeep)
            out << line << '\n';
    }
    std::ofstream(skinXml) << out.str();
}

class MainWindowEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Rig().bSystemsTaken) << "the program's engine was built before this test: run each test in a "
                                            "process of its own, as ctest does";
        Rig().SetFound();
        Rig().home.Set(platform::kAssumeOnlineEnv, "1");
        ASSERT_TRUE(m_server.Start());
    }

    // The window's end stops sending but leaves the connection to the
    // process's end, which a test does not reach.
    void TearDown() override
    {
        m_pWindow.reset();
        if (TheDJDataMan().IsConnected())
            TheDJDataMan().Disconnect();
        TheDJDataMan().Shutdown();
    }

    // The user's server is the fake one; own-server mode is chosen or not.
    void Create(bool bOwnServer = false)
    {
        const std::string file = SettingsFile();
        ASSERT_TRUE(IniWriteInt("Network", "LocalServ", bOwnServer ? 1 : 0, file));
        for (const char* key : { "Address", "NationalAddress" })
            ASSERT_TRUE(IniWriteString("Network", key, "127.0.0.1", file));
        ASSERT_TRUE(IniWriteInt("Network", "Port", m_server.Port(), file));
        ASSERT_TRUE(IniWriteString("Network", "Passwd", "userpass", file));
        TheOption().Load();
        m_pWindow = std::make_unique<CTavDJ1Dlg>();
        ASSERT_TRUE(m_pWindow->CreateMainWindow(nullptr));
        const int nFirstPort = testutil::PickPortRun(2);
        ASSERT_NE(nFirstPort, 0);
        m_pWindow->SetServerFirstPort(nFirstPort);
    }

    // The start button, answering yes to own-server mode's question.
    void StartBroadcast()
    {
        if (TheOption().m_nLocalServ)
            m_boxes.QueueAnswers({ kIdYes });
        platform::PostMessage(m_pWindow->Handle(), GXMsg::kCommand, 2004, 0);
        ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->BroadcastState() == 1 && TheDJDataMan().IsOnAir(); }));
        m_nBoxesBefore = m_boxes.Calls().size();
    }

    void ExpectUserServerSaved()
    {
        EXPECT_EQ(SavedText("Network", "Address"), "127.0.0.1");
        EXPECT_EQ(SavedInt("Network", "Port"), m_server.Port());
        EXPECT_EQ(SavedText("Network", "Passwd"), "userpass");
    }

    MessageDlgRecorder m_boxes;
    FakeShoutcastServer m_server;
    std::unique_ptr<CTavDJ1Dlg> m_pWindow;
    size_t m_nBoxesBefore = 0;
};

struct SToggleCase {
    const char* key;
    bool bInSkin;
    int nStored; // in SETTING.ini before the start
    int nImage; // the button's image at the close, when it is in the skin
    int nSaved;
};

TEST_F(MainWindowEnd, CloseOnAirAsksAndOnlyYesSavesStopsAndRestores)
{
    // Echo and line-in fade have no buttons in this skin: their settings
    // say nothing about the buttons and must survive the close.
    const SToggleCase toggles[] = {
        { "Reverb_Active", true, 0, 0, 1 },
        { "Pitch_Active", true, 1, 1, 0 },
        { "Echo_Active", false, 1, 0, 1 },
        { "LineinFade", false, 1, 0, 1 },
    };
    RemoveFromSkin({ "IDC_ECHO", "IDC_LINEIN_FADE" });
    for (const SToggleCase& t : toggles)
        ASSERT_TRUE(IniWriteInt(t.key[0] == 'L' ? "Volume" : "DSP", t.key, t.nStored, SettingsFile()));
    ASSERT_NO_FATAL_FAILURE(Create());
    ASSERT_NO_FATAL_FAILURE(StartBroadcast());
    Rig().ChangeWhileRunning();
    const SMainControls& c = m_pWindow->Controls();
    ASSERT_EQ(c.effectToggles[1], nullptr);
    ASSERT_EQ(c.pLineInFade, nullptr);
    c.effectToggles[0]->SetImageNum(toggles[0].nImage);
    c.effectToggles[2]->SetImageNum(toggles[1].nImage);
    m_pWindow->move(40, 30);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->pos() == QPoint(40, 30); }));
    m_pWindow->TitleEdit()->setText(QStringLiteral("오늘의 첫 곡"));

    m_boxes.QueueAnswers({ kIdNo, kIdCancel });
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(m_pWindow->close());
        EXPECT_TRUE(m_pWindow->isVisible());
        EXPECT_TRUE(TheDJDataMan().IsOnAir());
    }
    ASSERT_EQ(m_boxes.Calls().size(), m_nBoxesBefore + 2);
    EXPECT_EQ(m_boxes.Last().text, "방송중입니다.\n종료하시겠습니까?");
    EXPECT_EQ(m_boxes.Last().caption, "TavDJ");
    EXPECT_EQ(m_boxes.Last().type, 4 | 32);
    EXPECT_EQ(Rig().Value(kSpeakers, 0, kCtlVolume), 50000) << "the mixer was put back while still on air";

    m_boxes.QueueAnswers({ kIdYes });
    EXPECT_TRUE(m_pWindow->close());
    EXPECT_FALSE(m_pWindow->isVisible());
    EXPECT_FALSE(TheDJDataMan().IsOnAir());
    EXPECT_EQ(m_boxes.Calls().size(), m_nBoxesBefore + 3);
    Rig().ExpectFound();
    EXPECT_EQ(SavedInt("Skin", "MainLeft"), 40);
    EXPECT_EQ(SavedInt("Skin", "MainTop"), 30);
    EXPECT_EQ(SavedInt("Skin", "MainWidth"), m_pWindow->width());
    EXPECT_EQ(SavedText("Song", "Ment"), "오늘의 첫 곡");
    ExpectUserServerSaved();
    for (const SToggleCase& t : toggles)
        EXPECT_EQ(SavedInt(t.key[0] == 'L' ? "Volume" : "DSP", t.key), t.nSaved) << t.key;

    // Destroying the closed window does nothing twice.
    Rig().ChangeWhileRunning();
    m_pWindow.reset();
    EXPECT_EQ(Rig().Value(kSpeakers, 0, kCtlVolume), 50000);
}

struct SSessionEndCase {
    const char* name;
    int nSignal;
    bool bOwnServer;
};

class SessionEnd : public MainWindowEnd, public testing::WithParamInterface<SSessionEndCase> { };

TEST_P(SessionEnd, SavesTheUserServerAndRestoresWithoutAsking)
{
    const SSessionEndCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Create(c.bOwnServer));
    ASSERT_NO_FATAL_FAILURE(StartBroadcast());
    if (c.bOwnServer) {
        ASSERT_NE(TheDJDataMan().Settings().m_nPort, m_server.Port()) << "not on the own server";
    }
    Rig().ChangeWhileRunning();
    m_pWindow->move(70, 50);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->pos() == QPoint(70, 50); }));

    ASSERT_EQ(std::raise(c.nSignal), 0);
    ASSERT_TRUE(RunEventsUntil([&] { return !m_pWindow->isVisible(); }));
    EXPECT_EQ(m_boxes.Calls().size(), m_nBoxesBefore);
    EXPECT_FALSE(TheDJDataMan().IsOnAir());
    Rig().ExpectFound();
    EXPECT_EQ(SavedInt("Skin", "MainLeft"), 70);
    ExpectUserServerSaved();
}

INSTANTIATE_TEST_SUITE_P(MainWindow, SessionEnd,
    testing::Values(SSessionEndCase { "TermOnOwnServer", SIGTERM, true },
        SSessionEndCase { "HangUpOnOwnServer", SIGHUP, true }, SSessionEndCase { "TermOnUserServer", SIGTERM, false }),
    [](const testing::TestParamInfo<SSessionEndCase>& testInfo) { return std::string(testInfo.param.name); });

void Mouse(QWidget* pWidget, QEvent::Type type, QPoint local)
{
    const QPointF global = pWidget->mapToGlobal(QPointF(local));
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), global, Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(pWidget, &event);
}

struct SDragCase {
    const char* name;
    int nGap; // between the window's right edge and the mini browser
    bool bFollows;
};

class CaptionDrag : public MainWindowEnd, public testing::WithParamInterface<SDragCase> { };

TEST_P(CaptionDrag, TakesOnlyATouchingMiniBrowserAlong)
{
    ASSERT_NO_FATAL_FAILURE(Create());
    QWidget* pBrowser = m_pWindow->Controls().pMiniBrowser->GetWidget();
    ASSERT_NE(pBrowser, nullptr);
    m_pWindow->move(100, 100);
    pBrowser->show();
    const QPoint browserStart(100 + m_pWindow->width() + GetParam().nGap, 120);
    pBrowser->move(browserStart);
    ASSERT_TRUE(
        RunEventsUntil([&] { return m_pWindow->pos() == QPoint(100, 100) && pBrowser->pos() == browserStart; }));

    // The skin's background drags the window.
    QWidget* pSkin = m_pWindow->SkinWindow()->GetWidget();
    const QPoint press(20, 300);
    Mouse(pSkin, QEvent::MouseButtonPress, press);
    QMouseEvent drag(QEvent::MouseMove, QPointF(press), QPointF(pSkin->mapToGlobal(press) + QPoint(30, 20)),
        Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pSkin, &drag);
    Mouse(pSkin, QEvent::MouseButtonRelease, press + QPoint(30, 20));
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->pos() == QPoint(130, 120); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(pBrowser->pos(), GetParam().bFollows ? browserStart + QPoint(30, 20) : browserStart);

    // Once the button is let go, the window moves alone.
    const QPoint browserAfter = pBrowser->pos();
    m_pWindow->move(10, 10);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->pos() == QPoint(10, 10); }));
    EXPECT_EQ(pBrowser->pos(), browserAfter);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, CaptionDrag,
    testing::Values(SDragCase { "Touching", 0, true }, SDragCase { "Apart", 40, false }),
    [](const testing::TestParamInfo<SDragCase>& testInfo) { return std::string(testInfo.param.name); });

} // namespace

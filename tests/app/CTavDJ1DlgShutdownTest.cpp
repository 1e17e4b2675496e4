// The end of the real main window on the default skin, a scripted sound
// card and capture device, on air: the close and its question, the
// session's end by signal, the settings saved and the mixer put back.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CSettingDlg.h"
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
#include "support/ProgramEnvironment.h"
#include "support/QtEventWait.h"
#include "support/QtSkinDrag.h"
#include "support/TempHome.h"

#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace platform::mixer;

// Volumes of the speakers' music, line-in and microphone rows, then the
// recording line's, as the card is found; the capture lines' mutes.
constexpr std::array<int, 4> kFoundVolumes { 30000, 20000, 10000, 1234 };
constexpr std::array<int, 2> kFoundMutes { 0, 1 };

// The program's engine and settings object save themselves at exit, so
// their home and fakes are built before them and end after them.
struct SProgramRig {
    TempHome home;
    FakeMixerSystem mixer;
    FakeWaveInBackend waveIn;
    FakeFirewall firewall;
    FakeMixerCard& card = mixer.AddCard("Scripted Card");
    bool bSystemsTaken = SetTheDJDataManSystems({ .pWaveIn = &waveIn, .pMixer = &mixer, .pFirewall = &firewall });

    SProgramRig()
    {
        card.AddDestination(kDstSpeakers, "Speakers", 2);
        card.AddDestination(kDstWaveIn, "Recording", 2);
        for (const uint32_t type : { kSrcWaveOut, kSrcLine, kSrcMicrophone })
            card.AddControl(0, card.AddSource(0, type, "Out", 2), kCtlVolume, 65536, false);
        for (const uint32_t type : { kSrcLine, kSrcMicrophone }) {
            const int source = card.AddSource(1, type, "In", 2);
            card.AddControl(1, source, kCtlVolume, 65536, false);
            card.AddControl(1, source, kCtlMute, 1, true);
        }
        testutil::InstallDefaultSkin(home.Path("program"));
    }

    std::vector<int32_t>& Values(int dest, int source, uint32_t type)
    {
        return card.Control(dest, source, type)->values;
    }
    std::vector<int32_t>& Volume(size_t i) { return Values(i < 3 ? 0 : 1, i < 3 ? int(i) : 0, kCtlVolume); }
    int32_t& Mute(size_t i) { return Values(1, int(i), kCtlMute)[0]; }
};

SProgramRig& Rig()
{
    static SProgramRig rig;
    return rig;
}

enum class EEnd { Close, Term, HangUp };

struct SEndCase {
    const char* name;
    EEnd how;
    bool bOwnServer;
    int nBrowserGap; // between the window's right edge and the mini browser
    bool bSettingsOk = false; // the sound page shown and left with 확인, nothing changed, before going on air
};

class MainWindowEnd : public testing::TestWithParam<SEndCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Rig().bSystemsTaken) << "the engine was built before: run each test alone, as ctest does";
        Rig().home.Set(platform::kAssumeOnlineEnv, "1");
        ASSERT_TRUE(m_server.Start());
    }

    // The window's end leaves the source connection to the process's end.
    void TearDown() override
    {
        m_pWindow.reset();
        if (TheDJDataMan().IsConnected())
            TheDJDataMan().Disconnect();
        TheDJDataMan().Shutdown();
    }

    // Opens the settings dialog on its sound page and leaves it with 확인.
    void ConfirmSoundSettings()
    {
        bool bConfirmed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QDialog* pDialog : m_pWindow->findChildren<QDialog*>()) {
                auto* pSettings = dynamic_cast<CSettingDlg*>(pDialog);
                auto* pOk = pSettings ? pSettings->findChild<QPushButton*>("1051") : nullptr;
                if (!bConfirmed && pOk && pSettings->isVisible()) {
                    bConfirmed = true;
                    pOk->click();
                }
            }
        });
        poll.start(10);
        (void)platform::SendMessage(m_pWindow->Handle(), GXMsg::kCommand, 3002, 0);
        EXPECT_TRUE(bConfirmed);
    }

    MessageDlgRecorder m_boxes;
    FakeShoutcastServer m_server;
    std::unique_ptr<CTavDJ1Dlg> m_pWindow;
};

TEST_P(MainWindowEnd, SavesStopsAndPutsTheMixerBack)
{
    const SEndCase& c = GetParam();
    for (size_t i = 0; i < 4; ++i)
        Rig().Volume(i).assign(2, kFoundVolumes[i]);
    for (size_t i = 0; i < 2; ++i)
        Rig().Mute(i) = kFoundMutes[i];
    // The user's server is the fake one. Echo and line-in fade have no
    // buttons in this skin: their stored settings must survive.
    const std::string file = TheDJDataMan().SettingsPath();
    std::ofstream(file) << "[Network]\nLocalServ=" << c.bOwnServer << "\nAddress=127.0.0.1\nNationalAddress=127.0.0.1"
                        << "\nPort=" << m_server.Port() << "\nPasswd=userpass\n"
                        << "[DSP]\nReverb_Active=0\nEcho_Active=1\nPitch_Active=1\n[Volume]\nLineinFade=1\n";
    const fs::path skinXml = fs::path(Rig().home.Path("program")) / "default_skin" / "skin.xml";
    std::stringstream skin;
    skin << std::ifstream(skinXml).rdbuf();
    std::ofstream(skinXml) << std::regex_replace(
        skin.str(), std::regex("[^\n]*ID=\"IDC_(ECHO|LINEIN_FADE)\"[^\n]*\n"), "");
    TheOption().Load();

    const int nOpens = Rig().mixer.opens;
    m_pWindow = std::make_unique<CTavDJ1Dlg>();
    ASSERT_TRUE(m_pWindow->CreateMainWindow(nullptr));
    // Reading the volumes, listing, setting up and selecting the card share
    // one handle, which stays for the lines the window fades.
    EXPECT_EQ(Rig().mixer.opens - nOpens, 1);
    EXPECT_EQ(Rig().mixer.OpenHandles(), 1);
    // Once the window has shown, the recording line is turned up in full.
    EXPECT_TRUE(RunEventsUntil([&] { return Rig().Volume(3) == std::vector<int32_t>(2, 32767); }));
    if (c.bSettingsOk)
        ConfirmSoundSettings();
    m_pWindow->SetServerFirstPort(testutil::PickPortRun(2));
    if (c.bOwnServer)
        m_boxes.QueueAnswers({ kIdYes });
    platform::PostMessage(m_pWindow->Handle(), GXMsg::kCommand, 2004, 0);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->BroadcastState() == 1 && TheDJDataMan().IsOnAir(); }));
    EXPECT_EQ(TheDJDataMan().Settings().m_nPort != m_server.Port(), c.bOwnServer);
    EXPECT_EQ(Rig().Volume(3), std::vector<int32_t>(2, 32767));

    // While on air: the mixer changes, reverb goes on and pitch off, a title
    // is typed, the window is dragged with or without the mini browser.
    for (size_t i = 0; i < 3; ++i)
        Rig().Volume(i).assign(2, 50000);
    Rig().Mute(0) = 1;
    Rig().Mute(1) = 0;
    const SMainControls& controls = m_pWindow->Controls();
    ASSERT_EQ(controls.effectToggles[1], nullptr);
    controls.effectToggles[0]->SetImageNum(0);
    controls.effectToggles[2]->SetImageNum(1);
    m_pWindow->TitleEdit()->setText(QStringLiteral("오늘의 첫 곡"));
    QWidget* pBrowser = controls.pMiniBrowser->GetWidget();
    m_pWindow->move(100, 100);
    const QPoint browserAt(100 + m_pWindow->width() + c.nBrowserGap, 120);
    pBrowser->move(browserAt);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->pos() == QPoint(100, 100) && pBrowser->pos() == browserAt; }));
    testutil::DragSkinBy(m_pWindow->SkinWindow()->GetWidget(), { 30, 20 });
    ASSERT_TRUE(RunEventsUntil([&] { return m_pWindow->pos() == QPoint(130, 120); }));
    EXPECT_EQ(pBrowser->pos(), browserAt + (c.nBrowserGap == 0 ? QPoint(30, 20) : QPoint()));

    const size_t nBoxes = m_boxes.Calls().size();
    if (c.how == EEnd::Close) {
        // Only Yes ends a broadcast.
        m_boxes.QueueAnswers({ kIdNo, kIdCancel, kIdYes });
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_FALSE(m_pWindow->close());
            EXPECT_TRUE(TheDJDataMan().IsOnAir());
        }
        EXPECT_EQ(Rig().Volume(0)[0], 50000);
        EXPECT_TRUE(m_pWindow->close());
        ASSERT_EQ(m_boxes.Calls().size(), nBoxes + 3);
        EXPECT_EQ(m_boxes.Last().text, "방송중입니다.\n종료하시겠습니까?");
        EXPECT_EQ(m_boxes.Last().type, 4 | 32);
    } else {
        ASSERT_EQ(std::raise(c.how == EEnd::Term ? SIGTERM : SIGHUP), 0);
        ASSERT_TRUE(RunEventsUntil([&] { return !m_pWindow->isVisible(); }));
        EXPECT_EQ(m_boxes.Calls().size(), nBoxes);
    }

    EXPECT_FALSE(m_pWindow->isVisible());
    EXPECT_FALSE(TheDJDataMan().IsOnAir());
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(Rig().Volume(i), std::vector<int32_t>(2, kFoundVolumes[i])) << "volume " << i;
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(Rig().Mute(i), kFoundMutes[i]) << "mute " << i;
    const struct {
        const char* section;
        const char* key;
        std::string value;
    } saved[] = {
        { "Network", "Address", "127.0.0.1" },
        { "Network", "Port", std::to_string(m_server.Port()) },
        { "Network", "Passwd", "userpass" },
        { "Skin", "MainLeft", "130" },
        { "Skin", "MainTop", "120" },
        { "Song", "Ment", "오늘의 첫 곡" },
        { "DSP", "Reverb_Active", "1" },
        { "DSP", "Pitch_Active", "0" },
        { "DSP", "Echo_Active", "1" },
        { "Volume", "LineinFade", "1" },
    };
    for (const auto& [section, key, value] : saved)
        EXPECT_EQ(IniGetString(section, key, TheDJDataMan().SettingsPath(), "(none)"), value) << key;

    // The window's destruction does not do it all again.
    Rig().Volume(0).assign(2, 50000);
    m_pWindow.reset();
    EXPECT_EQ(Rig().Volume(0)[0], 50000);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, MainWindowEnd,
    testing::Values(SEndCase { "CloseOnUserServer", EEnd::Close, false, 0 },
        SEndCase { "TermOnOwnServer", EEnd::Term, true, 0 }, SEndCase { "HangUpOnOwnServer", EEnd::HangUp, true, 40 },
        SEndCase { "CloseAfterTheSettingsDialogsOk", EEnd::Close, false, 0, true },
        SEndCase { "TermAfterTheSettingsDialogsOk", EEnd::Term, false, 0, true }),
    [](const testing::TestParamInfo<SEndCase>& testInfo) { return std::string(testInfo.param.name); });

} // namespace

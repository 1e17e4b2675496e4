// The main window's sound controls, driven through the real window with the
// default skin, the program's controller running on a scripted sound card
// for the whole process (hence an executable of their own).
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/CSysSoundOff2.h"
#include "platform/MessageRegistry.h"
#include "platform/MulDiv.h"
#include "skin/GXSkinIds.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConSlider.h"
#include "skin/controls/GXConStatic.h"

#include "fakes/FakeMixer.h"
#include "fakes/FakeShoutcastServer.h"
#include "fakes/FakeWaveIn.h"
#include "support/EditSettings.h"
#include "support/MessageDlgRecorder.h"
#include "support/ProgramEnvironment.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace platform::mixer;

// The program's controller for this whole process: a card whose speakers
// carry music, line-in and microphone lines with volumes of 0 … 65536, so
// the window's values show unchanged, and a capture device the test feeds.
class ScriptedSoundCard : public testing::Environment {
public:
    void SetUp() override
    {
        m_pCard = &m_mixer.AddCard("Scripted Card");
        m_pCard->AddDestination(kDstSpeakers, "Speakers", 2);
        for (const auto& [type, name] :
            { std::pair { kSrcWaveOut, "Wave" }, { kSrcLine, "Line" }, { kSrcMicrophone, "Mic" } }) {
            const int source = m_pCard->AddSource(0, type, name, 2);
            m_pCard->AddControl(0, source, kCtlVolume, CDJDataMan::kMaxVolume, false);
        }
        DJDataManSystems systems;
        systems.pMixer = &m_mixer;
        systems.pWaveIn = &m_waveIn;
        ASSERT_TRUE(SetTheDJDataManSystems(systems));
    }

    int Level(int source) const { return m_pCard->Control(0, source, kCtlVolume)->values[0]; }
    int Music() const { return Level(0); }
    int LineIn() const { return Level(1); }
    int Mic() const { return Level(2); }
    FakeWaveInBackend& WaveIn() { return m_waveIn; }

private:
    FakeMixerSystem m_mixer;
    FakeWaveInBackend m_waveIn;
    FakeMixerCard* m_pCard = nullptr;
};

auto* const g_pCard = static_cast<ScriptedSoundCard*>(testing::AddGlobalTestEnvironment(new ScriptedSoundCard));

template <class Done> bool ProcessEventsUntil(Done done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class MainWindowSound : public testing::Test {
protected:
    void SetUp() override { testutil::InstallDefaultSkin(Program()); }

    void TearDown() override
    {
        m_pWindow.reset();
        // The controller outlives the test: it leaves off air and silent.
        TheDJDataMan().Disconnect();
        (void)TheDJDataMan().StartTalkOverFade(false);
        RestoreSystemSounds();
    }

    fs::path Program() const { return m_home.Path("program"); }

    void Create()
    {
        m_pWindow = std::make_unique<CTavDJ1Dlg>();
        ASSERT_TRUE(m_pWindow->CreateMainWindow(nullptr));
    }

    void Command(unsigned nId) { m_pWindow->SendToOwner(GXMsg::kCommand, nId, 0); }

    // The user drags slider nId to nPos.
    void Slide(int nId, int nPos)
    {
        auto* pSlider = dynamic_cast<GXConSlider*>(m_pWindow->SkinWindow()->FindControl(nId));
        ASSERT_NE(pSlider, nullptr) << nId;
        pSlider->SetPos(nPos, GXConSlider::Force::Yes);
        m_pWindow->SendToOwner(platform::RegisterMessage(GXMsgName::kSliderPosChange), std::uintptr_t(nPos), nId);
    }

    // Talk-over locked on or off, the fade run to its end.
    void Talk(bool bOn)
    {
        if (TheDJDataMan().IsTalkOver() != bOn)
            Command(3007);
        ASSERT_EQ(TheDJDataMan().IsTalkOver(), bOn);
        ASSERT_TRUE(ProcessEventsUntil([bOn] {
            const DJSettings& s = TheDJDataMan().Settings();
            return bOn ? g_pCard->Mic() == s.m_nMic && g_pCard->Music() == s.m_nBGM
                       : g_pCard->Mic() == 0 && g_pCard->Music() == s.m_nNormal;
        }));
    }

    const SMainControls& Controls() const { return m_pWindow->Controls(); }

    TempHome m_home;
    MessageDlgRecorder m_boxes;
    std::unique_ptr<CTavDJ1Dlg> m_pWindow;
};

TEST_F(MainWindowSound, SlidersChangeTheSettingsAndOnlyTheLinesInForce)
{
    constexpr int kLeft = -1; // the line keeps its volume
    struct SCase {
        int nId;
        int nPos;
        bool bTalking;
        int DJSettings::*pSetting;
        int nSetting;
        const char* tooltip;
        int nMusic;
        int nMic;
    };
    const SCase cases[] = {
        { 2021, 40000, false, &DJSettings::m_nNormal, 40000, "61%", 40000, kLeft },
        { 2022, 20000, false, &DJSettings::m_nBGM, 20000, "30%", kLeft, kLeft },
        { 2023, 30000, false, &DJSettings::m_nMic, 30000, "45%", kLeft, kLeft },
        { 2024, 1500, false, &DJSettings::m_nFadeTime, 15, "1.5초", kLeft, kLeft },
        { 2024, 50, false, &DJSettings::m_nFadeTime, 0, "0초", kLeft, kLeft },
        { 2005, 16, false, &DJSettings::m_nReverb_Level, 16, "50%", kLeft, kLeft },
        { 2007, 120, false, &DJSettings::m_nPitch_Level, 120, "75%", kLeft, kLeft },
        { 2021, 50000, true, &DJSettings::m_nNormal, 50000, "76%", kLeft, kLeft },
        { 2022, 10000, true, &DJSettings::m_nBGM, 10000, "15%", 10000, kLeft },
        { 2023, 65536, true, &DJSettings::m_nMic, 65536, "100%", kLeft, 65536 },
    };
    ASSERT_NO_FATAL_FAILURE(Create());
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nId << " at " << c.nPos);
        ASSERT_NO_FATAL_FAILURE(Talk(c.bTalking));
        const int nMusic = g_pCard->Music();
        const int nMic = g_pCard->Mic();
        Slide(c.nId, c.nPos);
        EXPECT_EQ(TheDJDataMan().Settings().*c.pSetting, c.nSetting);
        EXPECT_EQ(m_pWindow->SkinWindow()->FindControl(c.nId)->GetTooltip(), c.tooltip);
        EXPECT_EQ(g_pCard->Music(), c.nMusic == kLeft ? nMusic : c.nMusic);
        EXPECT_EQ(g_pCard->LineIn(), g_pCard->Music()) << "line-in fade is on";
        EXPECT_EQ(g_pCard->Mic(), c.nMic == kLeft ? nMic : c.nMic);
    }
}

TEST_F(MainWindowSound, ZeroFadeTimeSwitchesAtOnceAndANewTimeFadesInFull)
{
    ASSERT_NO_FATAL_FAILURE(Create());
    const DJSettings& settings = TheDJDataMan().Settings();
    Slide(2024, 0);
    ASSERT_NO_FATAL_FAILURE(Talk(true));
    EXPECT_EQ(g_pCard->Mic(), settings.m_nMic);
    EXPECT_EQ(g_pCard->Music(), settings.m_nBGM);
    ASSERT_NO_FATAL_FAILURE(Talk(false));
    EXPECT_EQ(g_pCard->Mic(), 0);
    EXPECT_EQ(g_pCard->Music(), settings.m_nNormal);

    // A fade time set while not talking counts from the next talk-over's
    // first step, which moves the microphone only part of the way.
    Slide(2024, 400);
    Command(3007);
    ASSERT_TRUE(ProcessEventsUntil([] { return TheDJDataMan().GetFadeStep() < 4; }));
    const int nStep = TheDJDataMan().GetFadeStep();
    EXPECT_GT(nStep, 0) << "the fade jumped to its end";
    EXPECT_EQ(g_pCard->Mic(), platform::MulDiv(settings.m_nMic, 4 - nStep, 4));
}

TEST_F(MainWindowSound, TalkButtonTakesOnlyTheMouseInsideIt)
{
    ASSERT_NO_FATAL_FAILURE(Create());
    QWidget* pSkin = m_pWindow->SkinWindow()->GetWidget();
    // The default skin's talk button spans (208,98)-(368,202).
    const struct {
        QPoint press;
        QPoint release;
        bool bTalking; // after the press
        bool bAfter; // after the release
    } cases[] = {
        { { 288, 210 }, { 288, 210 }, false, false }, // just below it
        { { 288, 150 }, { 288, 210 }, true, true }, // released below it: still talking
        { { 288, 150 }, { 300, 120 }, true, false },
    };
    for (const auto& c : cases) {
        QTest::mousePress(pSkin, Qt::LeftButton, {}, c.press);
        EXPECT_EQ(TheDJDataMan().IsTalkOver(), c.bTalking) << c.press.y();
        QTest::mouseRelease(pSkin, Qt::LeftButton, {}, c.release);
        EXPECT_EQ(TheDJDataMan().IsTalkOver(), c.bAfter) << c.release.y();
        EXPECT_EQ(Controls().pTalk->GetImageNum(), c.bAfter ? 1 : 0);
    }
}

TEST_F(MainWindowSound, EffectButtonsResetsAndTabsDriveTheirControls)
{
    ASSERT_NO_FATAL_FAILURE(Create());
    const SMainControls& c = Controls();
    const std::array<int DJSettings::*, 3> actives { &DJSettings::m_nReverb_Active, &DJSettings::m_nEcho_Active,
        &DJSettings::m_nPitch_Active };
    const std::array<int DJSettings::*, 3> levels { &DJSettings::m_nReverb_Level, &DJSettings::m_nEcho_Level,
        &DJSettings::m_nPitch_Level };
    const std::array<int, 3> defaults { 24, 230, 100 };
    const std::array<const char*, 3> defaultLabels { "75%", "46%", "62%" };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        for (const bool bOn : { true, false }) {
            Command(3022 + unsigned(i));
            EXPECT_EQ(TheDJDataMan().Settings().*actives[i], bOn ? 1 : 0);
            EXPECT_EQ(c.effectToggles[i]->GetImageNum(), bOn ? 0 : 1);
            EXPECT_EQ(c.effectLevels[i]->IsShown(), bOn);
            EXPECT_EQ(c.effectLevels[i]->IsEnabled(), bOn);
            EXPECT_EQ(c.effectResets[i]->IsEnabled(), bOn);
        }
        Slide(2005 + int(i), defaults[i] + 10);
        Command(3014 + unsigned(i));
        EXPECT_EQ(c.effectLevels[i]->GetPos(), defaults[i]);
        EXPECT_EQ(c.effectLevels[i]->GetTooltip(), defaultLabels[i]);
        EXPECT_EQ(TheDJDataMan().Settings().*levels[i], defaults[i]) << "what the slider shows is what plays";
    }

    EXPECT_TRUE(c.panels[1]->IsShown()) << "panel 2 comes first";
    for (size_t i = 0; i < 3; ++i) {
        Command(3010 + unsigned(i));
        for (size_t j = 0; j < 3; ++j) {
            EXPECT_EQ(c.panels[j]->IsShown(), i == j) << i << " " << j;
            EXPECT_EQ(c.tabs[j]->GetImageNum(), i == j ? 0 : 1) << i << " " << j;
        }
        EXPECT_EQ(m_pWindow->TitleEdit()->isEnabled(), i == 2);
    }

    Command(2025);
    EXPECT_EQ(TheDJDataMan().Settings().m_nLineinFade, 0);
    EXPECT_EQ(c.pLineInFade->GetImageNum(), 1);
    Command(3017);
    EXPECT_EQ(TheDJDataMan().Settings().m_nLineinFade, 1);
}

TEST_F(MainWindowSound, SidePanelOfASkinWithoutMaxSizeKeepsTheWindowsHeight)
{
    const fs::path skinXml = Program() / "default_skin" / "skin.xml";
    std::ifstream in(skinXml);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t at = text.find(" MaxSize=\"760,464\"");
    ASSERT_NE(at, std::string::npos);
    std::ofstream(skinXml) << text.erase(at, 18);
    ASSERT_NO_FATAL_FAILURE(Create());
    Command(3003);
    EXPECT_TRUE(Controls().pSidePanel->IsShown());
    EXPECT_EQ(m_pWindow->height(), 320);
    Command(3003);
    EXPECT_FALSE(Controls().pSidePanel->IsShown());
    EXPECT_EQ(m_pWindow->height(), 320);
}

std::vector<fs::path> Recordings(const std::string& folder)
{
    std::vector<fs::path> found;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().rfind("방송 녹음-", 0) == 0 && entry.path().extension() == ".mp3")
                found.push_back(entry.path());
    return found;
}

TEST_F(MainWindowSound, RecordsOnlyOnAirAndSaysSoWhenTheFileCannotBeMade)
{
    ASSERT_NO_FATAL_FAILURE(Create());
    CDJDataMan& dj = TheDJDataMan();
    GXConButton* pRecord = Controls().pRecord;
    const std::string folder = dj.Settings().m_strPath;
    // Even with its button enabled, nothing records off air.
    pRecord->SetEnable(true);
    Command(3004);
    EXPECT_TRUE(Recordings(folder).empty());
    EXPECT_EQ(dj.Settings().m_nEnable, 0);

    FakeShoutcastServer server;
    ASSERT_TRUE(server.Start());
    EditSettings(dj, [&](DJSettings& s) {
        s.m_strAddress = "127.0.0.1";
        s.m_nPort = server.Port();
    });
    std::string text;
    int code = 0;
    ASSERT_EQ(dj.Connect(&text, &code), 1) << text;
    const std::vector<int16_t> tenth(4410 * 2, 1000);
    const auto feedUntil = [&](auto done) {
        return ProcessEventsUntil([&] {
            g_pCard->WaveIn().Feed(tenth);
            return done();
        });
    };

    Command(2039);
    EXPECT_EQ(pRecord->GetImageNum(), 1);
    EXPECT_EQ(pRecord->GetTooltip(), "녹음정지(R)");
    EXPECT_TRUE(Controls().pRecordingLamp->IsShown());
    EXPECT_EQ(dj.Settings().m_nEnable, 1);
    ASSERT_EQ(Recordings(folder).size(), 1U);
    const fs::path file = Recordings(folder)[0];
    EXPECT_TRUE(feedUntil([&] { return fs::file_size(file) > 4096; })) << "the recording grows";

    Command(3004);
    EXPECT_EQ(pRecord->GetImageNum(), 0);
    EXPECT_EQ(pRecord->GetTooltip(), "녹음하기(R)");
    EXPECT_FALSE(Controls().pRecordingLamp->IsShown());
    EXPECT_EQ(dj.Settings().m_nEnable, 0);
    EXPECT_FALSE(dj.IsRecording());

    // A folder that cannot hold files leaves recording off and says so.
    const std::string blocked = m_home.Path("blocked");
    std::ofstream(blocked) << "a file where the folder belongs";
    EditSettings(dj, [&](DJSettings& s) { s.m_strPath = blocked; });
    Command(3004);
    EXPECT_EQ(pRecord->GetImageNum(), 0);
    EXPECT_EQ(pRecord->GetTooltip(), "녹음하기(R)");
    EXPECT_FALSE(Controls().pRecordingLamp->IsShown());
    EXPECT_EQ(dj.Settings().m_nEnable, 0);
    ASSERT_EQ(m_boxes.Calls().size(), 1U);
    EXPECT_EQ(m_boxes.Calls()[0].caption, "TavDJ");
}

TEST_F(MainWindowSound, RecordingMixerOpensOnTheDesktopsRecordingTab)
{
    const fs::path bin = m_home.Path("bin");
    fs::create_directories(bin);
    std::ofstream(bin / "pavucontrol") << "#!/bin/sh\n";
    fs::permissions(bin / "pavucontrol", fs::perms::owner_all);
    m_home.Set("PATH", bin.string());
    ASSERT_NO_FATAL_FAILURE(Create());
    std::vector<std::string> started;
    m_pWindow->SetProgramLauncher([&](const std::string& program, const std::vector<std::string>& args) {
        started = args;
        started.insert(started.begin(), program);
        return true;
    });
    Command(3021);
    EXPECT_EQ(started, (std::vector<std::string> { "pavucontrol", "--tab=2" }));
}

} // namespace

// The main window's sound controls, driven through the real window with the
// default skin, the program's controller running on a scripted sound card.
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
#include "support/TempHome.h"
#include "support/TestSandbox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

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
        ASSERT_TRUE(m_settings.Create("tavdj-sound"));
        DJDataManSystems systems;
        systems.pMixer = &m_mixer;
        systems.pWaveIn = &m_waveIn;
        ASSERT_TRUE(BuildDJDataManWith((m_settings.Dir() / "SETTING.ini").string(), systems));
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
    TestSandbox m_settings;
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
    void SetUp() override
    {
        const fs::path built = fs::path(TAVDJ_BINARY_DIR) / "app";
        fs::copy(built / "default_skin", Program() / "default_skin", fs::copy_options::recursive);
        fs::copy_file(built / "ControlID.XML", Program() / "ControlID.XML");
    }

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

struct SSliderCase {
    const char* name;
    int nId;
    int nPos;
    bool bTalking;
    int DJSettings::*pSetting;
    int nSetting;
    const char* tooltip;
    // The lines a value in force reaches; nullopt: left as they were.
    std::optional<int> music;
    std::optional<int> mic;
};

class SoundSlider : public MainWindowSound, public testing::WithParamInterface<SSliderCase> { };

TEST_P(SoundSlider, ChangesTheSettingAndOnlyTheLinesInForce)
{
    const SSliderCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Create());
    // A short fade keeps the test quick.
    Slide(2024, 200);
    ASSERT_NO_FATAL_FAILURE(Talk(c.bTalking));
    const int nMusic = g_pCard->Music();
    const int nMic = g_pCard->Mic();

    Slide(c.nId, c.nPos);
    EXPECT_EQ(TheDJDataMan().Settings().*c.pSetting, c.nSetting);
    EXPECT_EQ(m_pWindow->SkinWindow()->FindControl(c.nId)->GetTooltip(), c.tooltip);
    EXPECT_EQ(g_pCard->Music(), c.music.value_or(nMusic));
    EXPECT_EQ(g_pCard->LineIn(), g_pCard->Music()) << "line-in fade is on";
    EXPECT_EQ(g_pCard->Mic(), c.mic.value_or(nMic));
}

INSTANTIATE_TEST_SUITE_P(MainWindow, SoundSlider,
    testing::Values(
        SSliderCase { "Music", 2021, 40000, false, &DJSettings::m_nNormal, 40000, "61%", 40000, std::nullopt },
        SSliderCase { "MusicWhileTalkingWaits", 2021, 40000, true, &DJSettings::m_nNormal, 40000, "61%", std::nullopt,
            std::nullopt },
        SSliderCase {
            "BgmWaitsForTalkOver", 2022, 20000, false, &DJSettings::m_nBGM, 20000, "30%", std::nullopt, std::nullopt },
        SSliderCase { "BgmWhileTalking", 2022, 20000, true, &DJSettings::m_nBGM, 20000, "30%", 20000, std::nullopt },
        SSliderCase { "MicWhileTalking", 2023, 65536, true, &DJSettings::m_nMic, 65536, "100%", std::nullopt, 65536 },
        SSliderCase {
            "FadeTime", 2024, 1500, false, &DJSettings::m_nFadeTime, 15, "1.5초", std::nullopt, std::nullopt },
        SSliderCase {
            "FadeTimeBelowOneTenth", 2024, 50, false, &DJSettings::m_nFadeTime, 0, "0초", std::nullopt, std::nullopt },
        SSliderCase { "Reverb", 2005, 16, false, &DJSettings::m_nReverb_Level, 16, "50%", std::nullopt, std::nullopt },
        SSliderCase { "Pitch", 2007, 120, false, &DJSettings::m_nPitch_Level, 120, "75%", std::nullopt, std::nullopt }),
    [](const testing::TestParamInfo<SSliderCase>& testInfo) { return std::string(testInfo.param.name); });

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

struct SPanelCase {
    const char* name;
    const char* sizes; // the MainWindow element's size attributes
    int nOpen;
    int nClosed;
};

class SidePanel : public MainWindowSound, public testing::WithParamInterface<SPanelCase> { };

TEST_P(SidePanel, OpensToMaxSizeAndClosesToMinSize)
{
    const fs::path skinXml = Program() / "default_skin" / "skin.xml";
    std::string text;
    {
        std::ifstream in(skinXml);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string sizes = "MinSize=\"760,320\" MaxSize=\"760,464\"";
    const size_t at = text.find(sizes);
    ASSERT_NE(at, std::string::npos);
    std::ofstream(skinXml) << text.replace(at, sizes.size(), GetParam().sizes);
    ASSERT_NO_FATAL_FAILURE(Create());
    Command(3003);
    EXPECT_EQ(m_pWindow->height(), GetParam().nOpen);
    EXPECT_TRUE(Controls().pSidePanel->IsShown());
    EXPECT_EQ(m_pWindow->SkinWindow()->GetWidget()->height(), m_pWindow->height());
    Command(3003);
    EXPECT_EQ(m_pWindow->height(), GetParam().nClosed);
    EXPECT_FALSE(Controls().pSidePanel->IsShown());
}

INSTANTIATE_TEST_SUITE_P(MainWindow, SidePanel,
    testing::Values(SPanelCase { "DefaultSkin", "MinSize=\"760,320\" MaxSize=\"760,464\"", 464, 320 },
        // Without a height for the open panel the window keeps its own.
        SPanelCase { "NoMaxSize", "MinSize=\"760,320\"", 320, 320 }),
    [](const testing::TestParamInfo<SPanelCase>& testInfo) { return std::string(testInfo.param.name); });

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

struct SMixerCase {
    const char* name;
    std::vector<std::string> installed;
    unsigned nCommand;
    std::vector<std::string> expected; // program and arguments; empty: nothing starts
};

class SystemMixer : public MainWindowSound, public testing::WithParamInterface<SMixerCase> { };

TEST_P(SystemMixer, OpensTheDesktopsMixerOnTheRightView)
{
    const SMixerCase& c = GetParam();
    const fs::path bin = m_home.Path("bin");
    fs::create_directories(bin);
    for (const std::string& tool : c.installed) {
        std::ofstream(bin / tool) << "#!/bin/sh\nexit 0\n";
        fs::permissions(bin / tool, fs::perms::owner_all);
    }
    m_home.Set("PATH", bin.string());
    ASSERT_NO_FATAL_FAILURE(Create());
    std::vector<std::vector<std::string>> started;
    m_pWindow->SetProgramLauncher([&](const std::string& program, const std::vector<std::string>& args) {
        started.push_back({ program });
        started.back().insert(started.back().end(), args.begin(), args.end());
        return true;
    });
    Command(c.nCommand);
    if (c.expected.empty()) {
        EXPECT_TRUE(started.empty());
        return;
    }
    ASSERT_EQ(started.size(), 1U);
    EXPECT_EQ(started[0], c.expected);
}

INSTANTIATE_TEST_SUITE_P(MainWindow, SystemMixer,
    testing::Values(
        SMixerCase { "DesktopPlayback", { "pavucontrol", "alsamixer", "xterm" }, 3020, { "pavucontrol", "--tab=1" } },
        SMixerCase { "DesktopRecording", { "pavucontrol" }, 3021, { "pavucontrol", "--tab=2" } },
        SMixerCase {
            "CardMixerInATerminal", { "alsamixer", "xterm" }, 3021, { "xterm", "-e", "alsamixer", "--view=capture" } },
        SMixerCase { "NoMixer", { "xterm" }, 3020, {} }),
    [](const testing::TestParamInfo<SMixerCase>& testInfo) { return std::string(testInfo.param.name); });

} // namespace

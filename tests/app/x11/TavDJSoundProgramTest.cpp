// The real program's sound controls on a private X server: the keyboard and
// the mouse as a user works them, the sound card a scripted ALSA card that
// writes down every volume the program sets, or a desktop's sound server
// (a private PulseAudio or PipeWire) that must be left as it was found.
#include "peers/SoundFixtures.h"
#include "peers/SoundServers.h"
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::ClickAt;
using testutil::VisibleWindow;
using testutil::WindowGeometry;

constexpr int kWaitMs = 20000;
constexpr int kFadeSteps = 10;
constexpr int kFadeStepMs = 50;
// The scripted card's ranges (tests/fakes/alsa/FakeAlsaCard.c).
constexpr const char* kMicElement = "Mic Playback Volume";
constexpr const char* kMusicElement = "PCM Playback Volume";
constexpr long kMicTop = 31;
constexpr long kMusicBottom = -10;
constexpr long kMusicTop = 20;
// Where the default skin puts a quiet spot of the title bar and the side
// panel's button.
constexpr const char* kQuietSpot = "300 20";
constexpr const char* kSidePanelButton = "642 20";
constexpr const char* kCloseButton = "730 20";

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

template <class Done> bool WaitUntil(Done done)
{
    return testutil::WaitUntil(done, kWaitMs, 20);
}

// One value the program wrote to the card.
struct SWrite {
    long long ms;
    long value;
};

class TavDJSoundProgram : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool") && ToolOnPath("xset"), "Xvfb, xdotool and xset");
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        // The card stands in for the system's default mixer; there is no
        // recording device, the same on every machine.
        testutil::UseProgramEnvironment(
            m_home, "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\nctl.!default { type tavdjfake }\n");
        m_home.Set("TAVDJ_FAKE_CARD_LOG", m_log.string());
        testutil::CopyBuiltDefaultSkin(m_home.Path("program"));
    }

    // Every value the program wrote to one element of the card since from.
    std::vector<SWrite> Writes(const std::string& element, long long from) const
    {
        std::vector<SWrite> writes;
        std::ifstream in(m_log);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string ms, name, channel, value;
            if (std::getline(fields, ms, '|') && std::getline(fields, name, '|') && std::getline(fields, channel, '|')
                && std::getline(fields, value) && name == element && channel == "0" && std::stoll(ms) >= from)
                writes.push_back({ std::stoll(ms), std::stol(value) });
        }
        return writes;
    }

    long Last(const std::string& element) const
    {
        const std::vector<SWrite> writes = Writes(element, 0);
        return writes.empty() ? -1000 : writes.back().value;
    }

    TempHome m_home;
    XvfbServer m_xvfb;
    fs::path m_log = fs::path(m_home.Path("card.log"));
};

// The values one fade wrote, in order: they move one way only, and reach
// the end at the last of F steps 50 ms apart.
void ExpectOneFade(const std::vector<SWrite>& writes, long from, long to)
{
    ASSERT_FALSE(writes.empty());
    long previous = from;
    size_t reached = writes.size();
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_TRUE(to > from ? writes[i].value >= previous : writes[i].value <= previous)
            << "talk-over flickered: " << previous << " then " << writes[i].value;
        previous = writes[i].value;
        if (previous == to && reached == writes.size())
            reached = i;
    }
    ASSERT_LT(reached, writes.size());
    EXPECT_EQ(int(reached) + 1, kFadeSteps);
    // A timer may run a little early, never many steps at once.
    EXPECT_GE(writes[reached].ms - writes.front().ms, (kFadeSteps - 1) * kFadeStepMs * 9 / 10);
}

TEST_F(TavDJSoundProgram, HeldTalkKeyFadesOnceEachWayAndTheSidePanelOpensAndCloses)
{
    const fs::path settings = fs::path(m_home.Path("data")) / "VANDREL" / "TavDJ" / "SETTING.ini";
    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << "[Volume]\nNormal=65536\nBGM=0\nMic=65536\nFadeTime=" << kFadeSteps
                            << "\nLineinFade=1\n";
    // Keys repeat soon and fast, so a held key repeats many times during
    // one fade.
    ASSERT_TRUE(CommandSucceeds("xset r on r rate 100 50"));

    testutil::ChildProcess program;
    ASSERT_TRUE(program.Start({ TAVDJ_PROGRAM }, false, true));
    // It says it found no recording device before it shows its window.
    ASSERT_TRUE(WaitUntil([&] { return !VisibleWindow("녹음 장치 초기화 실패").empty(); }));
    ASSERT_TRUE(CommandSucceeds("xdotool key --clearmodifiers Return"));
    std::string window;
    ASSERT_TRUE(WaitUntil([&] { return !(window = VisibleWindow("TavDJ")).empty(); }));
    ASSERT_TRUE(WaitUntil([&] { return Last(kMicElement) == 0 && Last(kMusicElement) == kMusicTop; }))
        << "the program set the card's lines up";

    // A bare X server gives the keyboard to the window under the pointer.
    ASSERT_TRUE(CommandSucceeds("xdotool mousemove --window " + window + " " + kQuietSpot));
    const long long pressed = NowMs();
    ASSERT_TRUE(CommandSucceeds("xdotool keydown c"));
    // The fade outlasts the repeat delay: the key repeats while it runs.
    const bool bTalking
        = WaitUntil([&] { return Last(kMicElement) == kMicTop && Last(kMusicElement) == kMusicBottom; });
    ASSERT_TRUE(CommandSucceeds("xdotool keyup c"));
    ASSERT_TRUE(bTalking) << "holding C did not bring the microphone up";
    ASSERT_TRUE(WaitUntil([&] { return Last(kMicElement) == 0 && Last(kMusicElement) == kMusicTop; }))
        << "releasing C did not bring the music back";

    // The key was let go only once the top was seen, so the fade up ends
    // with the first write that reaches it and the rest is the fade down
    // (a time stamp of the key's release can share the top's millisecond).
    std::vector<SWrite> up = Writes(kMicElement, pressed);
    auto top = std::find_if(up.begin(), up.end(), [](const SWrite& w) { return w.value == kMicTop; });
    if (top != up.end())
        ++top;
    const std::vector<SWrite> down(top, up.end());
    up.erase(top, up.end());
    ExpectOneFade(up, 0, kMicTop);
    ExpectOneFade(down, kMicTop, 0);

    ASSERT_TRUE(ClickAt(window, kSidePanelButton));
    EXPECT_TRUE(WaitUntil([&] { return WindowGeometry(window).find("760x464") != std::string::npos; }))
        << WindowGeometry(window);
    ASSERT_TRUE(ClickAt(window, kSidePanelButton));
    EXPECT_TRUE(WaitUntil([&] { return WindowGeometry(window).find("760x320") != std::string::npos; }))
        << WindowGeometry(window);

    ASSERT_TRUE(ClickAt(window, kCloseButton));
    EXPECT_EQ(program.Wait(kWaitMs), 0);
    std::ifstream saved(settings);
    const std::string text((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_NE(text.find("SEShow=0"), std::string::npos) << "the closed panel is remembered";
}

} // namespace

namespace {

using testutil::VisibleWindowMatching;

enum class EEnd { Close, SettingsOkThenClose, Term };

struct SServerCase {
    const char* name;
    peers::SoundServerKind kind;
    EEnd end;
};

// The real program on a desktop's sound server: a private PulseAudio or
// PipeWire, reached as a desktop program reaches it (PULSE_SERVER, and
// ALSA's default through the pulse plugin), music played to its output and
// a voice on its microphone.
class TavDJSoundServerProgram : public testing::TestWithParam<SServerCase> {
protected:
    void SetUpServer(peers::SoundServerKind kind)
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool"), "Xvfb and xdotool");
        REQUIRE_SOUND_SERVER(kind);
        REQUIRE_FILE(peers::PulsePluginPath());
        ASSERT_NO_FATAL_FAILURE(m_server.Start(kind, m_dir, m_env));
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        testutil::UseProgramEnvironment(m_home, "pcm.!default { type pulse }\nctl.!default { type pulse }\n");
        testutil::CopyBuiltDefaultSkin(m_home.Path("program"));
        m_artifacts = testutil::TestArtifacts();
    }

    bool StartProgram(testutil::ChildProcess& program, std::string* pWindow)
    {
        return program.Start({ TAVDJ_PROGRAM }, false, true)
            && WaitUntil([&] { return !(*pWindow = VisibleWindowMatching("^TavDJ$")).empty(); });
    }

    // The program is the server's client: it has read and set up its sound.
    bool ProgramIsAClient(pid_t pid) const
    {
        std::string clients;
        if (m_server.Pactl("--format=json list clients", &clients) != 0)
            return false;
        return clients.find("\"application.process.id\":\"" + std::to_string(pid) + "\"") != std::string::npos;
    }

    // A key pressed as the skin's: a click on the window's caption gives the
    // window the keyboard first.
    static bool FocusWindow(const std::string& window)
    {
        return CommandSucceeds("xdotool mousemove --window " + window + " " + kQuietSpot + " click 1")
            && WaitUntil([&] { return testutil::CommandOutput("xdotool getwindowfocus").find(window) == 0; });
    }

    // F5 opens the settings dialog; its window.
    static std::string OpenSettings(const std::string& window)
    {
        std::string dialog;
        if (FocusWindow(window) && CommandSucceeds("xdotool key F5"))
            (void)WaitUntil([&] { return !(dialog = VisibleWindowMatching("^환경 설정$")).empty(); });
        return dialog;
    }

    // The settings dialog's 확인; true once the dialog is gone.
    static bool ConfirmSettings(const std::string& dialog)
    {
        return ClickAt(dialog, kSettingsOk) && WaitUntil([&] { return VisibleWindowMatching("^환경 설정$").empty(); });
    }

    void Screenshot(const std::string& name) { testutil::Screenshot(m_artifacts, name); }

    // Places in the settings dialog: its sound page's tab, the 원본 combo,
    // the 확인 button.
    static constexpr const char* kSoundTab = "120 20";
    static constexpr const char* kSourceCombo = "200 110";
    static constexpr const char* kSettingsOk = "398 475";

    TempHome m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivateSoundServer m_server;
    XvfbServer m_xvfb;
    fs::path m_artifacts;
};

} // namespace

// Every sink's and source's volume and mute, and the server's defaults, are
// as they were before the program started once it has ended: by its close
// button, after the settings dialog's 확인 with nothing changed, by SIGTERM.
TEST_P(TavDJSoundServerProgram, LeavesEveryVolumeMuteAndDefaultAsItFoundThem)
{
    const SServerCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(SetUpServer(c.kind));
    // A desktop whose volumes are not all at their tops, and a music player
    // playing.
    ASSERT_EQ(m_server.Pactl(std::string("set-sink-volume ") + peers::kSpeakersSink + " 80%"), 0);
    ASSERT_EQ(m_server.Pactl(std::string("set-source-volume ") + peers::kMicSource + " 70%"), 0);
    ASSERT_GT(m_server.PlayTone(peers::ToneTo::Output, 440, -12, 60), 0);
    const peers::SoundServerSnapshot before = m_server.Snapshot();
    ASSERT_FALSE(before.sinks.empty());

    testutil::ChildProcess program;
    std::string window;
    ASSERT_TRUE(StartProgram(program, &window));
    // Without a recording device of ALSA's the program tells so; either way
    // it comes to its window and to the server.
    ASSERT_TRUE(WaitUntil([&] { return ProgramIsAClient(program.Pid()); })) << "the program never reached the server";
    if (c.end == EEnd::SettingsOkThenClose) {
        const std::string dialog = OpenSettings(window);
        ASSERT_FALSE(dialog.empty()) << "F5 opened no settings";
        ASSERT_TRUE(ConfirmSettings(dialog));
    }
    if (c.end == EEnd::Term) {
        ASSERT_EQ(::kill(program.Pid(), SIGTERM), 0);
    } else {
        ASSERT_TRUE(ClickAt(window, kCloseButton));
    }
    EXPECT_EQ(program.Wait(kWaitMs), 0);
    EXPECT_EQ(m_server.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(SoundServers, TavDJSoundServerProgram,
    testing::Values(SServerCase { "PulseAudioClose", peers::SoundServerKind::PulseAudio, EEnd::Close },
        SServerCase { "PulseAudioSettingsOk", peers::SoundServerKind::PulseAudio, EEnd::SettingsOkThenClose },
        SServerCase { "PulseAudioTerm", peers::SoundServerKind::PulseAudio, EEnd::Term },
        SServerCase { "PipeWireClose", peers::SoundServerKind::PipeWire, EEnd::Close },
        SServerCase { "PipeWireSettingsOk", peers::SoundServerKind::PipeWire, EEnd::SettingsOkThenClose },
        SServerCase { "PipeWireTerm", peers::SoundServerKind::PipeWire, EEnd::Term }),
    [](const testing::TestParamInfo<SServerCase>& row) { return std::string(row.param.name); });

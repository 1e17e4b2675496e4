// The real program's sound controls on a private X server: the keyboard and
// the mouse as a user works them, the sound card a scripted ALSA card that
// writes down every volume the program sets, or a desktop's sound server
// (a private PulseAudio or PipeWire) that must be left as it was found.
#include "peers/IcecastServer.h"
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
#include <cmath>
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
class TavDJOnSoundServer : public testing::Test {
protected:
    // A skip or a failure here ends only this; the caller returns on it.
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

    // What the settings dialog shows where the recording lines' list opens,
    // as a digest.
    static std::string ListArea(const std::string& dialog)
    {
        // The list is a window of its own above the dialog: the screen shows
        // it, the dialog's own picture does not.
        const int x = testutil::WindowGeometryValue(dialog, "X") + 70;
        const int y = testutil::WindowGeometryValue(dialog, "Y") + 120;
        return testutil::CommandOutput("import -window root -crop 340x90+" + std::to_string(x) + "+" + std::to_string(y)
            + " -depth 8 rgb:- 2>/dev/null | md5sum");
    }

    // Places in the settings dialog: its sound page's tab, the 원본 combo,
    // the 확인 button.
    static constexpr const char* kSoundTab = "120 20";
    static constexpr const char* kSourceCombo = "200 127";
    static constexpr const char* kSettingsOk = "398 475";

    TempHome m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivateSoundServer m_server;
    XvfbServer m_xvfb;
    fs::path m_artifacts;
};

class TavDJSoundServerProgram : public TavDJOnSoundServer, public testing::WithParamInterface<SServerCase> { };

} // namespace

// Every sink's and source's volume and mute, and the server's defaults, are
// as they were before the program started once it has ended: by its close
// button, after the settings dialog's 확인 with nothing changed, by SIGTERM.
TEST_P(TavDJSoundServerProgram, LeavesEveryVolumeMuteAndDefaultAsItFoundThem)
{
    const SServerCase& c = GetParam();
    SetUpServer(c.kind);
    if (IsSkipped() || HasFatalFailure())
        return;
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

namespace {

class TavDJTalkOverProgram : public TavDJOnSoundServer, public testing::WithParamInterface<peers::SoundServerKind> {
protected:
    // How much of the stream the listener has heard, in seconds, decoded
    // into heard.wav.
    double Heard(const std::string& mp3, peers::Wav* pWav = nullptr) const
    {
        std::error_code missing;
        if (fs::file_size(mp3, missing) < 4096 || missing)
            return 0;
        peers::Wav wav;
        if (peers::Run("mpg123 -q -w '" + mp3 + ".wav' '" + mp3 + "' 2>/dev/null") != 0
            || !peers::ReadWav(mp3 + ".wav", &wav) || wav.channels <= 0 || wav.rate <= 0)
            return 0;
        const double seconds = double(wav.samples.size() / size_t(wav.channels)) / wav.rate;
        if (pWav)
            *pWav = std::move(wav);
        return seconds;
    }
};

// The level of a tone in windows of a quarter second.
std::vector<double> ToneLevels(const peers::Wav& wav, double hz)
{
    const size_t window = size_t(wav.rate / 4);
    const size_t frames = wav.samples.size() / size_t(wav.channels);
    std::vector<double> levels;
    for (size_t first = 0; first + window <= frames; first += window)
        levels.push_back(peers::ToneAmplitude(wav.samples, wav.channels, 0, wav.rate, hz, first, window));
    return levels;
}

double Db(double level, double reference)
{
    return 20.0 * std::log10(std::max(level, 1e-3) / reference);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace

// A presenter on a desktop: music plays to the default output, the
// microphone is the default input. The settings dialog's sound page lists
// the stereo mix, the microphone and the output's monitor; S goes on air to
// a real Icecast 2, and a listener hears the music and not the microphone;
// while C is held the music drops and the microphone comes in, and after it
// is let go the music is back and the microphone gone. Only X11 input.
TEST_P(TavDJTalkOverProgram, HeldTalkKeyDropsTheMusicAndBringsInTheMicrophoneForAListener)
{
    constexpr double kPlayedDbfs = -12;
    const double played = 32767.0 * std::pow(10.0, kPlayedDbfs / 20.0);
    for (const char* tool : { "icecast2", "curl", "mpg123", "import" })
        TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
    SetUpServer(GetParam());
    if (IsSkipped() || HasFatalFailure())
        return;
    // Icecast makes its folder in the private tmp/; run as root, it runs as
    // nobody, who must reach that folder.
    for (const char* sub : { "", "tmp" })
        fs::permissions(m_home.Path(sub), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    testutil::IcecastServer icecast;
    ASSERT_TRUE(icecast.Start()) << icecast.ErrorLog();
    testutil::WriteLoginSettings(testutil::ProgramSettingsFile(m_home.Path("data")), "127.0.0.1", icecast.Port(),
        testutil::IcecastServer::kPassword, 0);
    ASSERT_GT(m_server.PlayTone(peers::ToneTo::Output, 440, kPlayedDbfs, 120), 0);
    ASSERT_GT(m_server.PlayTone(peers::ToneTo::Microphone, 660, kPlayedDbfs, 120), 0);

    testutil::ChildProcess program;
    std::string window;
    ASSERT_TRUE(StartProgram(program, &window));
    ASSERT_TRUE(WaitUntil([&] { return ProgramIsAClient(program.Pid()); })) << "the program never reached the server";

    // The sound page and its recording lines, as the presenter sees them.
    const std::string dialog = OpenSettings(window);
    ASSERT_FALSE(dialog.empty()) << "F5 opened no settings";
    ASSERT_TRUE(ClickAt(dialog, kSoundTab));
    Screenshot("sound-page");
    const std::string closedList = ListArea(dialog);
    ASSERT_TRUE(ClickAt(dialog, kSourceCombo));
    std::string openList;
    ASSERT_TRUE(WaitUntil([&] { return (openList = ListArea(dialog)) != closedList; }))
        << "the recording lines' list did not open";
    Screenshot("recording-lines");
    // Escape on the open list closes the list alone, which keeps the line
    // in use.
    ASSERT_TRUE(CommandSucceeds("xdotool key Escape"));
    ASSERT_TRUE(WaitUntil([&] { return ListArea(dialog) != openList; })) << "the recording lines' list stayed open";
    ASSERT_TRUE(ConfirmSettings(dialog));

    ASSERT_TRUE(FocusWindow(window) && CommandSucceeds("xdotool key s"));
    ASSERT_TRUE(WaitUntil([&] { return icecast.Status().find("\"source\"") != std::string::npos; }))
        << icecast.Status();
    const std::string mp3 = m_dir / "heard.mp3";
    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start({ "curl", "-s", "--max-time", "90", "-o", mp3, icecast.Url("/live") }, false, true));
    const auto hear
        = [&](double seconds) { return testutil::WaitUntil([&] { return Heard(mp3) >= seconds; }, 40000, 200); };
    ASSERT_TRUE(hear(6)) << "the listener heard too little";
    ASSERT_TRUE(FocusWindow(window));
    ASSERT_TRUE(CommandSucceeds("xdotool keydown c"));
    const double pressed = Heard(mp3);
    const bool talked = hear(pressed + 6);
    Screenshot("talking");
    ASSERT_TRUE(CommandSucceeds("xdotool keyup c"));
    ASSERT_TRUE(talked);
    ASSERT_TRUE(hear(Heard(mp3) + 6));
    listener.Stop();
    peers::Wav wav;
    ASSERT_GT(Heard(mp3, &wav), 18.0);

    // The talk-over is where the microphone is heard; before it and after
    // it there is music alone.
    const std::vector<double> music = ToneLevels(wav, 440);
    const std::vector<double> voice = ToneLevels(wav, 660);
    const double present = played / 4;
    size_t first = voice.size(), last = 0;
    for (size_t i = 0; i < voice.size(); ++i)
        if (voice[i] > present) {
            first = std::min(first, i);
            last = i;
        }
    ASSERT_LT(first, voice.size()) << "the microphone never came in";
    const size_t edge = 4; // a second for each fade and the encoder's edges
    ASSERT_GT(first, 2 * edge) << "the microphone was heard before C was held";
    ASSERT_LT(last + 2 * edge, voice.size()) << "the microphone stayed after C was let go";
    ASSERT_GT(last - first, 3 * edge) << "the talk-over was too short to be held";
    for (size_t i = first; i <= last; ++i)
        EXPECT_GT(voice[i], present / 2) << "the microphone dropped out during talk-over at " << i / 4.0 << " s";
    const double before = Median({ music.begin() + long(edge), music.begin() + long(first) });
    const double during = Median({ music.begin() + long(first + edge), music.begin() + long(last - edge) });
    const double after = Median({ music.begin() + long(last + edge), music.end() - 1 });
    EXPECT_NEAR(Db(before, played), 0, 3) << "the music is not carried at the level the computer plays it";
    EXPECT_LE(Db(during, before), -9) << "talk-over did not lower the music by 9 dB";
    EXPECT_NEAR(Db(after, before), 0, 3) << "the music did not come back after talk-over";
    EXPECT_NEAR(Db(Median({ voice.begin() + long(first + edge), voice.begin() + long(last - edge) }), played), 0, 3)
        << "the microphone is not carried at its own level";
    EXPECT_LT(Median({ voice.begin() + long(edge), voice.begin() + long(first) }), present / 10);
    EXPECT_LT(Median({ voice.begin() + long(last + edge), voice.end() - 1 }), present / 10);

    ASSERT_TRUE(FocusWindow(window) && CommandSucceeds("xdotool key s"));
    ASSERT_TRUE(WaitUntil([&] { return icecast.Status().find("\"source\"") == std::string::npos; }));
    ASSERT_TRUE(ClickAt(window, kCloseButton));
    EXPECT_EQ(program.Wait(kWaitMs), 0);
}

INSTANTIATE_TEST_SUITE_P(SoundServers, TavDJTalkOverProgram,
    testing::Values(peers::SoundServerKind::PulseAudio, peers::SoundServerKind::PipeWire),
    [](const auto& row) { return std::string(peers::SoundServerName(row.param)); });

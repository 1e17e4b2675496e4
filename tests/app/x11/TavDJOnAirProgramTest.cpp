// The real program on air on a private X server, worked only through X11
// input: a tone through a private PulseAudio as its recording device, a
// real Icecast 2 or a fake server of the test's own as its server, the
// title typed into the title field as a presenter types it, and the window
// as the screen shows it.
#include "fakes/FakeShoutcastServer.h"
#include "peers/IcecastServer.h"
#include "peers/SoundFixtures.h"
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/FfmpegTone.h"
#include "support/PrivateSessionBus.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/ScriptedMprisPlayer.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::ClickAt;
using testutil::CommandOutput;
using testutil::VisibleWindowMatching;

constexpr int kWaitMs = 20000;
// Longer than any test here runs: past its end the recording device repeats
// stale bytes.
constexpr int kToneSeconds = 120;
const std::string kTitle = "테스트 곡 - Test Song";
// Places in the default skin's main window: the start button, the title
// tab, the title field, the status line and the close button.
constexpr const char* kStartButton = "100 120";
constexpr const char* kTitleTab = "598 157";
constexpr const char* kTitleField = "568 214";
constexpr const char* kCloseButton = "730 20";
struct SArea {
    int x, y, w, h;
};
constexpr SArea kFieldArea { 414, 203, 308, 22 };
constexpr SArea kStatusArea { 410, 61, 316, 16 };
// The level meter, the start button, the tabbed panel and its "효과" tab.
constexpr SArea kMeterArea { 208, 74, 160, 12 };
constexpr SArea kStartArea { 52, 72, 96, 96 };
constexpr SArea kPanelArea { 398, 172, 340, 128 };
constexpr const char* kEffectsTab = "438 157";
// A place on the window's caption, where the pointer gives the skin the keys.
constexpr const char* kCaption = "300 20";
// Places in the settings dialog (F5): the password field, the server-type
// combo and its "Icecast 2" row once open, the mount field, the apply
// button; the area of that row and of the mount field.
constexpr const char* kPasswordField = "142 207";
constexpr const char* kServerTypeCombo = "347 207";
constexpr const char* kIcecastRow = "347 230";
constexpr const char* kMountField = "142 235";
constexpr const char* kApplyButton = "398 475";
constexpr SArea kIcecastRowArea { 282, 222, 132, 16 };
// The settings dialog's sound tab, its format combo, an area of the page's
// first options, which the combo's open list covers, and the area of the
// pages.
constexpr const char* kSoundTab = "120 23";
constexpr const char* kFormatCombo = "240 183";
constexpr SArea kSoundListArea { 100, 225, 300, 55 };
constexpr SArea kPageArea { 12, 36, 425, 420 };
// The broadcast page's station fields, which no click here gives the focus.
constexpr SArea kStationArea { 20, 285, 420, 160 };
constexpr SArea kMountArea { 80, 226, 130, 18 };
// The mount the presenter types.
constexpr const char* kMount = "/tavdj";
// Fewer pixels of a text's colour than a few letters have: no text shown.
constexpr int kTextPixels = 15;

template <class Done> bool WaitUntil(Done done, int boundMs = kWaitMs)
{
    return testutil::WaitUntil(done, boundMs, 50);
}

struct SRgb {
    int r, g, b;
};
struct SPoint {
    int x, y;
};

// The code points of UTF-8 text (well-formed, as the test writes it).
std::vector<char32_t> CodePoints(const std::string& text)
{
    std::vector<char32_t> points;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        points.push_back(c);
        i += size_t(extra) + 1;
    }
    return points;
}

// Text as Icecast's stock status page writes it: characters beyond ASCII
// as numeric character references.
std::string AsIcecastStatusHasIt(const std::string& text)
{
    std::string out;
    for (const char32_t c : CodePoints(text))
        out += c < 0x80 ? std::string(1, char(c)) : "&#" + std::to_string(unsigned(c)) + ";";
    return out;
}

// The pixels of a part of the screen, as ImageMagick reads them.
std::vector<SRgb> ScreenPixels(int x, int y, int w, int h)
{
    const std::string text = CommandOutput("import -window root -crop " + std::to_string(w) + "x" + std::to_string(h)
        + "+" + std::to_string(x) + "+" + std::to_string(y) + " -depth 8 txt:- 2>/dev/null");
    std::vector<SRgb> pixels;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t hash = line.find('#');
        unsigned r = 0, g = 0, b = 0;
        if (line[0] != '#' && hash != std::string::npos
            && std::sscanf(line.c_str() + hash, "#%02x%02x%02x", &r, &g, &b) == 3)
            pixels.push_back({ int(r), int(g), int(b) });
    }
    return pixels;
}

template <class Test> int Count(const std::vector<SRgb>& pixels, Test test)
{
    int n = 0;
    for (const SRgb& p : pixels)
        n += test(p) ? 1 : 0;
    return n;
}

bool Near(const SRgb& p, const SRgb& q)
{
    return std::abs(p.r - q.r) < 40 && std::abs(p.g - q.g) < 40 && std::abs(p.b - q.b) < 40;
}

// A digest of what a part of the screen shows: quick to take, so looks can
// follow each other closely.
std::string Picture(const SPoint& origin, const SArea& area)
{
    return CommandOutput("import -window root -crop " + std::to_string(area.w) + "x" + std::to_string(area.h) + "+"
        + std::to_string(origin.x + area.x) + "+" + std::to_string(origin.y + area.y)
        + " -depth 8 rgb:- 2>/dev/null | md5sum");
}

// A look at an area once the window has painted it: two looks in a row
// alike. A slow start may show the window before its first paint.
std::string SettledPicture(const SPoint& origin, const SArea& area)
{
    std::string last = Picture(origin, area);
    std::string now = last;
    (void)WaitUntil([&] {
        now = Picture(origin, area);
        return std::exchange(last, now) == now;
    });
    return now;
}

// A tone whose loudness steps every tenth of a second through seven levels
// in an order that never repeats at a look's spacing, so the level meter
// has something to show moving.
std::vector<int16_t> SteppingTone(int seconds)
{
    constexpr int kRate = 44100;
    constexpr int kLevels = 7;
    std::vector<int16_t> samples = peers::StereoTone(kRate, 440.0, 14000.0, seconds * kRate);
    for (size_t i = 0; i < samples.size(); ++i) {
        const size_t step = i / 2 / (kRate / 10);
        samples[i] = static_cast<int16_t>(samples[i] * int(step * 3 % kLevels + 1) / kLevels);
    }
    return samples;
}

class TavDJOnAirProgram : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : { "Xvfb", "xdotool", "xmodmap", "import", "icecast2", "curl", "mpg123" })
            TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
        m_artifacts = testutil::TestArtifacts();

        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        m_home.Set("TAVDJ_ASSUME_ONLINE", "1");
        const std::string tone = m_dir / "tone.raw";
        ASSERT_TRUE(peers::WriteRaw(tone, SteppingTone(kToneSeconds)));
        // The scripted card is the mixer; the tone, in real time, the
        // recording device (the later default wins).
        testutil::UseProgramEnvironment(m_home,
            "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\nctl.!default { type tavdjfake }\n"
            "pcm.!default "
                + peers::ToneDevice(tone, m_pulse.MonitorPcm()) + "\n");
        // A machine without a sound server of its own: the private one only
        // paces the tone, reached by the address in ALSA's configuration,
        // so the program records ALSA's default.
        m_home.Set("PULSE_SERVER", std::nullopt);
        testutil::CopyBuiltDefaultSkin(m_home.Path("program"));
        // Icecast makes its folder in the private tmp/; run as root, it runs
        // as nobody, who must reach that folder.
        for (const char* sub : { "", "tmp" })
            fs::permissions(m_home.Path(sub), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    }

    // Every character of text beyond ASCII gets a key of its own, before
    // the program reads the keyboard map: xdotool then types it with that
    // key, where it would otherwise map a spare key for a moment, and the
    // program could read the map only after it was taken back.
    bool MapKeysFor(const std::string& text)
    {
        std::vector<std::string> spare;
        std::istringstream lines(CommandOutput("xmodmap -pke"));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string keycode, number, equals, keysym;
            if (fields >> keycode >> number >> equals && !(fields >> keysym) && std::stoi(number) > 8)
                spare.push_back(number);
        }
        std::set<char32_t> mapped;
        for (const char32_t c : CodePoints(text)) {
            if (c < 0x80 || !mapped.insert(c).second)
                continue;
            if (spare.empty())
                return false;
            char keysym[16];
            std::snprintf(keysym, sizeof keysym, "U%04X", unsigned(c));
            if (!CommandSucceeds("xmodmap -e 'keycode " + spare.back() + " = " + keysym + "'"))
                return false;
            spare.pop_back();
        }
        return true;
    }

    // The window's place on the screen.
    static SPoint WindowAt(const std::string& window)
    {
        const std::string shell = CommandOutput("xdotool getwindowgeometry --shell " + window);
        int x = 0, y = 0;
        const size_t at = shell.find("X=");
        const size_t yAt = shell.find("Y=");
        if (at != std::string::npos && yAt != std::string::npos) {
            x = std::atoi(shell.c_str() + at + 2);
            y = std::atoi(shell.c_str() + yAt + 2);
        }
        return { x, y };
    }

    static std::vector<SRgb> Area(const std::string& window, const SArea& area)
    {
        const SPoint origin = WindowAt(window);
        return ScreenPixels(origin.x + area.x, origin.y + area.y, area.w, area.h);
    }

    // The client log of the program in the folder of that name.
    std::string ClientLog(const std::string& folder = "program") const
    {
        std::string all;
        std::error_code missing;
        for (const auto& entry : fs::directory_iterator(m_home.Path(folder) + "/log", missing)) {
            if (entry.path().filename().string().rfind("DJClient_", 0) != 0)
                continue;
            all += testutil::ReadFile(entry.path());
        }
        return all;
    }

    void Screenshot(const std::string& name) { testutil::Screenshot(m_artifacts, name); }

    // SETTING.ini for a server on loopback, no title from a player and no
    // directory; network: more lines of its [Network] section; data: the
    // data folder it goes into.
    void WriteSettings(int port, const std::string& password, int reconnect, const std::string& network = "",
        const std::string& data = {})
    {
        testutil::WriteLoginSettings(SettingsFile(data), m_address, port, password, reconnect, network);
    }
    // The settings WriteSettings wrote, with the title from a player on.
    void TurnOnAutomaticTitles()
    {
        std::string settings = testutil::ReadFile(SettingsFile());
        settings.replace(settings.find("[Song]\nAuto=0"), 13, "[Song]\nAuto=1");
        std::ofstream(SettingsFile()) << settings;
    }
    // A session bus of the test's own for the program: players announce
    // their songs there.
    void GiveTheProgramABus()
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("dbus-daemon"), "dbus-daemon");
        ASSERT_TRUE(m_bus.Start(m_dir.Path()));
        m_home.Set("DBUS_SESSION_BUS_ADDRESS", m_bus.Address());
    }
    fs::path SettingsFile(const std::string& data = {}) const
    {
        return testutil::ProgramSettingsFile(data.empty() ? m_home.Path("data") : data);
    }

    // Starts the program and waits for its main window.
    bool StartProgram(testutil::ChildProcess& program, std::string* pWindow)
    {
        return program.Start({ TAVDJ_PROGRAM }, false, true)
            && WaitUntil([&] { return !(*pWindow = VisibleWindowMatching("^TavDJ$")).empty(); });
    }

    // A default Icecast on loopback, and settings that log in to it through
    // its SHOUTcast socket with no reconnection.
    void StartIcecastWithLogin(testutil::IcecastServer& icecast)
    {
        ASSERT_TRUE(icecast.Start()) << icecast.ErrorLog();
        WriteSettings(icecast.Port(), testutil::IcecastServer::kPassword, 0);
    }

    // The program started on the settings written and put on air with S;
    // onAir tells when icecast carries its stream.
    void GoOnAir(testutil::ChildProcess& program, std::string* pWindow, const testutil::IcecastServer& icecast,
        const std::function<bool()>& onAir)
    {
        ASSERT_TRUE(StartProgram(program, pWindow));
        ASSERT_TRUE(PressKey(*pWindow, "s"));
        ASSERT_TRUE(WaitUntil(onAir)) << icecast.Status() << ClientLog();
    }

    // S takes the program off air, as onAir tells, and the close button ends
    // it with status 0 within closeMs.
    static void GoOffAirAndClose(testutil::ChildProcess& program, const std::string& window,
        const std::function<bool()>& onAir, int closeMs = kWaitMs)
    {
        ASSERT_TRUE(PressKey(window, "s"));
        ASSERT_TRUE(WaitUntil([&] { return !onAir(); }));
        ASSERT_TRUE(ClickAt(window, kCloseButton));
        EXPECT_EQ(program.Wait(closeMs), 0) << "the program did not end within " << closeMs << " ms of the close";
    }

    // A second program beside the first, with its own settings in data2/ and
    // its own folder program2/ (the same tone); its main window.
    bool StartSecondProgram(testutil::ChildProcess& program, std::string* pWindow)
    {
        fs::create_directories(m_home.Path("data2"));
        fs::create_directories(m_home.Path("program2"));
        testutil::CopyBuiltDefaultSkin(m_home.Path("program2"));
        m_home.Set("XDG_DATA_HOME", m_home.Path("data2"));
        m_home.Set("TAVDJ_PROGRAM_DIR", m_home.Path("program2"));
        m_home.Set("TAVDJ_ALLOW_INSTANCES", "1");
        m_home.Set("TAVDJ_DEBUG_TRACE", std::nullopt);
        return program.Start({ TAVDJ_PROGRAM }, false, true) && WaitUntil([&] {
            const std::string ids = CommandOutput("xdotool search --all --onlyvisible --pid "
                + std::to_string(program.Pid()) + " --name '^TavDJ$' 2>/dev/null");
            return !(*pWindow = ids.substr(0, ids.find('\n'))).empty();
        });
    }

    // A key pressed as the skin's: a click on the window's caption gives the
    // window the keyboard first.
    static bool PressKey(const std::string& window, const std::string& key)
    {
        return CommandSucceeds("xdotool mousemove --window " + window + " " + kCaption + " click 1")
            && WaitUntil([&] { return CommandOutput("xdotool getwindowfocus").find(window) == 0; })
            && CommandSucceeds("xdotool key " + key);
    }

    // A notice of a failed connect is on the screen.
    static bool FailureNoticeShown() { return !VisibleWindowMatching("^TavDJ - 방송서버 접속 실패$").empty(); }

    // The notice of a failed connect, dismissed with Return.
    static bool DismissFailureNotice()
    {
        const std::string box = VisibleWindowMatching("^TavDJ - 방송서버 접속 실패$");
        return !box.empty() && CommandSucceeds("xdotool mousemove --window " + box + " 5 5 key Return")
            && WaitUntil([&] { return !FailureNoticeShown(); });
    }

    // Text typed into a field as a presenter replaces what it holds: a click
    // in it, all of it selected, the keys.
    static bool TypeInto(const std::string& window, const char* field, const std::string& text)
    {
        return ClickAt(window, field)
            && WaitUntil([&] { return CommandOutput("xdotool getwindowfocus").find(window) == 0; })
            && CommandSucceeds("xdotool key ctrl+a")
            && CommandSucceeds("LC_ALL=C.UTF-8 xdotool type --delay 30 '" + text + "'");
    }

    // F5 opens the settings dialog; its window.
    static std::string OpenSettings(const std::string& window)
    {
        std::string dialog;
        if (PressKey(window, "F5"))
            (void)WaitUntil([&] { return !(dialog = VisibleWindowMatching("^환경 설정$")).empty(); });
        return dialog;
    }

    // In the settings dialog: Icecast 2 chosen in the server-type combo,
    // which enables the mount field.
    static bool ChooseIcecast(const std::string& dialog)
    {
        const SPoint at = WindowAt(dialog);
        const std::string closed = Picture(at, kIcecastRowArea);
        const std::string disabledMount = Picture(at, kMountArea);
        return ClickAt(dialog, kServerTypeCombo) && WaitUntil([&] { return Picture(at, kIcecastRowArea) != closed; })
            && ClickAt(dialog, kIcecastRow) && WaitUntil([&] { return Picture(at, kMountArea) != disabledMount; });
    }

    // The settings dialog's apply button; true once the dialog is gone.
    static bool Apply(const std::string& dialog)
    {
        return ClickAt(dialog, kApplyButton) && WaitUntil([&] { return VisibleWindowMatching("^환경 설정$").empty(); });
    }

    // The program's trace, which tells what the listener readout holds.
    void TraceReadout() { m_home.Set("TAVDJ_DEBUG_TRACE", Trace()); }
    std::string Trace() const { return m_dir / "trace.log"; }
    // The listener readout holds text, as the program's trace last told.
    bool ReadoutShows(const std::string& text) const
    {
        const std::string trace = testutil::ReadFile(Trace());
        const size_t last = trace.rfind("청취자 표시 : ");
        return last != std::string::npos
            && trace.compare(last, trace.find('\n', last) - last, "청취자 표시 : " + text) == 0;
    }

    // An outside listener of url: it stays until the readout showed it,
    // then leaves, and the readout follows within 15 s. The stream heard.
    std::string ListenWhileTheReadoutCounts(const std::string& url, const std::string& name)
    {
        const std::string heard = m_dir / (name + ".mp3");
        testutil::ChildProcess listener;
        EXPECT_TRUE(listener.Start({ "curl", "-s", "--max-time", "60", "-o", heard, url }, false, true));
        EXPECT_TRUE(WaitUntil([&] {
            std::error_code missing;
            return fs::file_size(heard, missing) >= 48000 && !missing;
        })) << "the listener heard nothing";
        EXPECT_TRUE(WaitUntil([&] { return ReadoutShows("1/50"); })) << testutil::ReadFile(Trace());
        Screenshot(name + "-one-listener");
        listener.Stop();
        EXPECT_TRUE(WaitUntil([&] { return ReadoutShows("0/50"); }, 15000)) << testutil::ReadFile(Trace());
        return heard;
    }

    // The 440 Hz tone, clearly above what lies beside it, in the middle of
    // a stream heard.
    static void ExpectTone(const std::string& mp3)
    {
        std::string errors;
        ASSERT_EQ(peers::Run("mpg123 -q -w '" + mp3 + ".wav' '" + mp3 + "' 2>&1", &errors), 0) << errors;
        peers::Wav wav;
        ASSERT_TRUE(peers::ReadWav(mp3 + ".wav", &wav));
        ASSERT_GT(wav.channels, 0);
        const size_t frames = wav.samples.size() / size_t(wav.channels);
        ASSERT_GT(frames, size_t(wav.rate));
        const auto level = [&](double hz) {
            return peers::ToneAmplitude(
                wav.samples, wav.channels, 0, wav.rate, hz, frames / 2 - size_t(wav.rate / 8), size_t(wav.rate / 4));
        };
        EXPECT_GT(level(440.0), 2000.0);
        EXPECT_LT(level(1000.0) * 10, level(440.0));
    }

    TempHome m_home;
    peers::TempDir m_dir;
    testutil::PrivateSessionBus m_bus;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    XvfbServer m_xvfb;
    fs::path m_artifacts;
    // The server's address in the settings WriteSettings writes.
    std::string m_address = "127.0.0.1";
};

TEST_F(TavDJOnAirProgram, ATitleTypedIntoTheFieldGoesOnAirAndTheStatusLineHasNoKeyColour)
{
    testutil::IcecastServer icecast;
    ASSERT_NO_FATAL_FAILURE(StartIcecastWithLogin(icecast));
    ASSERT_TRUE(MapKeysFor(kTitle));

    testutil::ChildProcess program;
    std::string window;
    ASSERT_TRUE(StartProgram(program, &window));
    ASSERT_TRUE(ClickAt(window, kStartButton));
    ASSERT_TRUE(WaitUntil([&] { return icecast.Status().find("\"source\"") != std::string::npos; }))
        << icecast.Status() << ClientLog();

    // The title tab, then the field, then the typing: the field shows what
    // is typed, and its letters are not the window's keys (S would stop the
    // broadcast).
    ASSERT_TRUE(ClickAt(window, kTitleTab));
    ASSERT_TRUE(ClickAt(window, kTitleField));
    ASSERT_TRUE(CommandSucceeds("LC_ALL=C.UTF-8 xdotool type --delay 60 '" + kTitle + "'"));
    const auto amber = [](const SRgb& p) { return Near(p, { 214, 142, 34 }); };
    EXPECT_TRUE(WaitUntil([&] { return Count(Area(window, kFieldArea), amber) > kTextPixels; }))
        << "the typed text does not show in the field";
    // Ctrl+R is the skin's key, not the field's: the skin stays as it is,
    // the field with it. F1 opens the about box from the field too, after
    // Ctrl+R has had its turn.
    ASSERT_TRUE(CommandSucceeds("xdotool key ctrl+r F1"));
    std::string about;
    EXPECT_TRUE(WaitUntil([&] { return !(about = VisibleWindowMatching("^TavDJ - ")).empty(); }))
        << "F1 opened no about box";
    Screenshot("typed");
    EXPECT_GT(Count(Area(window, kFieldArea), amber), kTextPixels) << "Ctrl+R in the field reloaded the skin";
    if (!about.empty()) {
        ASSERT_TRUE(CommandSucceeds("xdotool mousemove --window " + about + " 5 5 key Escape"));
        ASSERT_TRUE(WaitUntil([&] { return VisibleWindowMatching("^TavDJ - ").empty(); }));
    }
    ASSERT_TRUE(ClickAt(window, kTitleField));
    ASSERT_TRUE(CommandSucceeds("xdotool key Return"));
    EXPECT_TRUE(WaitUntil([&] { return icecast.Status().find(kTitle) != std::string::npos; })) << icecast.Status();
    EXPECT_NE(icecast.Status().find("\"source\""), std::string::npos) << "the broadcast ended";
    EXPECT_EQ(ClientLog().find("서버 접속 끊기"), std::string::npos) << ClientLog();

    // The status line scrolls the title over the skin with no trace of the
    // colour key around its letters.
    ASSERT_TRUE(WaitUntil([&] {
        return Count(Area(window, kStatusArea), [](const SRgb& p) {
            return Near(p, { 0xE6, 0xEA, 0xF0 });
        }) > kTextPixels;
    })) << "the status line shows no text";
    Screenshot("status");
    const std::vector<SRgb> status = Area(window, kStatusArea);
    EXPECT_EQ(Count(status, [](const SRgb& p) { return p.r > 200 && p.b > 200 && p.g < 100; }), 0);

    ASSERT_TRUE(ClickAt(window, kStartButton));
    ASSERT_TRUE(WaitUntil([&] { return icecast.Status().find("\"source\"") == std::string::npos; }));
    ASSERT_TRUE(ClickAt(window, kCloseButton));
    EXPECT_EQ(program.Wait(kWaitMs), 0);
}

// A login that never ends by itself: a server that takes the connection
// and never answers, or a server named by a host name whose lookup hangs in
// the system's resolver. While the program logs in, the window lives (the
// level meter moves, a tab click switches the panel), and S again or a
// close ends the login at once. Each step also shows that the login was
// still waiting when the window answered (the server still held the
// connection, or the lookup still hung), so a machine under load cannot
// pass a window that froze; the bounds on how soon the window answers are
// a few seconds, well inside the 10 s a frozen window would take. A round
// whose looks a loaded machine spread past the login's own limit (the
// program gave the login up by itself, as it should) proves nothing either
// way and is run again, a bounded number of times.
TEST_F(TavDJOnAirProgram, ALoginThatNeverEndsLeavesTheWindowLiveAndSOrACloseEndsIt)
{
    constexpr int kAnswerMs = 3000;
    constexpr int kTries = 3;
    enum class Server { Silent, StuckLookup };
    enum class End { SAgain, Close };
    enum class Round { Judged, TooSlowToJudge };
    for (const Server kind : { Server::Silent, Server::StuckLookup }) {
        for (const End end : { End::SAgain, End::Close }) {
            const bool stuck = kind == Server::StuckLookup;
            const std::string name
                = std::string(stuck ? "stuck-lookup-" : "") + (end == End::SAgain ? "s-again" : "close");
            SCOPED_TRACE(name);
            const auto lookupFor
                = [&](int attempt) -> fs::path { return m_dir / (name + "-lookup-" + std::to_string(attempt)); };
            const auto round = [&](int attempt) {
                FakeShoutcastServer server;
                server.mode = FakeShoutcastServer::Login::Silent;
                EXPECT_TRUE(server.Start());
                // The lookup hangs until the test lets it go: the program's
                // own resolver is the C library's, with this one in front of
                // it.
                const fs::path lookup = lookupFor(attempt);
                fs::create_directories(lookup);
                m_home.Set("TAVDJ_STUCK_LOOKUP_DIR", lookup.string());
                m_home.Set("LD_PRELOAD", stuck ? std::optional<std::string>(TAVDJ_STUCK_LOOKUP) : std::nullopt);
                m_address = stuck ? "radio.stuck.test" : "127.0.0.1";
                WriteSettings(server.Port(), "secret", 0);
                const size_t logFrom = ClientLog().size();
                const auto gaveUp = [&] { return ClientLog().find("서버 접속 실패", logFrom) != std::string::npos; };
                testutil::ChildProcess program;
                std::string window;
                if (!StartProgram(program, &window)) {
                    ADD_FAILURE() << "the program did not start";
                    return Round::Judged;
                }
                // The window stays where it came up.
                const SPoint at = WindowAt(window);
                const std::string offLook = SettledPicture(at, kStartArea);
                EXPECT_TRUE(PressKey(window, "s"));
                const bool loginCame = stuck
                    ? WaitUntil([&] { return fs::exists(lookup / "entered"); })
                    : server.WaitFor(
                        [](FakeShoutcastServer& s) { return s.SourceBytes().find('\n') != std::string::npos; },
                        kWaitMs);
                if (!loginCame) {
                    ADD_FAILURE() << "no login came";
                    return Round::Judged;
                }
                const auto loginAt = std::chrono::steady_clock::now();
                const auto stillLoggingIn = [&] {
                    const bool waiting = stuck ? !fs::exists(lookup / "left") : server.SourceConnectionsEnded() == 0;
                    return waiting && !gaveUp();
                };

                // A look at the meter every half second from the login's
                // first second on, and a click on the "효과" tab after the
                // second look. The login gives a hung lookup up after 5 s:
                // those looks end sooner.
                const int looks = stuck ? 5 : 10;
                std::set<std::string> meters;
                bool tabSwitched = false;
                bool tabWhileWaiting = false;
                for (int i = 0; i <= looks; ++i) {
                    // The looks are spaced in time: that is what they check.
                    std::this_thread::sleep_until(
                        loginAt + std::chrono::milliseconds(stuck ? 500 * i : 1000 + 500 * i));
                    meters.insert(Picture(at, kMeterArea));
                    if (i == 0 || i == looks)
                        Screenshot(name + "-login-look-" + std::to_string(i));
                    if (i != 2)
                        continue;
                    const std::string panel = Picture(at, kPanelArea);
                    EXPECT_TRUE(ClickAt(window, kEffectsTab));
                    tabSwitched = WaitUntil([&] { return Picture(at, kPanelArea) != panel; }, kAnswerMs);
                    tabWhileWaiting = stillLoggingIn();
                    Screenshot(name + "-effects-tab");
                }
                const bool waitingAtTheEnd = stillLoggingIn();
                if (!waitingAtTheEnd && gaveUp() && attempt + 1 < kTries) {
                    program.Stop();
                    return Round::TooSlowToJudge;
                }
                EXPECT_TRUE(tabSwitched) << "the tab did not switch";
                EXPECT_TRUE(tabWhileWaiting) << "the tab switched only once the login had ended";
                EXPECT_GE(meters.size(), 3U) << "the level meter stood still during the login";
                if (!waitingAtTheEnd) {
                    ADD_FAILURE() << "the login ended before the window was looked at\n" << ClientLog();
                    return Round::Judged;
                }

                if (end == End::SAgain) {
                    EXPECT_TRUE(PressKey(window, "s"));
                    EXPECT_TRUE(WaitUntil([&] { return Picture(at, kStartArea) == offLook; }, kAnswerMs))
                        << "the on-air button kept its cancel look";
                    Screenshot(name + "-cancelled");
                } else {
                    EXPECT_TRUE(ClickAt(window, kCloseButton));
                    EXPECT_EQ(program.Wait(kAnswerMs), 0) << "the program did not end soon, or not with status 0";
                }
                if (stuck)
                    EXPECT_FALSE(fs::exists(lookup / "left")) << "the window answered only once the lookup had ended";
                else
                    EXPECT_TRUE(server.WaitFor(
                        [](FakeShoutcastServer& s) { return s.SourceConnectionsEnded() == 1; }, kAnswerMs))
                        << "the server still holds the login's connection";
                // The login was cancelled, not given up by itself: a login
                // that ends by itself logs its failure.
                EXPECT_FALSE(gaveUp()) << ClientLog();
                if (end == End::SAgain) {
                    EXPECT_FALSE(FailureNoticeShown());
                    EXPECT_TRUE(ClickAt(window, kCloseButton));
                    EXPECT_EQ(program.Wait(kWaitMs), 0);
                }
                return Round::Judged;
            };
            for (int attempt = 0; attempt < kTries; ++attempt) {
                const Round judged = round(attempt);
                // The hung lookup goes, whatever the round found.
                std::ofstream(lookupFor(attempt) / "release").flush();
                if (judged == Round::Judged)
                    break;
            }
        }
    }
    m_home.Set("LD_PRELOAD", std::nullopt);
}

// A wrong password against Icecast's SHOUTcast-compatible socket, which
// closes the login without a word, with reconnection on: the third login
// in a row is told as a refused password, once, and no fourth comes.
TEST_F(TavDJOnAirProgram, AWrongPasswordAgainstIcecastIsToldOnceAndNotTriedForEver)
{
    testutil::IcecastServer icecast;
    ASSERT_TRUE(icecast.Start()) << icecast.ErrorLog();
    WriteSettings(icecast.Port(), "wrong-password", 1);
    const auto logins = [&] {
        const std::string log = icecast.ErrorLog();
        int n = 0;
        for (size_t at = log.find("_handle_shoutcast_compatible"); at != std::string::npos;
             at = log.find("_handle_shoutcast_compatible", at + 1))
            ++n;
        return n;
    };

    testutil::ChildProcess program;
    std::string window;
    ASSERT_TRUE(StartProgram(program, &window));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(ClickAt(window, kStartButton));
    const std::string told = "\t서버 접속 실패(-1) : 암호 불일치\n";
    // Two countdowns of about twelve seconds come first.
    ASSERT_TRUE(WaitUntil([&] { return ClientLog().find(told) != std::string::npos; }, 60000))
        << ClientLog() << icecast.ErrorLog();
    std::string box;
    ASSERT_TRUE(WaitUntil([&] { return !(box = VisibleWindowMatching("^TavDJ - 방송서버 접속 실패$")).empty(); }));
    Screenshot("refused");
    EXPECT_EQ(logins(), 3) << icecast.ErrorLog();
    ASSERT_TRUE(CommandSucceeds("xdotool mousemove --window " + box + " 5 5 key Return"));
    ASSERT_TRUE(WaitUntil([&] { return !FailureNoticeShown(); }));

    // Nothing more for the rest of the minute: no login, no notice.
    const auto minute = started + std::chrono::seconds(60);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(minute - std::chrono::steady_clock::now());
    EXPECT_FALSE(
        WaitUntil([&] { return logins() > 3 || FailureNoticeShown(); }, int(std::max<long long>(left.count(), 0))))
        << icecast.ErrorLog();
    Screenshot("a-minute-later");
    const std::string log = ClientLog();
    EXPECT_EQ(log.find(told), log.rfind(told)) << log;
    EXPECT_NE(log.find("\t서버 접속 실패(-2) : 접속 에러\n"), std::string::npos) << log;
    ASSERT_TRUE(ClickAt(window, kCloseButton));
    EXPECT_EQ(program.Wait(kWaitMs), 0);
}

// Escape in the settings dialog, on either page and on any control, closes
// the dialog as closing its window does; on an open drop-down list it
// closes only the list. The page is never closed inside the dialog: the
// next opening shows it whole.
TEST_F(TavDJOnAirProgram, EscapeClosesTheSettingsDialogFromEitherPageAndAnOpenListOnlyItself)
{
    WriteSettings(8000, "hackme", 1);
    testutil::ChildProcess program;
    std::string window;
    ASSERT_TRUE(StartProgram(program, &window));
    const auto closed = [] { return WaitUntil([] { return VisibleWindowMatching("^환경 설정$").empty(); }); };

    std::string dialog = OpenSettings(window);
    ASSERT_FALSE(dialog.empty()) << "F5 opened no settings";
    const std::string broadcastPage = SettledPicture(WindowAt(dialog), kStationArea);
    Screenshot("broadcast-page");
    ASSERT_TRUE(CommandSucceeds("xdotool key Escape"));
    ASSERT_TRUE(closed()) << "Escape on the broadcast page left the dialog open";

    // Each opening shows the broadcast page as it was: no page closed.
    const auto reopen = [&] {
        dialog = OpenSettings(window);
        return !dialog.empty() && SettledPicture(WindowAt(dialog), kStationArea) == broadcastPage;
    };

    // Escape with a field of the page in the keyboard's hands.
    ASSERT_TRUE(reopen()) << "the page came back changed";
    ASSERT_TRUE(ClickAt(dialog, kPasswordField));
    ASSERT_TRUE(CommandSucceeds("xdotool key Escape"));
    ASSERT_TRUE(closed()) << "Escape in the password field left the dialog open";

    // The sound page: its card list opened, Escape closes the list only.
    dialog = OpenSettings(window);
    ASSERT_FALSE(dialog.empty());
    const SPoint at = WindowAt(dialog);
    const std::string beforeTab = SettledPicture(at, kPageArea);
    ASSERT_TRUE(ClickAt(dialog, kSoundTab));
    ASSERT_TRUE(WaitUntil([&] { return Picture(at, kPageArea) != beforeTab; }));
    Screenshot("sound-page");
    const std::string listClosed = Picture(at, kSoundListArea);
    ASSERT_TRUE(ClickAt(dialog, kFormatCombo));
    ASSERT_TRUE(WaitUntil([&] { return Picture(at, kSoundListArea) != listClosed; })) << "no list opened";
    Screenshot("sound-list-open");
    ASSERT_TRUE(CommandSucceeds("xdotool key Escape"));
    ASSERT_TRUE(WaitUntil([&] { return Picture(at, kSoundListArea) == listClosed; })) << "the list stayed open";
    // The options show again where the list was: the page stays.
    EXPECT_FALSE(VisibleWindowMatching("^환경 설정$").empty()) << "Escape on the list closed the dialog";
    Screenshot("sound-list-closed");
    ASSERT_TRUE(CommandSucceeds("xdotool key Escape"));
    ASSERT_TRUE(closed()) << "Escape on the sound page left the dialog open";

    ASSERT_TRUE(reopen()) << "the page came back changed";
    Screenshot("reopened");
    ASSERT_TRUE(CommandSucceeds("xdotool key Escape"));
    ASSERT_TRUE(closed());
    ASSERT_TRUE(ClickAt(window, kCloseButton));
    EXPECT_EQ(program.Wait(kWaitMs), 0);
}

// A presenter with a stock Icecast 2 and a SETTING.ini from before the
// server type: Icecast 2 chosen in the settings dialog, the mount and a
// mistyped password typed there, S. The wrong password is told once and
// not tried again, though reconnection is on; typed right, S puts the
// station on the mount, a typed title reaches Icecast, and an outside
// listener hears the tone and is counted while it listens.
TEST_F(TavDJOnAirProgram, IcecastChosenInTheSettingsGoesOnAirToItsMountWithTitleAndListeners)
{
    testutil::IcecastServer icecast;
    ASSERT_TRUE(icecast.Start({}, testutil::IcecastConfig::Stock)) << icecast.ErrorLog();
    WriteSettings(icecast.Port(), "hackme", 1);
    ASSERT_TRUE(MapKeysFor(kTitle));
    TraceReadout();
    testutil::ChildProcess program;
    std::string window;
    ASSERT_TRUE(StartProgram(program, &window));
    const SPoint at = WindowAt(window);

    std::string dialog = OpenSettings(window);
    ASSERT_FALSE(dialog.empty()) << "F5 opened no settings";
    ASSERT_TRUE(ChooseIcecast(dialog));
    ASSERT_TRUE(TypeInto(dialog, kMountField, kMount));
    ASSERT_TRUE(TypeInto(dialog, kPasswordField, "wrong-password"));
    Screenshot("settings");
    ASSERT_TRUE(Apply(dialog));
    const std::string saved = testutil::ReadFile(SettingsFile());
    EXPECT_NE(saved.find("\nServerType=1\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find(std::string("\nMount=") + kMount + "\n"), std::string::npos) << saved;

    const std::string told = "\t서버 접속 실패(-1) : 암호 불일치\n";
    const std::string offLook = SettledPicture(at, kStartArea);
    ASSERT_TRUE(PressKey(window, "s"));
    ASSERT_TRUE(WaitUntil([&] { return ClientLog().find(told) != std::string::npos; })) << ClientLog();
    ASSERT_TRUE(WaitUntil([&] { return FailureNoticeShown(); }));
    Screenshot("wrong-password");
    ASSERT_TRUE(DismissFailureNotice());
    // Idle, not counting down to another login.
    if (!WaitUntil([&] { return Picture(at, kStartArea) == offLook; })) {
        ADD_FAILURE() << "the window waits to log in again";
        Screenshot("not-idle");
    }

    dialog = OpenSettings(window);
    ASSERT_FALSE(dialog.empty());
    ASSERT_TRUE(TypeInto(dialog, kPasswordField, testutil::IcecastServer::kPassword));
    ASSERT_TRUE(Apply(dialog));
    ASSERT_TRUE(PressKey(window, "s"));
    // Icecast names itself by the host of its configuration.
    const std::string listenUrl = ":" + std::to_string(icecast.Port()) + kMount + "\"";
    ASSERT_TRUE(WaitUntil([&] { return icecast.Status().find(listenUrl) != std::string::npos; }))
        << icecast.Status() << ClientLog();
    Screenshot("on-air");

    ASSERT_TRUE(ClickAt(window, kTitleTab));
    ASSERT_TRUE(ClickAt(window, kTitleField));
    ASSERT_TRUE(CommandSucceeds("LC_ALL=C.UTF-8 xdotool type --delay 60 '" + kTitle + "' && xdotool key Return"));
    EXPECT_TRUE(WaitUntil([&] {
        const std::string status = icecast.Status();
        return status.find("\"title\":\"" + AsIcecastStatusHasIt(kTitle) + "\"") != std::string::npos
            && status.find(listenUrl) != std::string::npos;
    })) << icecast.Status();

    ExpectTone(ListenWhileTheReadoutCounts(icecast.Url(kMount), "listener"));
    Screenshot("listener-gone");

    // One login was refused in the whole session.
    const std::string access = testutil::ReadFile(icecast.Path("log/access.log"));
    size_t refused = 0;
    for (size_t found = access.find(" 401 "); found != std::string::npos; found = access.find(" 401 ", found + 1))
        ++refused;
    EXPECT_EQ(refused, 1U) << access;
    const std::string log = ClientLog();
    EXPECT_EQ(log.find(told), log.rfind(told)) << log;
    GoOffAirAndClose(program, window, [&] { return icecast.Status().find(listenUrl) != std::string::npos; });
}

// Two programs, one Icecast mount: the second is told that the mount is
// taken, and tries no more. An Icecast that dies under the first and comes
// back on its port, where the second now holds the mount, is tried again
// and again by the first's countdown, and rejoined once the second leaves.
TEST_F(TavDJOnAirProgram, ATakenIcecastMountIsToldAndARestartedIcecastIsRejoined)
{
    testutil::IcecastServer icecast;
    ASSERT_TRUE(icecast.Start({}, testutil::IcecastConfig::Stock)) << icecast.ErrorLog();
    const std::string network = std::string("ServerType=1\nMount=") + kMount + "\n";
    WriteSettings(icecast.Port(), testutil::IcecastServer::kPassword, 1, network);
    WriteSettings(icecast.Port(), testutil::IcecastServer::kPassword, 1, network, m_home.Path("data2"));
    const std::string listenUrl = ":" + std::to_string(icecast.Port()) + kMount + "\"";
    const auto onAir = [&] { return icecast.Status().find(listenUrl) != std::string::npos; };
    testutil::ChildProcess program;
    std::string window;
    ASSERT_NO_FATAL_FAILURE(GoOnAir(program, &window, icecast, onAir));

    testutil::ChildProcess second;
    std::string secondWindow;
    ASSERT_TRUE(StartSecondProgram(second, &secondWindow));
    ASSERT_TRUE(PressKey(secondWindow, "s"));
    const std::string taken = "\t서버 접속 실패(-1) : 마운트 사용중\n";
    ASSERT_TRUE(WaitUntil([&] { return ClientLog("program2").find(taken) != std::string::npos; }))
        << ClientLog("program2");
    ASSERT_TRUE(WaitUntil([&] { return FailureNoticeShown(); }));
    Screenshot("mount-taken");
    ASSERT_TRUE(DismissFailureNotice());
    std::string secondLog = ClientLog("program2");
    EXPECT_EQ(secondLog.find("서버 접속 시도"), secondLog.rfind("서버 접속 시도")) << secondLog;
    EXPECT_TRUE(onAir()) << "the first program lost the mount";

    // The second takes the mount while the first counts down.
    const std::string joined = "\t서버 접속 성공";
    const auto joins = [&](const std::string& log) {
        size_t n = 0;
        for (size_t at = log.find(joined); at != std::string::npos; at = log.find(joined, at + 1))
            ++n;
        return n;
    };
    icecast.Stop();
    ASSERT_TRUE(WaitUntil([&] { return ClientLog().find("방송이 중단 되었습니다.") != std::string::npos; }))
        << ClientLog();
    ASSERT_TRUE(icecast.Restart()) << icecast.ErrorLog();
    ASSERT_TRUE(PressKey(secondWindow, "s"));
    ASSERT_TRUE(WaitUntil([&] { return joins(ClientLog("program2")) == 1; })) << ClientLog("program2");
    ASSERT_EQ(joins(ClientLog()), 1U) << "the first rejoined before the second took the mount\n" << ClientLog();
    Screenshot("countdown");

    // The first's reconnect meets the taken mount: another countdown, no
    // end; once the second leaves, the next one rejoins (each takes about
    // twelve seconds).
    const std::string retried = "\t서버 접속 실패(-2) : 마운트 사용중\n";
    ASSERT_TRUE(WaitUntil([&] { return ClientLog().find(retried) != std::string::npos; }, 30000)) << ClientLog();
    Screenshot("mount-still-taken");
    // The notice of the retry closes by itself.
    ASSERT_TRUE(WaitUntil([&] { return !FailureNoticeShown(); }, 15000));
    ASSERT_TRUE(PressKey(secondWindow, "s"));
    EXPECT_TRUE(WaitUntil([&] { return joins(ClientLog()) == 2; }, 30000)) << icecast.Status() << ClientLog();
    EXPECT_TRUE(WaitUntil(onAir));
    Screenshot("rejoined");
    const std::string log = ClientLog();
    EXPECT_EQ(log.find(taken), std::string::npos) << log;
    ASSERT_TRUE(ClickAt(secondWindow, kCloseButton));
    EXPECT_EQ(second.Wait(kWaitMs), 0);
    secondLog = ClientLog("program2");
    EXPECT_EQ(secondLog.find(taken), secondLog.rfind(taken)) << secondLog;

    GoOffAirAndClose(program, window, onAir);
}

// Icecast behind its SHOUTcast-compatible socket, the server type left at
// SHOUTcast: the readout counts an outside listener of the stream all the
// same, and goes back when it leaves.
TEST_F(TavDJOnAirProgram, TheReadoutCountsAListenerOfIcecastBehindItsShoutcastSocket)
{
    testutil::IcecastServer icecast;
    ASSERT_NO_FATAL_FAILURE(StartIcecastWithLogin(icecast));
    TraceReadout();
    const auto onAir = [&] { return icecast.Status().find("/live\"") != std::string::npos; };
    testutil::ChildProcess program;
    std::string window;
    ASSERT_NO_FATAL_FAILURE(GoOnAir(program, &window, icecast, onAir));
    EXPECT_TRUE(WaitUntil([&] { return ReadoutShows("0/50"); })) << testutil::ReadFile(Trace());
    ExpectTone(ListenWhileTheReadoutCounts(icecast.Url("/live"), "listener"));
    GoOffAirAndClose(program, window, onAir);
}

// A presenter's music player, mpv with its MPRIS plug-in, plays tagged
// songs and says so on the desktop's session bus (the test's own): on air
// with automatic titles on, each song is Icecast's title within 3 s of
// mpv's playing it, and the next song replaces it.
TEST_F(TavDJOnAirProgram, ASongPlayedInMpvIsIcecastsTitleAndTheNextSongReplacesIt)
{
    for (const char* tool : { "mpv", "ffmpeg" })
        TAVDJ_REQUIRE_TOOL(ToolOnPath(tool), tool);
    const std::string plugin
        = fs::exists("/usr/lib/mpv-mpris/mpris.so") ? "/usr/lib/mpv-mpris/mpris.so" : "/etc/mpv/scripts/mpris.so";
    TAVDJ_REQUIRE_TOOL(fs::exists(plugin), "mpv-mpris");
    ASSERT_NO_FATAL_FAILURE(GiveTheProgramABus());
    const std::string one = m_dir / "one.mp3";
    const std::string two = m_dir / "two.mp3";
    ASSERT_TRUE(testutil::MakeMp3(one, 60, "자동 곡 하나", "테스트 가수"));
    ASSERT_TRUE(testutil::MakeMp3(two, 60, "자동 곡 둘", "테스트 가수"));
    testutil::IcecastServer icecast;
    ASSERT_NO_FATAL_FAILURE(StartIcecastWithLogin(icecast));
    TurnOnAutomaticTitles();
    const auto onAir = [&] { return icecast.Status().find("\"source\"") != std::string::npos; };
    testutil::ChildProcess program;
    std::string window;
    ASSERT_NO_FATAL_FAILURE(GoOnAir(program, &window, icecast, onAir));

    testutil::ChildProcess mpv;
    ASSERT_TRUE(
        mpv.Start({ "mpv", "--no-config", "--script=" + plugin, "--ao=null", "--vo=null", "--no-terminal", one, two },
            false, true));
    std::string name;
    ASSERT_TRUE(WaitUntil([&] {
        const auto names = testutil::BusNames(m_bus.Address(), "org.mpris.MediaPlayer2.mpv");
        return !names.empty() && !(name = names[0]).empty();
    })) << "mpv did not come onto the bus";
    constexpr int kTitleMs = 3000;
    EXPECT_TRUE(
        WaitUntil([&] { return icecast.Status().find("테스트 가수 - 자동 곡 하나") != std::string::npos; }, kTitleMs))
        << icecast.Status();
    Screenshot("first-song");
    ASSERT_TRUE(testutil::CallPlayer(m_bus.Address(), name, "Next"));
    EXPECT_TRUE(
        WaitUntil([&] { return icecast.Status().find("테스트 가수 - 자동 곡 둘") != std::string::npos; }, kTitleMs))
        << icecast.Status();
    Screenshot("next-song");
    EXPECT_EQ(icecast.Status().find("자동 곡 하나"), std::string::npos) << icecast.Status();
    EXPECT_TRUE(onAir()) << "the broadcast ended";
    mpv.Stop();

    GoOffAirAndClose(program, window, onAir);
}

// A player that owns its name on the bus and never answers the program's
// question: on air with automatic titles on, the level meter keeps moving,
// and, the question still open (for 10 s), a close ends the program within
// 0.5 s. A program built with the sanitizers takes that long to end by
// itself under load: there the bound is 2 s, still well short of what a
// close held by the question would take.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVDJ_SLOW_PROGRAM 1
#endif
#endif
#ifdef TAVDJ_SLOW_PROGRAM
constexpr int kCloseMs = 2000;
#else
constexpr int kCloseMs = 500;
#endif
TEST_F(TavDJOnAirProgram, APlayerThatNeverAnswersLeavesTheMeterMovingAndACloseEndsTheProgramAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(GiveTheProgramABus());
    testutil::ScriptedMprisPlayer silent;
    ASSERT_TRUE(
        silent.Start(m_bus.Address(), "org.mpris.MediaPlayer2.silent", testutil::ScriptedMprisPlayer::Answers::Never));
    testutil::IcecastServer icecast;
    ASSERT_NO_FATAL_FAILURE(StartIcecastWithLogin(icecast));
    TurnOnAutomaticTitles();
    const auto onAir = [&] { return icecast.Status().find("\"source\"") != std::string::npos; };
    testutil::ChildProcess program;
    std::string window;
    ASSERT_NO_FATAL_FAILURE(GoOnAir(program, &window, icecast, onAir));
    const SPoint at = WindowAt(window);
    ASSERT_TRUE(WaitUntil([&] { return silent.Unanswered() > 0; })) << "the program asked the player nothing";

    std::set<std::string> meters;
    const auto asked = std::chrono::steady_clock::now();
    for (int i = 0; i < 6; ++i) {
        // The looks are spaced in time: that is what they check.
        std::this_thread::sleep_until(asked + std::chrono::milliseconds(400 * i));
        meters.insert(Picture(at, kMeterArea));
    }
    Screenshot("silent-player");
    EXPECT_GE(meters.size(), 3U) << "the level meter stood still";
    GoOffAirAndClose(program, window, onAir, kCloseMs);
}

} // namespace

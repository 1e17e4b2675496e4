// The real program's sound controls on a private X server: the keyboard and
// the mouse as a user works them, the sound card a scripted ALSA card that
// writes down every volume the program sets.
#include "support/ChildProcess.h"
#include "support/ProgramEnvironment.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

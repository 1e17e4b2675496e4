// The ALSA mixer backend on ALSA's own simple-mixer code, with "default"
// routed by the test's private asoundrc to a scripted card (a control plugin
// built with the tests).
#include "engine/audio/mixer/CMixerDeviceList.h"
#include "engine/audio/mixer/CMixerLineVolume.h"
#include "platform/Mixer.h"

#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;
using namespace platform::mixer;

using GetFn = long (*)(const char*, unsigned);
using SetFn = void (*)(const char*, unsigned, long);
using OpensFn = int (*)();

class MixerAlsa : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Loaded here first, so the card's values live as long as the test.
        m_card = dlopen(TAVDJ_FAKE_ALSA_CARD, RTLD_NOW);
        ASSERT_NE(m_card, nullptr) << dlerror();
        m_get = reinterpret_cast<GetFn>(dlsym(m_card, "tavdj_fake_card_get"));
        m_set = reinterpret_cast<SetFn>(dlsym(m_card, "tavdj_fake_card_set"));
        m_opens = reinterpret_cast<OpensFn>(dlsym(m_card, "tavdj_fake_card_opens"));
        ASSERT_TRUE(m_get && m_set && m_opens);

        ASSERT_TRUE(m_sandbox.Create("tavdj-alsa"));
        const fs::path& dir = m_sandbox.Dir();
        std::ofstream(dir / ".asoundrc") << "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\n"
                                         << "ctl.!default { type tavdjfake }\n";
        m_sandbox.SetEnv("HOME", dir.string());
        m_sandbox.SetEnv("XDG_CONFIG_HOME", dir.string());
        m_sandbox.SetEnv("ALSA_CONFIG_PATH", std::nullopt);
    }

    void TearDown() override
    {
        if (m_card)
            dlclose(m_card);
    }

    std::vector<long> Card(const char* name)
    {
        std::vector<long> values;
        for (unsigned channel = 0; channel < 2; ++channel) {
            if (long v = m_get(name, channel); v != -1000)
                values.push_back(v);
        }
        return values;
    }

    void* m_card = nullptr;
    GetFn m_get = nullptr;
    SetFn m_set = nullptr;
    OpensFn m_opens = nullptr;
    TestSandbox m_sandbox;
};

std::vector<std::string> SourceNames(platform::MixerDevice& mixer, int dest)
{
    platform::MixerLineInfo line;
    std::vector<std::string> names;
    for (int s = 0; mixer.GetSource(dest, s, &line); ++s)
        names.push_back(line.name + "/" + std::to_string(line.componentType) + "/" + std::to_string(line.channels));
    return names;
}

TEST_F(MixerAlsa, CardBecomesSpeakersAndRecordingDestinations)
{
    std::shared_ptr<platform::MixerDevice> mixer = platform::MixerSystem::Default().Open(0);
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->ProductName(), "Scripted Test Card");
    ASSERT_EQ(mixer->DestinationCount(), 2);

    platform::MixerLineInfo speakers;
    ASSERT_TRUE(mixer->GetDestination(0, &speakers));
    EXPECT_EQ(speakers.componentType, kDstSpeakers);
    EXPECT_EQ(speakers.name, "Master");
    EXPECT_EQ(SourceNames(*mixer, 0), (std::vector<std::string> { "PCM/4104/2", "Mic/4099/1" }));

    platform::MixerLineInfo capture;
    ASSERT_TRUE(mixer->GetDestination(1, &capture));
    EXPECT_EQ(capture.componentType, kDstWaveIn);
    EXPECT_EQ(capture.name, "Capture");
    // Internal Mic exists only as an entry of the input list.
    EXPECT_EQ(
        SourceNames(*mixer, 1), (std::vector<std::string> { "Line/4098/2", "Mic/4099/2", "Internal Mic/4099/2" }));

    std::vector<platform::MixerControlInfo> controls;
    ASSERT_TRUE(mixer->GetLineControls(capture.lineId, &controls));
    ASSERT_EQ(controls.size(), 3u);
    EXPECT_EQ(controls[0].type, kCtlVolume);
    EXPECT_EQ(controls[0].maximum, 63);
    EXPECT_EQ(controls[1].type, kCtlMute);
    EXPECT_EQ(controls[2].type, kCtlMux);
    std::vector<std::string> items;
    ASSERT_TRUE(mixer->GetItemNames(controls[2].controlId, &items));
    EXPECT_EQ(items, (std::vector<std::string> { "Mic", "Line", "Internal Mic" }));

    // Muted is the ALSA switch turned off.
    m_set("Capture Switch", 0, 1);
    m_set("Capture Switch", 1, 1);
    std::vector<int32_t> values;
    ASSERT_TRUE(mixer->GetValues(controls[1].controlId, 2, 1, &values));
    EXPECT_EQ(values, (std::vector<int32_t> { 0, 0 }));
    ASSERT_TRUE(mixer->SetValues(controls[1].controlId, 1, 1, { 1 }));
    EXPECT_EQ(Card("Capture Switch"), (std::vector<long> { 0, 0 }));
    EXPECT_FALSE(mixer->SetValues(controls[0].controlId, 3, 1, { 1, 2, 3 }));
    EXPECT_FALSE(mixer->GetValues(999, 1, 1, &values));
}

TEST_F(MixerAlsa, PlaybackRowsWorkFromTheControlsOrigin)
{
    m_set("PCM Playback Volume", 0, 0);
    m_set("PCM Playback Volume", 1, 0);
    CMixerLineVolume music;
    ASSERT_EQ(music.OpenPreset(1), 1);
    EXPECT_EQ(music.GetLineName(), "PCM");
    EXPECT_EQ(music.SetRange(0, 30), 10);
    music.SetVolume(25);
    EXPECT_EQ(Card("PCM Playback Volume"), (std::vector<long> { 15, 15 }));
    EXPECT_EQ(music.GetVolume(), 25);

    CMixerLineVolume mic;
    ASSERT_EQ(mic.OpenPreset(5), 1);
    mic.SetVolume(0);
    EXPECT_EQ(Card("Mic Playback Volume"), (std::vector<long> { 0 }));

    CMixerLineVolume line;
    EXPECT_EQ(line.OpenPreset(2), 0);
    EXPECT_EQ(line.GetVolume(), -1);
}

TEST_F(MixerAlsa, RecordingSourcesAreChosenThroughTheInputList)
{
    m_set("Line Capture Switch", 0, 1);
    m_set("Line Capture Switch", 1, 1);
    CMixerDeviceList list;
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    int index = list.FindWaveInMixer(0);
    ASSERT_GE(index, 0);
    ASSERT_EQ(list.SelectMixer(index), 1);
    ASSERT_EQ(list.GetSourceCount(0), 4);
    std::string name;
    list.GetSourceName(0, 3, &name);
    EXPECT_EQ(name, "Internal Mic");

    EXPECT_EQ(list.SelectSourceLine(3, 0), 0);
    EXPECT_EQ(Card("Input Source"), (std::vector<long> { 2 }));
    ASSERT_EQ(list.SelectSourceLine(1, 0), 1);
    EXPECT_EQ(Card("Input Source"), (std::vector<long> { 1 }));
    EXPECT_EQ(Card("Line Capture Switch"), (std::vector<long> { 1, 1 }));
    list.SetSourceVolume(40);
    EXPECT_EQ(Card("Line Capture Volume"), (std::vector<long> { 40, 40 }));
    EXPECT_EQ(list.GetSourceVolume(), 40);

    std::vector<int> saved;
    ASSERT_EQ(list.SaveSwitchStates(0, &saved), 1);
    EXPECT_EQ(saved, (std::vector<int> { 0 }));
    ASSERT_EQ(list.RestoreSwitchStates(0, { 1 }), 1);
    EXPECT_EQ(Card("Line Capture Switch"), (std::vector<long> { 0, 0 }));
    ASSERT_EQ(list.RestoreSwitchStates(0, saved), 1);
    EXPECT_EQ(Card("Line Capture Switch"), (std::vector<long> { 1, 1 }));
}

// Behind a sound server's plugin every open of the default is a connection
// to the server; counting mixers again must not reconnect each time.
TEST_F(MixerAlsa, CountingTheDefaultAgainOpensNothing)
{
    platform::MixerSystem& system = platform::MixerSystem::Default();
    ASSERT_GE(system.MixerCount(), 1);
    if (system.MixerCount() > 1)
        GTEST_SKIP() << "this machine has sound cards; the default then counts without being opened";
    const int opens = m_opens();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(system.MixerCount(), 1);
    EXPECT_EQ(m_opens(), opens);
    EXPECT_NE(system.Open(0), nullptr);
    EXPECT_EQ(m_opens(), opens + 1) << "the mixer itself opens the card once";
}

// The window's start reads the volumes, lists the cards, sets the lines up
// and selects the recording card: one connection to the card serves all,
// and it closes once nothing uses it.
TEST_F(MixerAlsa, StartUpStepsShareOneHandle)
{
    platform::MixerSystem& system = platform::MixerSystem::Default();
    ASSERT_GE(system.MixerCount(), 1);
    if (system.MixerCount() > 1)
        GTEST_SKIP() << "this machine has sound cards of its own";
    m_set("PCM Playback Volume", 0, 0);
    m_set("PCM Playback Volume", 1, 0);
    const int opens = m_opens();
    {
        const platform::MixerHold hold(system);
        for (int row : { 1, 5 }) {
            CMixerLineVolume saved;
            ASSERT_EQ(saved.OpenPreset(row), 1);
        }
        CMixerDeviceList list;
        ASSERT_EQ(list.EnumCaptureMixers(), 1);
        CMixerLineVolume music;
        ASSERT_EQ(music.OpenPreset(1), 1);
        ASSERT_EQ(list.SelectMixer(list.FindWaveInMixer(0)), 1);
        // What another program set before the start is what the start reads.
        EXPECT_EQ(music.SetRange(0, 30), 10);
        EXPECT_EQ(m_opens(), opens + 1);
    }
    CMixerLineVolume later;
    ASSERT_EQ(later.OpenPreset(1), 1);
    EXPECT_EQ(m_opens(), opens + 2) << "the start's handle outlived its users";
}

} // namespace

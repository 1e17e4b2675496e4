#include "engine/audio/mixer/CMixerDeviceList.h"

#include "fakes/FakeMixer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace platform::mixer;

constexpr int kRecord = 0;

// A playback-only card, then a recording card: destination "Recording"
// with its own fader and mute, sources Mic, Line In and Stereo Mix, each
// with a volume and a mute switch (Stereo Mix has no volume).
struct Cards {
    FakeMixerSystem system;
    FakeMixerCard* rec = nullptr;

    explicit Cards(uint32_t listType = 0)
    {
        FakeMixerCard& play = system.AddCard("Playback Only");
        play.AddDestination(kDstSpeakers, "Speakers", 2);
        play.AddControl(0, -1, kCtlVolume, 100, false);

        rec = &system.AddCard("Scripted Card");
        rec->AddDestination(kDstWaveIn, "Recording", 2);
        rec->AddControl(kRecord, -1, kCtlVolume, 1000, false);
        rec->AddControl(kRecord, -1, kCtlMute, 1, true);
        rec->AddControl(kRecord, -1, 0x30000000, 1, true); // a class the model drops
        if (listType)
            rec->AddControl(kRecord, -1, listType, 2, true, { "Mic", "Line In", "Stereo Mix" });
        for (const char* name : { "Mic", "Line In" }) {
            int s = rec->AddSource(kRecord, kSrcMicrophone, name, 2);
            rec->AddControl(kRecord, s, kCtlVolume, 1000, false);
            rec->AddControl(kRecord, s, kCtlMute, 1, true);
        }
        int mix = rec->AddSource(kRecord, kSrcWaveOut, "Stereo Mix", 2);
        rec->AddControl(kRecord, mix, kCtlMute, 1, false);
    }

    // Source index in the model: the pseudo source for the fader comes first.
    std::vector<int32_t>& Mute(int source) { return rec->Control(kRecord, source - 1, kCtlMute)->values; }
    std::vector<int32_t> List() { return rec->destinations[kRecord].line.controls.back().values; }
};

std::string NameOf(std::function<void(std::string*)> get)
{
    std::string name = "unset";
    get(&name);
    return name;
}

TEST(CMixerDeviceList, ListsOnlyMixersThatRecordAndBuildsTheirLines)
{
    Cards c;
    CMixerDeviceList list(c.system);
    EXPECT_EQ(NameOf([&](auto* p) { list.GetDestinationName(0, p); }), "");
    EXPECT_EQ(NameOf([&](auto* p) { list.GetMixerName(p); }), "");
    EXPECT_EQ(list.GetDestinationCount(), 0);

    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.GetMixerCount(), 1);
    EXPECT_EQ(NameOf([&](auto* p) { list.GetMixerNameAt(0, p); }), "Scripted Card");
    EXPECT_EQ(NameOf([&](auto* p) { list.GetMixerNameAt(1, p); }), "");
    EXPECT_EQ(list.FindWaveInMixer(1), 0);
    EXPECT_EQ(list.FindWaveInMixer(0), -1);
    EXPECT_EQ(list.FindWaveInMixer(7), -1);

    EXPECT_EQ(list.SelectMixer(1), 0);
    ASSERT_EQ(list.SelectMixer(0), 1);
    EXPECT_EQ(NameOf([&](auto* p) { list.GetMixerName(p); }), "Scripted Card");
    ASSERT_EQ(list.GetDestinationCount(), 1);
    EXPECT_EQ(NameOf([&](auto* p) { list.GetDestinationName(0, p); }), "Recording");
    ASSERT_EQ(list.GetSourceCount(0), 4);
    std::vector<std::string> names;
    for (int s = 0; s < 4; ++s)
        names.push_back(NameOf([&](auto* p) { list.GetSourceName(0, s, p); }));
    EXPECT_EQ(names, (std::vector<std::string> { "Recording", "Mic", "Line In", "Stereo Mix" }));
    EXPECT_EQ(NameOf([&](auto* p) { list.GetSourceName(0, 4, p); }), "");
    EXPECT_EQ(NameOf([&](auto* p) { list.GetSourceName(1, 0, p); }), "");
    EXPECT_EQ(list.GetSourceCount(-1), 0);

    list.Close();
    EXPECT_EQ(list.GetDestinationCount(), 0);
    EXPECT_EQ(list.GetSourceCount(0), 0);
    EXPECT_EQ(list.SelectSourceLine(1, 0), 0);

    FakeMixerSystem none;
    CMixerDeviceList empty(none);
    EXPECT_EQ(empty.EnumCaptureMixers(), 0);
    EXPECT_EQ(empty.SelectMixer(0), 0);
}

TEST(CMixerDeviceList, WithoutAListSelectionMutesEveryOtherSource)
{
    Cards c;
    CMixerDeviceList list(c.system);
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.SelectMixer(0), 1);

    EXPECT_EQ(list.SelectSourceLine(2, 0), 1);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 1 }));
    EXPECT_EQ(c.Mute(2), (std::vector<int32_t> { 0 }));
    EXPECT_EQ(c.Mute(3), (std::vector<int32_t> { 1, 1 }));
    // The destination's own mute is not a source's and stays as it was.
    EXPECT_EQ(c.rec->Control(kRecord, -1, kCtlMute)->writes, 0);

    // The destination's own level: every source is heard.
    EXPECT_EQ(list.SelectSourceLine(0, 0), 1);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 0 }));
    EXPECT_EQ(c.Mute(3), (std::vector<int32_t> { 0, 0 }));

    // A source without a fader is selected but gives no volume.
    EXPECT_EQ(list.SelectSourceLine(3, 0), 0);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 1 }));
    EXPECT_EQ(c.Mute(3), (std::vector<int32_t> { 0, 0 }));
    EXPECT_EQ(list.GetSourceVolume(), 0);
    list.SetSourceVolume(5);

    EXPECT_EQ(list.SelectSourceLine(9, 0), 0);
    EXPECT_EQ(list.SelectSourceLine(0, 1), 0);
}

TEST(CMixerDeviceList, SelectsThroughTheInputListAndLeavesTheSwitchesAlone)
{
    Cards single(kCtlMux);
    CMixerDeviceList list(single.system);
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.SelectMixer(0), 1);
    EXPECT_EQ(list.SelectSourceLine(2, 0), 1);
    EXPECT_EQ(single.List(), (std::vector<int32_t> { 0, 1, 0 }));
    EXPECT_EQ(list.SelectSourceLine(3, 0), 0);
    EXPECT_EQ(single.List(), (std::vector<int32_t> { 0, 0, 1 }));
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(single.rec->Control(kRecord, s - 1, kCtlMute)->writes, 0);
    // "Recording" is no entry of the list: a single-select list keeps its choice.
    list.SelectSourceLine(0, 0);
    EXPECT_EQ(single.List(), (std::vector<int32_t> { 0, 0, 1 }));

    Cards multiple(kCtlMixer);
    CMixerDeviceList mixed(multiple.system);
    ASSERT_EQ(mixed.EnumCaptureMixers(), 1);
    ASSERT_EQ(mixed.SelectMixer(0), 1);
    mixed.SelectSourceLine(1, 0);
    EXPECT_EQ(multiple.List(), (std::vector<int32_t> { 1, 0, 0 }));
    mixed.SelectSourceLine(0, 0);
    EXPECT_EQ(multiple.List(), (std::vector<int32_t> { 1, 1, 1 }));
}

TEST(CMixerDeviceList, SourceVolumeIsTheSelectedFaderAsOneValue)
{
    Cards c;
    CMixerDeviceList list(c.system);
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.SelectMixer(0), 1);
    EXPECT_EQ(list.GetSourceVolume(), 0);
    ASSERT_EQ(list.SelectSourceLine(1, 0), 1);
    c.rec->Control(kRecord, 0, kCtlVolume)->values = { 200, 700 };
    EXPECT_EQ(list.GetSourceVolume(), 700);
    list.SetSourceVolume(300);
    EXPECT_EQ(c.rec->Control(kRecord, 0, kCtlVolume)->values, (std::vector<int32_t> { 300, 300 }));

    ASSERT_EQ(list.SelectSourceLine(0, 0), 1);
    list.SetSourceVolume(900);
    EXPECT_EQ(c.rec->Control(kRecord, -1, kCtlVolume)->values, (std::vector<int32_t> { 900, 900 }));
}

TEST(CMixerDeviceList, SavesAndRestoresEverySourceSwitchInOrder)
{
    Cards c;
    CMixerDeviceList list(c.system);
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    std::vector<int> saved { 9, 9 };
    EXPECT_EQ(list.SaveSwitchStates(0, &saved), 0);
    ASSERT_EQ(list.SelectMixer(0), 1);

    c.Mute(1) = { 1 };
    c.Mute(2) = { 0 };
    c.Mute(3) = { 1, 1 };
    ASSERT_EQ(list.SaveSwitchStates(0, &saved), 1);
    EXPECT_EQ(saved, (std::vector<int> { 1, 0, 1 }));
    EXPECT_EQ(list.SaveSwitchStates(1, &saved), 0);

    list.SelectSourceLine(3, 0);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 1 }));
    EXPECT_EQ(c.Mute(2), (std::vector<int32_t> { 1 }));
    EXPECT_EQ(c.Mute(3), (std::vector<int32_t> { 0, 0 }));
    ASSERT_EQ(list.RestoreSwitchStates(0, saved), 1);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 1 }));
    EXPECT_EQ(c.Mute(2), (std::vector<int32_t> { 0 }));
    EXPECT_EQ(c.Mute(3), (std::vector<int32_t> { 1, 1 }));

    // A short list restores what it holds; a value that is no switch state ends it.
    ASSERT_EQ(list.RestoreSwitchStates(0, { 0 }), 1);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 0 }));
    EXPECT_EQ(c.Mute(2), (std::vector<int32_t> { 0 }));
    ASSERT_EQ(list.RestoreSwitchStates(0, { 1, 7, 1 }), 1);
    EXPECT_EQ(c.Mute(1), (std::vector<int32_t> { 1 }));
    EXPECT_EQ(c.Mute(2), (std::vector<int32_t> { 0 }));
    EXPECT_EQ(c.Mute(3), (std::vector<int32_t> { 1, 1 }));
    EXPECT_EQ(list.RestoreSwitchStates(3, saved), 0);
}

} // namespace

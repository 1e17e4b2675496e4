#include "engine/audio/mixer/CMixerLineVolume.h"

#include "fakes/FakeMixer.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::mixer;

constexpr int kSpeakers = 0;
constexpr int kMaster = -1;

// A card with a stereo master, music and microphone lines on the speakers.
// Each volume runs 0 … max in max steps, so one step is one unit.
struct Card {
    FakeMixerSystem system;
    FakeMixerCard* card = nullptr;

    explicit Card(int32_t max = 1000, bool uniformMic = true)
    {
        card = &system.AddCard("Scripted Card");
        card->AddDestination(kDstSpeakers, "Speakers", 2);
        card->AddControl(kSpeakers, kMaster, kCtlVolume, max, false);
        card->AddControl(kSpeakers, kMaster, kCtlMute, 1, true);
        card->AddSource(kSpeakers, kSrcWaveOut, "Wave", 2);
        card->AddControl(kSpeakers, 0, kCtlVolume, max, false);
        card->AddSource(kSpeakers, kSrcMicrophone, "Mic", 1);
        card->AddControl(kSpeakers, 1, kCtlVolume, max, uniformMic);
    }

    std::vector<int32_t>& Master() { return card->Control(kSpeakers, kMaster, kCtlVolume)->values; }
    std::vector<int32_t>& Wave() { return card->Control(kSpeakers, 0, kCtlVolume)->values; }
    int MasterWrites() { return card->Control(kSpeakers, kMaster, kCtlVolume)->writes; }
};

CMixerLineVolume OpenMaster(Card& c, int mode)
{
    CMixerLineVolume volume(c.system);
    EXPECT_EQ(
        volume.Open(platform::kNoTarget, kDstSpeakers, CMixerLineVolume::kDestinationItself, kCtlVolume, mode), 1);
    return volume;
}

TEST(CMixerLineVolume, PresetsReachTheirLinesAndScaleStartsAtTheControlRange)
{
    Card c;
    c.Master() = { 400, 400 };
    c.Wave() = { 100, 100 };
    CMixerLineVolume master(c.system);
    ASSERT_EQ(master.OpenPreset(0), 1);
    EXPECT_EQ(master.GetLineName(), "Speakers");
    EXPECT_EQ(master.GetVolume(), 400);
    master.SetVolume(900);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 900, 900 }));
    EXPECT_EQ(c.Wave(), (std::vector<int32_t> { 100, 100 }));

    CMixerLineVolume music(c.system);
    ASSERT_EQ(music.OpenPreset(1), 1);
    EXPECT_EQ(music.GetLineName(), "Wave");
    EXPECT_EQ(music.GetDestinationName(), "Speakers");
    EXPECT_EQ(music.SetRange(0, 10), 1);
    music.SetVolume(5);
    EXPECT_EQ(c.Wave(), (std::vector<int32_t> { 500, 500 }));

    EXPECT_EQ(music.OpenPreset(6), 0);
    EXPECT_EQ(music.OpenPreset(-1), 0);
}

TEST(CMixerLineVolume, KeepsTheBalanceThroughSilence)
{
    Card c;
    CMixerLineVolume volume = OpenMaster(c, CMixerLineVolume::kKeepBalance);
    c.Master() = { 400, 200 }; // left louder: balance -0.5
    EXPECT_EQ(volume.GetVolume(), 400);
    EXPECT_DOUBLE_EQ(volume.GetBalance(), -0.5);
    volume.SetVolume(1000);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 1000, 500 }));

    volume.SetVolume(0);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 0, 0 }));
    volume.SetVolume(800);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 800, 400 }));

    c.Master() = { 250, 500 }; // right louder: balance 0.5
    volume.SetVolume(1000);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 500, 1000 }));
}

TEST(CMixerLineVolume, IgnoresChangesSmallerThanTwoExceptInRawMode)
{
    Card c(10000);
    c.Master() = { 4999, 4999 };
    CMixerLineVolume balanced = OpenMaster(c, CMixerLineVolume::kKeepBalance);
    EXPECT_EQ(balanced.GetVolume(), 4999);
    balanced.SetVolume(5000);
    EXPECT_EQ(c.MasterWrites(), 0);
    balanced.SetVolume(5001);
    EXPECT_EQ(c.MasterWrites(), 1);

    CMixerLineVolume raw = OpenMaster(c, CMixerLineVolume::kRawFirst);
    EXPECT_EQ(raw.GetVolume(), 5001);
    raw.SetVolume(5002);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 5002, 5001 }));
}

TEST(CMixerLineVolume, SingleChannelModesTouchOnlyTheirSide)
{
    Card c;
    c.Master() = { 300, 700 };
    CMixerLineVolume left = OpenMaster(c, CMixerLineVolume::kFirstChannel);
    EXPECT_EQ(left.GetVolume(), 300);
    left.SetVolume(100);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 100, 700 }));

    CMixerLineVolume right = OpenMaster(c, CMixerLineVolume::kSecondChannel);
    EXPECT_EQ(right.GetVolume(), 700);
    right.SetVolume(900);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 100, 900 }));

    // The second side of a one-channel line is its only channel.
    CMixerLineVolume mic(c.system);
    ASSERT_EQ(
        mic.Open(platform::kNoTarget, kDstSpeakers, kSrcMicrophone, kCtlVolume, CMixerLineVolume::kSecondChannel), 1);
    mic.SetVolume(600);
    EXPECT_EQ(c.card->Control(kSpeakers, 1, kCtlVolume)->values, (std::vector<int32_t> { 600 }));
    EXPECT_EQ(mic.GetVolume(), 600);
}

TEST(CMixerLineVolume, PanMovesTheSoundBetweenSidesAtTheSameLevel)
{
    Card c;
    c.Master() = { 600, 600 };
    CMixerLineVolume pan = OpenMaster(c, CMixerLineVolume::kPan);
    EXPECT_EQ(pan.SetRange(-100, 100), 0);
    pan.SetVolume(100);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 0, 600 }));
    EXPECT_EQ(pan.GetVolume(), 100);
    pan.SetVolume(-100);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 600, 0 }));
    pan.SetVolume(50);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 300, 600 }));
    EXPECT_EQ(pan.GetVolume(), 50);
}

TEST(CMixerLineVolume, ValueScaleMapsClampsAndRefusesAnEmptyRange)
{
    Card c(65535);
    CMixerLineVolume volume = OpenMaster(c, CMixerLineVolume::kKeepBalance);
    EXPECT_EQ(volume.SetRange(0, 100), 0);
    for (int value : { 33, 67, 2, 100 }) {
        volume.SetVolume(value);
        EXPECT_EQ(volume.GetVolume(), value);
    }
    // Below the scale is silence, not a wrapped-around full volume.
    volume.SetVolume(-50);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 0, 0 }));
    volume.SetVolume(150);
    EXPECT_EQ(c.Master(), (std::vector<int32_t> { 65535, 65535 }));

    // A reversed scale reads and writes the other way round.
    EXPECT_EQ(volume.SetRange(100, 0), 0);
    volume.SetVolume(75);
    EXPECT_EQ(volume.GetVolume(), 75);
    EXPECT_NEAR(c.Master()[0], 16384, 1);

    int writes = c.MasterWrites();
    EXPECT_EQ(volume.SetRange(5, 5), 5);
    volume.SetVolume(80);
    EXPECT_EQ(c.MasterWrites(), writes);
}

TEST(CMixerLineVolume, UniformControlKeepsOneValue)
{
    Card c;
    CMixerLineVolume mic(c.system);
    ASSERT_EQ(
        mic.Open(platform::kNoTarget, kDstSpeakers, kSrcMicrophone, kCtlVolume, CMixerLineVolume::kKeepBalance), 1);
    mic.SetVolume(250);
    EXPECT_EQ(c.card->Control(kSpeakers, 1, kCtlVolume)->values, (std::vector<int32_t> { 250 }));
}

TEST(CMixerLineVolume, MissingRowsFailSoft)
{
    // What a sound server's card offers: a master volume and nothing else.
    FakeMixerSystem system;
    FakeMixerCard& card = system.AddCard("Server");
    card.AddDestination(kDstSpeakers, "Master", 2);
    card.AddControl(0, -1, kCtlVolume, 65536, false);
    card.AddDestination(kDstWaveIn, "Capture", 2);

    CMixerLineVolume music(system);
    EXPECT_EQ(music.OpenPreset(1), 0);
    EXPECT_FALSE(music.IsOpen());
    EXPECT_EQ(music.GetVolume(), -1);
    music.SetVolume(50);
    EXPECT_EQ(music.SetRange(0, 10), -1);
    EXPECT_EQ(music.OpenPreset(0), 1);

    // A destination without the control, a line without channels, a control
    // whose bounds meet, a control type never offered.
    card.AddSource(1, kSrcMicrophone, "Mic", 0);
    card.AddControl(1, 0, kCtlVolume, 100, true);
    card.AddSource(1, kSrcLine, "Line", 2);
    card.AddControl(1, 1, kCtlVolume, 0, false);
    CMixerLineVolume other(system);
    EXPECT_EQ(other.Open(platform::kNoTarget, kDstWaveIn, CMixerLineVolume::kDestinationItself, kCtlVolume, 2), 0);
    EXPECT_EQ(other.Open(platform::kNoTarget, kDstWaveIn, kSrcMicrophone, kCtlVolume, 2), 0);
    EXPECT_EQ(other.Open(platform::kNoTarget, kDstWaveIn, kSrcLine, kCtlVolume, 2), 0);
    EXPECT_EQ(other.Open(platform::kNoTarget, kDstSpeakers, CMixerLineVolume::kDestinationItself, kCtlMute, 2), 0);
    EXPECT_EQ(other.Open(platform::kNoTarget, kDstSpeakers, CMixerLineVolume::kDestinationItself, kCtlVolume, 9), 0);

    FakeMixerSystem none;
    CMixerLineVolume nothing(none);
    EXPECT_EQ(nothing.GetWaveOutMixerId(0), -1);
    EXPECT_EQ(nothing.OpenPreset(0), 0);
    EXPECT_EQ(nothing.SetMixer(0), 0);
}

TEST(CMixerLineVolume, SetMixerMovesTheOpenLineAndKeepsTheScale)
{
    Card c;
    FakeMixerCard& second = c.system.AddCard("Second");
    second.AddDestination(kDstSpeakers, "Out", 2);
    second.AddControl(0, -1, kCtlVolume, 200, false);
    c.card = c.system.cards[0].get();

    CMixerLineVolume volume = OpenMaster(c, CMixerLineVolume::kKeepBalance);
    EXPECT_EQ(volume.GetWaveOutMixerId(1), 1);
    volume.SetRange(0, 10);
    EXPECT_EQ(volume.SetMixer(2), 0);
    EXPECT_EQ(volume.SetMixer(-1), 0);
    int opens = c.system.opens;
    EXPECT_EQ(volume.SetMixer(0), 1);
    EXPECT_EQ(c.system.opens, opens);

    EXPECT_EQ(volume.SetMixer(1), 1);
    EXPECT_EQ(volume.GetLineName(), "Out");
    volume.SetVolume(5);
    EXPECT_EQ(second.Control(0, -1, kCtlVolume)->values, (std::vector<int32_t> { 100, 100 }));

    volume.Close();
    EXPECT_EQ(volume.GetVolume(), -1);
    EXPECT_EQ(volume.GetMixerIndex(), 1);
    ASSERT_EQ(volume.OpenPreset(0), 1);
    EXPECT_EQ(volume.GetVolume(), 100); // the scale is the control's own again
}

} // namespace

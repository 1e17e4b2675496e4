// The sound server's mixer and capture as the engine's mixer model sees
// them: lines by the server's descriptions, the playback rows talk-over
// fades, the choice of recording line and the gains in the program's mix.
#include "engine/audio/mixer/CMixerDeviceList.h"
#include "engine/audio/mixer/CMixerLineVolume.h"
#include "platform/ServerWaveIn.h"

#include "fakes/FakeSoundServer.h"
#include "fakes/ManualClock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::ServerInputKind;

constexpr int kRate = 44100;
constexpr int kPeriod = kRate / 20;

platform::ServerLines DesktopLines()
{
    platform::ServerLines lines;
    lines.product = "PipeWire";
    lines.defaultMonitor = "speakers.monitor";
    lines.defaultInput = "usbmic";
    lines.inputs = {
        { "speakers.monitor", "Monitor of Speakers", ServerInputKind::Monitor },
        { "webcam", "Webcam Microphone", ServerInputKind::Microphone },
        { "hdmi.monitor", "Monitor of HDMI", ServerInputKind::Monitor },
        { "linein", "Line In", ServerInputKind::LineIn },
        { "usbmic", "USB Microphone", ServerInputKind::Microphone },
    };
    return lines;
}

struct Desk {
    FakeSoundServer server;
    platform::ServerMixer mixer { server };
    ManualClock clock;
    platform::ServerWaveIn capture { mixer, clock };
    std::unique_ptr<platform::WaveInStream> stream;

    Desk() { server.SetLines(DesktopLines()); }

    void Open()
    {
        ASSERT_EQ(capture.Open(0, platform::WaveIn::StreamFormat(kRate, 2), &stream), platform::WaveInResult::Ok);
    }

    // One period of a constant on every recording of `input`.
    void Feed(const std::string& input, int16_t value)
    {
        const std::vector<int16_t> samples(size_t(kPeriod) * 2, value);
        (void)server.Feed(input, samples.data(), kPeriod);
    }

    // The next period the capture hands over, with the inputs (lead first)
    // each fed a constant; the last frame, once gains have ramped.
    int16_t Period(const std::vector<std::pair<std::string, int16_t>>& feeds)
    {
        std::vector<int16_t> out(size_t(kPeriod) * 2);
        // A read takes in the current plan of inputs; with nothing fed it
        // gives silence once the grace is over. The feeds then reach it.
        clock.Advance(1000);
        EXPECT_EQ(stream->ReadPeriod(out.data(), kPeriod), platform::WaveInStream::ReadResult::Ok);
        for (int round = 0; round < 3; ++round) {
            for (auto& [input, value] : feeds)
                Feed(input, value);
            EXPECT_EQ(stream->ReadPeriod(out.data(), kPeriod), platform::WaveInStream::ReadResult::Ok);
        }
        return out.back();
    }
};

TEST(ServerMixer, RecordingLinesAreTheStereoMixThenInputsThenMonitorsByDescription)
{
    Desk d;
    CMixerDeviceList list(d.mixer);
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.FindWaveInMixer(0), 0);
    ASSERT_EQ(list.SelectMixer(0), 1);
    std::string name;
    list.GetMixerName(&name);
    EXPECT_EQ(name, "PipeWire");
    ASSERT_EQ(list.GetDestinationCount(), 1);
    std::vector<std::string> names;
    for (int s = 0; s < list.GetSourceCount(0); ++s) {
        list.GetSourceName(0, s, &name);
        names.push_back(name);
    }
    EXPECT_EQ(names,
        (std::vector<std::string> { "스테레오 믹스", "Webcam Microphone", "Line In", "USB Microphone",
            "Monitor of Speakers", "Monitor of HDMI" }));
    // No mute switches: the list chooses, and the desktop keeps its own.
    std::vector<int> switches { 1 };
    EXPECT_EQ(list.SaveSwitchStates(0, &switches), 1);
    EXPECT_TRUE(switches.empty());

    // Two inputs of one description stay two lines.
    platform::ServerLines twins = DesktopLines();
    twins.inputs[1].description = "USB Microphone";
    d.server.SetLines(twins);
    ASSERT_EQ(list.SelectMixer(0), 1);
    list.GetSourceName(0, 1, &name);
    EXPECT_EQ(name, "USB Microphone");
    list.GetSourceName(0, 3, &name);
    EXPECT_EQ(name, "USB Microphone (2)");
}

struct SRowCase {
    int row;
    int opens; // OpenPreset's answer
};

class ServerMixerRows : public testing::TestWithParam<SRowCase> { };

TEST_P(ServerMixerRows, OnlyMusicLineInAndMicrophoneAreThere)
{
    Desk d;
    CMixerLineVolume line(d.mixer);
    EXPECT_EQ(line.OpenPreset(GetParam().row), GetParam().opens);
    if (GetParam().opens)
        EXPECT_EQ(line.SetRange(0, 65536), GetParam().row == 5 ? 0 : 32768);
    else
        EXPECT_EQ(line.GetVolume(), -1);
}

INSTANTIATE_TEST_SUITE_P(Rows, ServerMixerRows,
    testing::Values(SRowCase { 0, 0 }, SRowCase { 1, 1 }, SRowCase { 2, 1 }, SRowCase { 3, 0 }, SRowCase { 4, 0 },
        SRowCase { 5, 1 }));

TEST(ServerMixer, TheStereoMixRecordsMusicLineInAndTheDefaultMicrophoneAtTheirFaders)
{
    Desk d;
    ASSERT_NO_FATAL_FAILURE(d.Open());
    const std::vector<std::pair<std::string, int16_t>> feeds { { "speakers.monitor", 1000 }, { "linein", 100 },
        { "usbmic", 4000 } };
    // Outside talk-over the microphone is off; music and line-in pass as
    // they are.
    EXPECT_EQ(d.Period(feeds), 1100);
    EXPECT_EQ(d.server.Recorded(), (std::vector<std::string> { "speakers.monitor", "linein", "usbmic" }));
    EXPECT_EQ(d.server.lastRate, kRate);

    // Talk-over as the controller's fade sets it at the defaults.
    CMixerLineVolume music(d.mixer);
    CMixerLineVolume lineIn(d.mixer);
    CMixerLineVolume mic(d.mixer);
    ASSERT_EQ(music.OpenPreset(1), 1);
    ASSERT_EQ(lineIn.OpenPreset(2), 1);
    ASSERT_EQ(mic.OpenPreset(5), 1);
    for (CMixerLineVolume* pLine : { &music, &lineIn, &mic })
        (void)pLine->SetRange(0, 65536);
    music.SetVolume(9830);
    lineIn.SetVolume(0);
    mic.SetVolume(32768);
    EXPECT_EQ(d.Period(feeds), 300 + 4000);
    // +6 dB at full faders, and sums limited.
    mic.SetVolume(65536);
    const std::vector<std::pair<std::string, int16_t>> loud { { "speakers.monitor", 0 }, { "usbmic", 30000 } };
    EXPECT_EQ(d.Period(loud), 32767);

    // Without the default among the microphones, the first microphone.
    platform::ServerLines lines = DesktopLines();
    lines.defaultInput = "hdmi.monitor";
    d.server.SetLines(lines);
    EXPECT_EQ(d.Period({ { "speakers.monitor", 0 }, { "webcam", 10 } }), 20);
    EXPECT_EQ(d.server.Recorded(), (std::vector<std::string> { "speakers.monitor", "linein", "webcam" }));
}

TEST(ServerMixer, AChosenLineIsRecordedAloneAtTheRecordingFaderAndFallsBackToTheMix)
{
    Desk d;
    ASSERT_NO_FATAL_FAILURE(d.Open());
    CMixerDeviceList list(d.mixer);
    ASSERT_EQ(list.EnumCaptureMixers(), 1);
    ASSERT_EQ(list.SelectMixer(0), 1);
    ASSERT_EQ(list.SelectSourceLine(3, 0), 1); // USB Microphone
    EXPECT_EQ(list.GetSourceVolume(), 32767);
    EXPECT_EQ(d.Period({ { "usbmic", 4000 } }), 4000);
    EXPECT_EQ(d.server.Recorded(), (std::vector<std::string> { "usbmic" }));
    list.SetSourceVolume(16384);
    EXPECT_EQ(d.Period({ { "usbmic", 4000 } }), 2000);

    // A kept index past the end chooses nothing new.
    EXPECT_EQ(list.SelectSourceLine(17, 0), 0);
    EXPECT_EQ(d.server.Recorded(), (std::vector<std::string> { "usbmic" }));

    // The chosen line unplugged: the stereo mix again.
    platform::ServerLines lines = DesktopLines();
    lines.inputs.pop_back();
    d.server.SetLines(lines);
    EXPECT_EQ(d.Period({ { "speakers.monitor", 2000 } }), 1000);
    EXPECT_EQ(d.server.Recorded(), (std::vector<std::string> { "speakers.monitor", "linein", "webcam" }));
    ASSERT_EQ(list.SelectMixer(0), 1);
    ASSERT_EQ(list.SelectSourceLine(0, 0), 1);
}

TEST(ServerMixer, AServerThatGoesAwayIsBridgedWithSilenceInRealTimeUntilItIsBack)
{
    Desk d;
    ASSERT_NO_FATAL_FAILURE(d.Open());
    EXPECT_EQ(d.Period({ { "speakers.monitor", 1000 } }), 1000);
    EXPECT_FALSE(d.stream->IsBridging());

    d.server.SetConnected(false);
    std::vector<int16_t> out(size_t(kPeriod) * 2, 7);
    // Silence comes once the grace is over, then a period per period.
    d.clock.Advance(300);
    ASSERT_EQ(d.stream->ReadPeriod(out.data(), kPeriod), platform::WaveInStream::ReadResult::Ok);
    EXPECT_TRUE(d.stream->IsBridging());
    EXPECT_EQ(out.front(), 0);
    EXPECT_EQ(out.back(), 0);

    // Nothing waits forever: an interruption ends a read at once.
    d.stream->Interrupt();
    EXPECT_EQ(d.stream->ReadPeriod(out.data(), kPeriod), platform::WaveInStream::ReadResult::Interrupted);

    Desk back;
    ASSERT_NO_FATAL_FAILURE(back.Open());
    back.server.SetConnected(false);
    back.clock.Advance(300);
    ASSERT_EQ(back.stream->ReadPeriod(out.data(), kPeriod), platform::WaveInStream::ReadResult::Ok);
    EXPECT_TRUE(back.stream->IsBridging());
    back.server.SetConnected(true);
    EXPECT_EQ(back.Period({ { "speakers.monitor", 500 } }), 500);
    EXPECT_FALSE(back.stream->IsBridging());
}

} // namespace

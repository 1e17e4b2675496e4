// Encoding cost of the codec writer against the LAME writer on the same
// sound: 10 s of 44.1 kHz stereo at 128 kbit/s into a callback. Goal: the
// codec path (format blocks, conversion stream, copies) costs no more than
// 1.1x the LAME writer; with resampling from 22.05 kHz mono it stays far
// below real time (10 s of sound in well under 1 s).
#include "engine/audio/codec/CAAcmMp3Writer.h"
#include "engine/audio/codec/CALameMp3Writer.h"
#include "platform/AcmLame.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kSeconds = 10;

std::vector<int16_t> Chord(int rate, int channels)
{
    const int frames = rate * kSeconds;
    std::vector<int16_t> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double chord = std::sin(2 * M_PI * 220 * t) + 0.6 * std::sin(2 * M_PI * 277.2 * t)
            + 0.5 * std::sin(2 * M_PI * 329.6 * t) + 0.3 * std::sin(2 * M_PI * 1760 * t);
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(i * channels + c)] = static_cast<int16_t>(5000 * chord);
    }
    return samples;
}

int Discard(void*, const char*, int nBytes)
{
    return nBytes;
}

bool Feed(CAWriter& writer, const std::vector<int16_t>& samples, int channels)
{
    const int frames = static_cast<int>(samples.size()) / channels;
    for (int done = 0; done < frames; done += CAWriter::kBlockFrames) {
        const int n = std::min(CAWriter::kBlockFrames, frames - done);
        const int bytes = n * 2 * channels;
        if (writer.Write(reinterpret_cast<const char*>(samples.data() + static_cast<ptrdiff_t>(done) * channels), bytes)
            != bytes)
            return false;
    }
    return true;
}

platform::AcmLame& TheCodecs()
{
    static platform::AcmLame acm(platform::AcmLame::Codecs::Installed);
    return acm;
}

int FormatPosition(const std::string& name)
{
    CAAcmMp3Writer lister(TheCodecs());
    for (int f = 0; f < lister.GetFormatCount(0); ++f)
        if (lister.GetFormatName(0, f) == name)
            return f;
    return -1;
}

void RunAcm(benchmark::State& state, const char* format, int inRate, int inChannels)
{
    platform::AcmLame& acm = TheCodecs();
    const int position = FormatPosition(format);
    const std::vector<int16_t> samples = Chord(inRate, inChannels);
    for (auto _ : state) {
        COutputMP3 output(acm);
        if (!output.OpenCallback(0, position, Discard, nullptr, inRate, 2, inChannels)) {
            state.SkipWithError("open failed");
            return;
        }
        const int frames = inRate * kSeconds;
        for (int done = 0; done < frames; done += CAWriter::kBlockFrames) {
            const int n = std::min(CAWriter::kBlockFrames, frames - done);
            if (output.Write(reinterpret_cast<const char*>(samples.data() + static_cast<ptrdiff_t>(done) * inChannels),
                    n * 2 * inChannels)
                != n * 2 * inChannels) {
                state.SkipWithError("write failed");
                return;
            }
        }
        output.Close();
    }
}

void BM_AcmWriter128kStereo(benchmark::State& state)
{
    platform::AcmLame& acm = TheCodecs();
    const int position = FormatPosition("128 kBit/s, 44,100 Hz, Stereo");
    const std::vector<int16_t> samples = Chord(44100, 2);
    for (auto _ : state) {
        CAAcmMp3Writer writer(acm);
        (void)writer.SetCodec(0, position);
        writer.SetOutputCallback(Discard, nullptr);
        int rate = 44100, bits = 16, channels = 2;
        if (!writer.Open("", &rate, &bits, &channels, {}) || !Feed(writer, samples, 2)) {
            state.SkipWithError("codec writer failed");
            return;
        }
        writer.Close();
    }
}
BENCHMARK(BM_AcmWriter128kStereo)->Unit(benchmark::kMillisecond);

void BM_LameWriter128kStereo(benchmark::State& state)
{
    const std::vector<int16_t> samples = Chord(44100, 2);
    for (auto _ : state) {
        CALameMp3Writer writer;
        writer.SetBitrate(128);
        writer.SetOutputCallback(Discard, nullptr);
        int rate = 44100, bits = 16, channels = 2;
        if (!writer.Open("", &rate, &bits, &channels, {}) || !Feed(writer, samples, 2)) {
            state.SkipWithError("LAME writer failed");
            return;
        }
        writer.Close();
    }
}
BENCHMARK(BM_LameWriter128kStereo)->Unit(benchmark::kMillisecond);

void BM_AcmOutputResampledMonoTo44kStereo(benchmark::State& state)
{
    RunAcm(state, "128 kBit/s, 44,100 Hz, Stereo", 22050, 1);
}
BENCHMARK(BM_AcmOutputResampledMonoTo44kStereo)->Unit(benchmark::kMillisecond);

} // namespace

// Encoding cost of the MP3 writer against the lame command line on the same
// sound: 60 s of 44.1 kHz stereo at 128 kbit/s. Goal: the writer costs no
// more than 1.1x the command line. Both are measured in wall time, since
// the command line's work happens in a child process.
#include "engine/audio/codec/CALameMp3Writer.h"

#include "peers/PeerSupport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;

// A chord with a slow tremolo and a little noise: busier than a pure tone,
// so the psychoacoustic model has real work, and the same on every run.
struct Material {
    peers::TempDir dir;
    std::vector<int16_t> samples;
    std::string wav;

    Material()
    {
        const int frames = kRate * kSeconds;
        samples.resize(static_cast<size_t>(frames) * 2);
        std::mt19937 noise(12345);
        std::uniform_real_distribution<double> hiss(-600.0, 600.0);
        for (int i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double chord = std::sin(2 * M_PI * 220 * t) + 0.6 * std::sin(2 * M_PI * 277.2 * t)
                + 0.5 * std::sin(2 * M_PI * 329.6 * t) + 0.3 * std::sin(2 * M_PI * 1760 * t);
            const double tremolo = 0.7 + 0.3 * std::sin(2 * M_PI * 0.5 * t);
            samples[2 * static_cast<size_t>(i)] = static_cast<int16_t>(5000 * chord * tremolo + hiss(noise));
            samples[2 * static_cast<size_t>(i) + 1]
                = static_cast<int16_t>(5000 * chord * (1.3 - tremolo) + hiss(noise));
        }
        wav = dir / "input.wav";
        peers::WriteWav(wav, kRate, 2, samples);
    }
};

Material& TheMaterial()
{
    static Material material;
    return material;
}

void BM_CALameMp3Writer(benchmark::State& state)
{
    Material& material = TheMaterial();
    const std::string target = material.dir / "writer.mp3";
    const int frames = kRate * kSeconds;
    for (auto _ : state) {
        CALameMp3Writer writer;
        writer.SetBitrate(128);
        int rate = kRate, bits = 16, channels = 2;
        if (!writer.Open(target, &rate, &bits, &channels, {})) {
            state.SkipWithError("open failed");
            return;
        }
        for (int done = 0; done < frames; done += CAWriter::kBlockFrames) {
            const int n = std::min(CAWriter::kBlockFrames, frames - done);
            writer.Write(
                reinterpret_cast<const char*>(material.samples.data() + static_cast<ptrdiff_t>(done) * 2), n * 4);
        }
        writer.Close();
    }
    state.SetLabel("60 s stereo 44.1 kHz, 128 kbit/s");
}
BENCHMARK(BM_CALameMp3Writer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LameCommandLine(benchmark::State& state)
{
    if (!ToolOnPath("lame")) {
        state.SkipWithError("lame is not installed");
        return;
    }
    Material& material = TheMaterial();
    const std::string target = material.dir / "cli.mp3";
    for (auto _ : state) {
        const pid_t pid = peers::Spawn(
            { "lame", "--silent", "--cbr", "-b", "128", material.wav, target }, material.dir / "lame.log");
        if (pid <= 0 || peers::WaitChild(pid, std::chrono::minutes(5)) != 0) {
            state.SkipWithError("lame failed");
            return;
        }
    }
    state.SetLabel("60 s stereo 44.1 kHz, 128 kbit/s");
}
BENCHMARK(BM_LameCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

BENCHMARK_MAIN();

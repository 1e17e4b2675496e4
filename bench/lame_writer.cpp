// Encoding cost of the MP3 writer against the lame command line on the same
// sound and the same encoding: 60 s of 44.1 kHz stereo at a constant
// 128 kbit/s, both in plain (not joint) stereo, which is what the writer
// encodes. Goal: the writer costs no more than 1.1x the command line
// (writer_to_cli). Both are measured in wall time, since the command line's
// work happens in a child process.
// Before a figure counts, each output is walked frame by frame (every frame
// MPEG-1 Layer III, 44.1 kHz, 128 kbit/s, plain stereo) and decoded by
// mpg123 back to the input's length; a run that fails any of it reports an
// error and the program exits with 1.
#include "engine/audio/codec/CALameMp3Writer.h"

#include "peers/PeerSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 60;
constexpr int kFrames = kRate * kSeconds;
constexpr int kFrameSamples = 1152; // per MPEG-1 Layer III frame

// A chord with a slow tremolo and a little noise: busier than a pure tone,
// so the psychoacoustic model has real work, and the same on every run.
struct Material {
    peers::TempDir dir;
    std::vector<int16_t> samples;
    std::string wav;

    Material()
    {
        samples.resize(static_cast<size_t>(kFrames) * 2);
        std::mt19937 noise(12345);
        std::uniform_real_distribution<double> hiss(-600.0, 600.0);
        for (int i = 0; i < kFrames; ++i) {
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

// Mean wall time of one writer encoding, for the command line's ratio; 0
// until the writer's benchmark has run and checked its output.
double g_writerMs = 0;

// Walks the MPEG frames after any ID3v2 tag up to the ID3v1 tag or the end.
// Empty when every frame is MPEG-1 Layer III at 44.1 kHz and 128 kbit/s in
// plain stereo and the frames tile the file; else what was wrong.
std::string CheckFrames(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string mp3((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    if (mp3.size() >= 10 && mp3.compare(0, 3, "ID3") == 0) {
        const auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(mp3[i]) & 0x7F); };
        at = 10 + (byte(6) << 21 | byte(7) << 14 | byte(8) << 7 | byte(9));
    }
    int frames = 0;
    while (at + 4 <= mp3.size() && mp3.compare(at, 3, "TAG") != 0) {
        const auto* h = reinterpret_cast<const unsigned char*>(mp3.data() + at);
        // Sync, MPEG-1, Layer III; 128 kbit/s, 44.1 kHz; channel mode 0.
        if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFA || (h[2] & 0xFC) != 0x90)
            return "frame " + std::to_string(frames) + " is not MPEG-1 Layer III, 128 kbit/s, 44.1 kHz";
        if ((h[3] >> 6) != 0)
            return "frame " + std::to_string(frames) + " is not plain stereo";
        at += 144 * 128000 / kRate + ((h[2] >> 1) & 1);
        ++frames;
    }
    if (at > mp3.size() || (at < mp3.size() && mp3.size() - at != 128))
        return "the frames do not tile the file";
    if (frames < kFrames / kFrameSamples)
        return "only " + std::to_string(frames) + " frames";
    return {};
}

// Empty when mpg123 decodes the file to the input's length: no sample lost,
// and no more added than a decoder keeps of whole frames when no header
// frame tells it what to trim: the encoder's priming (576 samples) in
// front, the last frame's padding up to 1152 behind, and at most one more
// frame from the encoder's flush; below three frames in all. (The command
// line's header frame lets mpg123 trim to the exact length.)
std::string CheckDecodes(const std::string& path, const std::string& wavPath, size_t* pExtra)
{
    if (peers::Run("mpg123 -q -w '" + wavPath + "' '" + path + "' 2>&1") != 0)
        return "mpg123 could not decode it";
    peers::Wav wav;
    if (!peers::ReadWav(wavPath, &wav) || wav.rate != kRate || wav.channels != 2)
        return "mpg123 did not decode 44.1 kHz stereo";
    const size_t frames = wav.samples.size() / 2;
    if (frames < static_cast<size_t>(kFrames) || frames > static_cast<size_t>(kFrames + 3 * kFrameSamples))
        return "decoded to " + std::to_string(frames) + " frames of " + std::to_string(kFrames);
    *pExtra = frames - static_cast<size_t>(kFrames);
    return {};
}

// Both checks on an encoding's output; false after reporting the error.
bool OutputChecked(benchmark::State& state, const std::string& path, const std::string& wavPath)
{
    std::string why = CheckFrames(path);
    size_t extra = 0;
    if (why.empty())
        why = CheckDecodes(path, wavPath, &extra);
    if (!why.empty())
        state.SkipWithError((path + ": " + why).c_str());
    state.counters["decoded_extra_frames"] = static_cast<double>(extra);
    return why.empty();
}

void BM_CALameMp3Writer(benchmark::State& state)
{
    if (!ToolOnPath("mpg123")) {
        state.SkipWithError("mpg123 is not installed");
        return;
    }
    Material& material = TheMaterial();
    const std::string target = material.dir / "writer.mp3";
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CALameMp3Writer writer;
        writer.SetBitrate(128);
        int rate = kRate, bits = 16, channels = 2;
        if (!writer.Open(target, &rate, &bits, &channels, {}) || rate != kRate || bits != 16 || channels != 2) {
            state.SkipWithError("the writer did not open for 44.1 kHz 16-bit stereo");
            return;
        }
        for (int done = 0; done < kFrames; done += CAWriter::kBlockFrames) {
            const int n = std::min(CAWriter::kBlockFrames, kFrames - done);
            const char* pData
                = reinterpret_cast<const char*>(material.samples.data() + static_cast<ptrdiff_t>(done) * 2);
            if (writer.Write(pData, n * 4) != n * 4) {
                state.SkipWithError("the writer refused a block");
                return;
            }
        }
        writer.Close();
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    if (!OutputChecked(state, target, material.dir / "writer.wav"))
        return;
    g_writerMs = totalMs / static_cast<double>(state.iterations());
    state.SetLabel("60 s stereo 44.1 kHz, 128 kbit/s");
}
BENCHMARK(BM_CALameMp3Writer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LameCommandLine(benchmark::State& state)
{
    if (!ToolOnPath("lame") || !ToolOnPath("mpg123")) {
        state.SkipWithError("lame or mpg123 is not installed");
        return;
    }
    Material& material = TheMaterial();
    const std::string target = material.dir / "cli.mp3";
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = peers::Spawn(
            { "lame", "--silent", "--cbr", "-b", "128", "-m", "s", material.wav, target }, material.dir / "lame.log");
        if (pid <= 0 || peers::WaitChild(pid, std::chrono::minutes(5)) != 0) {
            state.SkipWithError("lame failed");
            return;
        }
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    if (!OutputChecked(state, target, material.dir / "cli.wav"))
        return;
    if (g_writerMs > 0)
        state.counters["writer_to_cli"] = g_writerMs / (totalMs / static_cast<double>(state.iterations()));
    state.SetLabel("60 s stereo 44.1 kHz, 128 kbit/s, -m s");
}
BENCHMARK(BM_LameCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

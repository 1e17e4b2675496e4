// The audio pump at full speed: 60 s of 44.1 kHz 16-bit stereo, converted to
// 32 kHz, into the null writer. Reports how many times faster than real time.

#include "engine/audio/road/CANULLWriter.h"
#include "engine/audio/road/CARWMan.h"
#include "engine/audio/road/CAReader.h"
#include "engine/audio/road/CASampleConverter.h"
#include "platform/MessageTarget.h"

#include "bench/EndWaiter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr int kInRate = 44100;
constexpr int kOutRate = 32000;
constexpr int kSeconds = 60;

// One second of two tones, handed out again and again until kSeconds are read.
class ToneReader final : public CAReader {
public:
    ToneReader()
        : CAReader("Tone Reader")
        , m_second(static_cast<size_t>(kInRate) * 4)
    {
        for (int i = 0; i < kInRate; ++i) {
            const auto l = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * 440 * i / kInRate));
            const auto r = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * 1000 * i / kInRate));
            std::memcpy(&m_second[static_cast<size_t>(i) * 4], &l, 2);
            std::memcpy(&m_second[static_cast<size_t>(i) * 4 + 2], &r, 2);
        }
    }
    int Open(const std::string&, int* pRate, int* pBits, int* pChannels) override
    {
        m_left = static_cast<uint64_t>(kSeconds) * m_second.size();
        m_pos = 0;
        *pRate = kInRate;
        *pBits = 16;
        *pChannels = 2;
        return 1;
    }
    int Close() override { return 1; }
    int Read(char* pBuffer, int maxBytes) override
    {
        const size_t n
            = std::min({ static_cast<size_t>(maxBytes), m_second.size() - m_pos, static_cast<size_t>(m_left) });
        std::memcpy(pBuffer, m_second.data() + m_pos, n);
        m_pos = (m_pos + n) % m_second.size();
        m_left -= n;
        return static_cast<int>(n);
    }

private:
    std::vector<char> m_second;
    size_t m_pos = 0;
    uint64_t m_left = 0;
};

// The null writer, asking for 32 kHz.
class Null32kWriter final : public CAWriter {
public:
    Null32kWriter()
        : CAWriter("NULL Writer at 32 kHz")
    {
    }
    int Open(const std::string& target, int* pRate, int* pBits, int* pChannels, const CATags& tags) override
    {
        *pRate = kOutRate;
        return m_null.Open(target, pRate, pBits, pChannels, tags);
    }
    void Close() override { m_null.Close(); }
    int Write(const char* pData, int nBytes) override { return m_null.Write(pData, nBytes); }
    int GetWritableBytes() override { return m_null.GetWritableBytes(); }
    uint64_t GetElapsedMs() override { return m_null.GetElapsedMs(); }

private:
    CANULLWriter m_null;
};

void BM_PumpToNullWriterAt32k(benchmark::State& state)
{
    ToneReader reader;
    Null32kWriter writer;
    EndWaiter waiter;
    CARWMan pump;
    pump.SetReader(&reader);
    pump.SetWriter(&writer);
    pump.SetNotifyWindow(waiter.Handle());
    uint64_t elapsedMs = 0;
    for (auto _ : state) {
        waiter.ended = false;
        int code = 0;
        if (!pump.Start(&code)) {
            state.SkipWithError("pump did not start");
            return;
        }
        while (!waiter.ended)
            waiter.WaitAndDispatch(1000);
        elapsedMs = writer.GetElapsedMs();
        pump.Stop();
    }
    state.counters["audio_s"] = static_cast<double>(elapsedMs) / 1000.0;
    state.counters["realtime_x"]
        = benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PumpToNullWriterAt32k)->Unit(benchmark::kMillisecond)->UseRealTime();

// The conversion alone, one 8192-byte read at a time, on this thread.
void BM_ConvertOneSecond(benchmark::State& state)
{
    const CASampleConverter::Format in { kInRate, 16, 2 };
    const CASampleConverter::Format out { static_cast<int>(state.range(0)), 16, 2 };
    CASampleConverter conv;
    if (!conv.Prepare(in, out, CARWMan::kReadBytes, CAWriter::kBlockFrames, 0)) {
        state.SkipWithError("prepare failed");
        return;
    }
    std::vector<char> second(static_cast<size_t>(kInRate) * 4, 1);
    for (auto _ : state) {
        for (size_t at = 0; at + CARWMan::kReadBytes <= second.size(); at += CARWMan::kReadBytes)
            benchmark::DoNotOptimize(conv.Convert(second.data() + at, CARWMan::kReadBytes));
    }
    state.counters["realtime_x"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertOneSecond)->Arg(32000)->Arg(22050)->Arg(44100);

} // namespace

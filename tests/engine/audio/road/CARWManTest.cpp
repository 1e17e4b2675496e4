#include "engine/audio/road/CARWMan.h"

#include "engine/audio/AudioSignals.h"
#include "engine/audio/PumpFakes.h"
#include "fakes/FakeClock.h"

#include <climits>
#include <gtest/gtest.h>

using namespace audiotest;

namespace {

const platform::MessageId kError = platform::RegisterMessage("WM_ARWMAN_ERROR");
const platform::MessageId kEnd = platform::RegisterMessage("WM_ARWMAN_END");

std::vector<char> Pattern(size_t n)
{
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<char>(i * 31 + i / 251);
    return v;
}

struct Pump {
    FakeClock clock;
    MessageLog log;
    CARWMan pump { clock };

    Pump(FakeReader& reader, CAWriter* writer)
    {
        pump.SetNotifyWindow(log.Handle());
        EXPECT_EQ(pump.SetReader(&reader), 1);
        EXPECT_EQ(pump.SetWriter(writer), 1);
    }

    // Starts and dispatches until the pump reports msg.
    void RunUntil(platform::MessageId msg)
    {
        int code = -1;
        ASSERT_EQ(pump.Start(&code), 1);
        EXPECT_EQ(code, 0);
        ASSERT_TRUE(log.WaitFor(msg));
        ASSERT_TRUE(Eventually([&] { return !pump.IsRunning(); }));
    }

    // Starts, expects a refusal, and returns its code after dispatching what
    // was posted.
    int StartRefused()
    {
        int code = -1;
        EXPECT_EQ(pump.Start(&code), 0);
        EXPECT_FALSE(pump.IsRunning());
        log.DispatchPending();
        return code;
    }

    [[nodiscard]] std::vector<platform::WParam> Errors() const
    {
        std::vector<platform::WParam> codes;
        for (const MessageLog::Entry& e : log.seen)
            if (e.msg == kError)
                codes.push_back(e.wParam);
        return codes;
    }
};

} // namespace

TEST(CARWMan, EqualFormatsPassUnchangedAndEndAfterDrain)
{
    FakeReader reader(44100, 16, 2);
    reader.data = Pattern(20000);
    CaptureWriter writer;
    Pump p(reader, &writer);
    p.RunUntil(kEnd);

    EXPECT_EQ(writer.out, reader.data);
    // Each 8192-byte read is below the 9216-byte chunk, so it is one block.
    EXPECT_EQ(writer.writes, (std::vector<int> { 8192, 8192, 3616 }));
    EXPECT_EQ(writer.drains, 1);
    EXPECT_EQ(reader.closes, 1);
    EXPECT_EQ(writer.closes, 1);
    EXPECT_EQ(p.pump.GetReadBytes(), 20000u);
    EXPECT_TRUE(p.Errors().empty());
    EXPECT_EQ(p.pump.SetWriter(&writer), 1);

    // Restarted, it waits 50 ms at a time while the writer still drains.
    writer.out.clear();
    writer.drainBusyAnswers = 2;
    p.log.seen.clear();
    const uint64_t before = p.clock.NowMs();
    p.RunUntil(kEnd);
    EXPECT_EQ(writer.out, reader.data);
    EXPECT_EQ(writer.drains, 4);
    EXPECT_GE(p.clock.NowMs() - before, 100u);
    EXPECT_EQ(reader.closes, 2);
}

TEST(CARWMan, StopDuringABlockedReadReturnsAndPostsNothing)
{
    FakeReader reader(44100, 16, 2);
    reader.data = Pattern(4000);
    reader.blockAtEnd = true;
    // A closed reader that fails its Read must not read as an error after Stop.
    reader.closedResult = -1;
    CaptureWriter writer;
    Pump p(reader, &writer);
    int code = -1;
    ASSERT_EQ(p.pump.Start(&code), 1);
    ASSERT_TRUE(Eventually([&] { return reader.inBlockedRead.load(); }));
    EXPECT_EQ(p.pump.SetReader(&reader), 0);
    p.pump.Stop();

    EXPECT_FALSE(p.pump.IsRunning());
    EXPECT_EQ(p.log.DispatchPending(), 0u);
    EXPECT_EQ(reader.closes, 1);
    EXPECT_EQ(writer.closes, 1);
    EXPECT_EQ(writer.out, reader.data);
}

TEST(CARWMan, ReaderIsClosedOnceWhenStopMeetsTheEnd)
{
    // The pump thread closes the reader when the source ends; Stop closes it
    // to release a Read. Racing them must close it once, never twice at once.
    FakeReader reader(44100, 16, 2);
    CaptureWriter writer;
    Pump p(reader, &writer);
    for (int run = 1; run <= 200; ++run) {
        int code = -1;
        ASSERT_EQ(p.pump.Start(&code), 1);
        if (run % 2)
            std::this_thread::yield();
        p.pump.Stop();
        ASSERT_EQ(reader.closes, run);
    }
    EXPECT_EQ(reader.closeCalls, 200);
    EXPECT_FALSE(reader.overlappingCloses);
}

TEST(CARWMan, OpenFailuresPostTheirCodeAndCloseTheReader)
{
    FakeReader reader(44100, 16, 2);
    CaptureWriter writer;
    writer.openResult = 0;
    {
        Pump p(reader, &writer);
        EXPECT_EQ(p.StartRefused(), CARWMan::kErrWriterOpen);
        EXPECT_EQ(p.Errors(), (std::vector<platform::WParam> { 3 }));
        EXPECT_EQ(reader.opens, 1);
        EXPECT_EQ(reader.closes, 1);
    }
    {
        Pump p(reader, nullptr);
        EXPECT_EQ(p.StartRefused(), CARWMan::kErrWriterOpen);
        EXPECT_EQ(reader.closes, 2);
    }
    writer.openResult = 1;
    reader.openResult = 0;
    {
        Pump p(reader, &writer);
        EXPECT_EQ(p.StartRefused(), CARWMan::kErrReaderOpen);
        EXPECT_EQ(p.Errors(), (std::vector<platform::WParam> { 2 }));
        // Only the refused Open of the first round: a failed reader stops
        // Start before the writer is touched.
        EXPECT_EQ(writer.opens, 1);
    }
    // A reader format the conversion cannot take fails Start, not the stream.
    reader.openResult = 1;
    reader.bits = 24;
    {
        Pump p(reader, &writer);
        EXPECT_EQ(p.StartRefused(), CARWMan::kErrReaderOpen);
        EXPECT_EQ(reader.opens, 3);
        EXPECT_EQ(reader.closes, 3);
        EXPECT_EQ(writer.opens, 1);
    }
}

TEST(CARWMan, ReadAndWriteFailuresPostTheirErrors)
{
    struct Case {
        int readEnd;
        bool failWrites;
        int failResult;
        platform::WParam error;
    };
    for (const Case& c : { Case { -1, false, 0, 4 }, Case { 0, true, 0, 5 }, Case { 0, true, -3, 5 } }) {
        SCOPED_TRACE(c.error);
        FakeReader reader(44100, 16, 2);
        reader.data = Pattern(12000);
        reader.endResult = c.readEnd;
        CaptureWriter writer;
        writer.failWrites = c.failWrites;
        writer.failResult = c.failResult;
        Pump p(reader, &writer);
        p.RunUntil(kError);
        p.log.DispatchPending();
        EXPECT_EQ(p.Errors(), (std::vector<platform::WParam> { c.error }));
        EXPECT_FALSE(p.log.Has(kEnd));
        EXPECT_EQ(reader.closes, 1);
        EXPECT_EQ(writer.closes, 1);
        EXPECT_EQ(writer.drains, 0);
        if (!c.failWrites) {
            EXPECT_EQ(writer.out, reader.data);
        }
    }
}

namespace {

struct HookLog {
    int calls = 0;
    int rate = 0;
    int bits = 0;
    int channels = 0;
    int extraFrames = 100;
    int answer = 0; // nonzero: returned as is
};

// Appends extraFrames frames of a marker after the block.
int GrowingHook(void* pSamples, int nFrames, int nRate, int nBits, int nChannels, void* pUser)
{
    auto* log = static_cast<HookLog*>(pUser);
    ++log->calls;
    log->rate = nRate;
    log->bits = nBits;
    log->channels = nChannels;
    if (log->answer)
        return log->answer;
    auto* s = static_cast<int16_t*>(pSamples);
    for (int i = 0; i < log->extraFrames * nChannels; ++i)
        s[nFrames * nChannels + i] = static_cast<int16_t>(0x5A5A + i);
    return nFrames + log->extraFrames;
}

} // namespace

TEST(CARWMan, HookGrowthIsWrittenCompletelyInWritablePieces)
{
    FakeReader reader(44100, 16, 2);
    reader.data = Pattern(8192 + 4000);
    CaptureWriter writer;
    writer.writable = 1000;
    writer.zeroWritableAnswers = 3;
    Pump p(reader, &writer);
    HookLog hook;
    p.pump.SetDspHook(GrowingHook, &hook);
    const uint64_t before = p.clock.NowMs();
    p.RunUntil(kEnd);

    std::vector<char> expected;
    for (auto [from, to] : { std::pair<size_t, size_t> { 0, 8192 }, { 8192, 12192 } }) {
        expected.insert(
            expected.end(), reader.data.begin() + static_cast<long>(from), reader.data.begin() + static_cast<long>(to));
        for (int i = 0; i < 200; ++i) {
            const auto v = static_cast<uint16_t>(0x5A5A + i);
            expected.push_back(static_cast<char>(v & 0xFF));
            expected.push_back(static_cast<char>(v >> 8));
        }
    }
    EXPECT_EQ(writer.out, expected);
    for (int n : writer.writes)
        EXPECT_TRUE(n > 0 && n <= 1000) << n;
    EXPECT_EQ(hook.calls, 2);
    EXPECT_EQ(hook.rate, 44100);
    EXPECT_EQ(hook.bits, 16);
    EXPECT_EQ(hook.channels, 2);
    // A writer with no room makes the pump wait 50 ms per answer.
    EXPECT_GE(p.clock.NowMs() - before, 150u);
}

TEST(CARWMan, HookCountIsBoundedByTheBlock)
{
    for (int answer : { INT_MAX, -5 }) {
        FakeReader reader(44100, 16, 2);
        reader.data = Pattern(8192);
        CaptureWriter writer;
        Pump p(reader, &writer);
        HookLog hook;
        hook.answer = answer;
        p.pump.SetDspHook(GrowingHook, &hook);
        p.RunUntil(kEnd);
        if (answer < 0)
            EXPECT_TRUE(writer.out.empty());
        else // a writer's block plus 20 ms at 44.1 kHz
            EXPECT_EQ(writer.out.size(), (2304u + 882u) * 4);
        EXPECT_TRUE(p.Errors().empty());
    }
}

TEST(CARWMan, ConvertsToTheWriterFormatWithoutSwappingChannels)
{
    // 22050 -> 48000 cuts each 8192-byte read into pieces of 1058 frames; a
    // reader that hands out odd byte counts splits frames between reads.
    constexpr double kAmp = 12000.0;
    struct Case {
        int inRate;
        int outRate;
        int readSize;
    };
    for (const Case& c : { Case { 22050, 48000, 8191 }, Case { 44100, 32000, 8192 }, Case { 22050, 32000, 4097 } }) {
        SCOPED_TRACE(testing::Message() << c.inRate << " -> " << c.outRate << " reads of " << c.readSize);
        FakeReader reader(c.inRate, 16, 2);
        reader.data = Bytes(StereoTones(440.0, 1000.0, c.inRate, kAmp, c.inRate));
        reader.readSize = c.readSize;
        CaptureWriter writer;
        writer.wantRate = c.outRate;
        Pump p(reader, &writer);
        p.RunUntil(kEnd);

        const std::vector<int16_t> out = Samples(writer.out);
        EXPECT_NEAR(static_cast<double>(out.size() / 2), c.outRate, 64.0);
        const std::vector<int16_t> left = Channel(out, 2, 0, 64, out.size() / 2 - 64);
        const std::vector<int16_t> right = Channel(out, 2, 1, 64, out.size() / 2 - 64);
        EXPECT_NEAR(ToneAmplitude(left, 440.0, c.outRate), kAmp, kAmp * 0.01);
        EXPECT_NEAR(ToneAmplitude(right, 1000.0, c.outRate), kAmp, kAmp * 0.01);
        EXPECT_LT(ToneAmplitude(left, 1000.0, c.outRate), kAmp * 0.01);
        EXPECT_LT(ToneAmplitude(right, 440.0, c.outRate), kAmp * 0.01);
        if (c.readSize == 8192 && c.outRate == 32000) {
            // One 8192-byte read of 44.1 kHz is about 1486 frames at 32 kHz.
            EXPECT_NEAR(writer.writes[1] / 4, 1486, 2);
        }
    }
}

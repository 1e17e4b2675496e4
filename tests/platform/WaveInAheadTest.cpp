// A capture device opened ahead is taken by the first capture that asks for
// it, and is out of the way of one that asks for anything else.
#include "platform/WaveInAhead.h"

#include "fakes/FakeWaveIn.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kRate = 44100;

struct SAheadCase {
    const char* name;
    int failingOpens; // openings that fail before one succeeds
    bool oneStream; // the device gives one stream at a time
    int device; // what capture then opens; -1: capture opens nothing
    int rate;
    int opens; // openings the backend saw
};

class WaveInAheadTaking : public testing::TestWithParam<SAheadCase> { };

void Discard(void*, const char*, int)
{
}

TEST_P(WaveInAheadTaking, CaptureGetsWhatItAsksForAndNothingStaysOpen)
{
    const SAheadCase& c = GetParam();
    FakeWaveInBackend backend;
    backend.failingOpens = c.failingOpens;
    backend.oneStreamAtATime = c.oneStream;
    platform::WaveIn capture(backend);
    {
        const platform::WaveInAhead ahead(backend, 0, platform::WaveIn::StreamFormat(kRate, 2));
        if (c.device >= 0) {
            ASSERT_EQ(capture.Open(c.device, c.rate, 2, &Discard, nullptr), platform::WaveInResult::Ok);
            EXPECT_EQ(backend.LastDevice(), c.device);
            EXPECT_EQ(backend.LastFormat(), platform::WaveIn::StreamFormat(c.rate, 2));
        }
    }
    EXPECT_EQ(backend.Opens(), c.opens);
    EXPECT_EQ(backend.OpenStreams(), c.device >= 0 ? 1 : 0)
        << "capture lost its stream, or one nobody took stayed open";
    capture.Close();
    EXPECT_EQ(backend.OpenStreams(), 0);
}

INSTANTIATE_TEST_SUITE_P(Platform, WaveInAheadTaking,
    testing::Values(SAheadCase { "TakenBySameDeviceAndFormat", 0, false, 0, kRate, 1 },
        SAheadCase { "AnotherDeviceFindsItFree", 0, true, 1, kRate, 2 },
        SAheadCase { "AnotherRateFindsItFree", 0, true, 0, 22050, 2 },
        SAheadCase { "AFailedOpeningIsTriedAgain", 1, false, 0, kRate, 2 },
        SAheadCase { "NeverTakenIsClosed", 0, false, -1, kRate, 1 }),
    [](const testing::TestParamInfo<SAheadCase>& testInfo) { return std::string(testInfo.param.name); });

} // namespace

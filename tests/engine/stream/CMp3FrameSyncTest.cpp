#include "engine/stream/CMp3FrameSync.h"

#include "platform/Mp3Encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// Two seconds of a tone as the program's own encoder makes it.
std::string EncodeTone(int rate, int channels, int kbps)
{
    auto encoder = platform::Mp3Encoder::Create();
    if (!encoder || !encoder->Configure(rate, channels, kbps) || !encoder->InitParams())
        return {};
    std::vector<int16_t> pcm(size_t(1152) * size_t(channels));
    std::vector<unsigned char> out(platform::Mp3Encoder::kMinOutputBytes);
    std::string mp3;
    long frame = 0;
    for (long done = 0; done < 2L * rate; done += 1152) {
        for (size_t i = 0; i < 1152; ++i, ++frame)
            for (int c = 0; c < channels; ++c)
                pcm[i * size_t(channels) + size_t(c)] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(frame) / rate));
        const int n = channels == 1 ? encoder->EncodeMono(pcm.data(), 1152, out.data(), int(out.size()))
                                    : encoder->EncodeInterleaved(pcm.data(), 1152, out.data(), int(out.size()));
        mp3.append(reinterpret_cast<const char*>(out.data()), size_t(std::max(n, 0)));
    }
    const int n = encoder->Flush(out.data(), int(out.size()));
    mp3.append(reinterpret_cast<const char*>(out.data()), size_t(std::max(n, 0)));
    return mp3;
}

// Where each frame begins, walked by the frame lengths from the first
// byte; empty unless the walk ends exactly at the end.
std::vector<size_t> FrameStarts(const std::string& mp3)
{
    std::vector<size_t> starts;
    size_t at = 0;
    while (at + 4 <= mp3.size()) {
        const int frame = CMp3FrameSync::FrameBytes(reinterpret_cast<const unsigned char*>(mp3.data()) + at);
        if (frame == 0)
            return {};
        starts.push_back(at);
        at += size_t(frame);
    }
    return at == mp3.size() ? starts : std::vector<size_t> {};
}

void Append(void* pUser, const char* pData, int nBytes)
{
    static_cast<std::string*>(pUser)->append(pData, size_t(nBytes));
}

} // namespace

TEST(CMp3FrameSync, PassesTheStreamFromTheFirstWholeFrameWhereverItWasJoined)
{
    const struct {
        const char* name;
        int rate, channels, kbps;
        int intoFrame; // where the stream is joined, in bytes into frame 5
        int chunk; // bytes per call
        bool falseSync; // a sync pattern with a valid header planted in the skipped part
    } cases[] = {
        { "on a header", 44100, 2, 128, 0, 4096, false },
        { "46 bytes in", 44100, 2, 128, 46, 417, false },
        { "224 bytes in, a byte a call", 44100, 2, 128, 224, 1, false },
        { "370 bytes in, headers split across calls", 44100, 2, 128, 370, 3, false },
        { "370 bytes in, more than the hold in one call", 44100, 2, 128, 370, 9000, false },
        { "a false sync inside the frame", 44100, 2, 128, 10, 700, true },
        { "largest frames (320 kbit/s at 32 kHz)", 32000, 2, 320, 46, 5, false },
        { "MPEG-2 mono at 22.05 kHz", 22050, 1, 32, 1, 7, true },
        { "MPEG-2.5 at 8 kHz", 8000, 1, 16, 20, 11, false },
    };
    // One object for the whole table: each case starts with Reset after the
    // last one ended in step.
    CMp3FrameSync sync;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string mp3 = EncodeTone(c.rate, c.channels, c.kbps);
        const std::vector<size_t> starts = FrameStarts(mp3);
        ASSERT_GT(starts.size(), 10u);
        std::string joined = mp3.substr(starts[5] + size_t(c.intoFrame));
        if (c.falseSync) {
            // The header of frame 5 itself, planted a few bytes on: its
            // length leads into the middle of frame 6.
            ASSERT_GT(starts[6] - starts[5], size_t(c.intoFrame) + 8);
            joined.replace(2, 4, mp3.substr(starts[5], 4));
        }
        const size_t expectedFrom = c.intoFrame == 0 ? starts[5] : starts[6];

        sync.Reset();
        EXPECT_FALSE(sync.IsInStep());
        std::string out;
        for (size_t at = 0; at < joined.size(); at += size_t(c.chunk)) {
            const std::string piece = joined.substr(at, size_t(c.chunk));
            sync.Take(piece.data(), int(piece.size()), &Append, &out);
        }
        EXPECT_TRUE(sync.IsInStep());
        EXPECT_TRUE(out == mp3.substr(expectedFrom))
            << out.size() << " bytes, " << mp3.size() - expectedFrom << " expected";
    }
}

TEST(CMp3FrameSync, HeadersThatTheNextFrameDoesNotConfirmNeverPass)
{
    // A valid header every 13 bytes, whose frame length (417) never lands
    // on another: nothing passes, the hold stays within its bound, and a
    // real stream after it is found.
    std::string noise;
    for (int i = 0; i < 2000; ++i)
        noise += std::string("\xFF\xFB\x90\x64", 4) + "123456789";
    CMp3FrameSync sync;
    std::string out;
    sync.Take(noise.data(), int(noise.size()), &Append, &out);
    EXPECT_FALSE(sync.IsInStep());
    EXPECT_EQ(out, "");
    const std::string mp3 = EncodeTone(44100, 2, 128);
    sync.Take(mp3.data(), int(mp3.size()), &Append, &out);
    EXPECT_TRUE(sync.IsInStep());
    EXPECT_TRUE(out == mp3) << out.size();
}

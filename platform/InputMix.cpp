#include "platform/InputMix.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform {

namespace {

// Inputs one mix may hold: the program mixes what the computer plays, a
// line-in and a microphone.
constexpr int kMaxInputs = 8;
// How slowly a follower's cushion estimate moves, in pulls: the server
// hands inputs over in fragments, so what is left after one pull jumps by
// a fragment; the average over this many pulls sees only the drift.
constexpr double kAverageWeight = 1.0 / 32;
// A follower this many cushions ahead of the lead is cut back at once: it
// stalled and caught up, or the lead stalled, and holding it a frame at a
// time would take minutes.
constexpr int kResetCushions = 4;
// One correction a block for each this many frames a follower is off its
// cushion, past the margin.
constexpr int kOffsetPerCorrection = 128;
// At most one correction per this many frames, whatever the block size:
// that holds clocks up to 1400 ppm apart (a USB microphone's is within a
// few hundred), and however busy the server, a voice is never put right
// faster than by about two cents of pitch.
constexpr int kFramesPerCorrection = 700;

int16_t Saturate(int32_t value)
{
    return int16_t(std::clamp(value, int32_t(INT16_MIN), int32_t(INT16_MAX)));
}

// A sample at a Q15 gain, rounded to nearest: a gain a hair below unity
// (the recording fader's 32767) keeps the sample as it is.
int32_t Scale(int16_t sample, int32_t gain)
{
    return (int32_t(sample) * gain + (1 << 14)) >> 15;
}

} // namespace

bool InputMix::Prepare(int inputs, int channels, int cushionFrames, int capacityFrames)
{
    m_inputs.clear();
    if (inputs < 1 || inputs > kMaxInputs || channels < 1 || channels > 2 || cushionFrames < 0
        || capacityFrames <= cushionFrames || capacityFrames > (1 << 22))
        return false;
    m_nChannels = channels;
    m_nCushion = cushionFrames;
    m_nCapacity = capacityFrames;
    const size_t samples = size_t(capacityFrames) * size_t(channels);
    m_scratch.reset(new (std::nothrow) int16_t[samples]);
    m_sum.reset(new (std::nothrow) int32_t[samples]);
    if (!m_scratch || !m_sum)
        return false;
    m_inputs.resize(size_t(inputs));
    for (Input& in : m_inputs) {
        in.ring.reset(new (std::nothrow) int16_t[samples]);
        if (!in.ring) {
            m_inputs.clear();
            return false;
        }
    }
    return true;
}

void InputMix::Push(int input, const int16_t* pSamples, int frames)
{
    if (input < 0 || input >= Inputs() || frames <= 0)
        return;
    Input& in = m_inputs[size_t(input)];
    // More than the ring holds: only the newest part counts.
    if (frames > m_nCapacity) {
        if (pSamples)
            pSamples += size_t(frames - m_nCapacity) * size_t(m_nChannels);
        frames = m_nCapacity;
    }
    const int overflow = in.fill + frames - m_nCapacity;
    if (overflow > 0)
        Skip(in, overflow);
    int end = (in.start + in.fill) % m_nCapacity;
    int done = 0;
    while (done < frames) {
        const int n = std::min(frames - done, m_nCapacity - end);
        int16_t* pDst = in.ring.get() + size_t(end) * size_t(m_nChannels);
        const size_t bytes = size_t(n) * size_t(m_nChannels) * sizeof(int16_t);
        if (pSamples)
            std::memcpy(pDst, pSamples + size_t(done) * size_t(m_nChannels), bytes);
        else
            std::memset(pDst, 0, bytes);
        done += n;
        end = (end + n) % m_nCapacity;
    }
    in.fill += frames;
    in.stats.maxBacklog = std::max(in.stats.maxBacklog, in.fill);
}

int InputMix::Available() const
{
    return m_inputs.empty() ? 0 : m_inputs.front().fill;
}

void InputMix::Read(Input& in, int16_t* pDst, int frames)
{
    int done = 0;
    while (done < frames) {
        const int n = std::min(frames - done, m_nCapacity - in.start);
        std::memcpy(pDst + size_t(done) * size_t(m_nChannels), in.ring.get() + size_t(in.start) * size_t(m_nChannels),
            size_t(n) * size_t(m_nChannels) * sizeof(int16_t));
        done += n;
        in.start = (in.start + n) % m_nCapacity;
    }
    in.fill -= frames;
}

void InputMix::Skip(Input& in, int frames)
{
    frames = std::min(frames, in.fill);
    in.start = (in.start + frames) % m_nCapacity;
    in.fill -= frames;
}

int InputMix::TakeFollower(Input& in, int frames, int leadFill)
{
    // How far the follower is ahead of the lead: both hold what the server
    // handed over and not yet mixed, so the difference is the follower's
    // lead in time, whatever moment in a fragment the pull falls on.
    const int target = std::max(frames, leadFill) + m_nCushion;
    if (!in.primed) {
        // Silent until the cushion is there, so that the first frames it
        // plays are not followed by a gap; what it holds past the cushion
        // goes at once, unheard, so it starts in step.
        if (in.fill < target)
            return 0;
        Skip(in, in.fill - target);
        in.primed = true;
        in.average = m_nCushion;
    }
    if (in.fill < frames) {
        // It stopped delivering for a while: what it holds plays, then it
        // fills its cushion again.
        const int got = in.fill;
        Read(in, m_scratch.get(), got);
        in.primed = false;
        ++in.stats.underruns;
        return got;
    }
    if (in.fill - leadFill > m_nCushion * kResetCushions) {
        Skip(in, in.fill - target);
        ++in.stats.resets;
        in.average = m_nCushion;
    }
    in.average += (double(in.fill - leadFill) - in.average) * kAverageWeight;
    // A quarter of the cushion either way is the server's fragments
    // arriving early or late, not drift. Past it, corrections come in
    // proportion to how far off it is, so that a small offset is mended
    // over seconds, at a rate no ear hears as a change of pitch.
    const double margin = std::max(1.0, m_nCushion / 4.0);
    const double off = in.average - m_nCushion;
    // The allowance carries over from block to block, so that short blocks
    // are held to the same rate as long ones.
    in.allowance
        = std::min(in.allowance + double(frames) / kFramesPerCorrection, 1.0 + double(frames) / kFramesPerCorrection);
    const int most = int(in.allowance);
    const int wanted = std::clamp(int(std::abs(off) / kOffsetPerCorrection), 1, std::max(most, 1));
    int drops = 0;
    int repeats = 0;
    if (most < 1) {
        // Not yet: the last correction was too recent.
    } else if (off > margin) {
        while (drops < wanted && in.fill > frames + drops) {
            ++drops;
            in.average -= 1;
        }
    } else if (off < -margin) {
        while (repeats < wanted && frames > 2 * (repeats + 1)) {
            ++repeats;
            in.average += 1;
        }
    }
    // The corrections are single frames spread across the block.
    const int corrections = drops + repeats;
    int done = 0;
    for (int k = 0; k < corrections; ++k) {
        const int segment = (frames - done) / (corrections - k);
        int16_t* pDst = m_scratch.get() + size_t(done) * size_t(m_nChannels);
        if (drops > 0) {
            Read(in, pDst, segment);
            Skip(in, 1);
        } else {
            Read(in, pDst, segment - 1);
            std::memcpy(pDst + size_t(segment - 1) * size_t(m_nChannels),
                pDst + size_t(segment - 2) * size_t(m_nChannels), size_t(m_nChannels) * sizeof(int16_t));
        }
        done += segment;
    }
    in.allowance -= corrections;
    in.stats.dropped += uint64_t(drops);
    in.stats.repeated += uint64_t(repeats);
    Read(in, m_scratch.get() + size_t(done) * size_t(m_nChannels), frames - done);
    return frames;
}

void InputMix::MixInto(const int16_t* pSrc, int frames, Input& in, int32_t target)
{
    target = std::clamp(target, int32_t(0), kMaxGain);
    const int channels = m_nChannels;
    int32_t* pSum = m_sum.get();
    if (target == in.gain) {
        const int32_t gain = target;
        if (gain == 0)
            return;
        for (int i = 0, n = frames * channels; i < n; ++i)
            pSum[i] += Scale(pSrc[i], gain);
        return;
    }
    // The gain moves in 1/65536ths of a Q15 step per frame.
    const int64_t from = int64_t(in.gain) << 16;
    const int64_t step = ((int64_t(target) << 16) - from) / std::max(frames, 1);
    int64_t gain = from;
    for (int f = 0; f < frames; ++f) {
        gain += step;
        const int32_t g = f + 1 == frames ? target : int32_t(gain >> 16);
        for (int c = 0; c < channels; ++c)
            pSum[f * channels + c] += Scale(pSrc[f * channels + c], g);
    }
    in.gain = target;
}

void InputMix::Pull(int16_t* pOut, int frames, const int32_t* pGains)
{
    frames = std::clamp(frames, 0, m_nCapacity);
    const size_t samples = size_t(frames) * size_t(m_nChannels);
    if (m_inputs.empty() || frames == 0) {
        std::memset(pOut, 0, samples * sizeof(int16_t));
        return;
    }
    std::memset(m_sum.get(), 0, samples * sizeof(int32_t));
    const int leadFill = m_inputs.front().fill;
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        Input& in = m_inputs[i];
        int covered;
        if (i == 0) {
            covered = std::min(frames, in.fill);
            Read(in, m_scratch.get(), covered);
        } else {
            covered = TakeFollower(in, frames, leadFill);
        }
        std::memset(m_scratch.get() + size_t(covered) * size_t(m_nChannels), 0,
            (samples - size_t(covered) * size_t(m_nChannels)) * sizeof(int16_t));
        MixInto(m_scratch.get(), frames, in, pGains[i]);
    }
    const int32_t* pSum = m_sum.get();
    for (size_t i = 0; i < samples; ++i)
        pOut[i] = Saturate(pSum[i]);
}

void InputMix::Clear()
{
    for (Input& in : m_inputs) {
        in.start = 0;
        in.fill = 0;
        in.primed = false;
        in.average = 0;
        in.allowance = 0;
    }
}

InputMix::Stats InputMix::InputStats(int input) const
{
    return input >= 0 && input < Inputs() ? m_inputs[size_t(input)].stats : Stats {};
}

int InputMix::Backlog(int input) const
{
    return input >= 0 && input < Inputs() ? m_inputs[size_t(input)].fill : 0;
}

} // namespace platform

#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// Thread: none of its own; its owner serialises every call. Allocates only
// in Prepare.
// Mixes several recorded inputs into one stream, each at its own gain. The
// first input leads: the mix runs on its clock, as fast as it delivers.
// The others run on clocks of their own (a USB microphone beside the
// built-in card drifts by hundreds of ppm), so each keeps a cushion of
// frames ahead of the lead, and its cushion is held by dropping or
// repeating one frame at a time: the backlog stays bounded over any length
// of broadcast, and no correction is ever heard as more than one frame.
class InputMix {
public:
    struct Stats {
        uint64_t dropped = 0; // single frames dropped to hold the cushion
        uint64_t repeated = 0; // single frames repeated to hold it
        uint64_t resets = 0; // cushions cut back at once after a stall
        uint64_t underruns = 0; // pulls it could not cover, heard as a gap
        int maxBacklog = 0; // the most frames it held, in frames
    };

    // Q15 gains: 32768 passes an input as it is.
    static constexpr int32_t kUnity = 32768;
    // Gains above +6 dB are taken as +6 dB: that keeps every product of a
    // sample and a gain within 32 bits.
    static constexpr int32_t kMaxGain = 65536;

    // `cushionFrames`: what a following input keeps ahead of the lead, to
    // ride out the server handing the inputs over at different moments.
    // `capacityFrames`: the most any input holds; older frames go first.
    // False when a size is out of range or memory is short.
    [[nodiscard]] bool Prepare(int inputs, int channels, int cushionFrames, int capacityFrames);
    [[nodiscard]] int Inputs() const { return int(m_inputs.size()); }

    // Appends frames of one input; null samples are silence.
    void Push(int input, const int16_t* pSamples, int frames);
    // Frames the lead holds, ready to be mixed.
    [[nodiscard]] int Available() const;
    // Mixes `frames` frames into pOut (interleaved) and consumes them; the
    // lead's missing frames, and an input still filling its cushion, are
    // silence. Each input's gain ramps from the last Pull's to pGains[i]
    // across the block, so fades move without steps. Sums are limited to
    // the 16-bit range.
    void Pull(int16_t* pOut, int frames, const int32_t* pGains);
    // Forgets every input's frames (a new plan of inputs, a gap).
    void Clear();

    [[nodiscard]] Stats InputStats(int input) const;
    // Frames an input holds now.
    [[nodiscard]] int Backlog(int input) const;

private:
    struct Input {
        std::unique_ptr<int16_t[]> ring;
        int start = 0; // first frame held
        int fill = 0; // frames held
        bool primed = false; // its cushion is full and it plays
        double average = 0; // smoothed frames it is ahead of the lead
        double allowance = 0; // corrections it may make now
        int32_t gain = 0; // the gain the last Pull ended at
        Stats stats;
    };

    void Read(Input& in, int16_t* pDst, int frames);
    void Skip(Input& in, int frames);
    // Frames of `in` that go into this pull's block, set into m_scratch;
    // `leadFill` is what the lead held as the pull began. Returns how many
    // frames of the block it covers (0: silent).
    int TakeFollower(Input& in, int frames, int leadFill);
    void MixInto(const int16_t* pSrc, int frames, Input& in, int32_t target);

    std::vector<Input> m_inputs;
    int m_nChannels = 0;
    int m_nCushion = 0;
    int m_nCapacity = 0;
    std::unique_ptr<int16_t[]> m_scratch;
    std::unique_ptr<int32_t[]> m_sum;
};

} // namespace platform

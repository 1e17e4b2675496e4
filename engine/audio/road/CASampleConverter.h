#pragma once

#include "engine/audio/road/GAVStreamResample.h"

#include <array>
#include <cstdint>
#include <vector>

// Thread: one thread at a time; Prepare allocates, Convert never does.
// Converts blocks of interleaved little-endian PCM from the reader's format
// to the writer's: sample width (unsigned 8 or signed 16 bit), channel count
// (1 or 2) and rate, in that order, the rate through one streaming resampler
// per channel so blocks join seamlessly.
class CASampleConverter {
public:
    struct Format {
        int nRate = -1;
        int nBits = -1;
        int nChannels = -1;
        [[nodiscard]] int FrameBytes() const { return nChannels * (nBits / 8); }
    };

    // Sizes are bounded so no buffer arithmetic comes near int overflow.
    static constexpr int kMaxInputBytes = 1 << 20;
    static constexpr int kMaxFrames = 1 << 20;

    // Widths 8 and 16, one or two channels, rates GAVResample takes.
    [[nodiscard]] static bool Supports(const Format& format);

    // Sizes every buffer for input pieces of at most nMaxInputBytes, and the
    // block for the largest converted piece (at least nMinBlockFrames) plus
    // nHeadroomFrames, which whoever changes the block in place may use to
    // lengthen it. False when a format is not supported or the rates cannot
    // be converted.
    [[nodiscard]] bool Prepare(
        const Format& in, const Format& out, int nMaxInputBytes, int nMinBlockFrames, int nHeadroomFrames);
    void Release();

    // Copies the whole frames of pIn[0 .. nBytes) into the block and converts
    // them. Returns the block's new byte count; 0 when nothing is prepared or
    // nBytes is outside 0 .. nMaxInputBytes.
    int Convert(const char* pIn, int nBytes);

    // The converted block, in the output format; may be changed in place.
    [[nodiscard]] void* GetBlock() { return m_block.data(); }
    [[nodiscard]] const char* GetBlockBytes() const { return reinterpret_cast<const char*>(m_block.data()); }
    [[nodiscard]] int GetBlockCapacityBytes() const { return static_cast<int>(m_block.size() * sizeof(int16_t)); }

private:
    void Widen(int samples);
    void Narrow(int samples);
    int MixChannels(int frames, int width);
    int Resample(int frames, int channels);

    Format m_in;
    Format m_out;
    int m_nMaxInputBytes = 0;
    bool m_bResample = false;
    std::array<GAVStreamResample, 2> m_resamplers;
    // 16-bit storage so the samples are aligned for either width.
    std::vector<int16_t> m_block;
    std::vector<int16_t> m_chanIn;
    std::vector<int16_t> m_chanOut;
    std::vector<int16_t> m_interleave;
};

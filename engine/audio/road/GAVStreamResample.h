#pragma once

#include "engine/audio/road/GAVResample.h"

#include <cstdint>
#include <memory>
#include <vector>

// Thread: one thread at a time; Create allocates, Process never does.
// Feeds one GAVResample from a stream that arrives in pieces of any size:
// keeps the input the filter still needs and prepends it to the next piece,
// so the output is the same however the stream is cut.
class GAVStreamResample {
public:
    // Output samples Process may write for nIn new input samples: the rate
    // ratio times the input plus 16, which absorbs the rounding of each piece.
    [[nodiscard]] static int MaxOutput(int outRate, int inRate, int nIn);

    // Sizes the carried input for pieces of at most nMaxInput samples.
    // False (and nothing created) when the rates are not supported.
    [[nodiscard]] bool Create(int outRate, int inRate, double scale, int nMaxInput);
    void Destroy();
    [[nodiscard]] bool IsCreated() const { return m_pResample != nullptr; }

    // Appends nIn samples to the carried input and writes what the filter can
    // produce, at most MaxOutput(nIn). Returns the samples written, or -1 when
    // not created or nIn is outside 0 .. nMaxInput.
    int Process(int16_t* pOut, const int16_t* pIn, int nIn);

private:
    std::unique_ptr<GAVResample> m_pResample;
    int m_nOutRate = 0;
    int m_nInRate = 0;
    int m_nMaxInput = 0;
    std::vector<int16_t> m_scratch; // carried input followed by the new piece
    int m_nLeft = 0;
};

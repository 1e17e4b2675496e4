#pragma once

#include <array>

namespace platform {

// The Layer III bit rates in kbit/s, indexed as a frame header's bit-rate
// index: 1 to 14 are the rates an encoder makes, 0 (free format) and 15
// (bad) are none. The encoder's formats and the reading of its frames
// share them, so the two never disagree on what a rate is.
inline constexpr int kFirstLayer3RateIndex = 1;
inline constexpr int kLastLayer3RateIndex = 14;
inline constexpr std::array<int, 16> kMpeg1Layer3Kbps
    = { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0 };
// MPEG-2 and MPEG-2.5.
inline constexpr std::array<int, 16> kMpeg2Layer3Kbps
    = { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 };

} // namespace platform

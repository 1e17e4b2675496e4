#pragma once

#include <array>
#include <string>

// Thread: any (constant data).
// The LAME writer's quality presets, shared by the controller, the main
// window and the settings page. The stored FormatN indexes this table, so
// its rows and their order must never change.
struct QualityPreset {
    const char* label;
    int kbps;
    int hz;
    int channels;
};

inline constexpr std::array<QualityPreset, 8> QualityPresets = { {
    { "320kbps, 44100Hz, STEREO", 320, 44100, 2 },
    { "256kbps, 44100Hz, STEREO", 256, 44100, 2 },
    { "192kbps, 44100Hz, STEREO", 192, 44100, 2 },
    { "128kbps, 44100Hz, STEREO", 128, 44100, 2 },
    { "128kbps, 32000Hz, STEREO", 128, 32000, 2 },
    { "96kbps, 44100Hz, STEREO", 96, 44100, 2 },
    { "64kbps, 32000Hz, STEREO", 64, 32000, 2 },
    { "56kbps, 24000Hz, STEREO", 56, 24000, 2 },
} };

[[nodiscard]] int GetQualityPresetCount();
[[nodiscard]] int GetDefaultQualityPreset();
// The row's label; "" for an index outside the table (FormatN comes from a
// file people edit by hand). out may be null.
void GetQualityPresetName(int index, std::string* out);
// 1 with the row's channel count and kbit/s (either pointer may be null),
// 0 for an index outside the table.
[[nodiscard]] int GetQualityPreset(int index, int* channels, int* kbps);
// The row the encoder is set up with: the given one, or the default row
// when the index is outside the table.
[[nodiscard]] const QualityPreset& GetQualityPresetOrDefault(int index);

#include "engine/stream/QualityPresets.h"

namespace {

constexpr int kDefaultPreset = 3;

bool InTable(int index)
{
    return index >= 0 && static_cast<size_t>(index) < QualityPresets.size();
}

} // namespace

int GetQualityPresetCount()
{
    return static_cast<int>(QualityPresets.size());
}

int GetDefaultQualityPreset()
{
    return kDefaultPreset;
}

void GetQualityPresetName(int index, std::string* out)
{
    if (out != nullptr)
        *out = InTable(index) ? QualityPresets[static_cast<size_t>(index)].label : "";
}

int GetQualityPreset(int index, int* channels, int* kbps)
{
    if (!InTable(index))
        return 0;
    const QualityPreset& row = QualityPresets[static_cast<size_t>(index)];
    if (channels != nullptr)
        *channels = row.channels;
    if (kbps != nullptr)
        *kbps = row.kbps;
    return 1;
}

const QualityPreset& GetQualityPresetOrDefault(int index)
{
    return QualityPresets[static_cast<size_t>(InTable(index) ? index : kDefaultPreset)];
}

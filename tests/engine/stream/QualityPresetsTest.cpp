#include "engine/stream/QualityPresets.h"

#include <gtest/gtest.h>

TEST(QualityPresets, IndicesOutsideTheTableGiveTheEmptyAnswer)
{
    EXPECT_EQ(GetQualityPresetCount(), 8);
    EXPECT_EQ(GetDefaultQualityPreset(), 3);
    std::string name = "stale";
    GetQualityPresetName(7, &name);
    EXPECT_EQ(name, "56kbps, 24000Hz, STEREO");
    int channels = 0;
    int kbps = 0;
    EXPECT_EQ(GetQualityPreset(4, &channels, &kbps), 1);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(kbps, 128);
    EXPECT_EQ(GetQualityPreset(0, nullptr, &kbps), 1);
    EXPECT_EQ(kbps, 320);

    for (int bad : { 8, -1, -2147483647 - 1, 1000 }) {
        SCOPED_TRACE(bad);
        name = "stale";
        GetQualityPresetName(bad, &name);
        EXPECT_EQ(name, "");
        kbps = -5;
        EXPECT_EQ(GetQualityPreset(bad, &channels, &kbps), 0);
        EXPECT_EQ(kbps, -5);
        EXPECT_EQ(&GetQualityPresetOrDefault(bad), &QualityPresets[3]);
    }
    EXPECT_EQ(GetQualityPresetOrDefault(6).hz, 32000);
}

#include "skin/GIni.h"

#include <gtest/gtest.h>

TEST(GIni, LooksUpWithoutCaseFirstMatchWins)
{
    GIni ini;
    EXPECT_FALSE(ini.IsLoaded());
    ini.AddValue("Text", "Title", "방송 시작");
    ini.AddValue("TEXT", "title", "second pair, same section");
    ini.AddValue("Colors", "Back", "#000000");
    ini.AddValue("한글", "키", "값");
    EXPECT_TRUE(ini.IsLoaded());
    EXPECT_EQ(ini.GetSectionCount(), 3u);

    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        { "text", "TITLE", "방송 시작" },
        { "Colors", "back", "#000000" },
        { "한글", "키", "값" },
        { "Text", "Back", "" },
        { "Missing", "Title", "" },
        { "Text ", "Title", "" },
        { "", "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini.GetValue(c.section, c.key), c.value) << c.section << "/" << c.key;

    const GIni::SSection* pSection = ini.FindSection("TEXT");
    ASSERT_NE(pSection, nullptr);
    EXPECT_EQ(pSection->m_name, "Text");
    const GIni::SKeyValue* pPair = nullptr;
    ASSERT_TRUE(GIni::FindKey(*pSection, "TITLE", &pPair));
    EXPECT_EQ(pPair->second, "방송 시작");

    ini.Clear();
    EXPECT_FALSE(ini.IsLoaded());
    EXPECT_EQ(ini.FindSection("Text"), nullptr);
    EXPECT_EQ(ini.GetValue("Text", "Title"), "");
}

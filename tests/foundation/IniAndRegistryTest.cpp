#include "foundation/AppRegistry.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"

#include "support/TempHome.h"

#include <fstream>

#include <gtest/gtest.h>

TEST(Ini, BareNamesLiveInTheProgramFolder)
{
    TempHome home;
    std::ofstream(home.Path("program/setting.ini"), std::ios::binary) << "[SKIN]\r\nSKINPATH=\"skins\\blue\"\r\n";
    std::ofstream(home.Path("other.ini"), std::ios::binary) << "[SKIN]\r\nSKINPATH=other\r\n";
    EXPECT_EQ(IniGetString("SKIN", "SKINPATH", "setting.ini", "d"), "skins\\blue");
    EXPECT_EQ(IniGetString("SKIN", "SKINPATH", home.Path("other.ini"), "d"), "other");

    EXPECT_TRUE(IniWriteInt("Skin", "Left", -1, "setting.ini"));
    EXPECT_EQ(IniGetInt("skin", "left", 0, "setting.ini"), -1);
    EXPECT_TRUE(IniWriteString("Song", "Long", std::string(20000, 'a').c_str(), "setting.ini"));
    EXPECT_EQ(IniGetString("Song", "Long", "setting.ini", "").size(), 9998u);

    std::vector<std::string> keys { "stale" };
    EXPECT_EQ(IniGetKeyNames("SKIN", "setting.ini", keys), 2);
    EXPECT_EQ(keys, (std::vector<std::string> { "SKINPATH", "Left" }));
    EXPECT_EQ(IniGetKeyNames("None", "setting.ini", keys), 0);
    EXPECT_TRUE(keys.empty());

    // Key names that overflow the list the callers expect are left off.
    std::string many = "[Many]\n";
    for (int i = 0; i < 3000; ++i)
        many += "key" + std::string(10, 'x') + std::to_string(i) + "=1\n";
    std::ofstream(home.Path("program/many.ini")) << many;
    int n = IniGetKeyNames("Many", "many.ini", keys);
    EXPECT_GT(n, 1000);
    EXPECT_LT(n, 3000);
}

TEST(AppRegistry, DwordsAndShellFolders)
{
    TempHome home;
    uint32_t out = 1;
    EXPECT_FALSE(RegReadDword("AutoUpdate", "Software\\VANDREL\\TavDJ", &out, 77));
    EXPECT_EQ(out, 77u);
    EXPECT_FALSE(RegReadDword("AutoUpdate", "Software\\VANDREL\\TavDJ", nullptr, 77));
    ASSERT_TRUE(RegWriteDword("AutoUpdate", "Software\\VANDREL\\TavDJ", 3));
    EXPECT_TRUE(RegReadDword("autoupdate", "software\\vandrel\\tavdj", &out, 77));
    EXPECT_EQ(out, 3u);
    EXPECT_EQ(GetAppRegistry().StorePath(), GetAppDataFolder() + "registry.txt");
    EXPECT_TRUE(FileExists(GetAppRegistry().StorePath().c_str()));

    platform::Registry reg = GetAppRegistry();
    ASSERT_TRUE(reg.SetValue(platform::RegRoot::ClassesRoot, "http\\shell\\open\\command", "",
        platform::RegValue { platform::RegType::String, "browser \"%1\"", 0 }));
    std::string text;
    EXPECT_TRUE(RegReadStringHKCR("http\\shell\\open\\command", "", &text));
    EXPECT_EQ(text, "browser \"%1\"");
    EXPECT_FALSE(RegReadStringHKCR("http\\shell\\open\\command", "none", &text));

    std::string folder;
    EXPECT_TRUE(ReadShellFolder("AppData", &folder));
    EXPECT_EQ(folder, home.Path("data"));
    EXPECT_TRUE(ReadShellFolder("Personal", &folder, platform::RegRoot::LocalMachine));
    EXPECT_EQ(folder, home.Path("docs"));
    EXPECT_FALSE(ReadShellFolder("Fonts", &folder));
    EXPECT_FALSE(ReadShellFolder(nullptr, &folder));
}

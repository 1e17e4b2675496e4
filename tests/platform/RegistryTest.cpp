#include "platform/Registry.h"

#include "support/TempHome.h"

#include <fstream>

#include <gtest/gtest.h>

using platform::Registry;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;

namespace {

RegValue Sz(std::string text, RegType type = RegType::String)
{
    return RegValue { type, std::move(text), 0 };
}
RegValue Dword(uint32_t n)
{
    return RegValue { RegType::Dword, {}, n };
}

} // namespace

TEST(Registry, KeysValuesAndEnumeration)
{
    TempHome home;
    Registry reg(home.Path("registry.txt"));
    const char* kApps = "AppEvents\\Schemes\\Apps";
    EXPECT_FALSE(reg.KeyExists(RegRoot::CurrentUser, kApps));
    ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, "AppEvents\\Schemes\\Apps\\.Default\\SystemAsterisk\\.Current", "",
        Sz("%SystemRoot%\\media\\ding.wav", RegType::ExpandString)));
    ASSERT_TRUE(reg.CreateKey(RegRoot::CurrentUser, "appevents\\schemes\\apps\\Explorer\\"));
    ASSERT_TRUE(reg.CreateKey(RegRoot::CurrentUser, "AppEvents\\Schemes\\Apps\\\\.default"));
    EXPECT_TRUE(reg.KeyExists(RegRoot::CurrentUser, "APPEVENTS\\schemes"));
    EXPECT_FALSE(reg.KeyExists(RegRoot::LocalMachine, kApps));
    EXPECT_EQ(reg.SubKeyNames(RegRoot::CurrentUser, kApps), (std::vector<std::string> { ".Default", "Explorer" }));
    EXPECT_EQ(reg.SubKeyNames(RegRoot::CurrentUser, ""), (std::vector<std::string> { "AppEvents" }));

    std::string sub = "Software\\VANDREL\\TavDJ";
    ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, sub, "AutoUpdate", Dword(0xFFFFFFFFu)));
    ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, sub, "Name", Sz("line1\nline2 \"q\" \\ end")));
    ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, sub, "autoupdate", Dword(7)));
    ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, sub, "", Sz("default")));
    EXPECT_EQ(reg.ValueNames(RegRoot::CurrentUser, sub), (std::vector<std::string> { "AutoUpdate", "Name", "" }));

    // A second object on the same file sees everything (the state is the file).
    Registry again(reg.StorePath());
    RegValue v;
    ASSERT_TRUE(again.GetValue(RegRoot::CurrentUser, sub, "AUTOUPDATE", &v));
    EXPECT_EQ(v.type, RegType::Dword);
    EXPECT_EQ(v.dword, 7u);
    ASSERT_TRUE(again.GetValue(RegRoot::CurrentUser, sub, "Name", &v));
    EXPECT_EQ(v.text, "line1\nline2 \"q\" \\ end");
    ASSERT_TRUE(again.GetValue(RegRoot::CurrentUser, sub, "", &v));
    EXPECT_EQ(v.text, "default");
    ASSERT_TRUE(
        again.GetValue(RegRoot::CurrentUser, "AppEvents\\Schemes\\Apps\\.Default\\SystemAsterisk\\.Current", "", &v));
    EXPECT_EQ(v.type, RegType::ExpandString);
    EXPECT_EQ(v.text, "%SystemRoot%\\media\\ding.wav");
    EXPECT_FALSE(again.GetValue(RegRoot::CurrentUser, sub, "Missing", &v));

    EXPECT_TRUE(reg.DeleteValue(RegRoot::CurrentUser, sub, "name"));
    EXPECT_FALSE(reg.DeleteValue(RegRoot::CurrentUser, sub, "name"));
    EXPECT_TRUE(reg.DeleteKey(RegRoot::CurrentUser, "AppEvents\\Schemes"));
    EXPECT_FALSE(reg.KeyExists(RegRoot::CurrentUser, kApps));
    EXPECT_TRUE(reg.KeyExists(RegRoot::CurrentUser, "AppEvents"));
    EXPECT_TRUE(reg.GetValue(RegRoot::CurrentUser, sub, "AutoUpdate", nullptr));
    EXPECT_FALSE(reg.DeleteKey(RegRoot::CurrentUser, ""));
}

TEST(Registry, SurvivesHandEditedAndHostileStores)
{
    TempHome home;
    std::string path = home.Path("registry.txt");
    std::ofstream(path, std::ios::binary) << "garbage line\r\n\"Orphan\"=sz:x\r\n"
                                             "[HKEY_CURRENT_USER\\Software\\A]\r\n"
                                             "\"Good\"=dword:0000002A\r\n"
                                             "\"Short\"=dword:2a\r\n"
                                             "\"BadHex\"=dword:0000002g\r\n"
                                             "\"Unknown\"=binary:00\r\n"
                                             "\"Unclosed=sz:x\r\n"
                                             "\"BadEscape\"=sz:a\\q\r\n"
                                             "\"Good\"=dword:00000001\r\n"
                                             "@=sz:top\r\n"
                                             "[HKEY_NOWHERE\\X]\r\n"
                                             "\"Lost\"=sz:x\r\n"
                                             "[HKEY_CURRENT_USER\\"
                                          << std::string(300, 'k') << "]\r\n"
                                          << "\"Long\"=sz:x\r\n";
    Registry reg(path);
    RegValue v;
    ASSERT_TRUE(reg.GetValue(RegRoot::CurrentUser, "Software\\A", "Good", &v));
    EXPECT_EQ(v.dword, 42u);
    EXPECT_EQ(reg.ValueNames(RegRoot::CurrentUser, "Software\\A"), (std::vector<std::string> { "Good", "" }));
    EXPECT_EQ(reg.SubKeyNames(RegRoot::CurrentUser, ""), (std::vector<std::string> { "Software" }));

    // Names the store cannot hold are refused.
    EXPECT_FALSE(reg.SetValue(RegRoot::CurrentUser, std::string(300, 'k'), "v", Dword(1)));
    EXPECT_FALSE(reg.SetValue(RegRoot::CurrentUser, "A\nB", "v", Dword(1)));
    EXPECT_FALSE(reg.SetValue(RegRoot::CurrentUser, "A", "line\nbreak", Dword(1)));
    EXPECT_FALSE(reg.CreateKey(RegRoot::CurrentUser, "\\\\"));
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "k\\";
    EXPECT_FALSE(reg.CreateKey(RegRoot::CurrentUser, deep));
    ASSERT_TRUE(reg.SetValue(RegRoot::CurrentUser, "A", "nul", Sz(std::string("ab\0cd", 5))));
    ASSERT_TRUE(reg.GetValue(RegRoot::CurrentUser, "A", "nul", &v));
    EXPECT_EQ(v.text, "ab");

    // A store with more keys than the bound reads as unreadable and is kept.
    std::string crowded = home.Path("crowded.txt");
    {
        std::ofstream out(crowded, std::ios::binary);
        for (size_t i = 0; i <= Registry::kMaxKeys; ++i)
            out << "[HKEY_CURRENT_USER\\K" << i << "]\n";
    }
    Registry many(crowded);
    EXPECT_FALSE(many.KeyExists(RegRoot::CurrentUser, "K1"));
    EXPECT_FALSE(many.CreateKey(RegRoot::CurrentUser, "New"));

    // A store that cannot be read is not replaced by an empty one.
    Registry folder(home.Path());
    EXPECT_FALSE(folder.SetValue(RegRoot::CurrentUser, "A", "v", Dword(1)));
    EXPECT_FALSE(folder.KeyExists(RegRoot::CurrentUser, "A"));
}

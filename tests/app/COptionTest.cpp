#include "app/COption.h"

#include "engine/stream/CDJDataMan.h"
#include "engine/stream/CSysSoundOff2.h"
#include "foundation/AppRegistry.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"
#include "platform/IniFile.h"
#include "support/EditSettings.h"

#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

namespace {

constexpr const char* kOptionKey = "SOFTWARE\\VANDREL\\TavDJ\\Option";

// Everything COption stores, for comparing two objects in one go.
auto Stored(const COption& o)
{
    return std::make_tuple(o.m_bUpdateAllowAutoCheck, o.m_bUpdateNoticeImportant, o.m_bUpdateNoticeMinor,
        o.m_nLocalServ, o.m_strNationalAddress, o.m_nAudience, o.m_nUseIntroSound, o.m_strIntroSound, o.m_strMent,
        o.m_nMainLeft, o.m_nMainTop, o.m_nMainWidth, o.m_nMainHeight, o.m_nMiniBrowserLeft, o.m_nMiniBrowserTop,
        o.m_nMiniBrowserWidth, o.m_nMiniBrowserHeight, o.m_nSEShow, o.m_nShowMiniBrowser, o.m_strReachTestHost,
        o.m_strRequestBoardRoot);
}

void SetEverything(COption& o, int seed)
{
    o.m_bUpdateAllowAutoCheck = false;
    o.m_bUpdateNoticeImportant = seed % 2 == 0;
    o.m_bUpdateNoticeMinor = false;
    o.m_nLocalServ = 0;
    o.m_strNationalAddress = "203.0.113." + std::to_string(seed);
    o.m_nAudience = 80 + seed;
    o.m_nUseIntroSound = 1;
    o.m_strIntroSound = "/음악/인트로 " + std::to_string(seed) + ".mp3";
    o.m_strMent = "오늘의 노래 — Café ☕ " + std::to_string(seed);
    o.m_nMainLeft = -20 - seed;
    o.m_nMainTop = 10 + seed;
    o.m_nMainWidth = 640 + seed;
    o.m_nMainHeight = 480 + seed;
    o.m_nMiniBrowserLeft = 700 + seed;
    o.m_nMiniBrowserTop = 5 + seed;
    o.m_nMiniBrowserWidth = 300 + seed;
    o.m_nMiniBrowserHeight = 200 + seed;
    o.m_nSEShow = 2 + seed;
    o.m_nShowMiniBrowser = 1;
    o.m_strReachTestHost = "127.0.0.1:" + std::to_string(31200 + seed);
    o.m_strRequestBoardRoot = "http://board" + std::to_string(seed) + ".example.org";
}

class OptionTest : public ::testing::Test {
protected:
    void TearDown() override { RestoreSystemSounds(); }

    TempHome m_home;
};

} // namespace

TEST_F(OptionTest, FirstStartHoldsTheDefaultsAndTheFirstSaveWritesThemAll)
{
    COption option;
    EXPECT_EQ(option.SettingsPath(), GetAppDataFolder() + "SETTING.ini");
    EXPECT_EQ(option.m_strDefaultFolder, GetDocumentsFolder());
    EXPECT_EQ(std::tie(option.m_strLocalServAddress, option.m_nLocalServPort, option.m_strLocalServPasswd),
        std::make_tuple(std::string("localhost"), 8000, std::string("tarnwick")));
    EXPECT_EQ(Stored(option),
        std::make_tuple(true, true, true, 1, std::string(), 50, 0, GetModuleFolder() + "Intro.mp3", std::string(), -1,
            -1, -1, -1, -1, -1, -1, -1, 0, 0, std::string(), std::string()));
    EXPECT_FALSE(FileExists(option.SettingsPath().c_str()));
    EXPECT_FALSE(GetAppRegistry().KeyExists(platform::RegRoot::CurrentUser, kOptionKey));

    ASSERT_TRUE(option.Save());
    for (const char* name : { "bUpdateAllowAutoCheck", "bUpdateNoticeImportant", "bUpdateNoticeMinor" }) {
        uint32_t value = 0;
        EXPECT_TRUE(RegReadDword(name, kOptionKey, &value, 7)) << name;
        EXPECT_EQ(value, 1u) << name;
    }
    platform::IniFile ini;
    ASSERT_EQ(ini.Load(option.SettingsPath()), platform::IniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.KeyNames("Network"),
        (std::vector<std::string> { "LocalServ", "NationalAddress", "ReachTestHost", "RequestBoardRoot", "Audience",
            "UseIntroSound", "IntroSound" }));
    EXPECT_EQ(ini.KeyNames("Song"), std::vector<std::string> { "Ment" });
    EXPECT_EQ(ini.KeyNames("Skin").size(), 10u);
    EXPECT_EQ(ini.Find("Skin", "MainLeft"), "-1");
    EXPECT_EQ(ini.Find("Network", "IntroSound"), GetModuleFolder() + "Intro.mp3");
}

TEST_F(OptionTest, SavedFieldsLoadBackAndResetKeepsThePanelStatesAndTheTestService)
{
    const std::string file = m_home.Path("SETTING.ini");
    {
        COption option(file);
        SetEverything(option, 3);
        // Leaving saves.
    }
    COption loaded(file);
    COption expected(m_home.Path("other.ini"));
    SetEverything(expected, 3);
    EXPECT_EQ(Stored(loaded), Stored(expected));

    loaded.m_nLocalServPort = 0;
    loaded.ResetServerDefaults();
    ASSERT_TRUE(loaded.Save());
    COption reset(file);
    COption fresh(m_home.Path("fresh.ini"));
    fresh.m_nSEShow = 5;
    fresh.m_nShowMiniBrowser = 1;
    fresh.m_strReachTestHost = "127.0.0.1:31203";
    fresh.m_strRequestBoardRoot = "http://board3.example.org";
    EXPECT_EQ(Stored(reset), Stored(fresh));
    EXPECT_EQ(loaded.m_nLocalServPort, 8000);
}

TEST_F(OptionTest, EngineAndShellShareOneSettingsFileWithoutLosingKeys)
{
    const std::string file = m_home.Path("SETTING.ini");
    CDJDataMan engine(file);
    COption option(file);
    EditSettings(engine, [](DJSettings& s) { s.m_nSystemSoundOff = 0; });

    // Both keep keys in [Network] and [Song]; each save rewrites only its own.
    for (int round = 0; round < 3; ++round) {
        EditSettings(engine, [round](DJSettings& s) {
            s.m_strAddress = "radio" + std::to_string(round) + ".example.org";
            s.m_nPort = 8000 + round;
            s.m_strName = "방송국 " + std::to_string(round);
        });
        SetEverything(option, round);
        if (round % 2 == 0) {
            ASSERT_TRUE(engine.SaveSettings());
            ASSERT_TRUE(option.Save());
        } else {
            ASSERT_TRUE(option.Save());
            ASSERT_TRUE(engine.SaveSettings());
        }
    }

    // Saves from two threads at once: every key still holds its writer's value.
    SetEverything(option, 9);
    EditSettings(engine, [](DJSettings& s) { s.m_strAddress = "last.example.org"; });
    {
        std::jthread shell([&] {
            for (int i = 0; i < 5; ++i)
                EXPECT_TRUE(option.Save());
        });
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(engine.SaveSettings());
    }

    CDJDataMan engineLoaded(file);
    engineLoaded.LoadSettings();
    EXPECT_EQ(engineLoaded.Settings().m_strAddress, "last.example.org");
    EXPECT_EQ(engineLoaded.Settings().m_nPort, 8002);
    EXPECT_EQ(engineLoaded.Settings().m_strName, "방송국 2");
    COption optionLoaded(file);
    EXPECT_EQ(Stored(optionLoaded), Stored(option));
}

#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CSysSoundOff2.h"
#include "foundation/AppRegistry.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"
#include "platform/Files.h"

#include "support/EditSettings.h"
#include "support/TempHome.h"

#include <fstream>

#include <gtest/gtest.h>

namespace {

class Settings : public ::testing::Test {
protected:
    void TearDown() override { RestoreSystemSounds(); }

    void Write(const std::string& text) { std::ofstream(m_file, std::ios::binary) << text; }
    std::string Read() const
    {
        std::string text;
        EXPECT_TRUE(platform::ReadWholeFile(m_file, 1 << 20, &text));
        return text;
    }
    std::string Docs(const std::string& sub) const { return m_home.Path("docs/" + sub); }

    TempHome m_home;
    std::string m_file = m_home.Path("SETTING.ini");
};

} // namespace

TEST_F(Settings, MissingFileLoadsDefaultsAndCreatesTheRecordingFolder)
{
    CDJDataMan dm;
    EXPECT_EQ(dm.SettingsPath(), GetAppDataFolder() + "SETTING.ini");
    EditSettings(dm, [](DJSettings& s) { s.m_nSystemSoundOff = 5; });
    dm.LoadSettings();
    EXPECT_EQ(dm.GetFadeStep(), 20);
    EXPECT_EQ(dm.Settings().m_strGenre, "가요");
    EXPECT_EQ(dm.Settings().m_nFormatN, 3);
    EXPECT_EQ(dm.Settings().m_nSystemSoundOff, 1);
    EXPECT_EQ(dm.Settings().m_strPath, Docs("방송 갈무리"));
    EXPECT_TRUE(FolderExists(dm.Settings().m_strPath.c_str()));

    // The documents folder is already the program's own one.
    dm.LoadSettings("TavDJ");
    EXPECT_EQ(dm.Settings().m_strPath, Docs("TavDJ"));
    EXPECT_TRUE(FolderExists(dm.Settings().m_strPath.c_str()));
}

TEST_F(Settings, SavedSettingsLoadBackAndOtherKeysSurvive)
{
    Write("[Skin]\nLeft=-1\n[Network]\nProxy=none\n");
    CDJDataMan dm(m_file);
    EditSettings(dm, [&](DJSettings& s) {
        s.m_nFadeTime = 7;
        s.m_strPasswd = "p=ss;word";
        s.m_strAIM = "디제이";
        s.m_nSource = 3;
        s.m_nCodecN = 2;
        s.m_nFormatN = 0;
        s.m_strPath = m_home.Path("rec");
        s.m_nSystemSoundOff = 0;
        s.m_nSongRequest = 1;
    });
    ASSERT_TRUE(dm.SaveSettings());

    CDJDataMan loaded(m_file);
    loaded.LoadSettings();
    EXPECT_EQ(loaded.GetFadeStep(), 7);
    EXPECT_EQ(loaded.Settings().m_strPasswd, "p=ss;word");
    EXPECT_EQ(loaded.Settings().m_strAIM, "디제이");
    EXPECT_EQ(loaded.Settings().m_nSource, 3);
    EXPECT_EQ(loaded.Settings().m_nCodecN, 2);
    EXPECT_EQ(loaded.Settings().m_nFormatN, 0);
    EXPECT_EQ(loaded.Settings().m_strPath, m_home.Path("rec"));
    EXPECT_TRUE(FolderExists(loaded.Settings().m_strPath.c_str()));
    EXPECT_EQ(loaded.Settings().m_nSystemSoundOff, 0);
    EXPECT_EQ(loaded.Settings().m_nSongRequest, 1);
    EXPECT_EQ(loaded.GetKeptTitle(), ""); // titles are never kept

    EXPECT_EQ(IniGetInt("Skin", "Left", 0, m_file), -1);
    EXPECT_EQ(IniGetString("Network", "Proxy", m_file, ""), "none");
    EXPECT_EQ(IniGetString("Song", "Title", m_file, "absent"), "");

    // A value the file cannot hold is refused without stopping the others.
    EditSettings(dm, [](DJSettings& s) {
        s.m_strAIM = "two\nlines";
        s.m_nSongRequest = 0;
    });
    EXPECT_FALSE(dm.SaveSettings());
    EXPECT_EQ(IniGetString("SHOUTcast", "AIM", m_file, ""), "디제이");
    EXPECT_EQ(IniGetInt("SongRequest", "SongRequest", 1, m_file), 0);

    // Sections follow the shell's, then in the order they are listed.
    std::string text = Read();
    size_t at = text.find("[Network]");
    for (const char* section : { "[Volume]", "[DSP]", "[SHOUTcast]", "[Source]", "[Encoding]", "[Song]", "[Connect]",
             "[Capture]", "[NormalMode]", "[SystemSoundOff]", "[TitleWithCJName]", "[AddYP]", "[SongRequest]" }) {
        size_t next = text.find(section);
        ASSERT_NE(next, std::string::npos) << section;
        EXPECT_GT(next, at) << section;
        at = next;
    }
}

TEST_F(Settings, UnusableStoredValuesAreCorrected)
{
    Write("[SHOUTcast]\nName=\n[Source]\nVolume=0\n[Encoding]\nCodecN=0\n");
    CDJDataMan dm(m_file);
    dm.LoadSettings();
    EXPECT_EQ(dm.Settings().m_strName, "TavDJ 방송국");
    EXPECT_EQ(dm.Settings().m_nVolume, 32767);
    EXPECT_EQ(dm.Settings().m_nFormatN, 3);

    Write("[Source]\nVolume=-20\n[Encoding]\nCodecN=2\n");
    dm.LoadSettings();
    EXPECT_EQ(dm.Settings().m_nVolume, 32767);
    EXPECT_EQ(dm.Settings().m_nFormatN, 0);

    Write("[Encoding]\nCodecN=0\nFormatN=-1\n");
    dm.LoadSettings();
    EXPECT_EQ(dm.Settings().m_nFormatN, 3);

    // Other values outside the preset table stay as stored; the preset
    // lookups answer them with the default row.
    Write("[Encoding]\nCodecN=0\nFormatN=12\n");
    dm.LoadSettings();
    EXPECT_EQ(dm.Settings().m_nFormatN, 12);
}

TEST_F(Settings, ACrlfFileWithADriveLetterPathLoadsAndKeepsItsLineEnds)
{
    Write("[Volume]\r\nNormal=40000\r\nFadeTime=10\r\n"
          "[Network]\r\nAddress=radio.example.kr\r\nPort=8010\r\n"
          "[SHOUTcast]\r\nName=우리 방송국\r\nAIM=진행자\r\nGenre=발라드\r\n"
          "[Capture]\r\nEnable=1\r\nPath=C:\\Users\\dj\\Documents\\TavDJ\r\n"
          "[SystemSoundOff]\r\nSystemSoundOff=0\r\n");
    CDJDataMan dm(m_file);
    dm.LoadSettings("TavDJ");
    EXPECT_EQ(dm.GetFadeStep(), 10);
    EXPECT_EQ(dm.Settings().m_nPort, 8010);
    EXPECT_EQ(dm.Settings().m_strName, "우리 방송국");
    EXPECT_EQ(dm.Settings().m_strGenre, "발라드");
    EXPECT_EQ(dm.Settings().m_strPath, "C:\\Users\\dj\\Documents\\TavDJ");
    EXPECT_FALSE(FolderExists(dm.Settings().m_strPath.c_str()));
    EXPECT_EQ(dm.Settings().m_nSystemSoundOff, 0);

    ASSERT_TRUE(dm.SaveSettings());
    std::string text = Read();
    EXPECT_NE(text.find("Name=우리 방송국\r\n"), std::string::npos);
    EXPECT_NE(text.find("[SongRequest]\r\nSongRequest=0\r\n"), std::string::npos);
    for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
        ASSERT_EQ(text[i - 1], '\r') << "bare line end at " << i;
}

TEST_F(Settings, ResetRestoresDefaultsAndMutesTheEventSounds)
{
    const std::string sound = std::string(CSysSoundOff2::kEventSoundsKey) + "\\.Default\\SystemHand\\.Current";
    platform::Registry reg = GetAppRegistry();
    ASSERT_TRUE(reg.SetValue(platform::RegRoot::CurrentUser, sound, "", { platform::RegType::String, "stop.wav", 0 }));
    auto currentSound = [&] {
        platform::RegValue v;
        EXPECT_TRUE(reg.GetValue(platform::RegRoot::CurrentUser, sound, "", &v));
        return v.text;
    };

    Write("[SystemSoundOff]\nSystemSoundOff=0\n[Encoding]\nCodecN=1\nFormatN=5\n[Song]\nTitle=kept\n");
    CDJDataMan dm(m_file);
    dm.LoadSettings();
    EXPECT_EQ(currentSound(), "stop.wav");
    EXPECT_EQ(dm.GetKeptTitle(), "kept");

    EditSettings(dm, [](DJSettings& s) { s.m_strName = "x"; });
    (void)dm.StartTalkOverFade(true);
    ASSERT_TRUE(dm.IsTalkOver());
    dm.ResetSettings();
    EXPECT_EQ(dm.Settings().m_strName, "TavDJ 방송국");
    EXPECT_EQ(dm.Settings().m_nFormatN, 3);
    EXPECT_EQ(dm.Settings().m_nSystemSoundOff, 1);
    EXPECT_FALSE(dm.IsTalkOver());
    EXPECT_EQ(dm.Settings().m_strPath, Docs("TavDJ"));
    EXPECT_TRUE(FolderExists(dm.Settings().m_strPath.c_str()));
    EXPECT_EQ(currentSound(), "");

    ASSERT_TRUE(dm.SaveSettings());
    EXPECT_EQ(IniGetInt("SystemSoundOff", "SystemSoundOff", 0, m_file), 1);
    EXPECT_EQ(IniGetInt("Encoding", "FormatN", -1, m_file), 3);
    EXPECT_EQ(dm.GetKeptTitle(), "kept") << "a reset keeps the title";
    EXPECT_EQ(IniGetString("Song", "Title", m_file, "absent"), "") << "titles are never kept";

    // Loading a file that switches it off puts the sound back.
    IniWriteInt("SystemSoundOff", "SystemSoundOff", 0, m_file);
    dm.LoadSettings();
    EXPECT_EQ(currentSound(), "stop.wav");
}

TEST_F(Settings, ServerTypeMountAndUserLoadMendedAndAFileWithoutThemStaysShoutcast)
{
    struct Row {
        const char* file;
        int type;
        const char* mount;
        const char* user;
    };
    const Row rows[] = {
        { "[Network]\nAddress=radio.example\nPort=8000\n", 0, "/live", "source" },
        { "[Network]\nServerType=1\nMount=/radio\nUser=dj\n", 1, "/radio", "dj" },
        { "[Network]\nServerType=1\nMount=  stream.mp3 \n", 1, "/stream.mp3", "source" },
        { "[Network]\nServerType=1\nMount=\n", 1, "/live", "source" },
        // Basic credentials with an empty user name are refused.
        { "[Network]\nServerType=1\nUser=\n", 1, "/live", "source" },
        { "[Network]\nServerType=7\nMount=/a/b\n", 0, "/a/b", "source" },
        { "[Network]\nServerType=-1\n", 0, "/live", "source" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        Write(row.file);
        CDJDataMan dm(m_file);
        dm.LoadSettings();
        EXPECT_EQ(dm.Settings().m_nServerType, row.type);
        EXPECT_EQ(dm.Settings().m_strMount, row.mount);
        EXPECT_EQ(dm.Settings().m_strUser, row.user);

        // Saved as loaded, beside the server they belong to.
        ASSERT_TRUE(dm.SaveSettings());
        EXPECT_EQ(IniGetInt("Network", "ServerType", -5, m_file), row.type);
        EXPECT_EQ(IniGetString("Network", "Mount", m_file, ""), row.mount);
        EXPECT_EQ(IniGetString("Network", "User", m_file, ""), row.user);
        const std::string text = Read();
        EXPECT_LT(text.find("ServerType="), text.find("[SHOUTcast]"));

        dm.ResetSettings();
        EXPECT_EQ(dm.Settings().m_nServerType, 0);
        EXPECT_EQ(dm.Settings().m_strMount, "/live");
        EXPECT_EQ(dm.Settings().m_strUser, "source");
    }
}

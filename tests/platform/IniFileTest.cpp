#include "platform/IniFile.h"

#include "support/TempHome.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::IniFile;

namespace {

// A settings file as editors and other tools leave it: CRLF, quoted values,
// padding around '=', a duplicated section and key, a comment, negative
// geometry, a key outside any section and a line without '='.
constexpr const char* kToolWrittenFixture = "stray=outside\r\n"
                                            "[Network]\r\n"
                                            "ServerIP = 127.0.0.1 \r\n"
                                            "Port=8000\r\n"
                                            "Password=\"pa ss\"\r\n"
                                            "Title='quoted'\r\n"
                                            "Half=\"open\r\n"
                                            "port=9999\r\n"
                                            "; comment=ignored\r\n"
                                            "just a line\r\n"
                                            "\r\n"
                                            "[ Skin ]\r\n"
                                            "Left=-1\r\n"
                                            "Top=-25px\r\n"
                                            "Width=+640\r\n"
                                            "Empty=\r\n"
                                            "Word=abc\r\n"
                                            "Huge=99999999999\r\n"
                                            "[network]\r\n"
                                            "Port=1\r\n"
                                            "Late=seen only here\r\n";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(IniFile, ReadsCrlfQuotedPaddedAndDuplicatedEntries)
{
    IniFile ini;
    ini.Parse(kToolWrittenFixture);
    EXPECT_EQ(ini.GetString("NETWORK", "serverip", "x"), "127.0.0.1");
    EXPECT_EQ(ini.GetString("Network", "Password", "x"), "pa ss");
    EXPECT_EQ(ini.GetString("Network", "Title", "x"), "quoted");
    EXPECT_EQ(ini.GetString("Network", "Half", "x"), "\"open");
    EXPECT_EQ(ini.GetInt("Network", "Port", 0), 8000); // first duplicate wins
    EXPECT_EQ(ini.GetString("Network", "Late", "default"), "default"); // second [network] is shadowed
    EXPECT_EQ(ini.GetString("Network", "; comment", "none"), "none");
    EXPECT_EQ(ini.GetString("Network", "stray", "none"), "none");
    EXPECT_EQ(ini.GetString("Missing", "Port", "dflt"), "dflt");

    EXPECT_EQ(ini.GetInt("skin", "Left", 5), -1);
    EXPECT_EQ(ini.GetInt("Skin", "Top", 5), -25);
    EXPECT_EQ(ini.GetInt("Skin", "Width", 5), 640);
    EXPECT_EQ(ini.GetInt("Skin", "Empty", 5), 5);
    EXPECT_EQ(ini.GetString("Skin", "Empty", "d"), "");
    EXPECT_EQ(ini.GetInt("Skin", "Word", 5), 0);
    EXPECT_EQ(ini.GetInt("Skin", "Huge", 5), static_cast<int>(99999999999ull & 0xFFFFFFFFu));
    EXPECT_EQ(ini.GetInt("Skin", "Missing", 7), 7);

    EXPECT_EQ(ini.KeyNames("network"), (std::vector<std::string> { "ServerIP", "Port", "Password", "Title", "Half" }));
    EXPECT_TRUE(ini.KeyNames("nothing").empty());

    ini.Parse("\xEF\xBB\xBF[A]\nk=v"); // LF, BOM, no final line end
    EXPECT_EQ(ini.GetString("a", "K", ""), "v");
}

TEST(IniFile, EditsInPlaceAndKeepsTheRest)
{
    IniFile ini;
    ini.Parse(kToolWrittenFixture);
    ASSERT_TRUE(ini.SetString("network", "PORT", "8001"));
    ASSERT_TRUE(ini.SetString("Skin", "Height", "480"));
    ASSERT_TRUE(ini.SetString("New", "Key", "v=1"));
    std::string text = ini.Serialize();
    EXPECT_NE(text.find("Port=8001\r\nPassword"), std::string::npos);
    EXPECT_NE(text.find("Huge=99999999999\r\nHeight=480\r\n[network]"), std::string::npos);
    EXPECT_NE(text.find("Late=seen only here\r\n\r\n[New]\r\nKey=v=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("; comment=ignored\r\njust a line\r\n"), std::string::npos);

    // A key added to an empty section goes right under its header.
    ini.Parse("[A]\n\n[B]\nx=1\n");
    ASSERT_TRUE(ini.SetString("A", "k", "v"));
    EXPECT_EQ(ini.Serialize(), "[A]\nk=v\n\n[B]\nx=1\n");

    EXPECT_TRUE(ini.DeleteKey("b", "X"));
    EXPECT_FALSE(ini.DeleteKey("b", "X"));
    EXPECT_TRUE(ini.DeleteSection("a"));
    EXPECT_EQ(ini.Serialize(), "[B]\n");
}

TEST(IniFile, RefusesWhatCouldNotBeReadBack)
{
    IniFile ini;
    ini.Parse("[S]\nk=v\n");
    EXPECT_FALSE(ini.SetString("S", "k", "a\r\n[Evil]\r\nx=1"));
    EXPECT_FALSE(ini.SetString("S]x", "k", "v"));
    EXPECT_FALSE(ini.SetString("S", "a=b", "v"));
    EXPECT_FALSE(ini.SetString("S", "", "v"));
    EXPECT_FALSE(ini.SetString("", "k", "v"));
    EXPECT_FALSE(ini.SetString("S", ";k", "v"));
    EXPECT_EQ(ini.Serialize(), "[S]\nk=v\n");
}

TEST(IniFile, FileRoundTripAndUnreadableFiles)
{
    TempHome home;
    std::string path = home.Path("setting.ini");
    EXPECT_TRUE(platform::WritePrivateProfileString("Song", "Title", "노래 제목", path));
    EXPECT_TRUE(platform::WritePrivateProfileString("Song", "Artist", "  padded  ", path));
    EXPECT_TRUE(platform::WritePrivateProfileString("Skin", "Left", "-1", path));
    EXPECT_TRUE(platform::WritePrivateProfileString("Song", "title", "새 제목", path));
    EXPECT_EQ(ReadAll(path), "[Song]\nTitle=새 제목\nArtist=  padded  \n\n[Skin]\nLeft=-1\n");
    EXPECT_EQ(platform::GetPrivateProfileString("song", "TITLE", "", path), "새 제목");
    EXPECT_EQ(platform::GetPrivateProfileString("song", "Artist", "", path), "padded");
    EXPECT_EQ(platform::GetPrivateProfileInt("Skin", "Left", 0, path), -1);
    EXPECT_EQ(platform::GetPrivateProfileKeyNames("SONG", path), (std::vector<std::string> { "Title", "Artist" }));

    EXPECT_TRUE(platform::WritePrivateProfileString("Song", "Artist", nullptr, path));
    EXPECT_TRUE(platform::WritePrivateProfileString("Skin", nullptr, nullptr, path));
    EXPECT_TRUE(platform::WritePrivateProfileString("Gone", nullptr, nullptr, path));
    EXPECT_EQ(ReadAll(path), "[Song]\nTitle=새 제목\n\n");

    // Existing CRLF files stay CRLF.
    std::ofstream(path, std::ios::binary) << "[A]\r\nx=1\r\n";
    EXPECT_TRUE(platform::WritePrivateProfileString("A", "y", "2", path));
    EXPECT_EQ(ReadAll(path), "[A]\r\nx=1\r\ny=2\r\n");

    // A batch is one rewrite: what can be stored is, a bad key fails it.
    EXPECT_TRUE(platform::WritePrivateProfileStrings({ { "A", "x", "3" }, { "B", "z", "새" } }, path));
    EXPECT_EQ(ReadAll(path), "[A]\r\nx=3\r\ny=2\r\n\r\n[B]\r\nz=새\r\n");
    EXPECT_FALSE(platform::WritePrivateProfileStrings({ { "A", "k=", "1" }, { "A", "y", "4" } }, path));
    EXPECT_EQ(platform::GetPrivateProfileInt("A", "y", 0, path), 4);

    // A file too large to read is neither read nor overwritten.
    std::string big = home.Path("big.ini");
    std::ofstream(big, std::ios::binary) << "[A]\nk=v\n" << std::string(IniFile::kMaxFileBytes, ';');
    EXPECT_EQ(platform::GetPrivateProfileString("A", "k", "d", big), "d");
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "k", "w", big));
    EXPECT_FALSE(platform::WritePrivateProfileStrings({ { "A", "k", "w" } }, big));
    struct stat st { };
    ASSERT_EQ(stat(big.c_str(), &st), 0);
    EXPECT_GT(static_cast<size_t>(st.st_size), IniFile::kMaxFileBytes);

    std::string lines = home.Path("lines.ini");
    std::ofstream(lines, std::ios::binary) << "[A]\nk=v" << std::string(IniFile::kMaxLines, '\n');
    EXPECT_EQ(platform::GetPrivateProfileString("A", "k", "d", lines), "d");
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "k", "w", lines));

    EXPECT_EQ(platform::GetPrivateProfileString("A", "k", "d", home.Path()), "d");
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "k", "w", home.Path()));
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "k", "w", home.Path("no/such/dir.ini")));
}

#include "foundation/Paths.h"
#include "foundation/DebugTrace.h"

#include "support/TempHome.h"

#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(Paths, JoinPathPutsExactlyOneSeparator)
{
    for (const char* base : { "C:\\a", "C:\\a\\" }) {
        for (const char* name : { "b", "\\b" })
            EXPECT_EQ(JoinPath(base, name, "\\"), "C:\\a\\b") << base << " + " << name;
    }
    EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "/b");
}

TEST(Paths, ParentFolderAndExtension)
{
    EXPECT_EQ(GetParentFolder("/x/skins/blue/"), "/x/skins/");
    EXPECT_EQ(GetParentFolder("/x/skins/blue"), "/x/skins/");
    EXPECT_EQ(GetParentFolder("/x/skins/blue.zip"), "/x/skins/");
    EXPECT_EQ(GetParentFolder("name"), "");
    EXPECT_EQ(GetParentFolder(""), "");

    EXPECT_EQ(GetFileExtension("/a/b/skin.ZIP"), ".ZIP");
    EXPECT_EQ(GetFileExtension("/a/b.d/skin"), "");
    EXPECT_EQ(GetFileExtension("skins\\b.d\\skin"), "");
    EXPECT_EQ(GetFileExtension("x.tar.gz"), ".gz");
    EXPECT_EQ(GetFileExtension(nullptr), "");
}

TEST(Paths, ProgramDataFolderTakesTheDataOverrideThenTheProgramFolderThenTheExecutables)
{
    TempHome home;
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const std::string exeFolder = GetParentFolder(exe);
    const struct {
        bool bData;
        bool bProgram;
        std::string expected;
    } cases[] = {
        { true, true, home.Path("data") + "/" },
        { false, true, home.Path("program") + "/" },
        // The build tree: nothing installed beside the executable's folder.
        { false, false, exeFolder },
    };
    for (const auto& c : cases) {
        home.Set("TAVDJ_DATA_DIR", c.bData ? std::optional<std::string>(home.Path("data")) : std::nullopt);
        home.Set("TAVDJ_PROGRAM_DIR", c.bProgram ? std::optional<std::string>(home.Path("program")) : std::nullopt);
        EXPECT_EQ(GetProgramDataFolder(), c.expected) << c.bData << c.bProgram;
    }
    // The log folder stays with the program, wherever its data lies.
    home.Set("TAVDJ_DATA_DIR", home.Path("data"));
    EXPECT_EQ(GetModuleFolder(), exeFolder);
}

TEST(Paths, FoldersFollowTheEnvironment)
{
    TempHome home;
    EXPECT_EQ(GetModuleFolder(), home.Path("program") + "/");
    EXPECT_EQ(GetTempFolder(), home.Path("tmp") + "/");
    EXPECT_EQ(GetDocumentsFolder(), home.Path("docs") + "/TavDJ/");
    EXPECT_FALSE(FolderExists(GetDocumentsFolder().c_str()));

    std::string appData = GetAppDataFolder();
    EXPECT_EQ(appData, home.Path("data") + "/VANDREL/TavDJ/");
    EXPECT_TRUE(FolderExists(appData.c_str()));

    // Without XDG variables the usual places under the home are used.
    home.Set("XDG_DATA_HOME", std::nullopt);
    home.Set("XDG_DOCUMENTS_DIR", std::nullopt);
    EXPECT_EQ(GetAppDataFolder(), home.Path("home") + "/.local/share/VANDREL/TavDJ/");
    EXPECT_EQ(GetDocumentsFolder(), home.Path("home") + "/Documents/TavDJ/");
    std::ofstream(home.Path("config") + "/user-dirs.dirs") << "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(GetDocumentsFolder(), home.Path("home") + "/Dokumente/TavDJ/");

    // A data folder that cannot be created falls back to the program folder.
    std::ofstream(home.Path("blocker")) << "x";
    home.Set("XDG_DATA_HOME", home.Path("blocker"));
    EXPECT_EQ(GetAppDataFolder(), home.Path("program") + "/");
}

TEST(Paths, CreateFolderPathAndExistence)
{
    TempHome home;
    std::string deep = home.Path("a/b/c/");
    EXPECT_TRUE(CreateFolderPath(deep));
    EXPECT_TRUE(FolderExists(deep.c_str()));
    EXPECT_TRUE(CreateFolderPath(home.Path("a/b")));
    EXPECT_FALSE(FileExists(deep.c_str()));
    std::ofstream(home.Path("a/file")) << "x";
    EXPECT_TRUE(FileExists(home.Path("a/file").c_str()));
    EXPECT_FALSE(FolderExists(home.Path("a/file").c_str()));
    EXPECT_FALSE(CreateFolderPath(home.Path("a/file/sub")));
    EXPECT_FALSE(FileExists(nullptr));
    EXPECT_FALSE(FolderExists(home.Path("missing").c_str()));
}

TEST(Paths, CreateTempFileIsPrivateAndUnique)
{
    TempHome home;
    std::string first = CreateTempFile();
    std::string second = CreateTempFile();
    ASSERT_FALSE(first.empty());
    ASSERT_NE(first, second);
    std::string folder = home.Path("tmp") + "/tavdj-" + std::to_string(geteuid()) + "/";
    EXPECT_EQ(GetParentFolder(first), folder);
    EXPECT_EQ(GetPrivateTempFolder(), folder);
    std::smatch m;
    std::string name = first.substr(folder.size());
    EXPECT_TRUE(std::regex_match(name, m, std::regex("t[0-9]{2}[0-9a-f]{5}\\.tmp"))) << name;

    struct stat st { };
    ASSERT_EQ(stat(first.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A folder left open to others is closed again before use.
    chmod(folder.c_str(), 0777);
    EXPECT_FALSE(CreateTempFile().empty());
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(Paths, CreateTempFileRefusesAFolderItCannotTrust)
{
    TempHome home;
    std::string folder = home.Path("tmp") + "/tavdj-" + std::to_string(geteuid());
    ASSERT_EQ(symlink(home.Path("home").c_str(), folder.c_str()), 0);
    EXPECT_EQ(CreateTempFile(), "");
    EXPECT_EQ(GetPrivateTempFolder(), "");
    // A real folder that someone else owns is not trusted either.
    if (geteuid() == 0) {
        unlink(folder.c_str());
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(CreateTempFile(), "");
    }
}

TEST(DebugTrace, SilentUnlessAskedAndCutsLongLines)
{
    TempHome home;
    std::string log = home.Path("trace.log");
    home.Set(kDebugTraceEnv, std::nullopt);
    DebugTrace("secret %s", "pw");
    EXPECT_FALSE(FileExists(log.c_str()));

    home.Set(kDebugTraceEnv, log);
    DebugTrace("Mac adress - %s", "0011AABBCCDD");
    DebugTrace("%s", std::string(10000, 'x').c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Mac adress - 0011AABBCCDD\n" + std::string(4095, 'x') + "\n");
}

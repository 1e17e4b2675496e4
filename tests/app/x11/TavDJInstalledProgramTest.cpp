// The program as `cmake --install` lays it out under a prefix of the test's
// own, started through its desktop entry on a private X server and driven
// by X11 input: it finds its data beside its bin/ folder, shows its own
// icon, and serves the own server's status pages.
#include "peers/SoundFixtures.h"
#include "support/ChildProcess.h"
#include "support/CommandOutput.h"
#include "support/ProgramOnDisplay.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testutil::CommandOutput;
using testutil::ReadFile;
using testutil::VisibleWindow;

constexpr int kWaitMs = 30000;
// Where the default skin puts the start button (2004), and the listener
// readout (2017) with its caption.
constexpr const char* kStartButton = "100 119";
constexpr const char* kReadoutCrop = "110x44+628+92";
// The program's icon in the size a window's resource 128 names.
constexpr uint64_t kIconSize = 128;

template <class Done> bool WaitUntil(Done done, int boundMs = kWaitMs)
{
    return testutil::WaitUntil(done, boundMs);
}

std::string Quoted(const fs::path& path)
{
    // Appended, not prefixed: GCC 12 at -O3 misreads a literal put before
    // a temporary string as an overlapping copy.
    std::string quoted(1, '\'');
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

std::vector<uint64_t> Numbers(const std::string& text)
{
    std::vector<uint64_t> numbers;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (!word.empty() && word.back() == ',')
            word.pop_back();
        if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0])))
            numbers.push_back(std::stoull(word));
    }
    return numbers;
}

// The size x size picture of a window's _NET_WM_ICON as ARGB values; empty
// when the window has none of that size.
std::vector<uint32_t> WindowIcon(const std::string& window, uint64_t size)
{
    const std::string text = CommandOutput("xprop -notype -id " + window + " 32c _NET_WM_ICON");
    const size_t equals = text.find('=');
    if (equals == std::string::npos)
        return {};
    const std::vector<uint64_t> values = Numbers(text.substr(equals + 1));
    for (size_t at = 0; at + 2 <= values.size();) {
        const uint64_t width = values[at];
        const uint64_t height = values[at + 1];
        const size_t end = at + 2 + width * height;
        if (end > values.size())
            break;
        if (width == size && height == size)
            return { values.begin() + long(at) + 2, values.begin() + long(end) };
        at = end;
    }
    return {};
}

// A PNG's pixels as ARGB values, read through ImageMagick.
std::vector<uint32_t> PngPixels(const fs::path& png)
{
    const std::vector<uint64_t> bytes
        = Numbers(CommandOutput("convert " + Quoted(png) + " -depth 8 rgba:- | od -An -v -tu1"));
    std::vector<uint32_t> pixels;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        pixels.push_back(uint32_t(bytes[i + 3] << 24 | bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]));
    return pixels;
}

// Opaque pixels alike, every alpha within one step: the window system may
// have carried the picture premultiplied.
bool SamePicture(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.empty() || a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const int alphaA = int(a[i] >> 24);
        const int alphaB = int(b[i] >> 24);
        if (std::abs(alphaA - alphaB) > 1 || (alphaA == 255 && alphaB == 255 && a[i] != b[i]))
            return false;
    }
    return true;
}

class TavDJInstalledProgram : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb") && ToolOnPath("xdotool") && ToolOnPath("import") && ToolOnPath("convert")
                && ToolOnPath("xprop"),
            "Xvfb, xdotool, xprop and ImageMagick");
        TAVDJ_REQUIRE_TOOL(ToolOnPath("curl"), "curl");
        ASSERT_TRUE(m_xvfb.Start("1024x768x24"));
        testutil::ShowOnDisplay(m_home, m_xvfb.Display());
        m_home.Set("TAVDJ_ASSUME_ONLINE", "1");
        m_home.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/dev/null/no-bus");
        // The program's trace tells what the listener readout holds.
        m_home.Set("TAVDJ_DEBUG_TRACE", Trace().string());
        // The installed program finds everything relative to itself.
        m_home.Set("TAVDJ_PROGRAM_DIR", std::nullopt);
        m_home.Set("TAVDJ_DATA_DIR", std::nullopt);
        // Capture from a private sound server's monitor, as a desktop would.
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        peers::UseAlsaConfig(m_dir, m_env,
            "pcm.!default " + m_pulse.MonitorPcm() + "\nctl.!default { type pulse server \"unix:" + m_dir.Path()
                + "/native\" }\n");
        m_artifacts = testutil::TestArtifacts();
    }

    void Screenshot(const std::string& name) { testutil::Screenshot(m_artifacts, name); }

    fs::path Trace() const { return m_dir / "trace.log"; }
    // The listener readout holds text, as the program's trace last told.
    bool ReadoutShows(const std::string& text) const
    {
        const std::string trace = ReadFile(Trace());
        const size_t last = trace.rfind("청취자 표시 : ");
        return last != std::string::npos
            && trace.compare(last, trace.find('\n', last) - last, "청취자 표시 : " + text) == 0;
    }

    // A digest of what the listener readout shows.
    static std::string Readout(const std::string& window)
    {
        return CommandOutput(
            "import -window " + window + " png:- | convert png:- -crop " + kReadoutCrop + " -depth 8 rgb:- | md5sum");
    }

    // The port the own server listens on, from its log beside the program.
    int ServerPort() const
    {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(m_prefix / "bin" / "log", ignored)) {
            std::smatch port;
            const std::string log = ReadFile(entry.path());
            if (entry.path().filename().string().rfind("DJServer_", 0) == 0
                && std::regex_search(log, port, std::regex("port:(\\d+)")))
                return std::stoi(port[1]);
        }
        return 0;
    }

    TempHome m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    XvfbServer m_xvfb;
    fs::path m_prefix = fs::path(m_home.Path("prefix"));
    fs::path m_artifacts;
};

TEST_F(TavDJInstalledProgram, StartsFromItsDesktopEntryShowsItsIconAndServesStatusPages)
{
    const std::string install = m_dir / "install.log";
    ASSERT_TRUE(CommandSucceeds(std::string("'" TAVDJ_CMAKE_COMMAND "' --install '" TAVDJ_BINARY_DIR "' --prefix ")
        + Quoted(m_prefix) + " > '" + install + "' 2>&1"))
        << ReadFile(install);
    for (const char* file : { "bin/tavdj", "share/tavdj/ControlID.XML", "share/tavdj/default_skin/skin.xml",
             "share/tavdj/serverhtml/index.html", "share/icons/hicolor/32x32/apps/tavdj.png",
             "lib/tavdj/libtavdj_http.so" })
        EXPECT_TRUE(fs::exists(m_prefix / file)) << file;
    // Downloads bring libcurl with their module when they first run; the
    // program itself does not load it (the status pages below come through
    // the installed module).
    const std::string needed = CommandOutput("readelf -d " + Quoted(m_prefix / "bin" / "tavdj"));
    ASSERT_NE(needed.find("(NEEDED)"), std::string::npos) << needed;
    EXPECT_EQ(needed.find("libcurl"), std::string::npos) << needed;
    EXPECT_FALSE(fs::exists(m_prefix / "share/tavdj/default_skin/tools")) << "the skin's generator was installed";
    // Every installed file is listed for removal, the desktop entry written
    // at install time too: removing what the list names leaves nothing.
    std::set<std::string> listed;
    std::istringstream manifest(ReadFile(fs::path(TAVDJ_BINARY_DIR) / "install_manifest.txt"));
    for (std::string line; std::getline(manifest, line);)
        listed.insert(line);
    for (const auto& entry : fs::recursive_directory_iterator(m_prefix)) {
        if (entry.is_directory())
            continue;
        EXPECT_EQ(listed.count(entry.path().string()), 1U) << entry.path() << " is not in install_manifest.txt";
    }

    // The desktop entry starts the installed program by its full path.
    const std::string entry = ReadFile(m_prefix / "share/applications/tavdj.desktop");
    std::smatch exec;
    ASSERT_TRUE(std::regex_search(entry, exec, std::regex("\nExec=\"([^\"]+)\"\n"))) << entry;
    EXPECT_EQ(fs::path(exec[1].str()), m_prefix / "bin" / "tavdj");
    EXPECT_NE(entry.find("\nIcon=tavdj\n"), std::string::npos) << entry;

    // The user's own server is kept; own-server mode is chosen; no
    // directory, no reachability service, no intro.
    const fs::path settings = fs::path(m_home.Path("data")) / "VANDREL" / "TavDJ" / "SETTING.ini";
    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << "[Network]\nLocalServ=1\nAddress=radio.example.net\nNationalAddress=radio.example.net\n"
                               "Port=9123\nPasswd=userpass\nAudience=50\nUseIntroSound=0\n"
                               "[Song]\nAuto=0\n[Connect]\nReconnect=0\n[AddYP]\nAddYP=0\nHost=\n";
    testutil::ChildProcess program;
    ASSERT_TRUE(program.Start({ exec[1].str() }, false, true));
    std::string window;
    ASSERT_TRUE(WaitUntil([&] { return !(window = VisibleWindow("TavDJ")).empty() || program.Wait(0) != -1; }));
    ASSERT_FALSE(window.empty()) << "the installed program ended before its window came";
    const std::vector<uint32_t> icon = PngPixels(m_prefix / "share/icons/hicolor/128x128/apps/tavdj.png");
    // The larger sizes come once the window is on the screen.
    EXPECT_TRUE(WaitUntil([&] { return SamePicture(WindowIcon(window, kIconSize), icon); }))
        << "the main window does not show the program's icon";
    const std::string offAir = Readout(window);
    ASSERT_FALSE(offAir.empty());

    ASSERT_TRUE(CommandSucceeds("xdotool mousemove --window " + window + " " + kStartButton + " click 1"));
    std::string question;
    ASSERT_TRUE(WaitUntil([&] { return !(question = VisibleWindow("서버 설정 안내")).empty(); }));
    EXPECT_TRUE(SamePicture(WindowIcon(question, kIconSize), icon))
        << "the message box does not show the program's icon";
    Screenshot("question");
    ASSERT_TRUE(CommandSucceeds("xdotool key --clearmodifiers Return"));
    int port = 0;
    ASSERT_TRUE(WaitUntil([&] { return (port = ServerPort()) != 0; })) << "no own server started";
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";

    // On air without listeners, the poll reads the server's own status page
    // and the readout leaves its off-air look.
    std::string noListeners;
    EXPECT_TRUE(WaitUntil([&] { return (noListeners = Readout(window)) != offAir; }))
        << "the listener readout never changed from its off-air look";
    EXPECT_TRUE(WaitUntil([&] { return ReadoutShows("0/50"); })) << ReadFile(Trace());
    const std::string page = m_dir / "page.html";
    std::string status;
    EXPECT_TRUE(WaitUntil([&] {
        status = CommandOutput("curl -s --max-time 5 -A 'Mozilla/5.0' -o '" + page + "' -w '%{http_code}' " + url);
        return status == "200";
    })) << status;

    testutil::ChildProcess listener;
    ASSERT_TRUE(listener.Start({ "curl", "-s", "-o", "/dev/null", "--max-time", "60", url }, false, true));
    EXPECT_TRUE(WaitUntil([&] {
        return CommandOutput("curl -s --max-time 5 -A 'Mozilla/5.0' " + url).find("<B>1 of 50 listeners</B>")
            != std::string::npos;
    })) << ReadFile(page);
    EXPECT_TRUE(WaitUntil([&] { return ReadoutShows("1/50"); })) << ReadFile(Trace());
    EXPECT_TRUE(WaitUntil([&] { return Readout(window) != noListeners; }))
        << "the main window never showed the listener";
    Screenshot("listener");

    // The session ends on air: status 0, the user's server saved.
    ASSERT_EQ(::kill(program.Pid(), SIGTERM), 0);
    EXPECT_EQ(program.Wait(10000), 0);
    listener.Stop();
    const std::string saved = ReadFile(settings);
    EXPECT_NE(saved.find("Address=radio.example.net"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Passwd=userpass"), std::string::npos) << saved;
}

} // namespace

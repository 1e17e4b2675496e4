#include "foundation/CommandLine.h"
#include "foundation/OpenUrl.h"
#include "foundation/RectGeometry.h"
#include "foundation/SystemInfo.h"
#include "platform/Connectivity.h"

#include "support/TempHome.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(CommandLine, SplitsQuotedArgumentsAndSwallowsTheCharacterAfterAClosingQuote)
{
    std::vector<std::string> args { "stale" };
    EXPECT_EQ(SplitArguments("\"C:\\Program Files\\TavDJ\\TavDJ.exe\" /skin  blue", args), 3);
    EXPECT_EQ(args, (std::vector<std::string> { "C:\\Program Files\\TavDJ\\TavDJ.exe", "/skin", "blue" }));
    EXPECT_EQ(SplitArguments("\"open only", args), -1);
    EXPECT_TRUE(args.empty());
    // The character right after a closing quote is swallowed, blank or not.
    EXPECT_EQ(SplitArguments("\"a b\"Xc \t\r\n\"\" d", args), 4);
    EXPECT_EQ(args, (std::vector<std::string> { "a b", "c", "", "d" }));
    EXPECT_EQ(SplitArguments("  \t ", args), 0);
    EXPECT_EQ(SplitArguments(nullptr, args), 0);
    EXPECT_TRUE(IsSpaceChar('\r') && IsSpaceChar('\t') && !IsSpaceChar('\v') && !IsSpaceChar(0xA0));

    ASSERT_GT(GetCommandLineArgs(args), 0);
    EXPECT_NE(args[0].find("foundation_tests"), std::string::npos);
}

TEST(OpenUrl, PassesTheUrlAsOneArgumentWithoutAShell)
{
    TempHome home;
    std::string out = home.Path("args.txt");
    std::string opener = home.Path("opener.sh");
    std::ofstream(opener)
        << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$OPENER_OUT.part\"\nmv \"$OPENER_OUT.part\" \"$OPENER_OUT\"\n";
    chmod(opener.c_str(), 0700);
    home.Set(kUrlOpenerEnv, opener);
    home.Set("OPENER_OUT", out);

    const char* url = "http://example.invalid/a?b=\"x y\"&c=';touch /tmp/pwned;' --flag";
    ASSERT_TRUE(OpenUrl(url));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (access(out.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "1\n" + std::string(url) + "\n");

    unlink(out.c_str());
    EXPECT_FALSE(OpenUrl("--help"));
    EXPECT_FALSE(OpenUrl(""));
    EXPECT_FALSE(OpenUrl(nullptr));
    home.Set(kUrlOpenerEnv, home.Path("no-such-program"));
    EXPECT_FALSE(OpenUrl("http://example.invalid/"));
}

TEST(SystemInfo, UserLevelAndConnectivityFollowTheSystem)
{
    int level = GetUserGroupLevel();
    EXPECT_TRUE(geteuid() == 0 ? level == 3 : (level == 1 || level == 3)) << level;

    TempHome home;
    home.Set(platform::kAssumeOnlineEnv, "1");
    EXPECT_TRUE(IsInternetConnected());
    home.Set(platform::kAssumeOnlineEnv, "0");
    EXPECT_FALSE(IsInternetConnected());

    constexpr const char* kHeader = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n";
    EXPECT_TRUE(
        platform::RouteTableHasDefault(std::string(kHeader) + "eth0\t00000000\t0100A8C0\t0003\t0\t0\t0\t00000000\n"));
    EXPECT_FALSE(
        platform::RouteTableHasDefault(std::string(kHeader) + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n"));
    EXPECT_FALSE(platform::RouteTableHasDefault(std::string(kHeader) + "eth0\t00000000\t0100A8C0\t0002\n"));
    EXPECT_FALSE(platform::RouteTableHasDefault("eth0\t00000000\t0100A8C0\t0003\n")); // header only
    EXPECT_FALSE(platform::RouteTableHasDefault(""));
}

TEST(RectGeometry, TouchAndFit)
{
    SRect a { 0, 0, 100, 100 };
    SRect right { 100, 20, 200, 80 }; // shares a's right edge as its left
    SRect gap { 101, 20, 200, 80 };
    SRect diagonal { 100, 100, 150, 150 };
    SRect inside { 10, 10, 50, 50 };
    SRect aligned { 0, 0, 40, 40 }; // overlaps, but shares left and top
    EXPECT_TRUE(RectsTouch(&a, &right));
    EXPECT_FALSE(RectsTouch(&a, &gap));
    EXPECT_TRUE(RectsTouch(&a, &diagonal));
    EXPECT_FALSE(RectsTouch(&a, &inside));
    EXPECT_TRUE(RectsTouch(&a, &aligned));
    EXPECT_FALSE(RectsTouch(&a, nullptr));

    SRect area { 0, 0, 1920, 1040 };
    SRect out;
    SRect off { -50, 1000, 350, 1200 };
    FitRectToWorkArea(&off, &area, &out);
    EXPECT_EQ(out, (SRect { 0, 840, 400, 1040 }));
    SRect wide { 100, -10, 2500, 30 };
    FitRectToWorkArea(&wide, &area, &out);
    EXPECT_EQ(out, (SRect { 0, 0, 1920, 40 }));
    FitRectToWorkArea(&inside, &area, &out);
    EXPECT_EQ(out, inside);
    FitRectToWorkArea(&off, nullptr, &out);
    EXPECT_EQ(out, off);
    FitRectToWorkArea(&off, &area, nullptr);

    EXPECT_TRUE(IsRectOnScreen(off, { SRect { -1920, 0, 0, 1080 }, area }));
    EXPECT_FALSE(IsRectOnScreen(SRect { 3000, 0, 3100, 100 }, { area }));
}

// A window's nearest screen is the one it overlaps most, else the closest.
TEST(RectGeometry, NearestWorkAreaIsTheMostOverlappedElseTheClosest)
{
    const std::vector<SRect> screens { { 0, 0, 1920, 1040 }, { 1920, 0, 3200, 1000 } };
    struct Row {
        const char* name;
        SRect rect;
        int nearest; // index into screens, -1 for none
    };
    const Row rows[] = {
        { "inside the left", { 100, 100, 500, 400 }, 0 },
        { "mostly on the right", { 1800, 100, 2200, 400 }, 1 },
        { "mostly on the left, off its bottom", { 1500, 900, 2000, 1200 }, 0 },
        { "off to the far right", { 4000, 100, 4100, 200 }, 1 },
        { "off above the left", { 200, -500, 300, -400 }, 0 },
        { "off below both, nearer the right", { 2500, 1100, 2600, 1200 }, 1 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SRect* pArea = NearestWorkArea(row.rect, screens);
        ASSERT_NE(pArea, nullptr);
        EXPECT_EQ(pArea - screens.data(), row.nearest);
    }
    EXPECT_EQ(NearestWorkArea({ 0, 0, 10, 10 }, {}), nullptr);
}

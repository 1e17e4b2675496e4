#include "app/CDailyLog.h"
#include "foundation/Paths.h"

#include "fakes/FakeClock.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Lines at chosen local times land in the file named for their day, in the
// line format, the old file closed when the day changes.
TEST(CDailyLog, LinesGoToTheFileOfTheirDayInTheLineFormat)
{
    TempHome home;
    FakeClock clock;
    CDailyLog log(CDailyLog::kClientPrefix, &clock);
    const struct {
        int64_t when; // 0: a second after the line before
        std::string text;
    } lines[] = {
        { LocalSeconds(2026, 12, 9, 9, 5, 7), "방송 시작" },
        { LocalSeconds(2026, 12, 9, 23, 59, 59), "last of the day" },
        { 0, "first of the next" },
        // The same day of the year, a year on: its own file.
        { LocalSeconds(2027, 12, 10, 12, 0, 1), "a year later" },
    };
    for (const auto& line : lines) {
        if (line.when)
            clock.SetUnixSeconds(line.when);
        else
            clock.Advance(1000);
        CDailyLog::WriteCallback(line.text.c_str(), &log);
    }
    CDailyLog::WriteCallback(nullptr, &log);
    clock.SetUnixSeconds(LocalSeconds(2027, 12, 10, 12, 0, 2));
    log.WriteFormat("%s %d", "포맷", 42);

    const fs::path folder = fs::path(home.Path("program")) / "log";
    const std::map<std::string, std::string> expected = {
        { "DJClient_20261209.log", "090507\t방송 시작\n235959\tlast of the day\n" },
        { "DJClient_20261210.log", "000000\tfirst of the next\n" },
        { "DJClient_20271210.log", "120001\ta year later\n120002\t포맷 42\n" },
    };
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found[entry.path().filename().string()] = ReadFile(entry.path());
    EXPECT_EQ(found, expected);
    EXPECT_EQ(log.CurrentPath(), (folder / "DJClient_20271210.log").string());
}

// A program folder that cannot hold the log sends the lines to the
// application-data folder; with no folder at all a line is dropped and the
// next one tries again.
TEST(CDailyLog, UnwritableProgramFolderFallsBackToApplicationData)
{
    TempHome home;
    FakeClock clock;
    clock.SetUnixSeconds(LocalSeconds(2026, 12, 9, 10, 0, 0));
    // A file where the folder should be stops it being made, even for root.
    std::ofstream(home.Path("program") + "/log") << "not a folder";

    CDailyLog log(CDailyLog::kClientPrefix, &clock);
    log.Write("kept");
    const std::string expected = JoinPath(JoinPath(GetAppDataFolder(), "log"), "DJClient_20261209.log");
    EXPECT_EQ(log.CurrentPath(), expected);
    EXPECT_EQ(ReadFile(expected), "100000\tkept\n");

    const std::string blocked = home.Path("tmp") + "/blocked";
    std::ofstream(blocked) << "not a folder";
    CDailyLog nowhere(CDailyLog::kClientPrefix, &clock, home.Path("program") + "/log", blocked);
    nowhere.Write("dropped");
    EXPECT_EQ(nowhere.CurrentPath(), "");
    fs::remove(home.Path("program") + "/log");
    nowhere.Write("written");
    EXPECT_EQ(ReadFile(nowhere.CurrentPath()), "100000\twritten\n");
}

// The server's threads and the main thread write the same log: every line
// arrives whole.
TEST(CDailyLog, LinesFromSeveralThreadsStayWhole)
{
    TempHome home;
    FakeClock clock;
    clock.SetUnixSeconds(LocalSeconds(2026, 12, 9, 10, 0, 0));
    CDailyLog log(CDailyLog::kServerPrefix, &clock);
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&log, t] {
                for (int i = 0; i < kLines; ++i)
                    log.WriteFormat("writer %d line %d %s", t, i, std::string(100, 'x').c_str());
            });
        }
        // The main thread closes now and then, as the day change would.
        for (int i = 0; i < 50; ++i)
            log.Close();
    }
    std::istringstream text(ReadFile(JoinPath(JoinPath(home.Path("program"), "log"), "DJServer_20261209.log")));
    std::map<int, int> nextLine;
    std::string line;
    int count = 0;
    while (std::getline(text, line)) {
        int t = -1;
        int i = -1;
        char tail[128] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "100000\twriter %d line %d %127s", &t, &i, tail), 3) << line;
        EXPECT_EQ(i, nextLine[t]++) << line;
        EXPECT_EQ(std::string(tail), std::string(100, 'x'));
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

} // namespace

#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {
class Clock;
}

// Thread: any; every call takes the log's lock, so the built-in server's
// thread and the main thread may write and close the same log.
// One of the program's daily log files: "<prefix>_YYYYMMDD.log" in the
// folder "log" under the program folder, one line per event,
// "HHMMSS\t<text>\n" in local time, flushed after every line. The first
// line of a new day closes the old file and opens the day's. When the
// program folder cannot take the log (an installation folder the user may
// not write), the lines go to "log" under the application-data folder, so
// a broadcast's record is never lost for want of a folder. A line that can
// be put in neither is dropped, and the next line tries again.
class CDailyLog {
public:
    static constexpr const char* kClientPrefix = "DJClient";
    static constexpr const char* kServerPrefix = "DJServer";
    static constexpr const char* kFolderName = "log";
    // A formatted line longer than this is cut; nothing the program logs
    // comes near it.
    static constexpr size_t kMaxFormattedBytes = 8192;

    // prefix: kClientPrefix or kServerPrefix. The clock gives the time of
    // day (the system's when null). The folders are found when a file is
    // opened; an empty fallback means the application-data folder's "log".
    explicit CDailyLog(std::string prefix, platform::Clock* pClock = nullptr, std::string folder = {},
        std::string fallbackFolder = {});
    ~CDailyLog();
    CDailyLog(const CDailyLog&) = delete;
    CDailyLog& operator=(const CDailyLog&) = delete;

    // Writes one line with the text as it is.
    void Write(std::string_view text);
    // Writes one line with the formatted text.
    void WriteFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Closes the file; the next line opens it again.
    void Close();

    // The file lines go to now; "" while none is open.
    [[nodiscard]] std::string CurrentPath();

    // The server's log callback (CDJServerConfig::logCallback) with the log
    // as its user: a null text writes nothing.
    static void WriteCallback(const char* text, void* pLog);

    // "<prefix>_YYYYMMDD.log" for a date.
    [[nodiscard]] static std::string FileName(std::string_view prefix, int year, int month, int day);

private:
    // Caller holds m_lock. False when no file could be opened for the date.
    bool OpenForDayLocked(int year, int month, int day);
    void CloseLocked();

    const std::string m_strPrefix;
    platform::Clock* const m_pClock;
    const std::string m_strFolder;
    const std::string m_strFallbackFolder;

    std::mutex m_lock; // guards: m_pFile, m_nFileDay, m_strPath
    std::FILE* m_pFile = nullptr;
    // The open file's date as year * 10000 + month * 100 + day: a whole
    // date, so a file a year old is never taken for today's.
    int m_nFileDay = 0;
    std::string m_strPath;
};

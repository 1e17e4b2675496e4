#include "app/CDailyLog.h"

#include "foundation/Paths.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstdarg>
#include <ctime>
#include <vector>

CDailyLog::CDailyLog(std::string prefix, platform::Clock* pClock, std::string folder, std::string fallbackFolder)
    : m_strPrefix(std::move(prefix))
    , m_pClock(pClock ? pClock : &platform::Clock::System())
    , m_strFolder(std::move(folder))
    , m_strFallbackFolder(std::move(fallbackFolder))
{
}

CDailyLog::~CDailyLog()
{
    Close();
}

std::string CDailyLog::FileName(std::string_view prefix, int year, int month, int day)
{
    char date[32];
    (void)std::snprintf(date, sizeof date, "_%04d%02d%02d.log", year, month, day);
    return std::string(prefix) + date;
}

void CDailyLog::Write(std::string_view text)
{
    const std::time_t now = static_cast<std::time_t>(m_pClock->UnixSeconds());
    std::tm local {};
    if (!localtime_r(&now, &local))
        return;
    const int year = local.tm_year + 1900;
    const int month = local.tm_mon + 1;

    std::lock_guard guard(m_lock);
    if (m_pFile && m_nFileDay != year * 10000 + month * 100 + local.tm_mday)
        CloseLocked();
    if (!m_pFile && !OpenForDayLocked(year, month, local.tm_mday))
        return;
    (void)std::fprintf(m_pFile, "%02d%02d%02d\t", local.tm_hour, local.tm_min, local.tm_sec);
    (void)std::fwrite(text.data(), 1, text.size(), m_pFile);
    (void)std::fputc('\n', m_pFile);
    (void)std::fflush(m_pFile);
}

void CDailyLog::WriteFormat(const char* format, ...)
{
    std::vector<char> text(kMaxFormattedBytes + 1);
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    if (length < 0)
        return;
    Write(std::string_view(text.data(), std::min<size_t>(static_cast<size_t>(length), kMaxFormattedBytes)));
}

void CDailyLog::WriteCallback(const char* text, void* pLog)
{
    if (text && pLog)
        static_cast<CDailyLog*>(pLog)->Write(text);
}

void CDailyLog::Close()
{
    std::lock_guard guard(m_lock);
    CloseLocked();
}

std::string CDailyLog::CurrentPath()
{
    std::lock_guard guard(m_lock);
    return m_strPath;
}

bool CDailyLog::OpenForDayLocked(int year, int month, int day)
{
    const std::string name = FileName(m_strPrefix, year, month, day);
    // The fallback is looked up only when needed: finding the
    // application-data folder creates it.
    for (int attempt = 0; attempt < 2 && !m_pFile; ++attempt) {
        std::string folder;
        if (attempt == 0)
            folder = m_strFolder.empty() ? JoinPath(GetModuleFolder(), kFolderName) : m_strFolder;
        else
            folder = m_strFallbackFolder.empty() ? JoinPath(GetAppDataFolder(), kFolderName) : m_strFallbackFolder;
        if (!CreateFolderPath(folder))
            continue;
        const std::string path = JoinPath(folder, name);
        // "e": the descriptor is not handed to the launcher or the players
        // the program starts.
        m_pFile = std::fopen(path.c_str(), "ae");
        if (m_pFile)
            m_strPath = path;
    }
    if (!m_pFile)
        return false;
    m_nFileDay = year * 10000 + month * 100 + day;
    return true;
}

void CDailyLog::CloseLocked()
{
    if (m_pFile)
        (void)std::fclose(m_pFile);
    m_pFile = nullptr;
    m_nFileDay = 0;
    m_strPath.clear();
}

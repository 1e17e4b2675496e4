#include "engine/stream/CRecordingFile.h"

#include "foundation/Paths.h"

#include <ctime>

CRecordingFile::~CRecordingFile()
{
    Close();
}

void CRecordingFile::Open(const std::string& folder)
{
    std::lock_guard guard(m_lock);
    if (m_pFile)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char name[128];
    (void)std::snprintf(name, sizeof name, "방송 녹음-%d%02d%02d-%02d%02d%02d.mp3", local.tm_year + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string path = JoinPath(folder, name);
    m_pFile = std::fopen(path.c_str(), "wb");
    m_strPath = m_pFile ? path : std::string();
}

void CRecordingFile::Close()
{
    std::lock_guard guard(m_lock);
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
}

void CRecordingFile::Write(const char* pData, int nBytes)
{
    if (nBytes <= 0)
        return;
    std::lock_guard guard(m_lock);
    if (m_pFile)
        (void)std::fwrite(pData, 1, static_cast<size_t>(nBytes), m_pFile);
}

bool CRecordingFile::IsOpen()
{
    std::lock_guard guard(m_lock);
    return m_pFile != nullptr;
}

std::string CRecordingFile::Path()
{
    std::lock_guard guard(m_lock);
    return m_strPath;
}

#pragma once

#include <cstdio>
#include <mutex>
#include <string>

// Thread: Open, Close and the queries on the main thread; Write on the pump
// thread while it runs. One lock covers the file, so the encoder's last
// bytes and a Close never cross.
// The broadcast's recording: the encoded stream written byte for byte into
// "방송 녹음-YYYYMMDD-HHMMSS.mp3" in the recording folder.
class CRecordingFile {
public:
    CRecordingFile() = default;
    ~CRecordingFile();
    CRecordingFile(const CRecordingFile&) = delete;
    CRecordingFile& operator=(const CRecordingFile&) = delete;

    // Opens a file named after the local time in folder, unless one is
    // open. A file that cannot be made leaves recording off without a
    // message; Path is then empty.
    void Open(const std::string& folder);
    void Close();
    // Pump thread: appends the bytes when a file is open.
    void Write(const char* pData, int nBytes);
    [[nodiscard]] bool IsOpen();
    // The last file opened, kept after Close; empty when the last Open failed.
    [[nodiscard]] std::string Path();

private:
    std::mutex m_lock; // guards: m_pFile, m_strPath
    std::FILE* m_pFile = nullptr;
    std::string m_strPath;
};

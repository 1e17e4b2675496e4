#pragma once

#include "foundation/HttpDownloadWorkers.h"
#include "platform/MessageTarget.h"

#include <cstdint>
#include <stop_token>

// One HTTP GET into a file or a heap buffer, on the caller's thread or on a
// worker of its own, reported to a message target by three registered
// messages (wParam = request id):
//   WM_HTTPGETFILE_START     lParam = Content-Length, or -1 when none
//   WM_HTTPGETFILE_PROGRESS  lParam = bytes delivered so far
//   WM_HTTPGETFILE_COMPLETE  lParam = 1 success, 0 failure (sent last)
[[nodiscard]] platform::MessageId WmHttpGetFileStart();
[[nodiscard]] platform::MessageId WmHttpGetFileProgress();
[[nodiscard]] platform::MessageId WmHttpGetFileComplete();

// How long a download waits for a silent server. The defaults suit real
// servers; tests shorten them.
struct HttpGetFileTimeouts {
    uint32_t connectMs = 10000;
    uint32_t stallMs = 20000;
    // The whole download, for callers that wait on it; 0: no bound.
    uint32_t totalMs = 0;
};

// The memory form refuses bodies above this size: it serves short replies,
// and a hostile server must not exhaust memory.
inline constexpr int kHttpGetFileMaxMemoryBody = 16 * 1024 * 1024;

// Thread: any. Returns false at once for a bad URL, an agent of 512 bytes or
// more, or a file that cannot be created (no message then). Synchronous:
// the download's result. Otherwise true once the worker started; the caller
// keeps outBuffer and bytesRead valid until WM_HTTPGETFILE_COMPLETE.
//   outBuffer  memory form: on success a new[] buffer with the body and a
//              terminating NUL (an empty body gives just the NUL); null on
//              failure. May be null.
//   outFile    file form: the file to write (truncated at once).
//   byteLimit  -1 for the whole body, else stop with success once at least
//              this many bytes arrived (0: after the first chunk).
//   bytesRead  0 at the start, then the running total. May be null.
//   stop       a synchronous download ends as a failure once stop is requested.
[[nodiscard]] bool HttpGetFile(char** outBuffer, const char* outFile, const char* url, platform::TargetHandle notify,
    bool synchronous, const char* agent, int byteLimit, bool toFile, int* bytesRead,
    const HttpGetFileTimeouts& timeouts = {}, std::stop_token stop = {});

// Waits for every asynchronous download; with Cancel::Yes they end early as
// failures. The program calls it before it exits; tests between cases.
void HttpGetFileJoinAll(HttpDownloadWorkers::Cancel cancel);

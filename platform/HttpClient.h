#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

namespace platform {

// One HTTP GET, body delivered in pieces of at most kHttpChunkBytes.
struct HttpGetRequest {
    std::string url;
    std::string agent;
    // A server that never accepts is given up after connectTimeoutMs; one
    // that accepts and then sends nothing for stallTimeoutMs is given up too,
    // so no caller can hang for ever on a silent peer.
    uint32_t connectTimeoutMs = 10000;
    uint32_t stallTimeoutMs = 20000;
    // A peer that trickles a byte now and then never stalls; a caller that
    // must not wait long bounds the whole transfer too. 0: no bound.
    uint32_t totalTimeoutMs = 0;
    int maxRedirects = 10;
};

inline constexpr size_t kHttpChunkBytes = 10240;

enum class HttpChunkVerdict { Continue, Stop, Fail };
enum class HttpGetResult { Completed, Stopped, Failed };

// Receives one transfer's response. Called on the thread running HttpGet.
class HttpGetSink {
public:
    virtual ~HttpGetSink() = default;
    // Once, when the final response's head has arrived (after redirects), or
    // with the first body bytes of a reply that has no status line (status 0).
    // contentLength is -1 when the reply names none. False abandons the
    // transfer as a failure.
    virtual bool OnResponse(int status, long long contentLength) = 0;
    virtual HttpChunkVerdict OnChunk(const char* data, size_t len) = 0;
};

// Thread: any; blocks the caller until the transfer ends. Completed means the
// whole body arrived; Stopped means the sink asked to stop; anything broken
// (connection, time-out, cut-off body, too many redirects, stop requested
// through stop) is Failed. Replies without a status line are accepted.
// The transfers run in a module of the program's own (libcurl and the
// dozens of libraries it brings), loaded by the first transfer, so a run
// that downloads nothing never loads them; without the module every
// transfer fails, and the first says why on stderr.
[[nodiscard]] HttpGetResult HttpGet(const HttpGetRequest& request, HttpGetSink& sink, std::stop_token stop = {});

// Thread: any. Where the module lies; the program names it before its first
// transfer. Each module is loaded once and stays; one that failed to load
// is not tried again.
void SetHttpModule(std::string path);

} // namespace platform

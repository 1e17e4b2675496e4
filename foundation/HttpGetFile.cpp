#include "foundation/HttpGetFile.h"

#include "foundation/HttpDownloadWorkers.h"
#include "platform/HttpClient.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr size_t kMaxUrl = 1024;
constexpr size_t kMaxAgent = 512;

// Registered once at static initialisation; the names are the contract.
const platform::MessageId g_wmStart = platform::RegisterMessage("WM_HTTPGETFILE_START");
const platform::MessageId g_wmProgress = platform::RegisterMessage("WM_HTTPGETFILE_PROGRESS");
const platform::MessageId g_wmComplete = platform::RegisterMessage("WM_HTTPGETFILE_COMPLETE");

std::atomic<uint32_t> g_requestCounter { 0 };

// URLs arrive from settings and the user: they must name a scheme, and bytes
// that cannot stand in a URL (controls, blanks, non-ASCII) are escaped.
bool CanonicalizeUrl(const char* url, std::string* out)
{
    const char* colon = std::strstr(url, "://");
    if (!colon || colon == url)
        return false;
    for (const char* p = url; p < colon; ++p) {
        if (!std::isalpha(static_cast<unsigned char>(*p)))
            return false;
    }
    static const char kHex[] = "0123456789ABCDEF";
    out->clear();
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(url); *p; ++p) {
        if (*p <= 0x20 || *p >= 0x7F) {
            out->push_back('%');
            out->push_back(kHex[*p >> 4]);
            out->push_back(kHex[*p & 15]);
        } else {
            out->push_back(static_cast<char>(*p));
        }
        if (out->size() >= kMaxUrl)
            return false;
    }
    return true;
}

struct Request {
    std::string url;
    std::string agent;
    std::FILE* file = nullptr; // file form, owned
    bool toFile = false;
    int id = 0;
    platform::TargetHandle notify = platform::kNoTarget;
    int byteLimit = -1;
    char** outBuffer = nullptr;
    int* bytesRead = nullptr;
    HttpGetFileTimeouts timeouts;

    Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request()
    {
        if (file)
            std::fclose(file);
    }
};

void Post(const Request& r, platform::MessageId msg, long long value)
{
    if (r.notify != platform::kNoTarget)
        platform::PostMessage(r.notify, msg, static_cast<platform::WParam>(r.id), static_cast<platform::LParam>(value));
}

class DownloadSink final : public platform::HttpGetSink {
public:
    explicit DownloadSink(Request& r)
        : m_r(r)
    {
    }

    bool OnResponse(int status, long long contentLength) override
    {
        Post(m_r, g_wmStart, contentLength);
        // No status line (status 0) is accepted: some servers answer so.
        return status == 0 || (status >= 200 && status < 300);
    }

    platform::HttpChunkVerdict OnChunk(const char* data, size_t len) override
    {
        if (m_r.toFile) {
            if (std::fwrite(data, 1, len, m_r.file) != len)
                return platform::HttpChunkVerdict::Fail;
        } else if (m_r.outBuffer) {
            if (m_body.size() + len > static_cast<size_t>(kHttpGetFileMaxMemoryBody))
                return platform::HttpChunkVerdict::Fail;
            m_body.append(data, len);
        }
        m_total += static_cast<long long>(len);
        if (m_r.bytesRead)
            *m_r.bytesRead = static_cast<int>(std::min<long long>(m_total, INT32_MAX));
        Post(m_r, g_wmProgress, m_total);
        if (m_r.byteLimit != -1 && m_total >= m_r.byteLimit)
            return platform::HttpChunkVerdict::Stop;
        return platform::HttpChunkVerdict::Continue;
    }

    std::string& Body() { return m_body; }

private:
    Request& m_r;
    std::string m_body;
    long long m_total = 0;
};

bool Run(Request& req, std::stop_token stop)
{
    Request* r = &req;
    DownloadSink sink(*r);
    platform::HttpGetRequest request;
    request.url = r->url;
    request.agent = r->agent;
    request.connectTimeoutMs = r->timeouts.connectMs;
    request.stallTimeoutMs = r->timeouts.stallMs;
    request.totalTimeoutMs = r->timeouts.totalMs;
    const platform::HttpGetResult result = platform::HttpGet(request, sink, std::move(stop));
    bool ok = result != platform::HttpGetResult::Failed;

    if (r->file) {
        ok = std::fclose(r->file) == 0 && ok;
        r->file = nullptr;
    }
    if (!r->toFile && r->outBuffer && ok) {
        const std::string& body = sink.Body();
        char* buffer = new (std::nothrow) char[body.size() + 1];
        if (buffer) {
            std::memcpy(buffer, body.data(), body.size());
            buffer[body.size()] = '\0';
            *r->outBuffer = buffer;
        } else {
            ok = false;
        }
    }
    Post(*r, g_wmComplete, ok ? 1 : 0);
    return ok;
}

} // namespace

platform::MessageId WmHttpGetFileStart()
{
    return g_wmStart;
}

platform::MessageId WmHttpGetFileProgress()
{
    return g_wmProgress;
}

platform::MessageId WmHttpGetFileComplete()
{
    return g_wmComplete;
}

bool HttpGetFile(char** outBuffer, const char* outFile, const char* url, platform::TargetHandle notify,
    bool synchronous, const char* agent, int byteLimit, bool toFile, int* bytesRead,
    const HttpGetFileTimeouts& timeouts, std::stop_token stop)
{
    auto r = std::make_unique<Request>();
    if (!url || !CanonicalizeUrl(url, &r->url))
        return false;
    if (agent && std::strlen(agent) >= kMaxAgent)
        return false;
    if (toFile) {
        if (!outFile)
            return false;
        r->file = std::fopen(outFile, "wb");
        if (!r->file)
            return false;
    }

    r->id = static_cast<int>(++g_requestCounter % 0x7FFFFFFFu);
    r->agent = agent ? agent : "";
    r->toFile = toFile;
    r->notify = notify;
    r->byteLimit = byteLimit < 0 ? -1 : byteLimit;
    r->outBuffer = outBuffer;
    r->bytesRead = bytesRead;
    r->timeouts = timeouts;
    if (outBuffer)
        *outBuffer = nullptr;
    if (bytesRead)
        *bytesRead = 0;

    if (synchronous)
        return Run(*r, std::move(stop));
    // std::function wants a copyable callable, hence the shared owner.
    return HttpDownloadWorkers::Shared().Start([req = std::shared_ptr<Request>(std::move(r))](
                                                   std::stop_token workerStop) { Run(*req, std::move(workerStop)); });
}

void HttpGetFileJoinAll(HttpDownloadWorkers::Cancel cancel)
{
    HttpDownloadWorkers::Shared().JoinAll(cancel);
}

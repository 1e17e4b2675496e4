// The download module: HttpGet's transfers through libcurl, in a library
// of its own that the program loads on its first transfer
// (HttpClientModule.cpp), so libcurl and everything it brings stay out of
// every run that downloads nothing.
#include "platform/HttpClient.h"
#include "platform/HttpModuleEntry.h"

#include <curl/curl.h>
#include <strings.h>

#include <memory>
#include <mutex>
#include <type_traits>

namespace platform {

namespace {

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    CURL* curl = nullptr;
    HttpGetSink* sink = nullptr;
    std::stop_token stop;
    bool responseReported = false;
    bool sinkRefused = false; // OnResponse said no, or OnChunk failed
    bool sinkStopped = false; // OnChunk asked to stop: the byte limit
    bool headHasLocation = false;
};

bool ReportResponse(Transfer& t)
{
    if (t.responseReported)
        return true;
    t.responseReported = true;
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    if (curl_easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        length = -1;
    if (!t.sink->OnResponse(static_cast<int>(status), static_cast<long long>(length))) {
        t.sinkRefused = true;
        return false;
    }
    return true;
}

size_t OnHeaderLine(char* data, size_t size, size_t count, void* user)
{
    Transfer& t = *static_cast<Transfer*>(user);
    const size_t len = size * count;
    // An empty line ends a head. Heads of redirects and of 1xx replies are
    // not the final response; those are skipped.
    const bool blank = (len == 2 && data[0] == '\r') || (len == 1 && data[0] == '\n');
    if (!blank) {
        if (len >= 9 && strncasecmp(data, "location:", 9) == 0)
            t.headHasLocation = true;
        return len;
    }
    const bool redirected = t.headHasLocation;
    t.headHasLocation = false;
    if (t.responseReported)
        return len;
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200)
        return len;
    if (status >= 300 && status < 400 && redirected)
        return len; // curl follows it, or fails with too many redirects
    return ReportResponse(t) ? len : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    Transfer& t = *static_cast<Transfer*>(user);
    const size_t len = size * count;
    if (!ReportResponse(t))
        return 0;
    switch (t.sink->OnChunk(data, len)) {
    case HttpChunkVerdict::Continue:
        return len;
    case HttpChunkVerdict::Stop:
        t.sinkStopped = true;
        return 0;
    case HttpChunkVerdict::Fail:
        t.sinkRefused = true;
        return 0;
    }
    return 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const Transfer& t = *static_cast<Transfer*>(user);
    return t.stop.stop_requested() ? 1 : 0;
}

HttpGetResult CurlGet(const HttpGetRequest& request, HttpGetSink& sink, std::stop_token stop)
{
    InitCurlOnce();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        return HttpGetResult::Failed;

    Transfer t;
    t.curl = curl.get();
    t.sink = &sink;
    t.stop = std::move(stop);

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, request.agent.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(kHttpChunkBytes));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    // curl measures stalls in whole seconds; a shorter wish still gets one.
    const long stallSeconds = static_cast<long>((request.stallTimeoutMs + 999) / 1000);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stallSeconds > 0 ? stallSeconds : 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeoutMs));
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
    curl_easy_setopt(c, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Always fetch afresh: a status page read from a proxy's cache is worthless.
    struct curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(c);
    curl_slist_free_all(headers);

    if (t.sinkRefused)
        return HttpGetResult::Failed;
    if (t.sinkStopped)
        return HttpGetResult::Stopped;
    if (code != CURLE_OK)
        return HttpGetResult::Failed;
    // A reply with neither body nor final head (a bare 204, say) still
    // reports its status once.
    if (!ReportResponse(t))
        return HttpGetResult::Failed;
    return HttpGetResult::Completed;
}

} // namespace

} // namespace platform

extern "C" __attribute__((visibility("default"))) int TavdjHttpGet(
    const platform::HttpGetRequest* pRequest, platform::HttpGetSink* pSink, const std::stop_token* pStop)
{
    static_assert(std::is_same_v<decltype(&TavdjHttpGet), platform::HttpModuleGet>);
    return int(platform::CurlGet(*pRequest, *pSink, *pStop));
}

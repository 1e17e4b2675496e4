#include "engine/stream/GShoutCastSource.h"

#include "engine/stream/GIcecastLogin.h"
#include "engine/stream/GIcecastStatus.h"
#include "engine/stream/IcecastText.h"
#include "foundation/DebugTrace.h"
#include "foundation/GLingeringThreads.h"
#include "foundation/HttpGetFile.h"
#include "platform/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <system_error>
#include <utility>

namespace {

constexpr uint32_t kPollSleepMs = 50;
constexpr int kReplyBytes = 1024;
constexpr const char* kShoutcastStatusPath = "/index.html";
constexpr const char* kIcecastStatusPath = "/status-json.xsl";
// A server that does not filter its status to the mount asked for, or is
// not asked, gives every mount it carries.
constexpr int kIcecastStatusByteLimit = static_cast<int>(GIcecastStatus::kMaxPageBytes);

// Reads a decimal number the way atoi does (blanks, sign, digits), but
// saturates instead of overflowing on a hostile page.
int ReadNumber(const char* p)
{
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        value = std::min<long long>(value * 10 + (*p - '0'), static_cast<long long>(INT_MAX) + 1);
        ++p;
    }
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

std::string Text(const char* s)
{
    return s ? std::string(s) : std::string();
}

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cuts a long title to at most kTitleKeptBytes bytes and "...", backing off
// to a character boundary so a UTF-8 character is never split. A character
// has at most three continuation bytes; text that has more is not UTF-8 and
// is cut by bytes.
std::string CutTitle(const std::string& song)
{
    if (song.size() < GShoutCastSource::kTitleCutAt)
        return song;
    size_t cut = GShoutCastSource::kTitleKeptBytes;
    for (int back = 0; back < 3 && cut > 0 && IsUtf8Continuation(song[cut]); ++back)
        --cut;
    if (IsUtf8Continuation(song[cut]))
        cut = GShoutCastSource::kTitleKeptBytes;
    return song.substr(0, cut) + "...";
}

std::string Encoded(const std::string& text)
{
    std::string buffer(3 * text.size() + 1, '\0');
    GShoutCastSource::UrlEncode(text.c_str(), buffer.data(), static_cast<int>(buffer.size()));
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

// Where a status read goes, copied for the worker.
struct SStatusTarget {
    std::string base; // "http://host:port"
    GShoutCastSource::SServerProtocol protocol;
    std::string stationName;
};

// How one page read went.
enum class PageRead {
    Arrived,
    Missing, // the server answered that it has no such page (404)
    Failed, // no answer, another refusal, a broken transfer
};

// Takes one page's body into memory up to about byteLimit bytes, and the
// status it was answered with.
class PageSink final : public platform::HttpGetSink {
public:
    explicit PageSink(size_t byteLimit)
        : m_nByteLimit(byteLimit)
    {
    }

    bool OnResponse(int status, long long) override
    {
        m_nStatus = status;
        // No status line (status 0) is accepted: some servers answer so.
        return status == 0 || (status >= 200 && status < 300);
    }

    platform::HttpChunkVerdict OnChunk(const char* data, size_t len) override
    {
        m_page.append(data, std::min(len, m_nByteLimit - std::min(m_nByteLimit, m_page.size())));
        return m_page.size() >= m_nByteLimit ? platform::HttpChunkVerdict::Stop : platform::HttpChunkVerdict::Continue;
    }

    [[nodiscard]] int Status() const { return m_nStatus; }
    [[nodiscard]] std::string& Page() { return m_page; }

private:
    size_t m_nByteLimit;
    int m_nStatus = -1;
    std::string m_page;
};

// One page into memory within limitMs, at most about byteLimit bytes (a
// longer page is cut there, which no parser takes as whole).
PageRead Download(const std::string& url, int byteLimit, uint32_t limitMs, std::stop_token stop, std::string* page)
{
    platform::HttpGetRequest request;
    request.url = url;
    request.agent = GShoutCastSource::kAgent;
    request.connectTimeoutMs = limitMs;
    request.stallTimeoutMs = limitMs;
    request.totalTimeoutMs = limitMs;
    PageSink sink(static_cast<size_t>(std::max(byteLimit, 1)));
    if (platform::HttpGet(request, sink, std::move(stop)) == platform::HttpGetResult::Failed)
        return sink.Status() == 404 ? PageRead::Missing : PageRead::Failed;
    *page = std::move(sink.Page());
    return PageRead::Arrived;
}

// "Stream is up" ... "with <B>" count ... " of " maximum
bool ReadShoutcastPage(const std::string& page, GShoutCastSource::SServerStatus* status)
{
    const char* text = page.c_str();
    const char* up = std::strstr(text, "Stream is up");
    const char* with = up ? std::strstr(up, "with <B>") : nullptr;
    const char* of = with ? std::strstr(with + 8, " of ") : nullptr;
    if (!of)
        return false;
    status->usable = true;
    status->current = ReadNumber(with + 8);
    status->maximum = ReadNumber(of + 4);
    return true;
}

bool ReadIcecastSource(const GIcecastStatus::SSource* source, GShoutCastSource::SServerStatus* status)
{
    if (!source)
        return false;
    status->usable = true;
    status->current = source->listeners;
    status->maximum = source->maxListeners;
    status->title = source->title;
    return true;
}

// Status worker: the pages the protocol asks for, within kStatusLimitMs
// as a whole. *arrived: whether any page arrived. A page the server does
// not serve (404, or no JSON where Icecast's status was asked for) is named
// in missingPage.
GShoutCastSource::SServerStatus ReadStatus(
    const SStatusTarget& target, platform::Clock& clock, const std::stop_token& stop, bool* arrived)
{
    GShoutCastSource::SServerStatus status;
    const uint64_t started = clock.NowMs();
    std::string page;
    GIcecastStatus icecast;
    if (target.protocol.type == GShoutCastSource::ServerType::Icecast2) {
        // Icecast gives only the mount asked for; a server that ignores the
        // question gives its whole page, read all the same.
        const std::string path
            = std::string(kIcecastStatusPath) + "?mount=" + PercentEncode(target.protocol.mount, PercentKeep::Slashes);
        const PageRead read
            = Download(target.base + path, kIcecastStatusByteLimit, GShoutCastSource::kStatusLimitMs, stop, &page);
        *arrived = read == PageRead::Arrived;
        if (*arrived && icecast.Parse(page))
            (void)ReadIcecastSource(icecast.ForMount(target.protocol.mount), &status);
        else if (read != PageRead::Failed)
            status.missingPage = kIcecastStatusPath;
        return status;
    }
    const PageRead index = Download(target.base + kShoutcastStatusPath, GShoutCastSource::kStatusByteLimit,
        GShoutCastSource::kStatusLimitMs, stop, &page);
    *arrived = index == PageRead::Arrived;
    if (*arrived && ReadShoutcastPage(page, &status))
        return status;
    // An Icecast server reached through its SHOUTcast-compatible socket
    // has no such page, but its own status on the same port: the whole
    // page, as that socket's mount is the server's choice.
    const uint64_t spent = clock.NowMs() - started;
    if (spent >= GShoutCastSource::kStatusLimitMs || stop.stop_requested())
        return status;
    const uint32_t left = static_cast<uint32_t>(GShoutCastSource::kStatusLimitMs - spent);
    const PageRead json = Download(target.base + kIcecastStatusPath, kIcecastStatusByteLimit, left, stop, &page);
    const bool parsed = json == PageRead::Arrived && icecast.Parse(page);
    // Neither page is there: the SHOUTcast one is what this server type
    // reads.
    if (index == PageRead::Missing && !parsed && json != PageRead::Failed)
        status.missingPage = kShoutcastStatusPath;
    if (json != PageRead::Arrived)
        return status;
    *arrived = true;
    if (parsed)
        (void)ReadIcecastSource(icecast.ForStation(target.stationName), &status);
    return status;
}

} // namespace

GShoutCastSource::GShoutCastSource()
    : GShoutCastSource(platform::SocketApi::System(), platform::HostResolver::System(), platform::Clock::System())
{
}

GShoutCastSource::GShoutCastSource(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock)
    : m_api(api)
    , m_resolver(resolver)
    , m_clock(clock)
{
}

GShoutCastSource::~GShoutCastSource()
{
    Close();
}

int GShoutCastSource::Connect(const char* host, int port, int bitrateKbps, const char* password,
    const char* stationName, const char* stationUrl, const char* genre, const char* djName, std::stop_token stop)
{
    Close();
    if (!host || !*host || port <= 0 || bitrateKbps <= 0)
        return kBadArguments;
    m_replyWatch = GSourceReplyWatch();

    // Icecast 2 takes its sources on the port its listeners use.
    const SServerProtocol protocol = GetServerProtocol();
    m_host = host;
    m_nPort = port;
    m_nSourcePort = protocol.type == ServerType::Icecast2 ? port : port + 1;
    m_password = Text(password);
    m_stationName = Text(stationName);
    m_firstTitle = m_stationName;
    m_stationUrl = Text(stationUrl);
    m_firstTitleUrl = m_stationUrl;
    m_genre = Text(genre);
    m_djName = Text(djName);
    m_icq.clear();
    m_irc.clear();
    m_nBitrateKbps = bitrateKbps;

    m_pSourceSocket.reset(new (std::nothrow) GSocket(m_api, m_resolver, m_clock));
    if (!m_pSourceSocket)
        return kNoMemory;
    if (!m_pSourceSocket->Create(m_nSourcePort))
        return kCreateFailed;
    (void)m_pSourceSocket->LimitSendBuffer(kSourceSendBuffer);
    const int login = Login(protocol, stop);
    if (login != kOk)
        return login;
    if (m_replyWatch.Current() != GSourceReplyWatch::Verdict::Pending)
        m_pSourceSocket->DiscardIncoming();
    m_nLastProgressMs = m_clock.NowMs();
    m_nProgressBytes = m_pSourceSocket->GetBytesSent();

    {
        std::lock_guard guard(m_titleLock);
        m_pTitleSocket.reset(new (std::nothrow) GSocket(m_api, m_resolver, m_clock));
        if (!m_pTitleSocket)
            return kNoMemory;
    }
    if (!m_titlePusher.Start([this](const std::string& song, const std::string& url, std::stop_token pushStop) {
            (void)SendTitleNow(song.c_str(), url.c_str(), pushStop);
        }))
        return kNoMemory;
    // Connect blocks anyway: the first title goes out before it returns,
    // so a title handed over right after cannot replace it.
    (void)SendTitleNow(m_firstTitle.c_str(), m_firstTitleUrl.c_str(), stop);
    // A login stopped at its very end is stopped all the same: its owner
    // applies nothing of it.
    if (stop.stop_requested())
        return kConnectFailed;
    m_bConnected = true;
    return kOk;
}

int GShoutCastSource::SendAndWait(GSocket& socket, const std::string& bytes, uint32_t limitMs, std::stop_token stop)
{
    return socket.SendAndWait(bytes.data(), static_cast<int>(bytes.size()), limitMs, stop) ? kOk : kSendFailed;
}

// The source login: the connection, then the protocol's exchange on it.
// Every wait gives up once stop is requested.
int GShoutCastSource::Login(const SServerProtocol& protocol, std::stop_token stop)
{
    GSocket& s = *m_pSourceSocket;
    if (protocol.type == ServerType::Icecast2) {
        GIcecastLogin::SParams params;
        params.host = m_host;
        params.port = m_nSourcePort;
        params.mount = protocol.mount;
        params.user = protocol.user;
        params.password = m_password;
        params.stationName = m_stationName;
        params.genre = m_genre;
        params.stationUrl = m_stationUrl;
        params.description = m_djName;
        params.bitrateKbps = m_nBitrateKbps;
        {
            std::lock_guard guard(m_protocolLock);
            params.sampleRate = m_format.sampleRate;
            params.channels = m_format.channels;
        }
        return GIcecastLogin(m_clock, std::move(params)).Run(s, stop, &m_replyWatch);
    }
    if (!s.Connect(m_host.c_str(), m_nSourcePort, stop))
        return kConnectFailed;
    return ShoutcastExchange(s, stop);
}

// Client side of the SHOUTcast source login: password line, "OK2" reply,
// header block.
int GShoutCastSource::ShoutcastExchange(GSocket& s, std::stop_token stop)
{
    // The password and a line feed, no NUL between them: servers that look
    // for the line end with a string search never see it past a NUL. A
    // server that refuses the password may answer and close within the
    // very poll that sends it: the answer stays readable.
    const std::string passwordLine = m_password + "\n";
    if (!s.SendAndWait(passwordLine.data(), static_cast<int>(passwordLine.size()), kLoginSendLimitMs, stop))
        return s.GetState() == GSocket::kConnected ? kSendFailed : kNoReply;

    const uint64_t started = m_clock.NowMs();
    for (;;) {
        if (!s.Poll(nullptr)) {
            // A reply followed by a close is still the server's answer. A
            // close with too little to hold "OK2" says nothing about the
            // password: the connection failed, and a reconnect may well
            // succeed. A close without a byte is told apart, as some
            // servers refuse a password that way.
            if (s.GetReceiveLength() >= 3)
                break;
            return s.GetReceiveLength() == 0 ? kClosedAfterPassword : kNoReply;
        }
        if (s.GetReceiveLength() > 4)
            break;
        if (m_clock.NowMs() - started >= kLoginReplyLimitMs || stop.stop_requested())
            return kNoReply;
        m_clock.SleepMs(kPollSleepMs);
    }

    char reply[kReplyBytes + 1] = {};
    int len = kReplyBytes;
    if (!s.Receive(&len, reply, GSocket::Take::Consume) || len <= 0)
        return kNoReply;
    if (len < 3)
        return kNoReply;
    if (strncasecmp(reply, "OK2", 3) != 0)
        return kPasswordRefused;
    // A server that emulates the protocol may take any password and refuse
    // it after "OK2" and its header lines, as an HTTP server would.
    m_replyWatch = GSourceReplyWatch(GSourceReplyWatch::Lead::ShoutcastBlock);
    if (m_replyWatch.Feed(std::string_view(reply + 3, static_cast<size_t>(len - 3)))
        == GSourceReplyWatch::Verdict::Refused)
        return m_replyWatch.RefusalCode();

    // Each line ends in a line feed alone; an empty line ends the block.
    std::string headers;
    headers += "icy-name:" + m_stationName + "\n";
    headers += "icy-genre:" + m_genre + "\n";
    headers += "icy-url:" + m_stationUrl + "\n";
    headers += "icy-aim:" + m_djName + "\n";
    headers += "icy-icq:" + m_icq + "\n";
    headers += "icy-irc:" + m_irc + "\n";
    headers += "Content-Type:audio/mpeg\n";
    headers += "icy-pub:1\n";
    headers += "icy-br:" + std::to_string(m_nBitrateKbps) + "\n";
    headers += "icy-filekey:\n\n";
    return SendAndWait(s, headers, kLoginSendLimitMs, stop);
}

void GShoutCastSource::Close()
{
    // A push or a status download in flight ends now, not at its limit.
    m_titlePusher.Stop();
    DropStatusRead();
    if (m_pSourceSocket)
        m_pSourceSocket->Close();
    m_pSourceSocket.reset();
    {
        std::lock_guard guard(m_titleLock);
        if (m_pTitleSocket)
            m_pTitleSocket->Close();
        m_pTitleSocket.reset();
        m_encodedSong.clear();
        m_encodedSong.shrink_to_fit();
        m_encodedUrl.clear();
        m_encodedUrl.shrink_to_fit();
        m_titleRequest.clear();
        m_titleRequest.shrink_to_fit();
    }
    m_host.clear();
    m_password.clear();
    m_stationName.clear();
    m_stationUrl.clear();
    m_genre.clear();
    m_djName.clear();
    m_firstTitle.clear();
    m_firstTitleUrl.clear();
    m_bConnected = false;
    m_nStreamRefusal = kOk;
}

bool GShoutCastSource::IsConnected() const
{
    return m_bConnected && m_pSourceSocket && m_pSourceSocket->IsOpen();
}

int GShoutCastSource::Send(const void* data, int len)
{
    if (!m_pSourceSocket || !m_pSourceSocket->IsOpen())
        return kSendFailed;
    if (!m_pSourceSocket->Send(data, len)) {
        m_pSourceSocket->Close();
        return kSendFailed;
    }
    return PollStream();
}

int GShoutCastSource::Flush()
{
    if (!m_pSourceSocket || !m_pSourceSocket->IsOpen())
        return kSendFailed;
    return PollStream();
}

bool GShoutCastSource::WatchReplies(GSocket& s, bool alive)
{
    if (m_replyWatch.Current() != GSourceReplyWatch::Verdict::Pending)
        return false;
    char piece[kReplyBytes];
    while (m_replyWatch.Current() == GSourceReplyWatch::Verdict::Pending && s.GetReceiveLength() > 0) {
        int len = kReplyBytes;
        if (!s.Receive(&len, piece, GSocket::Take::Consume) || len <= 0)
            break;
        (void)m_replyWatch.Feed(std::string_view(piece, static_cast<size_t>(len)));
    }
    if (!alive)
        (void)m_replyWatch.End();
    if (m_replyWatch.Current() == GSourceReplyWatch::Verdict::Refused) {
        m_nStreamRefusal = m_replyWatch.RefusalCode();
        return true;
    }
    if (m_replyWatch.Current() == GSourceReplyWatch::Verdict::Done)
        s.DiscardIncoming();
    return false;
}

int GShoutCastSource::PollStream()
{
    GSocket& s = *m_pSourceSocket;
    const bool alive = s.Poll(nullptr);
    // A refusal ends the stream as it would have ended the login; it is
    // noted before the close that tells the owner.
    if (WatchReplies(s, alive) || !alive) {
        s.Close();
        return kSendFailed;
    }
    // Closing is what tells the owner: IsConnected turns false on every
    // thread, and the server, should it wake, sees the end of the stream.
    const int queued = s.GetSendLength();
    if (queued >= kMaxQueuedStream) {
        s.Close();
        return kSendFailed;
    }
    const uint64_t now = m_clock.NowMs();
    if (queued == 0 || s.GetBytesSent() != m_nProgressBytes) {
        m_nLastProgressMs = now;
        m_nProgressBytes = s.GetBytesSent();
        return kOk;
    }
    if (now - m_nLastProgressMs >= kStallLimitMs) {
        s.Close();
        return kSendFailed;
    }
    return kOk;
}

void GShoutCastSource::SetServerProtocol(const SServerProtocol& protocol)
{
    std::lock_guard guard(m_protocolLock);
    m_protocol = protocol;
}

GShoutCastSource::SServerProtocol GShoutCastSource::GetServerProtocol() const
{
    std::lock_guard guard(m_protocolLock);
    return m_protocol;
}

void GShoutCastSource::SetStreamFormat(const SStreamFormat& format)
{
    std::lock_guard guard(m_protocolLock);
    m_format = format;
}

int GShoutCastSource::UpdateTitle(const char* song, const char* url)
{
    return m_titlePusher.Post(Text(song), Text(url)) ? kOk : kNoTitleSocket;
}

bool GShoutCastSource::WaitTitlesSent(int timeoutMs)
{
    return m_titlePusher.WaitIdle(timeoutMs);
}

std::string GShoutCastSource::TitleRequest(
    const SServerProtocol& protocol, const std::string& song, const std::string& url, std::string* shown)
{
    if (protocol.type == ServerType::Icecast2) {
        // The mount's title, as UTF-8 in the query, with the source's own
        // credentials; HTTP/1.0, so the server closes after its answer.
        const std::string line = "GET /admin/metadata?mount=" + PercentEncode(protocol.mount, PercentKeep::Nothing)
            + "&mode=updinfo&song=" + PercentEncode(CutTitle(song), PercentKeep::Nothing)
            + "&charset=UTF-8 HTTP/1.0\r\nHost: " + HeaderValue(m_host) + ":" + std::to_string(m_nPort) + "\r\n";
        const std::string rest = "User-Agent: " + std::string(kAgent) + "\r\n\r\n";
        // The trace is for developers; the credentials never go into it.
        *shown = line + rest;
        return line + "Authorization: " + BasicAuthorization(protocol.user, m_password) + "\r\n" + rest;
    }
    m_encodedSong = Encoded(CutTitle(song));
    m_encodedUrl = Encoded(url);
    const std::string head = "GET /admin.cgi?pass=";
    const std::string rest
        = "&mode=updinfo&song=" + m_encodedSong + "&url=" + m_encodedUrl + " HTTP/1.1\nUser-Agent: " + kAgent + "\n\n";
    *shown = head + "*" + rest;
    // The server decodes the query, so a password with '&', '#', '+' or a
    // blank must be escaped to arrive whole; plain passwords stay
    // byte-identical.
    return head + PercentEncode(m_password, PercentKeep::Nothing) + rest;
}

int GShoutCastSource::SendTitleNow(const char* song, const char* url, std::stop_token stop)
{
    std::lock_guard guard(m_titleLock);
    if (!m_pTitleSocket)
        return kNoTitleSocket;
    GSocket& s = *m_pTitleSocket;
    if (!s.Create(m_nPort))
        return kCreateFailed;

    const SServerProtocol protocol = GetServerProtocol();
    std::string shown;
    m_titleRequest = TitleRequest(protocol, Text(song), Text(url), &shown);

    int result = kOk;
    if (!s.Connect(m_host.c_str(), m_nPort, stop))
        result = kConnectFailed;
    else
        result = s.SendAndWait(m_titleRequest.data(), static_cast<int>(m_titleRequest.size()), kTitleSendLimitMs, stop)
            ? kOk
            : kSendFailed;
    // Icecast says whether it took the title; a SHOUTcast server is not
    // asked.
    if (result == kOk && protocol.type == ServerType::Icecast2) {
        GHttpReply reply;
        if (GIcecastLogin::AwaitReply(s, reply, m_clock, m_clock.NowMs(), kTitleSendLimitMs, stop)
            != GHttpReply::Progress::Whole)
            result = kNoReply;
        else if (GIcecastLogin::Classify(reply) == GIcecastLogin::Answer::WrongPassword)
            result = kPasswordRefused;
        else if (GIcecastLogin::Classify(reply) != GIcecastLogin::Answer::Accepted)
            result = kRejected;
    }
    if (result == kOk)
        DebugTrace("DJ서버로 전송: %s", shown.c_str());
    s.Close();
    return result;
}

void GShoutCastSource::UrlEncode(const char* text, char* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return;
    int used = 0;
    for (const char* p = text ? text : ""; *p && capacity - used >= 4; ++p) {
        std::snprintf(buffer + used, 4, "%%%02x", static_cast<unsigned char>(*p));
        used += 3;
    }
    buffer[used] = '\0';
}

void GShoutCastSource::DropStatusRead()
{
    if (m_statusWorker.joinable())
        GLingeringThreads::Release(
            m_statusWorker, std::shared_ptr<const std::atomic<bool>>(m_pStatusRead, &m_pStatusRead->ended));
    m_pStatusRead.reset();
}

bool GShoutCastSource::FetchStatus(platform::TargetHandle notifyWindow)
{
    if (notifyWindow == platform::kNoTarget)
        return false;
    if (m_pStatusRead) {
        std::lock_guard guard(m_pStatusRead->lock);
        if (m_pStatusRead->busy)
            return false;
    }
    DropStatusRead();

    SStatusTarget target;
    target.base = m_nPort < 1 ? "http://" + m_host : "http://" + m_host + ":" + std::to_string(m_nPort);
    target.protocol = GetServerProtocol();
    target.stationName = m_stationName;
    auto pRead = std::make_shared<SStatusRead>();
    try {
        // The read holds all it uses: Close may leave it to end by itself.
        m_statusWorker = std::jthread([pRead, target, notifyWindow](std::stop_token stop) {
            bool arrived = false;
            SServerStatus status = ReadStatus(target, platform::Clock::System(), stop, &arrived);
            {
                std::lock_guard guard(pRead->lock);
                pRead->status = std::move(status);
                pRead->busy = false;
            }
            if (!stop.stop_requested())
                platform::PostMessage(notifyWindow, WmHttpGetFileComplete(), 0, arrived ? 1 : 0);
            pRead->ended.store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_pStatusRead = std::move(pRead);
    return true;
}

bool GShoutCastSource::TakeStatus(SServerStatus* status)
{
    if (!m_pStatusRead)
        return false;
    // The completion is posted after the worker stored its result; a read
    // that is really still running is not taken.
    std::lock_guard guard(m_pStatusRead->lock);
    if (m_pStatusRead->busy)
        return false;
    if (status)
        *status = m_pStatusRead->status;
    const bool usable = m_pStatusRead->status.usable;
    m_pStatusRead->status = {};
    return usable;
}

int GShoutCastSource::ParseStatus(int* current, int* maximum)
{
    SServerStatus status;
    if (!TakeStatus(&status))
        return 0;
    if (current)
        *current = status.current;
    if (maximum)
        *maximum = status.maximum;
    return 1;
}

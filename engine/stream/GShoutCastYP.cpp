#include "engine/stream/GShoutCastYP.h"

#include "engine/stream/PlayerTitle.h"
#include "foundation/Blowfish.h"
#include "foundation/DebugTrace.h"
#include "platform/TextCase.h"

#include <cstdio>
#include <system_error>

namespace {

// The board key's plain text ends with the cipher's own key letters; the
// board decodes exactly this.
constexpr std::string_view kBoardKeySuffix = "QUORBLATEN";
constexpr const char* kContentType = "audio/mpeg";
constexpr uint32_t kSendPollMs = 50;

constexpr const char* kRefusals[]
    = { "Invalid_sk", "Denytitle", "Blockip", "Blockpls", "Duplicate", "Connectfail", "Addfail" };

int ClampTouchMinutes(int minutes)
{
    if (minutes < GShoutCastYP::kMinTouchMinutes)
        return GShoutCastYP::kMinTouchMinutes;
    return minutes > GShoutCastYP::kMaxTouchMinutes ? GShoutCastYP::kMaxTouchMinutes : minutes;
}

// "key=value" pairs joined by "&", the first without one.
class Query {
public:
    Query& Add(const char* key, const std::string& value)
    {
        if (!m_text.empty())
            m_text += '&';
        m_text += key;
        m_text += '=';
        m_text += value;
        return *this;
    }
    Query& Add(const char* key, int value) { return Add(key, std::to_string(value)); }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// The directory has always been sent a "Host" line ended by a line feed
// alone; it is kept byte for byte.
std::string Request(const std::string& prefix, const char* script, const Query& query, const std::string& host)
{
    return "GET " + prefix + script + "?" + query.Text() + " HTTP/1.0\r\nHost: " + host + "\nAccept: */*\r\n\r\n";
}

} // namespace

GShoutCastYP::GShoutCastYP()
    : GShoutCastYP(platform::SocketApi::System(), platform::HostResolver::System(), platform::Clock::System(),
        platform::WindowFinder::System())
{
}

GShoutCastYP::GShoutCastYP(
    platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock, platform::WindowFinder& windows)
    : m_api(api)
    , m_resolver(resolver)
    , m_clock(clock)
    , m_windows(windows)
    , m_msgNotify(platform::RegisterMessage(kNotifyMessage))
{
}

GShoutCastYP::~GShoutCastYP()
{
    Stop();
}

std::string GShoutCastYP::EncodeDirectoryText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (out.size() + 4 > kEncodedCapacity)
            break;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02x", static_cast<unsigned char>(c));
            out += hex;
        }
    }
    return out;
}

int GShoutCastYP::Start(const GShoutCastYPParams& params)
{
    m_ownerThread.CheckOwner();
    Stop();
    if (params.host.empty() || params.port <= 0 || params.bitrateKbps <= 0 || params.notifyWindow == platform::kNoTarget
        || params.host.size() > GSocket::kMaxHost)
        return kBadArguments;
    m_hNotifyWindow = params.notifyWindow;
    m_szHost = params.host;
    m_nPort = params.port;
    m_nBitrate = params.bitrateKbps;
    m_szPathPrefix = "/" + params.pathWord + "/";
    m_szStationNameEnc = EncodeDirectoryText(params.stationName);
    m_szStationUrlEnc = EncodeDirectoryText(params.stationUrl);
    m_szGenreEnc = EncodeDirectoryText(params.genre);
    m_szDJNameEnc = EncodeDirectoryText(params.djName);
    m_szIcqEnc = EncodeDirectoryText(params.icq);
    m_szIrcEnc = EncodeDirectoryText(params.irc);
    m_szListenAddressEnc = EncodeDirectoryText(params.listenAddress);
    m_szMachineKeyEnc = EncodeDirectoryText(params.machineKey);
    m_szTimeTextEnc = EncodeDirectoryText(params.timeText);
    m_szCheckKeyEnc = EncodeDirectoryText(params.checkKey);
    m_szVersionEnc = EncodeDirectoryText(params.version);
    m_szContentTypeEnc = EncodeDirectoryText(kContentType);
    {
        std::lock_guard guard(m_titleLock);
        m_szTitle = params.stationName;
        m_szTitleEnc = m_szStationNameEnc;
        m_szTitleUrl = params.stationUrl;
    }

    m_pSocket = std::make_unique<GSocket>(m_api, m_resolver, m_clock);
    if (!m_pSocket->Create(m_nDirectoryPort)) {
        Stop();
        return kSocketFailed;
    }
    m_state = State::Register;
    try {
        m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (const std::system_error&) {
        Stop();
        return kThreadFailed;
    }
    return kStarted;
}

void GShoutCastYP::Stop()
{
    m_ownerThread.CheckOwner();
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_thread = std::jthread();
    m_pSocket.reset();
    m_reply.Clear();
    m_state = State::Register;
    m_nYPId = -1;
    m_nTouchMinutes = kDefaultTouchMinutes;
    m_nLastTouchTick = 0;
    m_nLastActivityTick = 0;
    m_nRequestTick = 0;
    m_nFailCount = 0;
    m_nCurrentListeners = 0;
    m_nMaxListeners = 0;
    m_hNotifyWindow = platform::kNoTarget;
    for (std::string* s : { &m_szHost, &m_szPathPrefix, &m_szStationNameEnc, &m_szStationUrlEnc, &m_szGenreEnc,
             &m_szDJNameEnc, &m_szIcqEnc, &m_szIrcEnc, &m_szListenAddressEnc, &m_szMachineKeyEnc, &m_szTimeTextEnc,
             &m_szCheckKeyEnc, &m_szVersionEnc, &m_szContentTypeEnc })
        s->clear();
    {
        std::lock_guard guard(m_titleLock);
        m_szTitle.clear();
        m_szTitleEnc.clear();
        m_szTitleUrl.clear();
    }
    std::lock_guard guard(m_sharedLock);
    m_szErrorText.clear();
    m_szBoardKey.clear();
}

void GShoutCastYP::SetTitle(const char* title, const char* url)
{
    std::lock_guard guard(m_titleLock);
    if (title) {
        m_szTitle = title;
        m_szTitleEnc = EncodeDirectoryText(m_szTitle);
    }
    if (url)
        m_szTitleUrl = url;
}

void GShoutCastYP::SetListeners(int current, int maximum)
{
    m_nCurrentListeners = current < 0 ? 0 : current;
    m_nMaxListeners = maximum < 0 ? 0 : maximum;
}

std::string GShoutCastYP::GetErrorText() const
{
    std::lock_guard guard(m_sharedLock);
    return m_szErrorText;
}

void GShoutCastYP::SetBoardKeySource(bool songRequest, const std::string& serverAddress, int serverPort)
{
    m_ownerThread.CheckOwner();
    std::lock_guard guard(m_sharedLock);
    m_bSongRequest = songRequest;
    m_szServerAddress = serverAddress;
    m_nServerPort = serverPort;
}

std::string GShoutCastYP::GetBoardKey() const
{
    std::lock_guard guard(m_sharedLock);
    return m_szBoardKey;
}

void GShoutCastYP::Notify(int what, int code)
{
    platform::PostMessage(
        m_hNotifyWindow, m_msgNotify, static_cast<platform::WParam>(what), static_cast<platform::LParam>(code));
}

// ---- worker ---------------------------------------------------------------

void GShoutCastYP::Run(std::stop_token stop)
{
    int code = 0;
    while (!stop.stop_requested()) {
        code = Step(stop);
        if (code != 0)
            break;
        m_clock.SleepMs(kStepMs);
    }
    const bool ended = code != 0;
    if (m_state == State::Idle)
        Unregister();
    int result = code;
    switch (m_state) {
    case State::WaitRegister:
        result = ended ? kRegisterEnded : kOk;
        break;
    case State::Idle:
        result = ended ? kTouchEnded : kOk;
        break;
    case State::WaitTouch:
        result = kTouchEnded;
        break;
    default:
        break;
    }
    m_pSocket->Close();
    Notify(kThreadEnded, result);
}

int GShoutCastYP::Step(std::stop_token stop)
{
    switch (m_state) {
    case State::Register: {
        const int code = SendRegister(stop);
        if (code != 0 || stop.stop_requested())
            return code;
        m_state = State::WaitRegister;
        return 0;
    }
    case State::WaitRegister: {
        const int code = WaitReplyStep(Reply::Register);
        if (code == kIncomplete)
            return 0;
        // The schedule is set before the window hears of it, so whatever
        // the window does next (a Stop, a clock step in tests) sees it.
        if (code == 0) {
            m_nLastTouchTick = m_clock.NowMs();
            m_state = State::Idle;
        }
        Notify(kRegisterResult, code);
        return code;
    }
    case State::Idle:
        return Touch(stop);
    case State::WaitTouch: {
        // Only failures to reach the directory count towards the limit; a
        // directory that answers, even badly or late, keeps us listed.
        m_nFailCount = 0;
        int code = WaitReplyStep(Reply::Touch);
        if (code == kIncomplete)
            return 0;
        if (code == kNoReply)
            ++m_nFailCount;
        m_state = State::Idle;
        if (code != 0) {
            const int posted = code;
            if (m_nFailCount < kMaxFailures) {
                code = 0;
                m_nLastTouchTick += kRetryDelayMs;
            }
            Notify(kTouchResult, posted);
        }
        return code;
    }
    default:
        return kBadState;
    }
}

bool GShoutCastYP::EnsureConnected(int* code)
{
    // A connection the directory kept open is reused; Poll notices one it
    // has closed since.
    if (m_pSocket->GetState() == GSocket::kConnected && m_pSocket->Poll(nullptr))
        return true;
    if (!m_pSocket->Create(m_nDirectoryPort)) {
        *code = kCreateFailed;
        return false;
    }
    if (!m_pSocket->Connect(m_szHost.c_str(), m_nDirectoryPort)) {
        *code = kConnectFailed;
        return false;
    }
    return true;
}

// Queues the request and polls until it left. Gives up after limitMs, when
// the connection ends, or (with a stop token) as soon as Stop asks.
bool GShoutCastYP::SendRequest(const std::string& request, uint32_t limitMs, const std::stop_token* stop)
{
    // Whatever a previous exchange left unread is not part of the next reply.
    m_pSocket->Skip(m_pSocket->GetReceiveLength());
    m_reply.Clear();
    if (!m_pSocket->Send(request.data(), static_cast<int>(request.size())))
        return false;
    const uint64_t started = m_clock.NowMs();
    for (;;) {
        const bool alive = m_pSocket->Poll(nullptr);
        if (m_pSocket->GetSendLength() == 0)
            return true;
        if (!alive || (stop && stop->stop_requested()) || m_clock.NowMs() - started >= limitMs)
            return false;
        m_clock.SleepMs(kSendPollMs);
    }
}

int GShoutCastYP::TavFlag()
{
    return TrimSpaces(ReadTavAudioTitle(m_windows)).empty() ? 0 : 1;
}

void GShoutCastYP::BuildBoardKey()
{
    std::lock_guard guard(m_sharedLock);
    if (!m_bSongRequest) {
        m_szBoardKey.clear();
        return;
    }
    const std::string plain = m_szServerAddress + std::to_string(m_nServerPort) + std::string(kBoardKeySuffix);
    m_szBoardKey = BlowfishHexWholeBlocks(plain);
}

int GShoutCastYP::SendRegister(std::stop_token stop)
{
    int code = 0;
    const bool connected = EnsureConnected(&code);
    if (stop.stop_requested())
        return 0;
    if (!connected) {
        Notify(kRegisterResult, kConnectFailed);
        return kConnectFailed;
    }
    BuildBoardKey();
    Query query;
    query.Add("v", 1)
        .Add("br", m_nBitrate)
        .Add("p", m_nPort)
        .Add("m", m_nMaxListeners.load())
        .Add("tav", TavFlag())
        .Add("t", m_szStationNameEnc)
        .Add("g", m_szGenreEnc)
        .Add("url", m_szStationUrlEnc)
        .Add("content", m_szContentTypeEnc)
        .Add("irc", m_szIrcEnc)
        .Add("icq", m_szIcqEnc)
        .Add("aim", m_szDJNameEnc)
        .Add("_cu", m_szListenAddressEnc)
        .Add("_hk", m_szMachineKeyEnc)
        .Add("_am", m_szTimeTextEnc)
        .Add("_sk", m_szCheckKeyEnc)
        .Add("boardkey", GetBoardKey())
        .Add("_vr", m_szVersionEnc);
    const std::string request = Request(m_szPathPrefix, "addsrv_v2.php", query, m_szHost);
    if (!SendRequest(request, kSendLimitMs, &stop)) {
        if (stop.stop_requested())
            return 0;
        Notify(kRegisterResult, kSendFailed);
        return kSendFailed;
    }
    m_nLastActivityTick = m_clock.NowMs();
    m_nRequestTick = m_nLastActivityTick;
    DebugTrace("YP로 BlockSend전송: %s", request.c_str());
    return 0;
}

int GShoutCastYP::Touch(std::stop_token stop)
{
    // After a failure the stamp lies a minute ahead of the last touch, so
    // the due time is compared, never the (then negative) time since it.
    const uint64_t interval = static_cast<uint64_t>(ClampTouchMinutes(m_nTouchMinutes)) * 60000u;
    if (m_clock.NowMs() < m_nLastTouchTick + interval)
        return 0;
    int code = 0;
    std::string request;
    if (EnsureConnected(&code)) {
        std::string title;
        {
            std::lock_guard guard(m_titleLock);
            title = m_szTitleEnc;
        }
        Query query;
        query.Add("id", m_nYPId)
            .Add("p", m_nPort)
            .Add("li", m_nCurrentListeners.load())
            .Add("m", m_nMaxListeners.load())
            .Add("tav", TavFlag())
            .Add("alt", 0)
            .Add("ct", title)
            .Add("cm", 0)
            .Add("ht", 0);
        request = Request(m_szPathPrefix, "tchsrv", query, m_szHost);
        if (!SendRequest(request, kSendLimitMs, &stop))
            code = kSendFailed;
    }
    // A touch cut short by Stop is not a failure of the directory.
    if (code != 0 && stop.stop_requested())
        return 0;
    if (code == 0) {
        m_nLastTouchTick = m_clock.NowMs();
        m_nLastActivityTick = m_nLastTouchTick;
        m_nRequestTick = m_nLastTouchTick;
        m_state = State::WaitTouch;
        m_nFailCount = 0;
        DebugTrace("YP로 BlockSend전송: %s", request.c_str());
        Notify(kTouchResult, kOk);
        return 0;
    }
    ++m_nFailCount;
    const bool retry = m_nFailCount < kMaxFailures;
    if (retry) {
        m_nLastTouchTick += kRetryDelayMs;
        m_pSocket->Close();
    }
    Notify(kTouchResult, code);
    return retry ? 0 : code;
}

// Best effort on the way out: Stop is waiting, so the send is short and
// nothing is read back.
void GShoutCastYP::Unregister()
{
    int code = 0;
    if (!EnsureConnected(&code))
        return;
    Query query;
    query.Add("id", m_nYPId).Add("p", m_nPort);
    const std::string request = Request(m_szPathPrefix, "remsrv", query, m_szHost);
    (void)SendRequest(request, kUnregisterSendLimitMs, nullptr);
    m_pSocket->Close();
}

// ---- replies --------------------------------------------------------------

int GShoutCastYP::FailReply()
{
    m_pSocket->Close();
    m_reply.Clear();
    return kNoReply;
}

GYPReply::LineRead GShoutCastYP::TakeLine(std::string* line)
{
    char buf[GYPReply::kMaxLineBytes];
    int len = static_cast<int>(sizeof buf);
    if (!m_pSocket->Receive(&len, buf, false) || len <= 0)
        return GYPReply::LineRead::None;
    size_t consumed = 0;
    const GYPReply::LineRead read
        = GYPReply::TakeLine(std::string_view(buf, static_cast<size_t>(len)), line, &consumed);
    if (read == GYPReply::LineRead::Line)
        m_pSocket->Skip(static_cast<int>(consumed));
    return read;
}

// One reply line per step. Silence counts only while no complete line is
// waiting; a peer that closed has said all it will. Past the reply's time
// limit every line already queued is taken at once, and the reply fails
// only when its end is not among them.
int GShoutCastYP::WaitReplyStep(Reply reply)
{
    int activity = 0;
    const bool connected = m_pSocket->Poll(&activity);
    const uint64_t now = m_clock.NowMs();
    if (activity)
        m_nLastActivityTick = now;
    const bool overdue = now - m_nRequestTick > kReplyLimitMs;
    std::string line;
    for (;;) {
        switch (TakeLine(&line)) {
        case GYPReply::LineRead::Overlong:
            return FailReply();
        case GYPReply::LineRead::None:
            if (!connected || overdue || (!activity && now - m_nLastActivityTick > kReplySilenceMs))
                return FailReply();
            return kIncomplete;
        case GYPReply::LineRead::Line:
            break;
        }
        if (!m_reply.AddLine(line))
            return FailReply();
        if (line.empty())
            break;
        if (reply == Reply::Register)
            DebugTrace(
                "GShoutCastYP::_YP_WaitAddSrv()-szBuf: %s, m_nYPDataSize: %d", line.c_str(), m_reply.HeaderCount());
        if (!overdue)
            return kIncomplete;
    }
    while (TakeLine(&line) == GYPReply::LineRead::Line) {
        if (!m_reply.AddLine(line))
            return FailReply();
    }
    const std::string* connection = m_reply.Find("Connection");
    if (connection && platform::EqualsNoCase(*connection, "close"))
        m_pSocket->Close();
    const int code = reply == Reply::Register ? JudgeRegisterReply() : JudgeTouchReply();
    m_reply.Clear();
    return code;
}

int GShoutCastYP::JudgeRegisterReply()
{
    if (const std::string* error = m_reply.Find("icy-errorcode")) {
        int code = kOk;
        for (const char* refusal : kRefusals) {
            if (platform::EqualsNoCase(*error, refusal))
                code = kRefused;
        }
        if (platform::EqualsNoCase(*error, "Update"))
            code = kUpdateRequired;
        const std::string* text = m_reply.Find("icy-errorstr");
        std::lock_guard guard(m_sharedLock);
        m_szErrorText = text ? *text : std::string();
        return code;
    }
    const int ypId = m_reply.FindNumber("icy-id");
    if (ypId < 1)
        return kNoId;
    m_nYPId = ypId;
    return AcceptTouchMinutes() ? kOk : kNoTouchFrequency;
}

int GShoutCastYP::JudgeTouchReply()
{
    const std::string* response = m_reply.Find("icy-response");
    if (!response || platform::EqualsNoCase(*response, "error"))
        return kTouchRefused;
    return AcceptTouchMinutes() ? kOk : kTouchNoFrequency;
}

bool GShoutCastYP::AcceptTouchMinutes()
{
    const int minutes = m_reply.FindNumber("icy-tchfrq");
    if (minutes < 1)
        return false;
    m_nTouchMinutes = ClampTouchMinutes(minutes);
    return true;
}

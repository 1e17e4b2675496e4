#include "engine/stream/GIcecastLogin.h"

#include "engine/stream/GShoutCastSource.h"
#include "engine/stream/IcecastText.h"

#include <utility>

namespace {

constexpr uint32_t kPollSleepMs = 50;
// What one Receive takes, so a flood is read in bounded pieces.
constexpr int kReadPiece = 4096;

} // namespace

GIcecastLogin::GIcecastLogin(platform::Clock& clock, SParams params)
    : m_clock(clock)
    , m_params(std::move(params))
{
}

std::string GIcecastLogin::StationHeaders() const
{
    const SParams& p = m_params;
    std::string headers;
    headers += "Authorization: " + BasicAuthorization(p.user, p.password) + "\r\n";
    headers += "User-Agent: " + std::string(GShoutCastSource::kAgent) + "\r\n";
    headers += "Content-Type: audio/mpeg\r\n";
    headers += "ice-name: " + HeaderValue(p.stationName) + "\r\n";
    headers += "ice-genre: " + HeaderValue(p.genre) + "\r\n";
    headers += "ice-url: " + HeaderValue(p.stationUrl) + "\r\n";
    if (!p.description.empty())
        headers += "ice-description: " + HeaderValue(p.description) + "\r\n";
    headers += std::string("ice-public: ") + (p.isPublic ? "1" : "0") + "\r\n";
    headers += "ice-audio-info: bitrate=" + std::to_string(p.bitrateKbps) + ";channels=" + std::to_string(p.channels)
        + ";samplerate=" + std::to_string(p.sampleRate) + "\r\n";
    return headers;
}

std::string GIcecastLogin::PutRequest() const
{
    // Asking to continue lets the server refuse before any audio is sent;
    // Icecast answers at once either way, and its go-ahead is the answer.
    return "PUT " + PercentEncode(m_params.mount, PercentKeep::Slashes)
        + " HTTP/1.1\r\nHost: " + HeaderValue(m_params.host) + ":" + std::to_string(m_params.port) + "\r\n"
        + StationHeaders() + "Expect: 100-continue\r\n\r\n";
}

std::string GIcecastLogin::SourceRequest() const
{
    return "SOURCE " + PercentEncode(m_params.mount, PercentKeep::Slashes) + " HTTP/1.0\r\n" + StationHeaders()
        + "\r\n";
}

GIcecastLogin::Answer GIcecastLogin::Classify(const GHttpReply& reply)
{
    const int status = reply.Status();
    // A reply reads as 100 only where the go-ahead answers the request:
    // Icecast 2.5 sends its 200 only when the source ends.
    if (status == 100 || (status >= 200 && status < 300))
        return Answer::Accepted;
    if (status == 401)
        return Answer::WrongPassword;
    // Icecast says "Mountpoint in use" in the text of a 403 (2.4) or a 409
    // (2.5); the 403 also refuses for other reasons ("too many sources
    // connected").
    if ((status == 403 || status == 409) && reply.Says("in use"))
        return Answer::MountInUse;
    // Icecast before 2.4 answers a method it does not know with "400 ...
    // unknown request"; other servers with 405 or 501.
    if (status == 405 || status == 501 || (status == 400 && reply.Says("unknown")))
        return Answer::UnknownMethod;
    return Answer::Refused;
}

GHttpReply::Progress GIcecastLogin::AwaitReply(GSocket& s, GHttpReply& reply, platform::Clock& clock, uint64_t started,
    uint32_t limitMs, const std::stop_token& stop)
{
    char piece[kReadPiece];
    for (;;) {
        const bool alive = s.Poll(nullptr);
        // Bytes that arrived before the end still count: a refusal is
        // usually followed by the server closing.
        while (s.GetReceiveLength() > 0) {
            int len = kReadPiece;
            if (!s.Receive(&len, piece, GSocket::Take::Consume) || len <= 0)
                break;
            const GHttpReply::Progress progress = reply.Feed(std::string_view(piece, static_cast<size_t>(len)));
            if (progress != GHttpReply::Progress::NeedMore)
                return progress;
        }
        if (!alive || clock.NowMs() - started >= limitMs)
            return reply.End();
        if (stop.stop_requested())
            return GHttpReply::Progress::Broken;
        clock.SleepMs(kPollSleepMs);
    }
}

bool GIcecastLogin::Connected(GSocket& s, const std::stop_token& stop)
{
    if (s.GetState() == GSocket::kCreated)
        return s.Connect(m_params.host.c_str(), m_params.port, stop);
    // A connect already under way is waited for within the same bound as
    // one started here.
    const uint64_t started = m_clock.NowMs();
    while (s.GetState() == GSocket::kConnecting && !stop.stop_requested()
        && m_clock.NowMs() - started < GShoutCastSource::kLoginReplyLimitMs) {
        m_clock.SleepMs(kPollSleepMs);
        (void)s.Poll(nullptr);
    }
    return s.GetState() == GSocket::kConnected;
}

GIcecastLogin::SExchange GIcecastLogin::Exchange(
    GSocket& s, const std::string& request, GHttpReply::Expect expect, const std::stop_token& stop)
{
    if (!Connected(s, stop))
        return { GShoutCastSource::kConnectFailed, false };
    if (!s.Send(request.data(), static_cast<int>(request.size())))
        return { GShoutCastSource::kSendFailed, false };

    // Sending and waiting share one loop: a server that refuses may answer
    // and close while the request is still leaving.
    const uint64_t started = m_clock.NowMs();
    GHttpReply reply(expect);
    const GHttpReply::Progress progress
        = AwaitReply(s, reply, m_clock, started, GShoutCastSource::kLoginReplyLimitMs, stop);
    if (progress != GHttpReply::Progress::Whole) {
        const bool unsent = s.GetSendLength() > 0 && m_clock.NowMs() - started >= GShoutCastSource::kLoginSendLimitMs;
        return { unsent ? GShoutCastSource::kSendFailed : GShoutCastSource::kNoReply, false };
    }
    switch (Classify(reply)) {
    case Answer::Accepted:
        if (reply.Status() != 100)
            return { GShoutCastSource::kOk, false };
        ReadAfterGoAhead(s, reply);
        return { m_after.Current() == GSourceReplyWatch::Verdict::Refused ? m_after.RefusalCode()
                                                                          : GShoutCastSource::kOk,
            false };
    case Answer::WrongPassword:
        return { GShoutCastSource::kPasswordRefused, false };
    case Answer::MountInUse:
        return { GShoutCastSource::kMountInUse, false };
    case Answer::UnknownMethod:
        return { GShoutCastSource::kRejected, true };
    case Answer::Refused:
        break;
    }
    return { GShoutCastSource::kRejected, false };
}

void GIcecastLogin::ReadAfterGoAhead(GSocket& s, GHttpReply& goAhead)
{
    m_after = GSourceReplyWatch(GSourceReplyWatch::Lead::Nothing);
    (void)m_after.Feed(goAhead.TakeRest());
    // No wait: Icecast 2.5 says nothing more, and a refusal that follows
    // later is read by the stream's owner.
    const bool alive = s.Poll(nullptr);
    char piece[kReadPiece];
    while (m_after.Current() == GSourceReplyWatch::Verdict::Pending && s.GetReceiveLength() > 0) {
        int len = kReadPiece;
        if (!s.Receive(&len, piece, GSocket::Take::Consume) || len <= 0)
            break;
        (void)m_after.Feed(std::string_view(piece, static_cast<size_t>(len)));
    }
    if (!alive)
        (void)m_after.End();
}

int GIcecastLogin::Run(GSocket& s, std::stop_token stop, GSourceReplyWatch* pAfter)
{
    m_after = GSourceReplyWatch();
    int result = GShoutCastSource::kOk;
    const SExchange put = Exchange(s, PutRequest(), GHttpReply::Expect::Continue, stop);
    if (!put.unknownMethod || stop.stop_requested()) {
        result = put.result;
    } else {
        // What a refusing server leaves of the connection is not known, so
        // the older request goes on a connection of its own.
        s.Close();
        if (!s.Create(m_params.port))
            return GShoutCastSource::kCreateFailed;
        (void)s.LimitSendBuffer(GShoutCastSource::kSourceSendBuffer);
        result = Exchange(s, SourceRequest(), GHttpReply::Expect::FinalReply, stop).result;
    }
    if (result != GShoutCastSource::kOk)
        return result;
    if (pAfter && m_after.Current() == GSourceReplyWatch::Verdict::Pending) {
        *pAfter = m_after;
        return result;
    }
    // On air the server has nothing more to say that the program acts on
    // (Icecast 2.5 sends its 200 when the source ends); kept, it would pile
    // up beside the stream.
    s.DiscardIncoming();
    return result;
}

#include "engine/server/CClient.h"

#include "engine/server/CDJServer.h"
#include "engine/server/ServerProtocol.h"
#include "foundation/GSocket.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kPlaylist[] = "HTTP/1.1 200 OK\r\nContent-Type:text/acpls\r\n\r\n[playlist]\r\nNumberOfEntries=1\r\n"
                             "File1=http://%s:%d/\r\nTitle1=TavDJServer\r\n\r\n";
constexpr char kRefusal[] = "ICY 400 Server Full\r\nicy-notice1:<BR>VEDAZ IDUZAD v1.x<BR>\r\n"
                            "icy-notice2:This server has reached its user limit<BR>\r\n\r\n";
constexpr char kStreamHeader[]
    = "HTTP/1.1 200 OK\r\nContent-Type:audio/mpeg\r\nicy-name:%s\r\nicy-genre:%s\r\nicy-br:%d\r\n";
// HTTP clients (curl, scripts) report an update answered by a bare close
// as an error; this tells them it was taken.
constexpr char kUpdated[] = "HTTP/1.0 200 OK\r\nContent-Type:text/html\r\nContent-Length:40\r\nConnection:close\r\n\r\n"
                            "<html><body>Update done.</body></html>\r\n";

// The metadata block of a stretch without a new title: its length byte.
constexpr char kEmptyTitle = '\0';

int ReadDecimal(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return value > 0x7FFFFFFFL ? 0x7FFFFFFF : (value < -0x7FFFFFFFL ? -0x7FFFFFFF : static_cast<int>(value));
}

} // namespace

CClient::CClient() = default;
CClient::~CClient() = default;

void CClient::Attach(std::unique_ptr<GSocket> socket, CDJServer* server, Intro intro)
{
    m_pSocket = std::move(socket);
    m_pServer = server;
    char address[16] = {};
    if (m_pSocket && m_pSocket->GetPeerAddress(address))
        m_peerAddress = address;
    m_nConnectTick = server->NowMs();
    m_intro = intro;
}

uint32_t CClient::ElapsedMs() const
{
    return m_pServer ? m_pServer->NowMs() - m_nConnectTick : 0;
}

void CClient::Evict()
{
    m_pServer->Log("Evicted(IP:%s)", m_peerAddress.c_str());
    DropSocket();
    Remove();
}

void CClient::PrintInfo() const
{
    m_pServer->Console("IP:%-15s Agent:%s Sent:%" PRIu64 " ConTime:%d\n", m_peerAddress.c_str(), m_agent.c_str(),
        m_pSocket ? m_pSocket->GetBytesSent() : uint64_t { 0 }, static_cast<int>(ElapsedMs() / 1000));
}

platform::SocketFd CClient::Handle() const
{
    return m_pSocket ? m_pSocket->GetHandle() : platform::kNoSocket;
}

int CClient::WantedEvents(bool sweep) const
{
    if (!m_pSocket)
        return 0;
    int wanted = HasUnsent() ? platform::kPollWrite : 0;
    if (sweep || m_state == State::RequestLine || m_state == State::Headers)
        wanted |= platform::kPollRead;
    return wanted;
}

void CClient::DropSocket()
{
    m_pSocket.reset();
}

int CClient::PollOnce()
{
    int activity = 0;
    if (m_pSocket && !m_pSocket->Poll(&activity)) {
        DropSocket();
        Remove();
    }
    return activity;
}

bool CClient::TimedOut() const
{
    const uint32_t now = m_pServer->NowMs();
    // A player sends its whole request at once; a connection that has not
    // done so within a few seconds holds a place a listener could use.
    if (m_state == State::RequestLine || m_state == State::Headers)
        return now - m_nConnectTick > CDJServer::kRequestLimitMs;
    // Afterwards only bytes that cannot leave count: a listener waiting for
    // the source's first audio is not stuck.
    return now - m_pSocket->GetLastSendTime() > CDJServer::kIdleLimitMs && HasUnsent();
}

// Bytes wait for the network: queued, the rest of a block, or a block the
// network had no room for when it was offered. A block that simply has not
// been offered yet does not count: a listener whose source paused is not
// stuck.
bool CClient::HasUnsent() const
{
    return m_pSocket->GetSendLength() > 0 || m_nBlockSent > 0 || m_bNetworkFull;
}

int CClient::Step(int ready)
{
    if (!m_pSocket) {
        Remove();
        return 0;
    }
    int activity = 0;
    if (ready != 0) {
        activity = PollOnce();
        if (!m_pSocket) {
            Remove();
            return activity;
        }
    }
    // After its request a listener has nothing more to say.
    if (m_state != State::RequestLine && m_state != State::Headers)
        m_pSocket->DiscardIncoming();
    if (TimedOut()) {
        m_pServer->Log("Timeout(IP:%s)", m_peerAddress.c_str());
        DropSocket();
        Remove();
        return activity;
    }

    std::string line;
    while (m_pSocket && (m_state == State::RequestLine || m_state == State::Headers)) {
        const LineStatus got = TakeLine(*m_pSocket, m_pServer->LineScratch(), &line);
        if (got == LineStatus::Waiting)
            break;
        if (got == LineStatus::TooLong) {
            m_pServer->Log("LineTooLong(IP:%s)", m_peerAddress.c_str());
            DropSocket();
            Remove();
            return activity;
        }
        if (m_state == State::RequestLine)
            ReadRequestLine(line);
        else if (!line.empty())
            ReadHeader(line);
        else
            EndOfHeaders();
    }
    if (!m_pSocket)
        return activity;

    switch (m_state) {
    case State::Intro:
    case State::Live:
        activity |= Pump();
        break;
    case State::Answering:
        if (m_pSocket->GetSendLength() == 0)
            DropSocket();
        break;
    default:
        break;
    }
    if (m_pSocket)
        m_pSocket->ReleaseIdleQueues();
    return activity;
}

void CClient::ReadRequestLine(const std::string& line)
{
    ServerRequest request;
    const bool parsed = ParseServerRequest(line, &request);
    // HEAD asks for the answer's header alone; it never updates a title.
    m_bHeadOnly = parsed && request.method == "HEAD";
    if ((line.compare(0, 3, "GET") != 0 && !m_bHeadOnly) || !parsed) {
        SendPage("index.html");
        return;
    }
    if (request.path == "/") {
        m_pServer->Console(" client:%s\n", line.c_str());
        m_state = State::Headers;
    } else if (request.path == "/admin.cgi" && m_bHeadOnly) {
        SendPage("index.html");
    } else if (request.path == "/admin.cgi") {
        TitleUpdate(line, request);
    } else if (request.path == "/listen.pls") {
        char text[sizeof kPlaylist + 320];
        std::snprintf(text, sizeof text, kPlaylist, m_pServer->ListenAddress().c_str(), m_pServer->m_nPort);
        Answer(text);
    } else {
        SendPage(request.path);
    }
}

void CClient::ReadHeader(const std::string& line)
{
    m_pServer->Console(" client:%s\n", line.c_str());
    std::string name;
    std::string value;
    if (!ParseHeaderLine(line, &name, &value))
        return;
    if (EqualsNoCase(name, "Host"))
        m_host = value;
    else if (EqualsNoCase(name, "User-Agent"))
        m_agent = value;
    else if (EqualsNoCase(name, "Icy-MetaData"))
        m_nMetaData = ReadDecimal(value);
}

void CClient::EndOfHeaders()
{
    if (m_agent.compare(0, 7, "Mozilla") == 0) {
        m_pServer->Console("RejectAgent:%s\n", m_agent.c_str());
        SendPage("index.html");
        return;
    }
    // Only listeners that receive the stream count: page requests and
    // half-open connections must not lock real listeners out.
    if (m_pServer->StreamingCount() >= m_pServer->m_nMaxListeners) {
        m_pServer->Log(
            "ServerFull(IP:%s)(UserCount:%d)", m_peerAddress.c_str(), static_cast<int>(m_pServer->m_clients.size()));
        Answer(kRefusal);
        return;
    }
    std::string header(sizeof kStreamHeader + m_pServer->m_stationName.size() + m_pServer->m_genre.size() + 64, '\0');
    int n = std::snprintf(header.data(), header.size(), kStreamHeader, m_pServer->m_stationName.c_str(),
        m_pServer->m_genre.c_str(), m_pServer->m_nBitrate);
    header.resize(static_cast<size_t>(n));
    if (m_nMetaData != 0)
        header += "icy-metaint:" + std::to_string(CDJServer::kMetaInterval) + "\r\n";
    header += "\r\n";
    if (m_bHeadOnly) {
        Answer(header);
        return;
    }
    // A player may end its sending side once its request is out; it still
    // listens.
    m_pSocket->KeepOpenAfterPeerEnds();
    if (!m_pSocket->Send(header.data(), static_cast<int>(header.size()))) {
        DropSocket();
        return;
    }
    m_state = State::Intro;
    PollOnce();
}

void CClient::SendPage(const std::string& path)
{
    Answer(m_pServer->BuildPageAnswer(path));
}

// The answer leaves through the send queue like the stream does, so a
// reader that never reads stalls only itself; the socket closes once the
// queue is empty, or by the idle rule.
void CClient::Answer(const std::string& bytes)
{
    size_t length = bytes.size();
    if (m_bHeadOnly) {
        const size_t end = bytes.find("\r\n\r\n");
        if (end != std::string::npos)
            length = end + 4;
    }
    if (!m_pSocket->Send(bytes.data(), static_cast<int>(length))) {
        DropSocket();
        return;
    }
    m_state = State::Answering;
    PollOnce();
    if (m_pSocket && m_pSocket->GetSendLength() == 0)
        DropSocket();
}

void CClient::TitleUpdate(const std::string& line, const ServerRequest& request)
{
    // The request carries the secret of this run: never in a log.
    m_pServer->Log("GET [%s]", MaskQueryValue(line, "pass").c_str());
    const auto pass = request.query.find("pass");
    if (pass == request.query.end() || !SecretEquals(pass->second, m_pServer->m_password)) {
        SendPage("index.html");
        return;
    }
    const auto mode = request.query.find("mode");
    if (mode != request.query.end() && mode->second == "updinfo") {
        m_pServer->Console("UPDINFO\n");
        const auto song = request.query.find("song");
        if (song != request.query.end()) {
            m_pServer->SetTitle(song->second);
            m_pServer->Log(" title:%s", m_pServer->m_title.c_str());
        }
        const auto url = request.query.find("url");
        if (url != request.query.end()) {
            m_pServer->SetTitleUrl(url->second);
            m_pServer->Log(" url:%s", m_pServer->m_titleUrl.c_str());
        }
    }
    Answer(kUpdated);
}

// The intro and the live stream go from the server's one copy of them
// straight to the network, a piece or block at a time: the bytes on the
// wire are the same as if each listener held its own copy. Whatever the
// listener owns (header, title blocks) waits in its send queue and leaves
// first. At most one ring block is begun per pass, so a slow listener falls
// behind in the ring instead of holding more.
int CClient::Pump()
{
    int activity = 0;
    bool begunRingBlock = false;
    while (m_pSocket) {
        if (m_pSocket->GetSendLength() > 0) {
            activity |= PollOnce();
            if (!m_pSocket || m_pSocket->GetSendLength() > 0)
                break;
        }
        if (m_nBlockSent == 0) {
            if (m_state == State::Intro && !IntroLeft()) {
                m_nRingPos = m_pServer->m_ring.StartPosition();
                m_state = State::Live;
            }
            if (m_state == State::Live) {
                if (begunRingBlock || !FindRingBlock())
                    break;
                begunRingBlock = true;
            }
        }
        const char* block = CurrentBlock();
        if (!block)
            break;
        const int sent = m_pSocket->SendDirect(block + m_nBlockSent, CStreamRing::kSlotBytes - m_nBlockSent);
        if (sent < 0) {
            DropSocket();
            Remove();
            break;
        }
        activity |= sent > 0 ? 1 : 0;
        m_nBlockSent += sent;
        m_bNetworkFull = m_nBlockSent < CStreamRing::kSlotBytes;
        if (m_nBlockSent < CStreamRing::kSlotBytes)
            break; // the network takes no more now
        if (!EndBlock()) {
            DropSocket();
            Remove();
            break;
        }
    }
    return activity;
}

bool CClient::IntroLeft() const
{
    const size_t size = m_pServer->m_nIntroSize;
    return m_intro == Intro::Wanted && m_pServer->m_pIntro && size >= static_cast<size_t>(CStreamRing::kSlotBytes)
        && m_nIntroSent < size;
}

// The next ring block to begin; a listener whose block was overwritten
// since skips ahead to where a newcomer would start.
bool CClient::FindRingBlock()
{
    const CStreamRing& ring = m_pServer->m_ring;
    const char* block = nullptr;
    CStreamRing::Fetch got = ring.Next(m_nRingPos, &block);
    if (got == CStreamRing::Fetch::Overwritten) {
        const uint64_t live = ring.StartPosition();
        m_pServer->Log("SkipAhead(IP:%s)(Blocks:%" PRIu64 ")", m_peerAddress.c_str(), live - m_nRingPos);
        m_nRingPos = live;
        got = ring.Next(m_nRingPos, &block);
    }
    return got == CStreamRing::Fetch::Ready;
}

// The piece or block being sent. A ring block begun stays readable until it
// is finished: the server has this listener keep its rest before the slot
// is overwritten.
const char* CClient::CurrentBlock() const
{
    if (m_state == State::Intro)
        return m_pServer->m_pIntro.get() + m_nIntroSent;
    const char* block = nullptr;
    return m_pServer->m_ring.Next(m_nRingPos, &block) == CStreamRing::Fetch::Ready ? block : nullptr;
}

// A piece or block is out: its metadata block follows (an empty one after
// intro pieces), then the next.
bool CClient::EndBlock()
{
    m_nBlockSent = 0;
    if (m_state == State::Intro) {
        m_nIntroSent += CStreamRing::kSlotBytes;
        return m_nMetaData == 0 || SendOwned(&kEmptyTitle, 1);
    }
    ++m_nRingPos;
    if (m_nMetaData == 0)
        return true;
    if (m_pServer->m_nTitleStamp == m_nTitleStamp)
        return SendOwned(&kEmptyTitle, 1);
    // The title as it is now: a later change must not alter a block whose
    // length byte has gone.
    const std::string& text = m_pServer->m_metadata;
    const size_t length = text.size() / 16;
    std::string block(1, static_cast<char>(static_cast<unsigned char>(length)));
    block.append(text, 0, length * 16);
    m_nTitleStamp = m_pServer->m_nTitleStamp;
    return SendOwned(block.data(), static_cast<int>(block.size()));
}

// Bytes of this listener's own: straight out when the network takes them,
// the rest queued behind.
bool CClient::SendOwned(const char* data, int len)
{
    const int sent = m_pSocket->SendDirect(data, len);
    return sent >= 0 && (sent == len || m_pSocket->Send(data + sent, len - sent));
}

void CClient::KeepBlockBeforeOverwrite(uint64_t seq)
{
    if (!m_pSocket || m_state != State::Live || m_nBlockSent == 0 || m_nRingPos != seq)
        return;
    const char* block = nullptr;
    if (m_pServer->m_ring.Next(seq, &block) != CStreamRing::Fetch::Ready)
        return;
    if (!m_pSocket->Send(block + m_nBlockSent, CStreamRing::kSlotBytes - m_nBlockSent) || !EndBlock()) {
        DropSocket();
        Remove();
    }
}

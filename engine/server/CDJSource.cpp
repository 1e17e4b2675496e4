#include "engine/server/CDJSource.h"

#include "engine/server/CDJServer.h"
#include "engine/server/ServerProtocol.h"
#include "foundation/GSocket.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kPollBurstMs = 1000;
constexpr char kSpinner[] = ".xXx";
// The capability line tells third-party source clients that the login
// succeeded in the form SHOUTcast servers answer it; some read on until
// they see it. Sent with its terminating NUL.
constexpr char kAccepted[] = "OK2\r\nicy-caps:11\r\n\r\n";
constexpr char kRefused[] = "FAIL\r\n\r\n";

int ReadBitrate(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    return value < 0 ? 0 : (value > 1000000 ? 1000000 : static_cast<int>(value));
}

} // namespace

CDJSource::CDJSource(std::unique_ptr<GSocket> socket, CDJServer* server)
    : m_pSocket(std::move(socket))
    , m_pServer(server)
    , m_pLine(new (std::nothrow) char[kMaxServerLine])
    , m_nAcceptTick(server->NowMs())
    , m_nLastReceive(m_nAcceptTick)
{
    char address[16] = {};
    if (m_pSocket && m_pSocket->GetPeerAddress(address))
        m_peerAddress = address;
    if (!m_pLine)
        m_pSocket.reset();
}

CDJSource::~CDJSource() = default;

platform::SocketFd CDJSource::Handle() const
{
    return m_pSocket ? m_pSocket->GetHandle() : platform::kNoSocket;
}

int CDJSource::WantedEvents() const
{
    if (!m_pSocket || !m_pSocket->IsOpen())
        return 0;
    return platform::kPollRead | (m_pSocket->GetSendLength() > 0 ? platform::kPollWrite : 0);
}

// Reads on while whole blocks keep arriving, for at most a second, so a
// source that has fallen behind catches up in one pass. Ended when the
// peer has closed; what it sent before stays queued.
CDJSource::Polled CDJSource::PollSocket(int ready, bool* activity)
{
    if (ready == 0)
        return Polled::Open;
    const uint32_t started = m_pServer->NowMs();
    for (;;) {
        const int before = m_pSocket->GetReceiveLength();
        int moved = 0;
        const bool open = m_pSocket->Poll(&moved);
        const int got = m_pSocket->GetReceiveLength() - before;
        if (got > 0) {
            *activity = true;
            m_bSpoken = true;
            m_nLastReceive = m_pServer->NowMs();
        }
        if (!open)
            return Polled::Ended;
        if (moved)
            *activity = true;
        if (!moved || got < CStreamRing::kSlotBytes || m_pServer->NowMs() - started >= kPollBurstMs
            || m_pSocket->GetReceiveLength() >= GSocket::kMaxReceiveQueue)
            return Polled::Open;
    }
}

bool CDJSource::TimedOut() const
{
    const uint32_t now = m_pServer->NowMs();
    if (m_state != State::Data) {
        if (now - m_nAcceptTick > CDJServer::kLoginLimitMs) {
            m_pServer->Log("DJ login timeout(IP:%s)", m_peerAddress.c_str());
            return true;
        }
        return false;
    }
    // A source that stopped sending would keep the station "on air" with
    // its listeners waiting on nothing.
    if (now - m_nLastReceive > CDJServer::kIdleLimitMs) {
        m_pServer->Log("DJ timeout(IP:%s)", m_peerAddress.c_str());
        return true;
    }
    return false;
}

CDJSource::Outcome CDJSource::Step(int ready, bool* activity)
{
    if (!m_pSocket)
        return Outcome::Drop;
    const bool ended = PollSocket(ready, activity) == Polled::Ended || !m_pSocket->IsOpen();
    if (!ended && TimedOut())
        return Outcome::Drop;
    // What a peer sent before it closed is still read: a DJ that logged in
    // keeps every whole block it sent.
    bool promoted = false;
    if (m_state != State::Data && ReadLines(&promoted) == Outcome::Drop)
        return Outcome::Drop;
    if (m_state == State::Data)
        TakeBlocks();
    // One that closed right after its login still takes over; it is
    // dropped at its next step.
    if (promoted)
        return Outcome::Promote;
    return ended ? Outcome::Drop : Outcome::Keep;
}

void CDJSource::TakeBlocks()
{
    while (m_pSocket->GetReceiveLength() >= CStreamRing::kSlotBytes) {
        int len = CStreamRing::kSlotBytes;
        if (!m_pSocket->Receive(&len, m_pLine.get(), GSocket::Take::Consume) || len != CStreamRing::kSlotBytes)
            break;
        m_pServer->WriteBlock(m_pLine.get());
        const char spin[] = { 'D', 'a', 't', 'a', ' ', kSpinner[m_nSpinner], '\b', '\b', '\b', '\b', '\b', '\b' };
        m_pServer->ConsoleRaw(std::string_view(spin, sizeof spin));
        m_nSpinner = (m_nSpinner + 1) % 4;
    }
}

CDJSource::Outcome CDJSource::ReadLines(bool* promoted)
{
    std::string line;
    while (m_state != State::Data) {
        const LineStatus got = TakeLine(*m_pSocket, m_pLine.get(), &line);
        if (got == LineStatus::Waiting)
            return Outcome::Keep;
        if (got == LineStatus::TooLong) {
            m_pServer->Log("DJ line too long(IP:%s)", m_peerAddress.c_str());
            return Outcome::Drop;
        }
        if (m_state == State::Password) {
            // The client ends its password with a NUL before the line feed;
            // a client without it is read the same.
            line.resize(std::strlen(line.c_str()));
            if (!SecretEquals(line, m_pServer->m_password)) {
                if (m_pSocket->Send(kRefused, sizeof kRefused))
                    m_pSocket->Poll(nullptr);
                m_pServer->Log("DJ Password Check Failed(pass:%s)", line.c_str());
                return Outcome::Drop;
            }
            m_state = State::Headers;
            // A peer that closes right after its login has still sent what
            // is queued: its close is seen once that has been read.
            if (m_pSocket->IsOpen()) {
                if (!m_pSocket->Send(kAccepted, sizeof kAccepted))
                    return Outcome::Drop;
                (void)m_pSocket->Poll(nullptr);
            }
            // The secret of this run is never printed.
            m_pServer->Console("DJ Password Check OK (pass:*)\n");
            *promoted = true;
            continue;
        }
        if (line.empty()) {
            m_state = State::Data;
            break;
        }
        m_pServer->Log(" dj:%s", line.c_str());
        if (StartsWithNoCase(line, "icy-name:"))
            m_pServer->SetStationName(line.substr(9));
        else if (StartsWithNoCase(line, "icy-genre:"))
            m_pServer->m_genre = StripLineBreaks(line.substr(10));
        else if (StartsWithNoCase(line, "icy-br:"))
            m_pServer->m_nBitrate = ReadBitrate(line.c_str() + 7);
    }
    return Outcome::Keep;
}

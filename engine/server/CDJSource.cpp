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
constexpr char kAccepted[] = "OK2\r\n\r\n";  // sent with its terminating NUL
constexpr char kRefused[] = "FAIL\r\n\r\n";

int ReadBitrate(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    return value < 0 ? 0 : (value > 1000000 ? 1000000 : static_cast<int>(value));
}

}  // namespace

CDJSource::CDJSource(std::unique_ptr<GSocket> socket, CDJServer* server)
    : m_pSocket(std::move(socket))
    , m_pServer(server)
    , m_pLine(new (std::nothrow) char[kMaxServerLine])
    , m_nAcceptTick(server->NowMs())
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
    if (!m_pSocket)
        return 0;
    return platform::kPollRead | (m_pSocket->GetSendLength() > 0 ? platform::kPollWrite : 0);
}

// Reads on while whole blocks keep arriving, for at most a second, so a
// source that has fallen behind catches up in one pass.
bool CDJSource::PollSocket(int ready, bool* activity)
{
    if (ready == 0)
        return true;
    const uint32_t started = m_pServer->NowMs();
    for (;;) {
        const int before = m_pSocket->GetReceiveLength();
        int moved = 0;
        if (!m_pSocket->Poll(&moved))
            return false;
        if (moved)
            *activity = true;
        if (!moved || m_pSocket->GetReceiveLength() - before < CStreamRing::kSlotBytes ||
            m_pServer->NowMs() - started >= kPollBurstMs || m_pSocket->GetReceiveLength() >= GSocket::kMaxReceiveQueue)
            return true;
    }
}

CDJSource::Outcome CDJSource::Step(int ready, bool* activity)
{
    if (!m_pSocket)
        return Outcome::Drop;
    if (!PollSocket(ready, activity))
        return Outcome::Drop;
    // A peer that has not finished its login in time holds the source
    // port for nothing.
    if (m_nState != kData && m_pServer->NowMs() - m_nAcceptTick > CDJServer::kIdleLimitMs) {
        m_pServer->Log("DJ login timeout(IP:%s)", m_peerAddress.c_str());
        return Outcome::Drop;
    }
    bool promoted = false;
    if (m_nState != kData) {
        const Outcome lines = ReadLines(&promoted);
        if (lines == Outcome::Drop)
            return lines;
    }
    if (m_nState == kData) {
        while (m_pSocket->GetReceiveLength() >= CStreamRing::kSlotBytes) {
            int len = CStreamRing::kSlotBytes;
            if (!m_pSocket->Receive(&len, m_pLine.get(), true) || len != CStreamRing::kSlotBytes)
                break;
            m_pServer->m_ring.Write(m_pLine.get());
            m_pServer->Console("Data %c\b\b\b\b\b\b", kSpinner[m_nSpinner]);
            m_nSpinner = (m_nSpinner + 1) % 4;
        }
    }
    return promoted ? Outcome::Promote : Outcome::Keep;
}

CDJSource::Outcome CDJSource::ReadLines(bool* promoted)
{
    std::string line;
    while (m_nState != kData) {
        const LineStatus got = TakeLine(*m_pSocket, m_pLine.get(), &line);
        if (got == LineStatus::Waiting)
            return Outcome::Keep;
        if (got == LineStatus::TooLong) {
            m_pServer->Log("DJ line too long(IP:%s)", m_peerAddress.c_str());
            return Outcome::Drop;
        }
        if (m_nState == kPassword) {
            // The client ends its password with a NUL before the line feed;
            // a client without it is read the same.
            line.resize(std::strlen(line.c_str()));
            if (!SecretEquals(line, m_pServer->m_password)) {
                if (m_pSocket->Send(kRefused, sizeof kRefused))
                    m_pSocket->Poll(nullptr);
                m_pServer->Log("DJ Password Check Failed(pass:%s)", line.c_str());
                return Outcome::Drop;
            }
            m_nState = kHeaders;
            if (!m_pSocket->Send(kAccepted, sizeof kAccepted) || !m_pSocket->Poll(nullptr))
                return Outcome::Drop;
            m_pServer->Console("DJ Password Check OK (pass:%s)\n", line.c_str());
            *promoted = true;
            continue;
        }
        if (line.empty()) {
            m_nState = kData;
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

#pragma once

#include "platform/SocketApi.h"

#include <cstdint>
#include <memory>
#include <string>

class CDJServer;
class GSocket;
struct ServerRequest;

// One listener connection of the built-in server: reads the request, then
// answers with the stream (intro first, in-band titles when asked), a
// playlist, a page or a refusal.
// Thread: server thread only.
// A streaming listener is a cursor: its block number and how much of that
// block the network has taken. The audio goes straight from the server's
// intro and ring; the listener owns only its header and title blocks, and
// those only while the network cannot take them.
class CClient {
public:
    enum class State {
        RequestLine,
        Headers,
        Intro,
        Live,
        // An answer (page, playlist, refusal) waits in the send queue; the
        // socket closes once it has left.
        Answering,
    };
    enum class Intro { Wanted, NotWanted };

    CClient();
    ~CClient();
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    void Attach(std::unique_ptr<GSocket> socket, CDJServer* server, Intro intro);
    // One pass of work; ready: the socket's event bits from the last wait.
    // Non-zero when the socket moved data.
    int Step(int ready);
    [[nodiscard]] uint32_t ElapsedMs() const;
    void PrintInfo() const;
    // Server thread: ends the connection before its request is complete,
    // to make room for others.
    void Evict();
    // The ring is about to overwrite block seq: when this listener is
    // partway through it, the rest is queued now.
    void KeepBlockBeforeOverwrite(uint64_t seq);

    [[nodiscard]] bool IsDone() const { return m_bRemove; }
    [[nodiscard]] bool IsStreaming() const { return m_pSocket && (m_state == State::Intro || m_state == State::Live); }
    // True while the request is not complete: such a connection holds a
    // place without being a listener yet.
    [[nodiscard]] bool AwaitsRequest() const
    {
        return !m_bRemove && (m_state == State::RequestLine || m_state == State::Headers);
    }
    // The socket and the events to wait for, kNoSocket when none. A
    // listener waiting for the next block is left out of the wait unless
    // sweep is set: with many listeners the wait itself costs the most.
    [[nodiscard]] platform::SocketFd Handle() const;
    [[nodiscard]] int WantedEvents(bool sweep) const;

    [[nodiscard]] const std::string& PeerAddress() const { return m_peerAddress; }
    [[nodiscard]] const std::string& Agent() const { return m_agent; }
    [[nodiscard]] uint32_t ConnectTick() const { return m_nConnectTick; }

private:
    void Remove() { m_bRemove = true; }
    void DropSocket();
    [[nodiscard]] bool TimedOut() const;
    void ReadRequestLine(const std::string& line);
    void ReadHeader(const std::string& line);
    void EndOfHeaders();
    void SendPage(const std::string& path);
    void Answer(const std::string& bytes);
    void TitleUpdate(const std::string& line, const ServerRequest& request);
    int Pump();
    [[nodiscard]] bool IntroLeft() const;
    [[nodiscard]] bool FindRingBlock();
    [[nodiscard]] const char* CurrentBlock() const;
    [[nodiscard]] bool EndBlock();
    [[nodiscard]] bool SendOwned(const char* data, int len);
    [[nodiscard]] bool HasUnsent() const;
    int PollOnce();

    int m_nMetaData = 0;
    std::string m_agent;
    std::string m_host;
    uint32_t m_nConnectTick = 0;
    State m_state = State::RequestLine;
    uint64_t m_nRingPos = 0; // the block being sent, or the next one
    uint64_t m_nTitleStamp = 0;
    std::string m_peerAddress;
    Intro m_intro = Intro::NotWanted;
    // A HEAD request: answers end after their header.
    bool m_bHeadOnly = false;

    std::unique_ptr<GSocket> m_pSocket;
    CDJServer* m_pServer = nullptr;
    size_t m_nIntroSent = 0; // intro bytes in pieces already finished
    int m_nBlockSent = 0; // bytes of the current piece or block the network took
    bool m_bNetworkFull = false; // the last piece or block offered did not all go
    bool m_bRemove = false;
};

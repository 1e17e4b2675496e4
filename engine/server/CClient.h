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
class CClient {
public:
    enum State {
        kRequestLine = 0,
        kHeaders = 1,
        kIntro = 2,
        kLive = 3,
        // An answer (page, playlist, refusal) waits in the send queue; the
        // socket closes once it has left.
        kAnswering = 4,
    };

    CClient();
    ~CClient();
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    void Attach(std::unique_ptr<GSocket> socket, CDJServer* server, bool wantsIntro);
    // One pass of work; ready: the socket's event bits from the last wait.
    // Non-zero when the socket moved data.
    int Step(int ready);
    [[nodiscard]] uint32_t ElapsedMs() const;
    void PrintInfo() const;

    [[nodiscard]] bool IsDone() const { return m_bRemove; }
    [[nodiscard]] bool IsStreaming() const { return m_pSocket && (state == kIntro || state == kLive); }
    // The socket and the events to wait for, kNoSocket when none. A
    // listener waiting for the next block is left out of the wait unless
    // sweep is set: with many listeners the wait itself costs the most.
    [[nodiscard]] platform::SocketFd Handle() const;
    [[nodiscard]] int WantedEvents(bool sweep) const;

    int metaData = 0;
    std::string agent;
    std::string host;
    uint32_t connectTick = 0;
    int state = kRequestLine;
    uint64_t ringPos = 0;  // the next block to send
    uint64_t titleStamp = 0;
    std::string peerAddress;
    bool wantsIntro = false;

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
    int FeedIntro();
    int SendNextSlot();
    int PollOnce();

    std::unique_ptr<GSocket> m_pSocket;
    std::unique_ptr<char[]> m_pLine;
    CDJServer* m_pServer = nullptr;
    size_t m_nIntroSent = 0;
    bool m_bRemove = false;
};

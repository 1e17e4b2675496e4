#pragma once

#include "platform/SocketApi.h"

#include <cstdint>
#include <memory>
#include <string>

class CDJServer;
class GSocket;

// The server end of one source connection: the password line, the icy-
// header block, then MP3 bytes cut into the ring's 8192-byte blocks.
// Thread: server thread only.
class CDJSource {
public:
    enum class State { Password, Headers, Data };
    enum class Outcome { Keep, Promote, Drop };

    CDJSource(std::unique_ptr<GSocket> socket, CDJServer* server);
    ~CDJSource();
    CDJSource(const CDJSource&) = delete;
    CDJSource& operator=(const CDJSource&) = delete;

    // One pass; ready: the socket's event bits from the last wait. Promote
    // when the password was accepted in this pass, Drop when the source is
    // to be deleted. *activity tells whether bytes moved. Every whole block
    // that arrived before the peer closed reaches the ring before Drop.
    Outcome Step(int ready, bool* activity);

    [[nodiscard]] platform::SocketFd Handle() const;
    [[nodiscard]] int WantedEvents() const;
    [[nodiscard]] State GetState() const { return m_state; }
    [[nodiscard]] uint32_t AcceptTick() const { return m_nAcceptTick; }
    // True once any byte of the login has arrived.
    [[nodiscard]] bool HasSpoken() const { return m_bSpoken; }
    [[nodiscard]] const std::string& PeerAddress() const { return m_peerAddress; }

private:
    enum class Polled { Open, Ended };
    Polled PollSocket(int ready, bool* activity);
    Outcome ReadLines(bool* promoted);
    void TakeBlocks();
    [[nodiscard]] bool TimedOut() const;

    std::unique_ptr<GSocket> m_pSocket;
    CDJServer* m_pServer;
    std::unique_ptr<char[]> m_pLine;
    std::string m_peerAddress;
    uint32_t m_nAcceptTick = 0;
    uint32_t m_nLastReceive = 0;
    State m_state = State::Password;
    bool m_bSpoken = false;
    int m_nSpinner = 0;
};

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
    enum State { kPassword = 0, kHeaders = 1, kData = 2 };
    enum class Outcome { Keep, Promote, Drop };

    CDJSource(std::unique_ptr<GSocket> socket, CDJServer* server);
    ~CDJSource();
    CDJSource(const CDJSource&) = delete;
    CDJSource& operator=(const CDJSource&) = delete;

    // One pass; ready: the socket's event bits from the last wait. Promote
    // when the password was accepted in this pass, Drop when the source is
    // to be deleted. *activity tells whether bytes moved.
    Outcome Step(int ready, bool* activity);

    [[nodiscard]] platform::SocketFd Handle() const;
    [[nodiscard]] int WantedEvents() const;
    [[nodiscard]] int GetState() const { return m_nState; }

private:
    bool PollSocket(int ready, bool* activity);
    Outcome ReadLines(bool* promoted);

    std::unique_ptr<GSocket> m_pSocket;
    CDJServer* m_pServer;
    std::unique_ptr<char[]> m_pLine;
    std::string m_peerAddress;
    uint32_t m_nAcceptTick = 0;
    int m_nState = kPassword;
    int m_nSpinner = 0;
};

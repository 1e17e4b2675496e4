#include "app/CLocalServer.h"

#include "support/QtEventWait.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using platform::LocalSocket;
using Verdict = CLocalServer::Verdict;
using Log = std::vector<std::string>;

// A reader that notes what it was shown and answers.
using CaseReader = std::function<Verdict(CLocalServer& server, std::string& pending, bool bEnded, Log* pLog)>;

Verdict DoneOnNewline(CLocalServer&, std::string& pending, bool, Log* pLog)
{
    if (pending.find('\n') == std::string::npos)
        return Verdict::Wait;
    pLog->push_back(pending);
    return Verdict::Done;
}

Verdict NotesEveryRead(CLocalServer&, std::string& pending, bool bEnded, Log* pLog)
{
    pLog->push_back(pending + (bEnded ? "|end" : ""));
    return Verdict::Wait;
}

Verdict TakesFourAtATime(CLocalServer&, std::string& pending, bool, Log* pLog)
{
    Verdict verdict = Verdict::Wait;
    for (; pending.size() >= 4; verdict = Verdict::Progress) {
        pLog->push_back(pending.substr(0, 4));
        pending.erase(0, 4);
    }
    return verdict;
}

Verdict ClosesTheServer(CLocalServer& server, std::string& pending, bool, Log* pLog)
{
    pLog->push_back(pending);
    server.Close();
    return Verdict::Progress;
}

struct SCase {
    const char* name;
    CLocalServer::SLimits limits;
    CaseReader reader;
    std::vector<std::string> clients; // what each connection sends
    bool bClientsClose; // and then closes its end
    Log log;
    size_t peersLeft; // connections still served at the end
};

// Every bound a peer could stretch, and the reader's say over its
// connection.
TEST(CLocalServer, ServesConnectionsWithinTheirBounds)
{
    const SCase cases[] = {
        { "the reader ends a connection", { 4, 16, 10000 }, DoneOnNewline, { "one\n", "two\n" }, false,
            { "one\n", "two\n" }, 0 },
        { "the end comes after the last bytes", { 4, 16, 10000 }, NotesEveryRead, { "tail" }, true,
            { "tail", "tail|end" }, 0 },
        { "peers beyond the limit are turned away", { 2, 16, 10000 }, NotesEveryRead, { "", "", "" }, false, {}, 2 },
        { "a full buffer the reader cannot use drops its peer", { 4, 8, 10000 }, NotesEveryRead, { "123456789" }, false,
            { "12345678" }, 0 },
        { "a silent peer goes after the idle time", { 4, 16, 30 }, NotesEveryRead, { "" }, false, {}, 0 },
        { "what the reader takes makes room", { 4, 8, 10000 }, TakesFourAtATime, { "aaaabbbbccccdddd" }, false,
            { "aaaa", "bbbb", "cccc", "dddd" }, 1 },
        { "the reader may close the server", { 4, 16, 10000 }, ClosesTheServer, { "x" }, false, { "x" }, 0 },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestSandbox sandbox;
        ASSERT_TRUE(sandbox.Create("tavdj-local-server"));
        const std::string path = (sandbox.Dir() / "endpoint").string();
        Log log;
        CLocalServer* pServer = nullptr;
        CLocalServer server(
            c.limits, [&](std::string& pending, bool bEnded) { return c.reader(*pServer, pending, bEnded, &log); });
        pServer = &server;
        ASSERT_TRUE(server.Listen(path));

        std::vector<LocalSocket> clients;
        for (const std::string& bytes : c.clients) {
            clients.push_back(LocalSocket::Connect(path, 1000));
            ASSERT_TRUE(clients.back().IsOpen());
            ASSERT_EQ(clients.back().Send(bytes.data(), bytes.size()).bytes, bytes.size());
            if (c.bClientsClose)
                clients.back().Close();
        }
        const size_t endsExpected = c.bClientsClose ? 0 : clients.size() - c.peersLeft;
        std::vector<bool> ended(clients.size(), false);
        const auto countEnded = [&] {
            char byte = 0;
            for (size_t i = 0; i < clients.size(); ++i) {
                if (clients[i].IsOpen() && !ended[i])
                    ended[i] = clients[i].Receive(&byte, 1).status == LocalSocket::Status::Closed;
            }
            return static_cast<size_t>(std::count(ended.begin(), ended.end(), true));
        };
        ASSERT_TRUE(RunEventsUntil([&] {
            return log.size() >= c.log.size() && server.PeerCount() == c.peersLeft && countEnded() == endsExpected;
        }));
        EXPECT_EQ(log, c.log);
    }
}

} // namespace

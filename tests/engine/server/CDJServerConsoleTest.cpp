// The server writes peer text to standard output and its log. A terminal or
// pipe that nobody reads must not stop the stream, and no peer byte may
// reach either unescaped.

#include "engine/server/CDJServer.h"

#include "engine/server/StreamFrames.h"
#include "support/ServerRig.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

using testutil::AfterHeader;
using testutil::LoopbackClient;
using testutil::ServerRig;

namespace {

constexpr int kWait = 5000;
constexpr size_t kBlock = 8192;

// Standard output goes to a pipe nobody reads for the life of the object.
class StdoutToDeadPipe {
public:
    StdoutToDeadPipe()
    {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        if (::pipe2(m_pipe, O_CLOEXEC) == 0)
            m_ok = ::dup2(m_pipe[1], STDOUT_FILENO) >= 0;
    }
    ~StdoutToDeadPipe()
    {
        ::dup2(m_saved, STDOUT_FILENO);
        for (int fd : { m_saved, m_pipe[0], m_pipe[1] })
            if (fd >= 0)
                ::close(fd);
    }
    bool Ok() const { return m_ok; }
    // Everything the pipe holds, read at last.
    std::string Drain()
    {
        std::string all;
        ::fcntl(m_pipe[0], F_SETFL, O_NONBLOCK);
        char buf[65536];
        ssize_t n = 0;
        while ((n = ::read(m_pipe[0], buf, sizeof buf)) > 0)
            all.append(buf, static_cast<size_t>(n));
        return all;
    }

private:
    int m_saved = -1;
    int m_pipe[2] = { -1, -1 };
    bool m_ok = false;
};

} // namespace

// Runs the server while standard output is a pipe nobody reads. Failures
// are told after the pipe is gone: the test's own report goes to standard
// output too.
TEST(CDJServerConsole, APipeNobodyReadsNeverStopsTheStreamAndPeerBytesAreEscaped)
{
    ServerRig rig;
    std::string failure;
    std::string out;
    std::chrono::steady_clock::duration stopTook {};
    {
        StdoutToDeadPipe dead;
        ASSERT_TRUE(dead.Ok());
        failure = [&]() -> std::string {
            if (!rig.Start(10))
                return "start";
            LoopbackClient source;
            if (!rig.ConnectSource(source) || !rig.WaitLog(" dj:icy-br:128"))
                return "source login";
            LoopbackClient listener;
            if (!ServerRig::RequestStream(listener, rig.Port(), false) || !listener.ReadUntil("\r\n\r\n", kWait))
                return "listener";
            listener.Data() = AfterHeader(listener.Data());
            // Far more header text than a pipe holds (64 KiB), with terminal
            // escapes and forged line ends in it; every block still arrives.
            const std::string evil = "X-Evil: \x1b]0;owned\x07\x1b[2J\rDJ Password Check OK\n";
            for (int i = 0; i < 40; ++i) {
                LoopbackClient c;
                std::string request = "GET / HTTP/1.0\r\nUser-Agent: Mozilla\x1b[31m\r\n";
                for (int h = 0; h < 6; ++h)
                    request += evil + std::string(1000, 'h') + "\r\n";
                if (!c.Connect(rig.Port()) || !c.Send(request + "\r\n") || !c.ReadToEnd(kWait))
                    return "request " + std::to_string(i);
                const std::string block(kBlock, static_cast<char>('a' + i % 26));
                if (!source.Send(block) || !listener.ReadAtLeast(kBlock, kWait)
                    || listener.Data().substr(0, kBlock) != block)
                    return "block " + std::to_string(i);
                listener.Data().erase(0, kBlock);
            }
            const auto started = std::chrono::steady_clock::now();
            rig.Server().Stop();
            stopTook = std::chrono::steady_clock::now() - started;
            return {};
        }();
        out = dead.Drain();
    }
    ASSERT_EQ(failure, "");
    EXPECT_LT(stopTook, std::chrono::seconds(2));
    // The pipe filled (it holds far less than the 250 KB of lines asked
    // for); what it took is escaped.
    EXPECT_GT(out.size(), 32768u);
    EXPECT_LT(out.size(), 200000u);
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_NE(out.find("\\x1b]0;owned\\x07"), std::string::npos);
    const std::string secret = rig.Server().GetPassword();
    EXPECT_EQ(out.find(secret), std::string::npos);
    for (const std::string& line : rig.Log()) {
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
        if (line.rfind("Starting server", 0) != 0) {
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(rig.HasLog("Agent:Mozilla\\x1b[31m"));
}

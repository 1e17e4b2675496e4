// Real loopback sockets in the conditions a busy built-in server meets:
// descriptors numbered above 1024 (where select() would write out of
// bounds) and peers that vanish while bytes are still on their way (where a
// plain send() would kill the process with SIGPIPE).
#include "foundation/GSocket.h"

#include "platform/Clock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

template <typename Pred> bool PollUntil(Pred pred, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        platform::Sleep(1);
    }
    return pred();
}

// Holds descriptors open until the lowest free number is above `above`, and
// puts the soft limit back afterwards.
class DescriptorFiller {
public:
    bool Fill(int above)
    {
        if (getrlimit(RLIMIT_NOFILE, &m_saved) != 0)
            return false;
        rlimit raised = m_saved;
        const rlim_t want = static_cast<rlim_t>(above) + 256;
        if (raised.rlim_cur < want) {
            if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < want)
                return false;
            raised.rlim_cur = want;
            if (setrlimit(RLIMIT_NOFILE, &raised) != 0)
                return false;
            m_restore = true;
        }
        for (;;) {
            const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return false;
            m_fds.push_back(fd);
            if (fd > above)
                return true;
        }
    }
    ~DescriptorFiller()
    {
        for (int fd : m_fds)
            ::close(fd);
        if (m_restore)
            setrlimit(RLIMIT_NOFILE, &m_saved);
    }

private:
    std::vector<int> m_fds;
    rlimit m_saved {};
    bool m_restore = false;
};

struct Pair {
    GSocket listener;
    GSocket client;
    std::unique_ptr<GSocket> server;

    bool Open()
    {
        if (!listener.Create(0) || !listener.Listen(5))
            return false;
        const int port = listener.GetBoundPort();
        if (!client.Create(port) || !client.Connect("127.0.0.1", port))
            return false;
        return PollUntil([&] { return (server = listener.Accept()) != nullptr; });
    }
};

} // namespace

TEST(GSocketDescriptors, ExchangeWorksOnDescriptorsAbove1024)
{
    DescriptorFiller filler;
    if (!filler.Fill(1100))
        GTEST_SKIP() << "the descriptor limit cannot be raised past 1100 here";
    Pair p;
    ASSERT_TRUE(p.Open());
    const std::string body(200000, 'k');
    ASSERT_TRUE(p.client.Send(body.data(), static_cast<int>(body.size())));
    std::string got;
    ASSERT_TRUE(PollUntil([&] {
        p.client.Poll(nullptr);
        p.server->Poll(nullptr);
        char buf[8192];
        int len = sizeof buf;
        if (p.server->Receive(&len, buf, true) && len > 0)
            got.append(buf, static_cast<size_t>(len));
        return got.size() == body.size();
    }));
    EXPECT_EQ(got, body);
}

TEST(GSocketDescriptors, SendingToAVanishedPeerFailsWithoutKillingTheProcess)
{
    Pair p;
    ASSERT_TRUE(p.Open());
    p.server.reset(); // the peer closes with nothing read
    const std::string chunk(65536, 'v');
    // The first sends may still land in the kernel; a reset follows, and from
    // then on the connection reports the break instead of raising SIGPIPE.
    const bool broke = PollUntil([&] {
        if (p.client.GetState() != GSocket::kConnected)
            return true;
        (void)p.client.Send(chunk.data(), static_cast<int>(chunk.size()));
        return !p.client.Poll(nullptr);
    });
    EXPECT_TRUE(broke);
    EXPECT_NE(p.client.GetState(), GSocket::kConnected);
}

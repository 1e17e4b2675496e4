#include "platform/LocalSocket.h"

#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using platform::LocalSocket;

// Waits for the socket to become readable (or writable); a bound only a
// broken test reaches.
bool WaitReady(const LocalSocket& socket, short events)
{
    pollfd p { socket.Handle(), events, 0 };
    return ::poll(&p, 1, 10000) == 1;
}

// What a program that crashed leaves: a socket file nobody listens on.
void LeaveDeadEndpoint(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

struct SPlace {
    const char* name;
    std::function<void(const std::string& path)> prepare;
    bool bListens;
};

// Whatever lies at the name is replaced; the endpoint is the owner's alone
// and nothing of how it was made stays behind.
TEST(LocalSocket, ListenReplacesWhatLiesAtThePathForTheOwnerAlone)
{
    const SPlace cases[] = {
        { "nothing", [](const std::string&) {}, true },
        { "a file in the way", [](const std::string& path) { std::ofstream(path) << "left over"; }, true },
        { "a dead endpoint", LeaveDeadEndpoint, true },
    };
    for (const SPlace& c : cases) {
        SCOPED_TRACE(c.name);
        TestSandbox sandbox;
        ASSERT_TRUE(sandbox.Create("tavdj-local"));
        const std::string path = (sandbox.Dir() / "endpoint").string();
        c.prepare(path);
        LocalSocket endpoint = LocalSocket::Listen(path, 4);
        ASSERT_EQ(endpoint.IsOpen(), c.bListens);
        struct stat st { };
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(std::distance(fs::directory_iterator(sandbox.Dir()), fs::directory_iterator()), 1);
        EXPECT_TRUE(LocalSocket::Connect(path, 0).IsOpen());
        endpoint.Close();
        EXPECT_FALSE(platform::LocalEndpointExists(path));
    }
}

TEST(LocalSocket, PlacesWhereNoEndpointCanBeMadeOrReached)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-local"));
    const std::string folder = sandbox.Dir().string();
    const struct {
        const char* name;
        std::string path;
        std::function<void(const std::string&)> prepare;
    } cases[] = {
        { "a missing folder", folder + "/missing/endpoint", [](const std::string&) {} },
        { "a name too long for a socket", folder + "/" + std::string(120, 'n'), [](const std::string&) {} },
        { "an empty name", "", [](const std::string&) {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(LocalSocket::Listen(c.path, 4).IsOpen());
        EXPECT_FALSE(LocalSocket::Connect(c.path, 0).IsOpen());
    }
    // Only a listening endpoint takes a connection.
    const SPlace places[] = {
        { "nothing", [](const std::string&) {}, false },
        { "a file", [](const std::string& path) { std::ofstream(path) << "x"; }, false },
        { "a dead endpoint", LeaveDeadEndpoint, false },
    };
    for (const SPlace& c : places) {
        SCOPED_TRACE(c.name);
        const std::string path = folder + "/" + c.name;
        c.prepare(path);
        EXPECT_EQ(LocalSocket::Connect(path, 0).IsOpen(), c.bListens);
        EXPECT_EQ(platform::LocalEndpointExists(path), std::string(c.name) != "nothing");
    }
}

// A later program took the name over: the earlier one's close leaves it.
TEST(LocalSocket, ClosingLeavesAnEndpointThatTookTheNameSince)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-local"));
    const std::string path = (sandbox.Dir() / "endpoint").string();
    LocalSocket first = LocalSocket::Listen(path, 4);
    LocalSocket second = LocalSocket::Listen(path, 4);
    ASSERT_TRUE(first.IsOpen() && second.IsOpen());
    first.Close();
    LocalSocket connection = LocalSocket::Connect(path, 0);
    ASSERT_TRUE(connection.IsOpen());
    ASSERT_TRUE(WaitReady(second, POLLIN));
    EXPECT_TRUE(second.Accept().IsOpen());
}

// A megabyte one way (more than the system buffers), an answer the other,
// and the end of the connection, with the peer on a thread of its own.
TEST(LocalSocket, BytesTravelBothWaysAndTheEndArrivesAfterThem)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-local"));
    const std::string path = (sandbox.Dir() / "endpoint").string();
    LocalSocket endpoint = LocalSocket::Listen(path, 4);
    ASSERT_TRUE(endpoint.IsOpen());
    std::string sent(1 << 20, '\0');
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i * 31 % 251);

    std::string answer;
    std::jthread peer([&] {
        LocalSocket socket = LocalSocket::Connect(path, 1000);
        if (!socket.IsOpen())
            return;
        for (size_t done = 0; done < sent.size();) {
            const LocalSocket::Io io = socket.Send(sent.data() + done, sent.size() - done);
            if (io.status == LocalSocket::Status::Done)
                done += io.bytes;
            else if (io.status != LocalSocket::Status::Pending || !WaitReady(socket, POLLOUT))
                return;
        }
        char buffer[16];
        for (;;) {
            const LocalSocket::Io io = socket.Receive(buffer, sizeof buffer);
            if (io.status == LocalSocket::Status::Done)
                answer.append(buffer, io.bytes);
            else if (io.status != LocalSocket::Status::Pending || answer.size() >= 2 || !WaitReady(socket, POLLIN))
                return; // closes
        }
    });

    ASSERT_TRUE(WaitReady(endpoint, POLLIN));
    LocalSocket connection = endpoint.Accept();
    ASSERT_TRUE(connection.IsOpen());
    EXPECT_FALSE(endpoint.Accept().IsOpen()) << "only one connection waited";
    std::string received;
    std::string buffer(65536, '\0');
    while (received.size() < sent.size()) {
        const LocalSocket::Io io = connection.Receive(buffer.data(), buffer.size());
        if (io.status == LocalSocket::Status::Done)
            received.append(buffer, 0, io.bytes);
        else
            ASSERT_TRUE(io.status == LocalSocket::Status::Pending && WaitReady(connection, POLLIN));
    }
    EXPECT_TRUE(received == sent);
    ASSERT_EQ(connection.Send("ok", 2).bytes, 2u);
    LocalSocket::Io end {};
    do
        end = connection.Receive(buffer.data(), buffer.size());
    while (end.status == LocalSocket::Status::Pending && WaitReady(connection, POLLIN));
    EXPECT_EQ(end.status, LocalSocket::Status::Closed);
    peer.join();
    EXPECT_EQ(answer, "ok");
    // Sending to a peer that is gone fails without a signal.
    EXPECT_EQ(connection.Send("x", 1).status, LocalSocket::Status::Failed);
}

// A connection that finds the queue full fails at once without a wait,
// and gets in once one waiting is taken.
TEST(LocalSocket, AFullQueueTurnsConnectionsAwayUntilOneIsTaken)
{
    TestSandbox sandbox;
    ASSERT_TRUE(sandbox.Create("tavdj-local"));
    const std::string path = (sandbox.Dir() / "endpoint").string();
    LocalSocket endpoint = LocalSocket::Listen(path, 1);
    ASSERT_TRUE(endpoint.IsOpen());
    std::vector<LocalSocket> waiting;
    for (int i = 0; i < 64; ++i) {
        LocalSocket connection = LocalSocket::Connect(path, 0);
        if (!connection.IsOpen())
            break;
        waiting.push_back(std::move(connection));
    }
    ASSERT_FALSE(waiting.empty());
    ASSERT_LT(waiting.size(), 64u) << "the queue never filled";
    EXPECT_TRUE(endpoint.Accept().IsOpen());
    EXPECT_TRUE(LocalSocket::Connect(path, 0).IsOpen());
}

} // namespace

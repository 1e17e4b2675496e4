#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Thread: any; one object is used by one thread at a time.
// A stream socket between programs of this user on this machine, named by a
// path in the file system: either an endpoint that waits for connections or
// one end of a connection. Every socket is non-blocking and close-on-exec;
// Handle() is the number an event loop watches for readiness. The object
// owns its socket and closes it when it goes.
class LocalSocket {
public:
    enum class Status {
        Done, // bytes moved (Bytes says how many)
        Pending, // nothing can move now; wait for readiness
        Closed, // the peer closed its end (receive only)
        Failed,
    };
    struct Io {
        Status status;
        size_t bytes;
    };

    LocalSocket() = default;
    ~LocalSocket();
    LocalSocket(LocalSocket&& other) noexcept;
    LocalSocket& operator=(LocalSocket&& other) noexcept;
    LocalSocket(const LocalSocket&) = delete;
    LocalSocket& operator=(const LocalSocket&) = delete;

    // An endpoint at path that only this user can connect to. It is made
    // under a private name beside path, with the owner's permissions only,
    // and then renamed onto path: it never lies open to others, and it
    // replaces whatever lay at path (the caller decides beforehand whether
    // that may go). Closing it removes it from path, unless something else
    // has taken the name meanwhile. Not open when the endpoint cannot be
    // made (a path too long for a socket name among the reasons).
    [[nodiscard]] static LocalSocket Listen(const std::string& path, int backlog);
    // A connection to the endpoint at path. A busy endpoint whose queue is
    // full is waited for up to waitMs (0: not at all), the one wait here.
    // Not open when nothing listens there, or the queue stayed full.
    [[nodiscard]] static LocalSocket Connect(const std::string& path, int waitMs);

    // The next waiting connection from a program of this user; those of
    // other users are closed unread. Not open when none waits.
    [[nodiscard]] LocalSocket Accept();
    // Never raises a signal when the peer is gone.
    [[nodiscard]] Io Send(const char* data, size_t len);
    [[nodiscard]] Io Receive(char* out, size_t len);
    void Close();

    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] int Handle() const { return m_fd; }

private:
    explicit LocalSocket(int fd)
        : m_fd(fd)
    {
    }

    int m_fd = -1;
    // An endpoint's name and the identity of the file it made there, so
    // closing removes only that file.
    std::string m_strPath;
    uint64_t m_nDevice = 0;
    uint64_t m_nInode = 0;
};

// True when something lies at path (an endpoint, or a file in its way).
[[nodiscard]] bool LocalEndpointExists(const std::string& path);

} // namespace platform

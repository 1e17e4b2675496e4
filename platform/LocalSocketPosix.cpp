#include "platform/LocalSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

bool WouldBlock(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

// False when path does not fit a socket's name with its terminating NUL.
bool MakeAddress(const std::string& path, sockaddr_un* pAddress)
{
    *pAddress = sockaddr_un {};
    pAddress->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof pAddress->sun_path || path.find('\0') != std::string::npos)
        return false;
    std::memcpy(pAddress->sun_path, path.data(), path.size());
    return true;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A private folder beside path for the endpoint to be made in: mkdtemp
// makes it for the owner alone, so nobody else can reach the endpoint
// before its permissions are set.
bool MakePrivateFolder(const std::string& path, std::string* pFolder)
{
    std::string name = FolderOf(path) + "/.tavdj-XXXXXX";
    if (!::mkdtemp(name.data()))
        return false;
    *pFolder = std::move(name);
    return true;
}

bool SetNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

LocalSocket::~LocalSocket()
{
    Close();
}

LocalSocket::LocalSocket(LocalSocket&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_strPath(std::move(other.m_strPath))
    , m_nDevice(other.m_nDevice)
    , m_nInode(other.m_nInode)
{
    other.m_strPath.clear();
}

LocalSocket& LocalSocket::operator=(LocalSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_strPath = std::move(other.m_strPath);
        other.m_strPath.clear();
        m_nDevice = other.m_nDevice;
        m_nInode = other.m_nInode;
    }
    return *this;
}

void LocalSocket::Close()
{
    if (m_fd < 0)
        return;
    // Another program may have taken the name since (a later start that
    // found us gone): its endpoint stays.
    struct stat st { };
    if (!m_strPath.empty() && ::lstat(m_strPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)
        && static_cast<uint64_t>(st.st_dev) == m_nDevice && static_cast<uint64_t>(st.st_ino) == m_nInode)
        ::unlink(m_strPath.c_str());
    m_strPath.clear();
    ::close(m_fd);
    m_fd = -1;
}

LocalSocket LocalSocket::Listen(const std::string& path, int backlog)
{
    sockaddr_un target {};
    if (!MakeAddress(path, &target))
        return {};
    std::string folder;
    if (!MakePrivateFolder(path, &folder))
        return {};
    const std::string made = folder + "/s";
    LocalSocket endpoint(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_un address {};
    struct stat st { };
    const bool bMade = endpoint.IsOpen() && MakeAddress(made, &address)
        && ::bind(endpoint.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
        && ::chmod(made.c_str(), S_IRUSR | S_IWUSR) == 0 && ::listen(endpoint.m_fd, backlog) == 0
        && ::lstat(made.c_str(), &st) == 0 && ::rename(made.c_str(), path.c_str()) == 0;
    ::unlink(made.c_str());
    ::rmdir(folder.c_str());
    if (!bMade)
        return {};
    endpoint.m_strPath = path;
    endpoint.m_nDevice = static_cast<uint64_t>(st.st_dev);
    endpoint.m_nInode = static_cast<uint64_t>(st.st_ino);
    return endpoint;
}

LocalSocket LocalSocket::Connect(const std::string& path, int waitMs)
{
    sockaddr_un address {};
    if (!MakeAddress(path, &address))
        return {};
    // A blocking connect waits for room in a full queue no longer than the
    // send time-out; a non-blocking one does not wait at all.
    const int flags = SOCK_CLOEXEC | (waitMs > 0 ? 0 : SOCK_NONBLOCK);
    LocalSocket connection(::socket(AF_UNIX, SOCK_STREAM | flags, 0));
    if (!connection.IsOpen())
        return {};
    if (waitMs > 0) {
        const timeval limit { waitMs / 1000, (waitMs % 1000) * 1000 };
        if (::setsockopt(connection.m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
            return {};
    }
    int result = 0;
    do
        result = ::connect(connection.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (result != 0 && errno == EINTR && waitMs <= 0);
    if (result != 0)
        return {};
    if (waitMs > 0) {
        const timeval none {};
        if (::setsockopt(connection.m_fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none) != 0
            || !SetNonBlocking(connection.m_fd))
            return {};
    }
    return connection;
}

LocalSocket LocalSocket::Accept()
{
    while (m_fd >= 0) {
        LocalSocket peer(::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!peer.IsOpen())
            return {};
        // The endpoint's permissions keep other users out; this holds even
        // where permissions on sockets are not checked.
        ucred credentials {};
        socklen_t len = sizeof credentials;
        if (::getsockopt(peer.m_fd, SOL_SOCKET, SO_PEERCRED, &credentials, &len) == 0 && credentials.uid == ::getuid())
            return peer;
    }
    return {};
}

LocalSocket::Io LocalSocket::Send(const char* data, size_t len)
{
    const ssize_t n = ::send(m_fd, data, len, MSG_NOSIGNAL);
    if (n >= 0)
        return { Status::Done, static_cast<size_t>(n) };
    return { WouldBlock(errno) ? Status::Pending : Status::Failed, 0 };
}

LocalSocket::Io LocalSocket::Receive(char* out, size_t len)
{
    const ssize_t n = ::recv(m_fd, out, len, 0);
    if (n > 0)
        return { Status::Done, static_cast<size_t>(n) };
    if (n == 0)
        return { len == 0 ? Status::Done : Status::Closed, 0 };
    if (errno == ECONNRESET)
        return { Status::Closed, 0 };
    return { WouldBlock(errno) ? Status::Pending : Status::Failed, 0 };
}

bool LocalEndpointExists(const std::string& path)
{
    struct stat st { };
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

} // namespace platform

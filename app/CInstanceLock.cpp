#include "app/CInstanceLock.h"

#include "foundation/Paths.h"

#include <QThread>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The one request a later instance sends; anything else is ignored.
constexpr std::string_view kRaiseRequest = "raise\n";
constexpr size_t kRequestBytes = 16;
constexpr int kConnectWaitMs = 500;

std::string RuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && FolderExists(runtime))
        return JoinPath(runtime, "");
    return GetPrivateTempFolder();
}

bool AllowsInstances()
{
    const char* allow = std::getenv(CInstanceLock::kAllowEnv);
    return allow && std::string_view(allow) == "1";
}

} // namespace

CInstanceLock::CInstanceLock(std::string folder)
    : m_folder(folder.empty() ? RuntimeFolder() : JoinPath(folder, ""))
    , m_server({ kMaxPeers, kRequestBytes, kPeerTimeoutMs },
          [this](std::string& pending, bool bEnded) { return OnRequest(pending, bEnded); })
{
}

CInstanceLock::~CInstanceLock()
{
    m_server.Close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string CInstanceLock::LockPath() const
{
    return m_folder + "tavdj-" + std::to_string(::getuid()) + ".lock";
}

std::string CInstanceLock::SocketPath() const
{
    return m_folder + "tavdj-" + std::to_string(::getuid()) + ".window";
}

int CInstanceLock::CheckSingleInstance(const std::string& firstArgument)
{
    if (AllowsInstances() || m_folder.empty())
        return 0;
    const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        return 0;
    }
    ::close(fd);
    // The first instance may still be building its window: look again a
    // few times before giving up.
    for (int poll = 0; poll < kWindowPolls; ++poll) {
        if (CallFirstInstance(firstArgument.empty()))
            break;
        QThread::msleep(kWindowPollMs);
    }
    return 1;
}

bool CInstanceLock::CallFirstInstance(bool bBringToFront)
{
    platform::LocalSocket socket = platform::LocalSocket::Connect(SocketPath(), kConnectWaitMs);
    if (!socket.IsOpen())
        return false;
    // A new connection's buffer always has room for the request.
    if (bBringToFront)
        (void)socket.Send(kRaiseRequest.data(), kRaiseRequest.size());
    return true;
}

bool CInstanceLock::PublishWindow(QWidget* pWindow)
{
    m_pWindow = pWindow;
    if (m_lockFd < 0)
        return false; // not the holder: a second socket would steal the name
    // We hold the lock, so a socket under the name is a dead instance's,
    // and listening replaces it.
    return m_server.Listen(SocketPath());
}

CLocalServer::Verdict CInstanceLock::OnRequest(const std::string& pending, bool bEnded)
{
    if (!bEnded && pending.size() < kRequestBytes && pending.find('\n') == std::string::npos)
        return CLocalServer::Verdict::Wait;
    if (pending.starts_with(kRaiseRequest) && m_pWindow) {
        m_pWindow->showNormal();
        m_pWindow->raise();
        m_pWindow->activateWindow();
    }
    return CLocalServer::Verdict::Done;
}

#include "app/CInstanceLock.h"

#include "foundation/Paths.h"

#include <QLocalSocket>
#include <QThread>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The one request a later instance sends; anything else is ignored.
constexpr char kRaiseRequest[] = "raise\n";
constexpr int kRequestBytes = 16;
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
{
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] { OnConnection(); });
}

CInstanceLock::~CInstanceLock()
{
    m_server.close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string CInstanceLock::LockPath() const
{
    return m_folder + "tavdj-" + std::to_string(::getuid()) + ".lock";
}

QString CInstanceLock::SocketPath() const
{
    return QString::fromStdString(m_folder + "tavdj-" + std::to_string(::getuid()) + ".window");
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
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    if (bBringToFront) {
        socket.write(kRaiseRequest);
        socket.waitForBytesWritten(kConnectWaitMs);
    }
    socket.disconnectFromServer();
    return true;
}

bool CInstanceLock::PublishWindow(QWidget* pWindow)
{
    m_pWindow = pWindow;
    if (m_lockFd < 0)
        return false; // not the holder: a second socket would steal the name
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket under the name is a dead instance's.
    QLocalServer::removeServer(SocketPath());
    return m_server.listen(SocketPath());
}

void CInstanceLock::OnConnection()
{
    while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
        QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        const auto answer = [this, pSocket] {
            const QByteArray request = pSocket->read(kRequestBytes);
            if (request.startsWith(kRaiseRequest) && m_pWindow) {
                m_pWindow->showNormal();
                m_pWindow->raise();
                m_pWindow->activateWindow();
            }
        };
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, answer);
        if (pSocket->bytesAvailable() > 0)
            answer();
    }
}

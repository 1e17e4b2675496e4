#include "app/CLauncherResultEndpoint.h"

#include "app/UpdateCheck.h"

#include <QLocalSocket>
#include <QTimer>
#include <QVariant>

#include <charconv>

#include <unistd.h>

namespace {

constexpr std::string_view kMessageName = "WM_VDLAUNCHER_RESULT ";
// The longest line worth reading: the name, a sign, ten digits and "\r\n".
constexpr qint64 kMaxLineBytes = 40;
// A peer that connects and says nothing is dropped after this.
constexpr int kPeerTimeoutMs = 5000;

} // namespace

CLauncherResultEndpoint::CLauncherResultEndpoint(platform::TargetHandle target)
    : m_target(target)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.setMaxPendingConnections(4);
    QObject::connect(&m_server, &QLocalServer::newConnection, [this] { OnConnection(); });
}

CLauncherResultEndpoint::~CLauncherResultEndpoint()
{
    m_server.close();
}

QString CLauncherResultEndpoint::EndpointName(uint32_t number)
{
    return QStringLiteral("TavDJ-VdLauncher-%1").arg(number);
}

bool CLauncherResultEndpoint::Listen()
{
    if (m_server.isListening())
        return true;
    const QString name = EndpointName(static_cast<uint32_t>(getpid()));
    // The name holds our own process id: whatever is there was left by a
    // process that is gone.
    QLocalServer::removeServer(name);
    return m_server.listen(name);
}

uint32_t CLauncherResultEndpoint::WindowNumber() const
{
    return m_server.isListening() ? static_cast<uint32_t>(getpid()) : 0;
}

bool CLauncherResultEndpoint::ParseLine(std::string_view line, int* pCode)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (!line.starts_with(kMessageName))
        return false;
    line.remove_prefix(kMessageName.size());
    if (line.empty() || line.front() == '+')
        return false;
    int code = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), code);
    if (error != std::errc() || end != line.data() + line.size())
        return false;
    *pCode = code;
    return true;
}

void CLauncherResultEndpoint::OnConnection()
{
    while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
        QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        QTimer::singleShot(kPeerTimeoutMs, pSocket, [pSocket] { pSocket->abort(); });
        // One line per connection; the line ends with its newline or with
        // the connection.
        auto finish = [this, pSocket] {
            if (pSocket->property("done").toBool())
                return;
            pSocket->setProperty("done", true);
            const QByteArray bytes = pSocket->readLine(kMaxLineBytes + 1);
            int code = 0;
            if (bytes.size() <= kMaxLineBytes && ParseLine(std::string_view(bytes.constData(), bytes.size()), &code))
                platform::PostMessage(m_target, WmVdLauncherResult(), static_cast<platform::WParam>(code), 0);
            pSocket->disconnectFromServer();
        };
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, [pSocket, finish] {
            if (pSocket->canReadLine() || pSocket->bytesAvailable() > kMaxLineBytes)
                finish();
        });
        QObject::connect(pSocket, &QLocalSocket::readChannelFinished, pSocket, finish);
    }
}

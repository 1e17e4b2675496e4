#include "app/CPlayerExchange.h"

#include "foundation/DebugTrace.h"
#include "foundation/Md5.h"
#include "foundation/Paths.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A probe of a left-over endpoint: a live program answers at once.
constexpr int kProbeTimeoutMs = 500;

std::string RuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && FolderExists(runtime))
        return JoinPath(runtime, "");
    return GetPrivateTempFolder();
}

void PutLittleEndian32(char* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLittleEndian32(const char* p)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return value;
}

// Ends a socket without its signals reaching handlers that may be gone.
void Discard(QLocalSocket* pSocket)
{
    QObject::disconnect(pSocket, nullptr, nullptr, nullptr);
    pSocket->abort();
    pSocket->deleteLater();
}

} // namespace

CPlayerExchange::CPlayerExchange(std::string folder)
    : m_strFolder(folder.empty() ? RuntimeFolder() : JoinPath(folder, ""))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.setMaxPendingConnections(static_cast<int>(kMaxPeers));
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] { OnConnection(); });
}

CPlayerExchange::~CPlayerExchange()
{
    Close();
    for (QObject* pChild : m_sends.children())
        Discard(static_cast<QLocalSocket*>(pChild));
    m_nPendingSends = 0;
}

QString CPlayerExchange::ProgramEndpointPath() const
{
    return QString::fromStdString(m_strFolder + kProgramEndpoint);
}

QString CPlayerExchange::PlayerEndpointPath() const
{
    return QString::fromStdString(m_strFolder + kPlayerEndpoint);
}

bool CPlayerExchange::Listen()
{
    if (m_server.isListening())
        return true;
    if (m_strFolder.empty())
        return false;
    const QString path = ProgramEndpointPath();
    // Listening with access options replaces whatever lies at the path, so
    // a running program's endpoint is looked for first.
    if (QFileInfo::exists(path)) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kProbeTimeoutMs))
            return false;
        QLocalServer::removeServer(path);
    }
    return m_server.listen(path);
}

void CPlayerExchange::Close()
{
    m_server.close();
    for (auto& [pSocket, peer] : m_peers)
        Discard(pSocket);
    m_peers.clear();
}

void CPlayerExchange::OnConnection()
{
    while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
        if (m_peers.size() >= kMaxPeers) {
            Discard(pSocket);
            continue;
        }
        m_peers.emplace(pSocket, SPeer {});
        auto* pIdle = new QTimer(pSocket);
        pIdle->setObjectName(QStringLiteral("idle"));
        pIdle->setSingleShot(true);
        QObject::connect(pIdle, &QTimer::timeout, pSocket, [this, pSocket] { DropPeer(pSocket); });
        pIdle->start(kPeerTimeoutMs);
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, [this, pSocket] { OnReadyRead(pSocket); });
        // A player that writes its record and hangs up at once still has
        // it read.
        QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, [this, pSocket] {
            OnReadyRead(pSocket);
            DropPeer(pSocket);
        });
        // Records may have arrived with the connection.
        OnReadyRead(pSocket);
    }
}

void CPlayerExchange::OnReadyRead(QLocalSocket* pSocket)
{
    for (;;) {
        auto it = m_peers.find(pSocket);
        if (it == m_peers.end())
            return;
        std::string& pending = it->second.pending;
        size_t need = kHeaderBytes;
        if (pending.size() >= kHeaderBytes) {
            const uint32_t length = GetLittleEndian32(pending.data() + 4);
            if (length > kMaxRecordBytes) {
                DropPeer(pSocket);
                return;
            }
            need = kHeaderBytes + length;
        }
        if (pending.size() < need) {
            const QByteArray bytes = pSocket->read(static_cast<qint64>(need - pending.size()));
            if (bytes.isEmpty())
                return;
            pending.append(bytes.constData(), static_cast<size_t>(bytes.size()));
            continue;
        }
        const std::string record = std::move(pending);
        pending.clear();
        if (auto* pIdle = pSocket->findChild<QTimer*>(QStringLiteral("idle")))
            pIdle->start(kPeerTimeoutMs);
        // The handler may close the exchange; the loop looks the peer up
        // again before it reads on.
        HandleRecord(GetLittleEndian32(record.data()), std::string_view(record).substr(kHeaderBytes));
    }
}

void CPlayerExchange::DropPeer(QLocalSocket* pSocket)
{
    if (m_peers.erase(pSocket) != 0)
        Discard(pSocket);
}

void CPlayerExchange::HandleRecord(uint32_t kind, std::string_view bytes)
{
    if (kind == kStreamCommandRecord) {
        // A short record would make us read its time from beyond its end.
        if (auto command = ParseStreamCommand(bytes); command && m_onStreamCommand)
            m_onStreamCommand(*command);
    } else if (kind == kAddressRecord) {
        if (m_onAddressRequest)
            m_onAddressRequest();
    }
}

std::optional<CPlayerExchange::SStreamCommand> CPlayerExchange::ParseStreamCommand(std::string_view bytes)
{
    if (bytes.size() < kStreamCommandRecordBytes)
        return std::nullopt;
    SStreamCommand command;
    const std::string_view text = bytes.substr(0, kMaxStreamCommandText);
    command.text = std::string(text.substr(0, text.find('\0')));
    command.time = static_cast<int32_t>(GetLittleEndian32(bytes.data() + kAddressRecordBytes));
    return command;
}

std::string CPlayerExchange::BuildAddressRecord(std::string_view localAddress, int port)
{
    std::string record(kAddressRecordBytes, '\0');
    const std::string digest = Md5Hex(std::string(localAddress) + std::to_string(port));
    std::memcpy(record.data(), digest.data(), std::min(digest.size(), kAddressRecordBytes - 1));
    return record;
}

std::string CPlayerExchange::EncodeRecord(uint32_t kind, std::string_view bytes)
{
    std::string record(kHeaderBytes, '\0');
    PutLittleEndian32(record.data(), kind);
    PutLittleEndian32(record.data() + 4, static_cast<uint32_t>(bytes.size()));
    record += bytes;
    return record;
}

bool CPlayerExchange::NotifyPlayerAddress(const std::string& address, const std::string& localAddress, int port)
{
    if (!QFileInfo::exists(PlayerEndpointPath()))
        return false;
    DebugTrace("address:%s, localaddress:%s, port:%d", address.c_str(), localAddress.c_str(), port);
    return SendRecord(kAddressRecord, BuildAddressRecord(localAddress, port));
}

bool CPlayerExchange::SendRecord(uint32_t kind, std::string_view bytes)
{
    const QString path = PlayerEndpointPath();
    if (m_strFolder.empty() || !QFileInfo::exists(path) || bytes.size() > kMaxRecordBytes)
        return false;
    auto* pSocket = new QLocalSocket(&m_sends);
    ++m_nPendingSends;
    const QByteArray record = QByteArray::fromStdString(EncodeRecord(kind, bytes));
    // Whichever comes first of the close, an error and the time-out ends
    // the send; the others find it ended.
    auto finish = [this, pSocket, pDone = std::make_shared<bool>(false)] {
        if (*pDone)
            return;
        *pDone = true;
        --m_nPendingSends;
        Discard(pSocket);
    };
    QObject::connect(pSocket, &QLocalSocket::connected, pSocket, [pSocket, record] {
        pSocket->write(record);
        // Closes once the record is written.
        pSocket->disconnectFromServer();
    });
    QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, finish);
    QObject::connect(pSocket, &QLocalSocket::errorOccurred, pSocket, finish);
    QTimer::singleShot(kSendTimeoutMs, pSocket, finish);
    pSocket->connectToServer(path, QIODevice::WriteOnly);
    return true;
}

#include "app/CPlayerExchange.h"

#include "foundation/DebugTrace.h"
#include "foundation/Md5.h"
#include "foundation/Paths.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <cstring>

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

} // namespace

// One record on its way to the player, on a connection of its own.
struct CPlayerExchange::SSend {
    platform::LocalSocket socket;
    std::string bytes; // what is still to be written
    // Declared after the socket: they go first, before it closes.
    std::unique_ptr<QSocketNotifier> pWritable;
    std::unique_ptr<QTimer> pDeadline;
};

CPlayerExchange::CPlayerExchange(std::string folder)
    : m_strFolder(folder.empty() ? RuntimeFolder() : JoinPath(folder, ""))
    , m_server({ kMaxPeers, kHeaderBytes + kMaxRecordBytes, kPeerTimeoutMs },
          // Records that came before the player hung up are read like any
          // other: the end only says that nothing follows them.
          [this](std::string& pending, bool) { return OnRecords(pending); })
{
}

CPlayerExchange::~CPlayerExchange()
{
    Close();
    m_sends.clear();
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
    if (m_server.IsListening())
        return true;
    if (m_strFolder.empty())
        return false;
    const std::string path = ProgramEndpointPath().toStdString();
    // Listening replaces whatever lies at the path, so a running program's
    // endpoint is looked for first.
    if (platform::LocalEndpointExists(path) && platform::LocalSocket::Connect(path, kProbeTimeoutMs).IsOpen())
        return false;
    return m_server.Listen(path);
}

void CPlayerExchange::Close()
{
    m_server.Close();
}

CLocalServer::Verdict CPlayerExchange::OnRecords(std::string& pending)
{
    CLocalServer::Verdict verdict = CLocalServer::Verdict::Wait;
    while (pending.size() >= kHeaderBytes) {
        const uint32_t length = GetLittleEndian32(pending.data() + 4);
        if (length > kMaxRecordBytes)
            return CLocalServer::Verdict::Done;
        if (pending.size() < kHeaderBytes + length)
            break;
        const std::string record = pending.substr(0, kHeaderBytes + length);
        pending.erase(0, kHeaderBytes + length);
        verdict = CLocalServer::Verdict::Progress;
        HandleRecord(GetLittleEndian32(record.data()), std::string_view(record).substr(kHeaderBytes));
        // The handler may have closed the exchange: nothing more is heard.
        if (!m_server.IsListening())
            return CLocalServer::Verdict::Done;
    }
    return verdict;
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
    if (!platform::LocalEndpointExists(PlayerEndpointPath().toStdString()))
        return false;
    DebugTrace("address:%s, localaddress:%s, port:%d", address.c_str(), localAddress.c_str(), port);
    return SendRecord(kAddressRecord, BuildAddressRecord(localAddress, port));
}

bool CPlayerExchange::SendRecord(uint32_t kind, std::string_view bytes)
{
    const std::string path = PlayerEndpointPath().toStdString();
    if (m_strFolder.empty() || !platform::LocalEndpointExists(path) || bytes.size() > kMaxRecordBytes)
        return false;
    // A player whose queue is full is as good as hung: it is not waited
    // for, here on the window's thread.
    platform::LocalSocket socket = platform::LocalSocket::Connect(path, 0);
    if (!socket.IsOpen())
        return true;
    const uint64_t id = m_nNextSend++;
    auto pSend = std::make_unique<SSend>();
    pSend->socket = std::move(socket);
    pSend->bytes = EncodeRecord(kind, bytes);
    pSend->pWritable = std::make_unique<QSocketNotifier>(pSend->socket.Handle(), QSocketNotifier::Write);
    pSend->pWritable->setEnabled(false);
    QObject::connect(
        pSend->pWritable.get(), &QSocketNotifier::activated, pSend->pWritable.get(), [this, id] { ContinueSend(id); });
    pSend->pDeadline = std::make_unique<QTimer>();
    pSend->pDeadline->setSingleShot(true);
    QObject::connect(
        pSend->pDeadline.get(), &QTimer::timeout, pSend->pDeadline.get(), [this, id] { m_sends.erase(id); });
    pSend->pDeadline->start(kSendTimeoutMs);
    m_sends.emplace(id, std::move(pSend));
    ContinueSend(id);
    return true;
}

void CPlayerExchange::ContinueSend(uint64_t id)
{
    const auto it = m_sends.find(id);
    if (it == m_sends.end())
        return;
    SSend& send = *it->second;
    while (!send.bytes.empty()) {
        const platform::LocalSocket::Io io = send.socket.Send(send.bytes.data(), send.bytes.size());
        if (io.status == platform::LocalSocket::Status::Pending) {
            send.pWritable->setEnabled(true);
            return;
        }
        if (io.status != platform::LocalSocket::Status::Done)
            break;
        send.bytes.erase(0, io.bytes);
    }
    // All is out (the player reads it before the end of the connection), or
    // the player is gone.
    m_sends.erase(it);
}

#include "app/CPlayerExchange.h"

#include "support/TempHome.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

bool WaitUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

uint32_t LittleEndian32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

std::string StreamCommandBytes(const std::string& text, int32_t time, size_t size = 516)
{
    std::string bytes(std::max<size_t>(size, 516), '\0');
    bytes.replace(0, text.size(), text);
    const auto value = static_cast<uint32_t>(time);
    for (int i = 0; i < 4; ++i)
        bytes[512 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    bytes.resize(size);
    return bytes;
}

// The player's side: it listens on its own endpoint, keeps every record it
// receives, and writes records to the program's endpoint.
class FakePlayer {
public:
    struct Record {
        uint32_t kind;
        std::string bytes;
    };

    explicit FakePlayer(const QString& endpoint)
    {
        QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] {
            while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
                QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, [this, pSocket] {
                    m_buffers[pSocket] += pSocket->readAll().toStdString();
                    TakeRecords(m_buffers[pSocket]);
                });
            }
        });
        m_bListening = m_server.listen(endpoint);
    }

    [[nodiscard]] bool IsListening() const { return m_bListening; }
    [[nodiscard]] const std::vector<Record>& Received() const { return m_received; }

    // One connection carrying the given bytes; returns the socket so the
    // test can see whether the program dropped it.
    std::unique_ptr<QLocalSocket> Send(const QString& endpoint, const std::string& bytes)
    {
        auto pSocket = std::make_unique<QLocalSocket>();
        pSocket->connectToServer(endpoint);
        if (!pSocket->waitForConnected(1000))
            return nullptr;
        pSocket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        pSocket->flush();
        return pSocket;
    }

private:
    void TakeRecords(std::string& buffer)
    {
        while (buffer.size() >= 8 && buffer.size() >= 8 + LittleEndian32(buffer, 4)) {
            const size_t length = LittleEndian32(buffer, 4);
            m_received.push_back({ LittleEndian32(buffer, 0), buffer.substr(8, length) });
            buffer.erase(0, 8 + length);
        }
    }

    QLocalServer m_server;
    bool m_bListening = false;
    std::map<QLocalSocket*, std::string> m_buffers;
    std::vector<Record> m_received;
};

TEST(CPlayerExchange, StreamCommandRecordsShorterThanTheirTimeAreRefused)
{
    const struct {
        std::string bytes;
        std::optional<std::string> text;
        int32_t time;
    } cases[] = {
        { StreamCommandBytes("tavacmd", 42), "tavacmd", 42 },
        { StreamCommandBytes("play", -7, 600), "play", -7 },
        // No NUL in the text's 512 bytes: its first 511 count.
        { StreamCommandBytes(std::string(512, 'c'), 1), std::string(511, 'c'), 1 },
        { StreamCommandBytes("short", 1, 515), std::nullopt, 0 },
        { std::string(512, 'x'), std::nullopt, 0 },
        { std::string(), std::nullopt, 0 },
    };
    for (const auto& c : cases) {
        const auto command = CPlayerExchange::ParseStreamCommand(c.bytes);
        ASSERT_EQ(command.has_value(), c.text.has_value()) << c.bytes.size();
        if (command) {
            EXPECT_EQ(command->text, *c.text);
            EXPECT_EQ(command->time, c.time);
        }
    }
}

TEST(CPlayerExchange, AddressRecordIsTheDigestOfAddressAndPortZeroFilled)
{
    const struct {
        std::string localAddress;
        int port;
        std::string digest;
    } cases[] = {
        { "192.168.0.5", 8000, "0df03f58715bf632fa3a78d18f86abcd" },
        { "localhost", 8001, "3885702c8b8fc4ef313bb757a4a1e5ab" },
    };
    for (const auto& c : cases) {
        const std::string record = CPlayerExchange::BuildAddressRecord(c.localAddress, c.port);
        ASSERT_EQ(record.size(), 512u);
        EXPECT_EQ(record.substr(0, 32), c.digest);
        EXPECT_EQ(record.find_first_not_of('\0', 32), std::string::npos);
    }
}

// The whole exchange against a fake player: our 9897 reaches it; its
// records reach the handlers, the malformed ones do not.
TEST(CPlayerExchange, RecordsTravelBothWaysAndMalformedOnesAreDropped)
{
    TempHome home;
    CPlayerExchange exchange(home.Path("tmp"));
    std::vector<CPlayerExchange::SStreamCommand> commands;
    int requests = 0;
    exchange.SetStreamCommandHandler([&](const CPlayerExchange::SStreamCommand& c) { commands.push_back(c); });
    exchange.SetAddressRequestHandler([&] { ++requests; });
    ASSERT_TRUE(exchange.Listen());

    // No player yet: nothing is sent.
    EXPECT_FALSE(exchange.NotifyPlayerAddress("203.0.113.9", "192.168.0.5", 8000));

    FakePlayer player(exchange.PlayerEndpointPath());
    ASSERT_TRUE(player.IsListening());
    EXPECT_TRUE(exchange.NotifyPlayerAddress("203.0.113.9", "192.168.0.5", 8000));
    ASSERT_TRUE(WaitUntil([&] { return !player.Received().empty() && exchange.PendingSends() == 0; }));
    ASSERT_EQ(player.Received().size(), 1u);
    EXPECT_EQ(player.Received()[0].kind, CPlayerExchange::kAddressRecord);
    EXPECT_EQ(player.Received()[0].bytes, CPlayerExchange::BuildAddressRecord("192.168.0.5", 8000));

    // One connection: a short 9898, an unknown kind, a good 9898 and a
    // request, split across writes.
    const std::string stream = CPlayerExchange::EncodeRecord(9898, StreamCommandBytes("x", 1, 515))
        + CPlayerExchange::EncodeRecord(1234, "ignored")
        + CPlayerExchange::EncodeRecord(9898, StreamCommandBytes("next", 77)) + CPlayerExchange::EncodeRecord(9897, "");
    auto pFirst = player.Send(exchange.ProgramEndpointPath(), stream.substr(0, 700));
    ASSERT_TRUE(pFirst);
    ASSERT_TRUE(WaitUntil([&] { return pFirst->bytesToWrite() == 0; }));
    pFirst->write(stream.substr(700).c_str(), static_cast<qint64>(stream.size() - 700));
    ASSERT_TRUE(WaitUntil([&] { return requests == 1; }));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text, "next");
    EXPECT_EQ(commands[0].time, 77);

    // A record longer than any player sends ends its connection unread.
    auto pHuge = player.Send(exchange.ProgramEndpointPath(),
        CPlayerExchange::EncodeRecord(9898, std::string(CPlayerExchange::kMaxRecordBytes + 1, 'h')));
    ASSERT_TRUE(pHuge);
    ASSERT_TRUE(WaitUntil([&] { return pHuge->state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(commands.size(), 1u);
}

// Our endpoint is ours alone while we run: a second program keeps off it,
// and a left-over one from a program that is gone is taken over.
TEST(CPlayerExchange, EndpointOfARunningProgramIsKeptAndALeftOverOneReplaced)
{
    TempHome home;
    auto pFirst = std::make_unique<CPlayerExchange>(home.Path("tmp"));
    ASSERT_TRUE(pFirst->Listen());
    CPlayerExchange second(home.Path("tmp"));
    EXPECT_FALSE(second.Listen());
    pFirst.reset();
    EXPECT_TRUE(second.Listen());
    second.Close();

    // What a crash leaves behind answers no one.
    std::ofstream(second.ProgramEndpointPath().toStdString()) << "left over";
    CPlayerExchange third(home.Path("tmp"));
    EXPECT_TRUE(third.Listen());
}

} // namespace

#include "app/CPlayerExchange.h"

#include "support/QtEventWait.h"
#include "support/TempHome.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

namespace {

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

// One connection to an endpoint carrying the given bytes.
std::unique_ptr<QLocalSocket> Send(const QString& endpoint, const std::string& bytes)
{
    auto pSocket = std::make_unique<QLocalSocket>();
    pSocket->connectToServer(endpoint);
    if (!pSocket->waitForConnected(1000))
        return nullptr;
    pSocket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    return pSocket;
}

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

    // The player's side keeps every byte it receives.
    QLocalServer player;
    std::string received;
    QObject::connect(&player, &QLocalServer::newConnection, &player, [&] {
        QLocalSocket* pSocket = player.nextPendingConnection();
        QObject::connect(
            pSocket, &QLocalSocket::readyRead, pSocket, [&, pSocket] { received += pSocket->readAll().toStdString(); });
    });
    ASSERT_TRUE(player.listen(exchange.PlayerEndpointPath()));
    EXPECT_TRUE(exchange.NotifyPlayerAddress("203.0.113.9", "192.168.0.5", 8000));
    ASSERT_TRUE(RunEventsUntil([&] { return received.size() >= 520 && exchange.PendingSends() == 0; }));
    // Kind 9897 and length 512, little-endian; MD5 of "192.168.0.58000".
    EXPECT_EQ(received,
        std::string("\xA9\x26\0\0\0\x02\0\0", 8) + "0df03f58715bf632fa3a78d18f86abcd" + std::string(480, '\0'));

    // One connection: a short 9898, an unknown kind, a good 9898 and a
    // request, split across writes, then closed.
    const std::string stream = CPlayerExchange::EncodeRecord(9898, StreamCommandBytes("x", 1, 515))
        + CPlayerExchange::EncodeRecord(1234, "ignored")
        + CPlayerExchange::EncodeRecord(9898, StreamCommandBytes("next", 77)) + CPlayerExchange::EncodeRecord(9897, "");
    auto pFirst = Send(exchange.ProgramEndpointPath(), stream.substr(0, 700));
    ASSERT_TRUE(pFirst);
    ASSERT_TRUE(RunEventsUntil([&] { return pFirst->bytesToWrite() == 0; }));
    pFirst->write(stream.substr(700).c_str(), static_cast<qint64>(stream.size() - 700));
    pFirst->disconnectFromServer(); // hangs up as soon as the rest is out
    ASSERT_TRUE(RunEventsUntil([&] { return requests == 1; }));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text, "next");
    EXPECT_EQ(commands[0].time, 77);

    // A record longer than any player sends ends its connection unread.
    auto pHuge = Send(exchange.ProgramEndpointPath(),
        CPlayerExchange::EncodeRecord(9898, std::string(CPlayerExchange::kMaxRecordBytes + 1, 'h')));
    ASSERT_TRUE(pHuge);
    ASSERT_TRUE(RunEventsUntil([&] { return pHuge->state() == QLocalSocket::UnconnectedState; }));
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
    // What a crash leaves behind answers no one.
    std::ofstream(second.ProgramEndpointPath().toStdString()) << "left over";
    EXPECT_TRUE(second.Listen());
}

} // namespace

#pragma once

// Drives the built-in server on an in-memory network through an order of
// events chosen by the given bytes (a fuzzer's input, or a seeded random
// stream): strangers on the source port, DJs logging in, blocks and closes,
// idle listeners, accepts the system refuses, passes of the loop. After
// every pass and at the end it checks that
//  - every whole block a DJ sent before it closed reaches the listener,
//    unless a later DJ took over first;
//  - the server closes a DJ's connection only when a later DJ took over or
//    the DJ fell silent for the idle limit: no stranger displaces it;
//  - a socket the server met ready in a pass that moved nothing is not
//    ready again pass after pass with nothing moved (the loop does not
//    spin). Different sockets in turn are fine: a refused accept pauses its
//    listener, a closed source is dropped, and neither moves data.
// Returns an empty text when all held, else what failed.

#include "engine/server/CDJServer.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeHostResolver.h"
#include "tests/fakes/FakeNetwork.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testutil {

inline std::string RunServerInterleaving(const uint8_t* data, size_t size)
{
    constexpr int kPort = 8000;
    constexpr size_t kBlock = CStreamRing::kSlotBytes;
    constexpr uint64_t kMaxBlocks = 600; // well inside the ring: the listener never falls behind
    FakeNetwork net;
    FakeHostResolver resolver;
    FakeClock clock;
    CDJServer server(net, resolver, clock);
    CDJServerParams params;
    params.port = kPort;
    params.maxListeners = 4;
    params.pageFolder = "/nonexistent-tavdj-pages";
    params.logCallback = [](const char*, void*) {};
    if (!server.StartWithoutThread(params))
        return "start";

    struct Dj {
        int fd;
        std::vector<uint64_t> sent; // blocks queued to the server, in order
        uint64_t lastSendMs;
        bool closed = false; // the DJ ended its side
        bool closeSeen = false; // a pass ran after that
        bool displaced = false; // a later DJ came before its close was seen
    };
    std::vector<Dj> djs;
    uint64_t nextBlock = 1;
    int idlePassesWithReady = 0;
    std::vector<int> idleReady; // ready in every pass of that idle run
    std::string failure;

    auto pass = [&]() -> bool {
        const bool moved = server.RunPass();
        const FakeNetwork::Wait& w = net.waits.back();
        if (w.ready == 0)
            clock.Advance(static_cast<uint64_t>(w.timeoutMs));
        if (moved || w.ready == 0) {
            idlePassesWithReady = 0;
        } else if (idlePassesWithReady == 0) {
            idlePassesWithReady = 1;
            idleReady = w.readyFds;
        } else {
            std::erase_if(idleReady,
                [&](int fd) { return std::find(w.readyFds.begin(), w.readyFds.end(), fd) == w.readyFds.end(); });
            idlePassesWithReady = idleReady.empty() ? 1 : idlePassesWithReady + 1;
            if (idleReady.empty())
                idleReady = w.readyFds;
        }
        if (idlePassesWithReady >= 3 && failure.empty())
            failure = "the loop spins: ready sockets and no work, pass after pass";
        for (Dj& d : djs) {
            if (d.closed)
                d.closeSeen = true;
            const bool silent = clock.NowMs() - d.lastSendMs > CDJServer::kIdleLimitMs;
            if (net.At(d.fd).serverClosed && !d.closed && !d.displaced && !silent && failure.empty())
                failure = "a DJ was closed without being replaced";
        }
        return moved;
    };

    const int listener = net.Connect(kPort);
    net.At(listener).toServer = "GET / HTTP/1.0\r\n\r\n";
    for (int i = 0; i < 10 && !net.At(listener).accepted; ++i)
        pass();

    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    while (at < size && failure.empty()) {
        const uint8_t op = next();
        switch (op % 8) {
        case 0: // a stranger on the source port, saying nothing
            net.Connect(kPort + 1, 0x0200007Fu);
            break;
        case 1: { // a stranger with a wrong password, perhaps cut short
            const int fd = net.Connect(kPort + 1, 0x0300007Fu);
            net.At(fd).toServer = (op & 8) ? "wrong\n" : "wro";
            break;
        }
        case 2: { // a DJ with the password and its headers
            if (op & 8)
                break;
            for (Dj& d : djs) {
                if (!d.closeSeen)
                    d.displaced = true;
            }
            const int fd = net.Connect(kPort + 1);
            net.At(fd).toServer = server.GetPassword() + std::string(1, '\0') + "\nicy-name:DJ\nicy-br:128\n\n";
            djs.push_back(Dj { fd, {}, clock.NowMs() });
            break;
        }
        case 3: { // the newest DJ sends whole blocks
            // One the server dropped for silence takes no more.
            if (djs.empty() || djs.back().closed || net.At(djs.back().fd).serverClosed)
                break;
            Dj& d = djs.back();
            const int count = 1 + (op >> 3) % 3;
            for (int i = 0; i < count && nextBlock <= kMaxBlocks; ++i) {
                std::string block(kBlock, static_cast<char>('a' + nextBlock % 26));
                std::memcpy(block.data(), &nextBlock, sizeof nextBlock);
                net.At(d.fd).toServer += block;
                d.sent.push_back(nextBlock++);
            }
            d.lastSendMs = clock.NowMs();
            break;
        }
        case 4: // the newest DJ closes, perhaps after a part block
            if (!djs.empty() && !djs.back().closed) {
                if (op & 8)
                    net.At(djs.back().fd).toServer += "tail";
                djs.back().closed = true;
                net.At(djs.back().fd).peerClosed = true;
            }
            break;
        case 5: { // a listener connection that never finishes its request
            const int fd = net.Connect(kPort, 0x0400007Fu);
            if (op & 8)
                net.At(fd).toServer = "GET / HT";
            break;
        }
        case 6:
            net.failAccepts = (op & 8) != 0;
            break;
        default:
            for (int i = 0; i <= (op >> 3) % 4; ++i)
                pass();
            break;
        }
    }
    net.failAccepts = false;
    // Let everything queued reach the listener: until a long run of passes
    // moves nothing (time runs on in those, so deadlines pass too).
    for (int i = 0, quiet = 0; i < 3000 && quiet < 300 && failure.empty(); ++i)
        quiet = pass() ? 0 : quiet + 1;
    if (!failure.empty())
        return failure;

    const std::string& got = net.At(listener).fromServer;
    const size_t header = got.find("\r\n\r\n");
    if (header == std::string::npos)
        return "the listener got no stream header";
    std::vector<uint64_t> received;
    for (size_t p = header + 4; p + kBlock <= got.size(); p += kBlock) {
        uint64_t n = 0;
        std::memcpy(&n, got.data() + p, sizeof n);
        received.push_back(n);
    }
    if ((got.size() - header - 4) % kBlock != 0)
        return "a part block reached the listener";
    // Blocks arrive in order, each once.
    for (size_t i = 1; i < received.size(); ++i) {
        if (received[i] <= received[i - 1])
            return "blocks out of order";
    }
    for (const Dj& d : djs) {
        if (d.displaced)
            continue;
        for (const uint64_t n : d.sent) {
            bool found = false;
            for (const uint64_t r : received)
                found = found || r == n;
            if (!found)
                return "block " + std::to_string(n) + " of a DJ that was not replaced never arrived";
        }
    }
    server.Stop();
    return {};
}

} // namespace testutil

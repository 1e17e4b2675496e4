#include "app/CExternalReachability.h"

#include "foundation/GSocket.h"
#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/SocketApi.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

constexpr int kListenBacklog = 5;
constexpr size_t kReplyPrefixLength = 6;
static_assert(std::char_traits<char>::length(CExternalReachability::kReplyPrefix) == kReplyPrefixLength);

// "host" or "host:port"; false for an empty host or a port outside 1 … 65535.
bool ParseServiceHost(const std::string& entry, std::string* pHost, int* pPort)
{
    const size_t colon = entry.rfind(':');
    *pHost = entry.substr(0, colon);
    *pPort = CExternalReachability::kServicePort;
    if (colon != std::string::npos) {
        const std::string digits = entry.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        *pPort = std::stoi(digits);
    }
    return !pHost->empty() && pHost->size() <= GSocket::kMaxHost && *pPort > 0 && *pPort <= 65535;
}

// Waits up to ms for the socket to become readable (or to have a
// connection waiting); sleeps instead when the wait itself fails, so a
// broken descriptor cannot make the caller spin.
void WaitReadable(platform::SocketApi& api, platform::Clock& clock, const GSocket& socket, int ms)
{
    platform::PollEntry entry { socket.GetHandle(), platform::kPollRead, 0 };
    if (api.WaitForEvents(&entry, 1, ms) < 0)
        clock.SleepMs(static_cast<uint32_t>(ms));
}

// Gathers the service's reply across reads until its first six bytes are
// there: a network may hand them over one at a time. A byte that breaks the
// prefix fails at once; so do the end of the connection and too many empty
// polls.
bool ReadReply(GSocket& service, platform::SocketApi& api, platform::Clock& clock, std::stop_token stop,
    const CExternalReachability::Limits& limits)
{
    const std::string_view prefix = CExternalReachability::kReplyPrefix;
    std::string reply;
    int emptyPolls = 0;
    while (reply.size() < kReplyPrefixLength) {
        if (stop.stop_requested())
            return false;
        const bool open = service.Poll(nullptr);
        char bytes[kReplyPrefixLength];
        int len = static_cast<int>(kReplyPrefixLength - reply.size());
        if (service.Receive(&len, bytes, GSocket::Take::Consume) && len > 0) {
            reply.append(bytes, static_cast<size_t>(len));
            if (prefix.substr(0, reply.size()) != reply)
                return false;
            continue;
        }
        if (!open || ++emptyPolls > limits.replyPolls)
            return false;
        WaitReadable(api, clock, service, limits.pollMs);
    }
    return true;
}

} // namespace

CExternalReachability::CExternalReachability(std::string serviceHost, int firstPort)
    : CExternalReachability(std::move(serviceHost), firstPort, Limits(), platform::SocketApi::System(),
        platform::HostResolver::System(), platform::Clock::System())
{
}

CExternalReachability::CExternalReachability(std::string serviceHost, int firstPort, Limits limits,
    platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock)
    : m_strServiceHost(std::move(serviceHost))
    , m_nFirstPort(firstPort)
    , m_limits(limits)
    , m_api(api)
    , m_resolver(resolver)
    , m_clock(clock)
{
}

CExternalReachability::~CExternalReachability()
{
    Cancel();
}

void CExternalReachability::Cancel()
{
    m_stop.request_stop();
}

CExternalReachability::Result CExternalReachability::Run(const std::function<void(const std::string&)>& status)
{
    if (m_bRunning)
        return Result::Busy;
    if (m_strServiceHost.empty()) {
        if (status)
            status(kSkippedText);
        return Result::Skipped;
    }
    m_bRunning = true;
    m_stop = std::stop_source();
    const std::stop_token stop = m_stop.get_token();
    Result result = Result::Unreachable;

    if (QCoreApplication::instance() == nullptr) {
        // No event loop to keep alive: a plain wait is all there is.
        result = Exchange(stop, [&] {
            if (status)
                status(kTestingText);
        });
    } else {
        QEventLoop loop;
        // The queued calls die with the loop, so none runs after Run.
        const auto work = [&] {
            result = Exchange(stop, [&] {
                QMetaObject::invokeMethod(
                    &loop,
                    [&] {
                        if (status)
                            status(kTestingText);
                    },
                    Qt::QueuedConnection);
            });
            QMetaObject::invokeMethod(
                &loop, [&] { loop.quit(); }, Qt::QueuedConnection);
        };
        std::jthread exchange;
        try {
            exchange = std::jthread(work);
        } catch (const std::system_error&) {
            // No thread to be had: the test counts as failed.
        }
        if (exchange.joinable()) {
            loop.exec();
            // The loop may have been ended by someone else: end the exchange too.
            m_stop.request_stop();
            exchange.join();
        }
    }
    if (status)
        status("");
    m_bRunning = false;
    return result;
}

CExternalReachability::Result CExternalReachability::Exchange(
    std::stop_token stop, const std::function<void()>& listening)
{
    std::string host;
    int servicePort = 0;
    if (!ParseServiceHost(m_strServiceHost, &host, &servicePort))
        return Result::Unreachable;
    GSocket service(m_api, m_resolver, m_clock);
    if (!service.Create(servicePort) || !service.Connect(host.c_str(), servicePort, stop))
        return Result::Unreachable;
    if (!service.Send("ip\n", 3) || !ReadReply(service, m_api, m_clock, stop, m_limits))
        return Result::Unreachable;

    GSocket listener(m_api, m_resolver, m_clock);
    int port = -1;
    for (int p = m_nFirstPort; p < m_nFirstPort + kPortSpan && p <= 65535; p += kPortStep) {
        if (stop.stop_requested())
            return Result::Unreachable;
        if (p > 0 && listener.Create(p) && listener.Listen(kListenBacklog)) {
            port = p;
            break;
        }
    }
    if (port < 0)
        return Result::NoFreePort;

    char line[32];
    const int len = std::snprintf(line, sizeof line, "test,%d,GG\n", port);
    if (!service.Send(line, len))
        return Result::Unreachable;
    service.Poll(nullptr);
    listening();

    for (int i = 0; i < m_limits.acceptPolls; ++i) {
        if (stop.stop_requested())
            return Result::Unreachable;
        // The connection itself says all there is; it closes with its object.
        if (listener.Accept())
            return Result::Reachable;
        WaitReadable(m_api, m_clock, listener, m_limits.pollMs);
    }
    return Result::Unreachable;
}

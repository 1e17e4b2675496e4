#include "foundation/GAsyncDNS.h"

#include "platform/SocketApi.h"

#include <cstring>
#include <system_error>

GAsyncDNS::GAsyncDNS(platform::HostResolver& resolver)
    : m_resolver(resolver)
{
}

GAsyncDNS::~GAsyncDNS()
{
    // The running lookup cannot be interrupted; the pass stops before the next.
    m_worker.request_stop();
    if (m_worker.joinable())
        m_worker.join();
}

int GAsyncDNS::Lookup(const char* host, uint32_t* address)
{
    if (!host || !address)
        return -1;
    if (platform::ParseDottedIpv4(host, address))
        return 0;
    if (std::strlen(host) > kMaxName || *host == '\0')
        return -1;

    bool start = false;
    {
        std::lock_guard guard(m_lock);
        // Made on first use: most sockets (every accepted one) never look a
        // name up, and a server holds thousands of them.
        if (m_entries.empty())
            m_entries.resize(kEntryCount);
        Entry* chosen = nullptr;
        for (Entry& e : m_entries) {
            if (e.lastUse != 0 && e.name == host) {
                e.lastUse = ++m_nUseClock;
                if (!e.done) {
                    start = true;
                } else if (e.address == kFailedAddress) {
                    return -1;
                } else {
                    *address = e.address;
                    return 0;
                }
                chosen = &e;
                break;
            }
        }
        if (!chosen) {
            for (Entry& e : m_entries) {
                if (e.lastUse == 0) {
                    chosen = &e;
                    break;
                }
                // Pending entries are never taken: the worker may be on them.
                if (e.done && (!chosen || e.lastUse < chosen->lastUse))
                    chosen = &e;
            }
            if (!chosen)
                return -1;
            chosen->name = host;
            chosen->address = kFailedAddress;
            chosen->done = false;
            chosen->lastUse = ++m_nUseClock;
            start = true;
        }
    }
    if (start)
        StartLookupThread();
    return 1;
}

void GAsyncDNS::StartLookupThread()
{
    // A running pass, or the next call of Lookup, picks the entry up.
    if (!m_bIdle.load())
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_bIdle.store(false);
    try {
        m_worker = std::jthread([this](std::stop_token stop) { RunPass(stop); });
    } catch (const std::system_error&) {
        m_bIdle.store(true);
    }
}

// One pass over the table in index order; a name added behind the pass's
// position waits for the next pass.
void GAsyncDNS::RunPass(std::stop_token stop)
{
    for (int i = 0; i < kEntryCount && !stop.stop_requested(); ++i) {
        std::string name;
        {
            std::lock_guard guard(m_lock);
            const Entry& e = m_entries[static_cast<size_t>(i)];
            if (e.lastUse == 0 || e.done)
                continue;
            name = e.name;
        }
        uint32_t address = kFailedAddress;
        if (!m_resolver.ResolveIpv4(name, &address))
            address = kFailedAddress;
        std::lock_guard guard(m_lock);
        // The owner never rewrites a pending entry, so it still holds name.
        Entry& e = m_entries[static_cast<size_t>(i)];
        e.address = address;
        e.done = true;
    }
    m_bIdle.store(true);
}

#include "foundation/GAsyncDNS.h"

#include "foundation/GLingeringThreads.h"
#include "platform/SocketApi.h"

#include <cstring>
#include <new>
#include <system_error>

GAsyncDNS::GAsyncDNS(platform::HostResolver& resolver)
    : m_resolver(resolver)
{
}

GAsyncDNS::~GAsyncDNS()
{
    // The pass stops before its next entry; the one in the resolver cannot
    // be interrupted, and it is not waited for here.
    if (m_worker.joinable())
        GLingeringThreads::Release(m_worker, std::shared_ptr<const std::atomic<bool>>(m_pTable, &m_pTable->idle));
}

int GAsyncDNS::Lookup(const char* host, uint32_t* address)
{
    if (!host || !address)
        return -1;
    if (platform::ParseDottedIpv4(host, address))
        return 0;
    if (std::strlen(host) > kMaxName || *host == '\0')
        return -1;

    // Made on first use: most sockets (every accepted one) never look a
    // name up, and a server holds thousands of them.
    if (!m_pTable) {
        m_pTable.reset(new (std::nothrow) STable);
        if (!m_pTable)
            return -1;
        m_pTable->entries.resize(kEntryCount);
    }
    STable& table = *m_pTable;
    bool start = false;
    {
        std::lock_guard guard(table.lock);
        Entry* chosen = nullptr;
        for (Entry& e : table.entries) {
            if (e.lastUse != 0 && e.name == host) {
                e.lastUse = ++table.useClock;
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
            for (Entry& e : table.entries) {
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
            chosen->lastUse = ++table.useClock;
            start = true;
        }
    }
    if (start)
        StartLookupThread();
    return 1;
}

void GAsyncDNS::StartLookupThread()
{
    STable& table = *m_pTable;
    // A running pass, or the next call of Lookup, picks the entry up.
    if (!table.idle.load())
        return;
    // The pass set idle as its last act: this join does not wait.
    if (m_worker.joinable())
        m_worker.join();
    table.idle.store(false);
    try {
        m_worker = std::jthread(
            [&resolver = m_resolver, pTable = m_pTable](std::stop_token stop) { RunPass(resolver, *pTable, stop); });
    } catch (const std::system_error&) {
        table.idle.store(true);
    }
}

// One pass over the table in index order; a name added behind the pass's
// position waits for the next pass.
void GAsyncDNS::RunPass(platform::HostResolver& resolver, STable& table, std::stop_token stop)
{
    for (int i = 0; i < kEntryCount && !stop.stop_requested(); ++i) {
        std::string name;
        {
            std::lock_guard guard(table.lock);
            const Entry& e = table.entries[static_cast<size_t>(i)];
            if (e.lastUse == 0 || e.done)
                continue;
            name = e.name;
        }
        uint32_t address = kFailedAddress;
        if (!resolver.ResolveIpv4(name, &address))
            address = kFailedAddress;
        std::lock_guard guard(table.lock);
        // The owner never rewrites a pending entry, so it still holds name.
        Entry& e = table.entries[static_cast<size_t>(i)];
        e.address = address;
        e.done = true;
    }
    table.idle.store(true);
}

#pragma once

#include "platform/HostResolver.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Thread: Lookup from the owner thread only; one worker thread at a time
// resolves pending entries. The table is shared under m_lock.
// A small per-socket cache of host-name lookups, so that a connect never
// freezes its thread inside the resolver: Lookup answers from the table and
// hands names it does not know to a worker pass.
class GAsyncDNS {
public:
    static constexpr int kEntryCount = 64;
    // A name longer than this cannot be cached and is refused.
    static constexpr size_t kMaxName = 255;
    static constexpr uint32_t kFailedAddress = 0xFFFFFFFFu;

    explicit GAsyncDNS(platform::HostResolver& resolver = platform::HostResolver::System());
    virtual ~GAsyncDNS();
    GAsyncDNS(const GAsyncDNS&) = delete;
    GAsyncDNS& operator=(const GAsyncDNS&) = delete;

    // 0: *address holds the IPv4 address (network order); 1: pending, ask
    // again later; -1: the name cannot be resolved, or no entry is free.
    // A failed name is answered -1 at once until its entry is reused.
    [[nodiscard]] int Lookup(const char* host, uint32_t* address);

private:
    struct Entry {
        uint64_t lastUse = 0; // 0: never used
        bool done = false;
        uint32_t address = kFailedAddress;
        std::string name;
    };

    void StartLookupThread();
    void RunPass(std::stop_token stop);

    platform::HostResolver& m_resolver;
    std::atomic<bool> m_bIdle { true }; // no pass runs
    std::jthread m_worker;

    std::mutex m_lock; // guards: m_entries, m_nUseClock
    std::vector<Entry> m_entries;
    uint64_t m_nUseClock = 0; // orders uses; the least recent done entry is reused first
};

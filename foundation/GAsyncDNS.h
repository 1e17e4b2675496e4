#pragma once

#include "platform/HostResolver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Thread: Lookup and the destructor from the owner thread only; one worker
// thread at a time resolves pending entries. The table is shared under its
// lock.
// A small per-socket cache of host-name lookups, so that a connect never
// freezes its thread inside the resolver: Lookup answers from the table and
// hands names it does not know to a worker pass. The destructor never waits
// for a lookup: a pass still inside the resolver is handed to
// GLingeringThreads with the table it writes, and its late answer goes
// nowhere.
class GAsyncDNS {
public:
    static constexpr int kEntryCount = 64;
    // A name longer than this cannot be cached and is refused.
    static constexpr size_t kMaxName = 255;
    static constexpr uint32_t kFailedAddress = 0xFFFFFFFFu;

    // The resolver must outlive every pass, also one handed over by the
    // destructor (the system's does).
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
    // What a pass shares with its owner; a pass keeps it alive after the
    // owner has gone.
    struct STable {
        std::mutex lock; // guards: entries, useClock
        std::vector<Entry> entries;
        uint64_t useClock = 0; // orders uses; the least recent done entry is reused first
        // No pass runs; set by a pass as its last act.
        std::atomic<bool> idle { true };
    };

    void StartLookupThread();
    static void RunPass(platform::HostResolver& resolver, STable& table, std::stop_token stop);

    platform::HostResolver& m_resolver;
    std::shared_ptr<STable> m_pTable;
    std::jthread m_worker;
};

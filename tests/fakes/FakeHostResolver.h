#pragma once

#include "foundation/GLingeringThreads.h"
#include "platform/HostResolver.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

// Answers from a table; can hold every lookup until released, so tests see
// the pending state. Counts the lookups it was asked for.
class FakeHostResolver final : public platform::HostResolver {
public:
    // A cache that went before this lets its pass linger rather than wait
    // for it: the pass is let go and joined before the table it reads goes.
    ~FakeHostResolver() override
    {
        Hold(false);
        (void)GLingeringThreads::JoinEnded(kLingerMs);
    }

    void Add(const std::string& host, uint32_t address)
    {
        std::lock_guard guard(m_lock);
        m_table[host] = address;
    }
    void Hold(bool hold)
    {
        {
            std::lock_guard guard(m_lock);
            m_hold = hold;
        }
        m_released.notify_all();
    }
    int Calls() const { return m_calls.load(); }

    bool ResolveIpv4(const std::string& host, uint32_t* address) override
    {
        ++m_calls;
        std::unique_lock guard(m_lock);
        m_released.wait(guard, [this] { return !m_hold; });
        auto it = m_table.find(host);
        if (it == m_table.end())
            return false;
        *address = it->second;
        return true;
    }

private:
    static constexpr uint32_t kLingerMs = 10000;
    std::atomic<int> m_calls { 0 };
    std::mutex m_lock; // guards: m_table, m_hold
    std::condition_variable m_released;
    std::map<std::string, uint32_t> m_table;
    bool m_hold = false;
};

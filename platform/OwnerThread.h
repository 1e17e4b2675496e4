#pragma once

#include <atomic>
#include <thread>

namespace platform {

// Thread: any.
// Which thread owns an object: the one that made it or, after Rebind, the
// first one that asks. ThreadChecker asserts with it in debug builds; it is
// compiled in every build so its answer can be tested.
class OwnerThread {
public:
    OwnerThread() noexcept
        : m_id(std::this_thread::get_id())
    {
    }

    // True on the owner thread. Without an owner (after Rebind) the caller
    // becomes it; of two threads asking at once exactly one does.
    [[nodiscard]] bool IsCurrent() const noexcept
    {
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id owner {};
        if (m_id.compare_exchange_strong(owner, self))
            return true;
        return owner == self;
    }

    // For an object made on one thread and handed to another before use:
    // the next thread that asks becomes the owner.
    void Rebind() noexcept { m_id = std::thread::id {}; }
    // The calling thread becomes the owner.
    void BindToCurrent() noexcept { m_id = std::this_thread::get_id(); }

private:
    mutable std::atomic<std::thread::id> m_id;
};

} // namespace platform

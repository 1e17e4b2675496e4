#pragma once

#include "platform/OwnerThread.h"

#include <cassert>

namespace platform {

// Thread: any; CheckOwner is meant for the owner thread.
// Turns a class's written thread contract into a check: its owner-only
// methods call CheckOwner first. Debug builds assert that the caller is the
// thread that made the object (see OwnerThread); release builds hold nothing
// and every call compiles to nothing. Declare it [[no_unique_address]].
class ThreadChecker {
public:
#ifdef NDEBUG
    void CheckOwner() const noexcept
    {
    }
    void Rebind() noexcept
    {
    }
#else
    void CheckOwner() const noexcept
    {
        assert(m_owner.IsCurrent() && "owner-only method called off the owner thread");
    }
    void Rebind() noexcept
    {
        m_owner.Rebind();
    }

private:
    OwnerThread m_owner;
#endif
};

} // namespace platform

#include "platform/MessageTarget.h"

#include <chrono>
#include <unordered_map>

namespace platform {

namespace {

struct Registry {
    // Held while a post lands in a target's queue, so Detach() cannot finish
    // while a post is half done.
    std::mutex lock; // guards: targets, nextHandle
    std::unordered_map<TargetHandle, MessageTarget*> targets;
    TargetHandle nextHandle = 1;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

TargetHandle Enrol(MessageTarget* target)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    const TargetHandle handle = r.nextHandle++;
    r.targets.emplace(handle, target);
    return handle;
}

} // namespace

MessageTarget::MessageTarget()
    : m_handle(Enrol(this))
{
}

MessageTarget::~MessageTarget()
{
    Detach();
}

void MessageTarget::Detach()
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    r.targets.erase(m_handle);
}

void MessageTarget::EnqueueFromAnyThread(const Posted& posted)
{
    {
        std::lock_guard guard(m_queueLock);
        m_queue.push_back(posted);
    }
    m_queueReady.notify_one();
    if (m_wake)
        m_wake();
}

size_t MessageTarget::DispatchPending()
{
    m_ownerThread.CheckOwner();
    size_t ran = 0;
    for (;;) {
        Posted next;
        {
            std::lock_guard guard(m_queueLock);
            if (m_queue.empty())
                return ran;
            next = m_queue.front();
            m_queue.pop_front();
        }
        // The queue lock is released: a handler may post to itself.
        OnMessage(next.msg, next.wParam, next.lParam);
        ++ran;
    }
}

bool MessageTarget::WaitAndDispatch(uint32_t timeoutMs)
{
    m_ownerThread.CheckOwner();
    {
        std::unique_lock guard(m_queueLock);
        if (!m_queueReady.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !m_queue.empty(); }))
            return false;
    }
    DispatchPending();
    return true;
}

bool PostMessage(TargetHandle target, MessageId msg, WParam wParam, LParam lParam)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.targets.find(target);
    if (it == r.targets.end())
        return false;
    it->second->EnqueueFromAnyThread({ msg, wParam, lParam });
    return true;
}

namespace {

// Only the owner thread may use the result: only it destroys the target, so
// the pointer stays valid without the registry lock.
MessageTarget* FindForOwner(TargetHandle target)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.targets.find(target);
    return it == r.targets.end() ? nullptr : it->second;
}

} // namespace

LParam SendMessage(TargetHandle target, MessageId msg, WParam wParam, LParam lParam)
{
    MessageTarget* found = FindForOwner(target);
    if (!found)
        return 0;
    found->m_ownerThread.CheckOwner();
    return found->OnMessage(msg, wParam, lParam);
}

bool IsTarget(TargetHandle target)
{
    return target != kNoTarget && FindForOwner(target) != nullptr;
}

bool SetTimer(TargetHandle target, uint32_t id, uint32_t periodMs)
{
    MessageTarget* found = FindForOwner(target);
    if (!found)
        return false;
    found->m_ownerThread.CheckOwner();
    return found->SetTimer(id, periodMs);
}

bool KillTimer(TargetHandle target, uint32_t id)
{
    MessageTarget* found = FindForOwner(target);
    if (!found)
        return false;
    found->m_ownerThread.CheckOwner();
    return found->KillTimer(id);
}

} // namespace platform

#pragma once

#include "platform/MessageRegistry.h"
#include "platform/ThreadChecker.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

using WParam = uintptr_t;
using LParam = intptr_t;
// A target's handle: a plain number that may outlive its target, so a worker
// keeps a handle, never a pointer, and a post after the target is gone is
// simply dropped.
using TargetHandle = uint64_t;
inline constexpr TargetHandle kNoTarget = 0;
// A target's due timers reach OnMessage as this message with the timer id
// in wParam and 0 in lParam. It lies below the registered range (0xC000 up),
// so no message registered by name can be taken for a timer.
inline constexpr MessageId kTimerMessage = 0x0113;

// Something that receives messages: the main window, a test's message loop.
// Thread: owned by one thread, which dispatches; any thread may post.
// Posting to a handle whose target is gone is dropped, never a crash, so a
// worker may keep a handle after its window closed.
class MessageTarget {
public:
    MessageTarget();
    virtual ~MessageTarget();
    MessageTarget(const MessageTarget&) = delete;
    MessageTarget& operator=(const MessageTarget&) = delete;

    [[nodiscard]] TargetHandle Handle() const { return m_handle; }

    // Owner thread: runs every message posted so far, in the order posted.
    // Returns how many ran.
    size_t DispatchPending();
    // Owner thread: waits up to timeoutMs for a posted message, then runs all
    // that are queued. Returns false when nothing arrived in time.
    bool WaitAndDispatch(uint32_t timeoutMs);

    // Called on the posting thread after each post, under the registry lock,
    // so a GUI owner can wake its event loop. It must not post or block.
    // Set it before the handle is handed out.
    void SetWakeHook(std::function<void()> hook) { m_wake = std::move(hook); }

    // Owner thread: starts a periodic timer of this id, or restarts it with
    // the new period. A target that keeps no timers refuses with false.
    virtual bool SetTimer(uint32_t /*id*/, uint32_t /*periodMs*/) { return false; }
    // Owner thread: false when no timer of this id runs.
    virtual bool KillTimer(uint32_t /*id*/) { return false; }

protected:
    // Owner thread: handles one message; the result is what SendMessage returns.
    virtual LParam OnMessage(MessageId msg, WParam wParam, LParam lParam) = 0;

    // Stops further posts from arriving. A derived class whose wake hook or
    // OnMessage touches its own members calls this first in its destructor.
    void Detach();

    // Debug builds: asserts that the caller is the owner thread. A derived
    // class calls it in its own owner-only methods (its timers).
    void CheckOwnerThread() const { m_ownerThread.CheckOwner(); }

private:
    friend bool PostMessage(TargetHandle, MessageId, WParam, LParam);
    friend LParam SendMessage(TargetHandle, MessageId, WParam, LParam);
    friend bool SetTimer(TargetHandle, uint32_t, uint32_t);
    friend bool KillTimer(TargetHandle, uint32_t);

    struct Posted {
        MessageId msg;
        WParam wParam;
        LParam lParam;
    };

    void EnqueueFromAnyThread(const Posted& posted);

    const TargetHandle m_handle;
    std::function<void()> m_wake;
    [[no_unique_address]] ThreadChecker m_ownerThread;

    std::mutex m_queueLock; // guards: m_queue
    std::condition_variable m_queueReady;
    std::deque<Posted> m_queue;
};

// Any thread: queues a message for the target's owner. False when the target
// no longer exists (the message is dropped).
bool PostMessage(TargetHandle target, MessageId msg, WParam wParam, LParam lParam);

// Owner thread of the target: runs the handler now and returns its result;
// 0 when the target does not exist.
LParam SendMessage(TargetHandle target, MessageId msg, WParam wParam, LParam lParam);

// True while the handle names a live target.
[[nodiscard]] bool IsTarget(TargetHandle target);

// Owner thread of the target: its SetTimer / KillTimer; false when the
// target does not exist.
bool SetTimer(TargetHandle target, uint32_t id, uint32_t periodMs);
bool KillTimer(TargetHandle target, uint32_t id);

} // namespace platform

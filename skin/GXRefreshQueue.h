#pragma once

#include <deque>
#include <functional>
#include <memory>

class GXConBase;
class QObject;

// Thread: user-interface thread of the skin window that owns it.
// The refresh requests of one skin window's controls. A control asks (after
// SetShow, for one) while the window may be in the middle of a layout walk
// or an event handler, so the work is done later: the controls wait here in
// the order they asked, each once, and one queued call refreshes them all
// after the current event. Only this queue holds the control pointers, and
// the window empties it when a skin unloads, so a refresh never reaches a
// control that is gone.
class GXRefreshQueue {
public:
    // refresh: what the window does per control (relayout, the control's
    // Refresh, marking it for redrawing); finished: what it does once a
    // flush refreshed them all (the redraw itself, once for the lot).
    explicit GXRefreshQueue(std::function<void(GXConBase&)> refresh, std::function<void()> finished = {});
    ~GXRefreshQueue();
    GXRefreshQueue(const GXRefreshQueue&) = delete;
    GXRefreshQueue& operator=(const GXRefreshQueue&) = delete;

    // Queues the control unless it waits already; schedules the flush.
    void Request(GXConBase& control);
    // The control is going away.
    void Forget(const GXConBase& control);
    // The skin unloads: nothing waits any more.
    void Clear();
    // Refreshes the controls that waited when it started, in order;
    // requests made meanwhile wait for the next flush.
    void Flush();
    [[nodiscard]] std::size_t GetPendingCount() const { return m_pending.size(); }

private:
    void Schedule();

    std::function<void(GXConBase&)> m_refresh;
    std::function<void()> m_finished;
    std::deque<GXConBase*> m_pending;
    // The controls of the flush under way that have not been refreshed yet.
    std::deque<GXConBase*> m_batch;
    bool m_bScheduled = false;
    bool m_bFlushing = false;
    // The target of the queued flush call; a flush still queued when the
    // window goes is dropped with it.
    std::unique_ptr<QObject> m_pContext;
};

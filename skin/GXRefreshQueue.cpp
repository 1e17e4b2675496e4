#include "skin/GXRefreshQueue.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>

GXRefreshQueue::GXRefreshQueue(std::function<void(GXConBase&)> refresh, std::function<void()> finished)
    : m_refresh(std::move(refresh))
    , m_finished(std::move(finished))
    , m_pContext(std::make_unique<QObject>())
{
}

GXRefreshQueue::~GXRefreshQueue() = default;

void GXRefreshQueue::Request(GXConBase& control)
{
    const auto waits = [&](const std::deque<GXConBase*>& list) {
        return std::find(list.begin(), list.end(), &control) != list.end();
    };
    if (!waits(m_pending) && !waits(m_batch))
        m_pending.push_back(&control);
    Schedule();
}

void GXRefreshQueue::Forget(const GXConBase& control)
{
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), &control), m_pending.end());
    m_batch.erase(std::remove(m_batch.begin(), m_batch.end(), &control), m_batch.end());
}

void GXRefreshQueue::Clear()
{
    m_pending.clear();
    m_batch.clear();
}

void GXRefreshQueue::Flush()
{
    if (m_bFlushing)
        return;
    // The batch is what waited when the flush began. A refresh may forget
    // controls or clear the queue (both reach the batch too) or ask again
    // (which waits for the next flush).
    m_bFlushing = true;
    m_batch.swap(m_pending);
    const bool bAny = !m_batch.empty();
    while (!m_batch.empty()) {
        GXConBase* pControl = m_batch.front();
        m_batch.pop_front();
        m_refresh(*pControl);
    }
    m_bFlushing = false;
    if (bAny && m_finished)
        m_finished();
}

void GXRefreshQueue::Schedule()
{
    if (m_bScheduled)
        return;
    m_bScheduled = true;
    QMetaObject::invokeMethod(
        m_pContext.get(),
        [this] {
            m_bScheduled = false;
            Flush();
        },
        Qt::QueuedConnection);
}

#include "skin/GXRefreshQueue.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>

GXRefreshQueue::GXRefreshQueue(std::function<void(GXConBase&)> refresh)
    : m_refresh(std::move(refresh))
    , m_pContext(std::make_unique<QObject>())
{
}

GXRefreshQueue::~GXRefreshQueue() = default;

void GXRefreshQueue::Request(GXConBase& control)
{
    if (std::find(m_pending.begin(), m_pending.end(), &control) == m_pending.end())
        m_pending.push_back(&control);
    Schedule();
}

void GXRefreshQueue::Forget(const GXConBase& control)
{
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), &control), m_pending.end());
}

void GXRefreshQueue::Clear()
{
    m_pending.clear();
}

void GXRefreshQueue::Flush()
{
    // Counted, not walked: a refresh may forget controls, clear the queue
    // or ask again, and each of those changes the queue under us.
    std::size_t count = m_pending.size();
    while (count-- > 0 && !m_pending.empty()) {
        GXConBase* pControl = m_pending.front();
        m_pending.pop_front();
        m_refresh(*pControl);
    }
    if (!m_pending.empty())
        Schedule();
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

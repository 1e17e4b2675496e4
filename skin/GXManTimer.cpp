#include "skin/GXManTimer.h"

#include "skin/GXConBase.h"

#include <QTimer>

#include <algorithm>

namespace {

// Ids stay below the range where a wrapping counter could meet ids the
// window uses for timers of its own.
constexpr unsigned kLastId = 0x7FFFFF00;
constexpr unsigned kFirstCounter = 100;

} // namespace

GXManTimer::GXManTimer() = default;

GXManTimer::~GXManTimer()
{
    KillAll();
}

unsigned GXManTimer::SetTimer(GXConBase* pControl, int nLocalId, int nElapseMs)
{
    if (pControl == nullptr)
        return 0;
    const int elapse = std::max(nElapseMs, kMinElapseMs);
    if (m_nFiring == 0)
        m_retired.clear();
    auto it = Find(pControl, nLocalId);
    if (it != m_timers.end()) {
        it->second.nElapse = elapse;
        it->second.pTimer->start(elapse);
        return it->first;
    }
    const unsigned id = NextId();
    STimer& timer = m_timers[id];
    timer.pControl = pControl;
    timer.nLocalId = nLocalId;
    timer.nElapse = elapse;
    timer.nId = id;
    timer.pTimer = std::make_unique<QTimer>();
    QObject::connect(timer.pTimer.get(), &QTimer::timeout, [this, id] { OnTimer(id); });
    timer.pTimer->start(elapse);
    return id;
}

bool GXManTimer::KillTimer(GXConBase* pControl, int nLocalId)
{
    if (m_nFiring == 0)
        m_retired.clear();
    auto it = Find(pControl, nLocalId);
    if (it == m_timers.end())
        return false;
    std::unique_ptr<QTimer> pTimer = std::move(it->second.pTimer);
    m_timers.erase(it);
    Retire(std::move(pTimer));
    return true;
}

bool GXManTimer::OnTimer(unsigned nId)
{
    auto it = m_timers.find(nId);
    if (it == m_timers.end())
        return false;
    // The control may kill or start timers, this one included, so nothing
    // of the record is touched after the call.
    GXConBase* pControl = it->second.pControl;
    const int localId = it->second.nLocalId;
    ++m_nFiring;
    pControl->OnTimer(localId);
    --m_nFiring;
    return true;
}

void GXManTimer::KillAll()
{
    TimerMap timers;
    timers.swap(m_timers);
    for (auto& [id, timer] : timers)
        Retire(std::move(timer.pTimer));
    if (m_nFiring == 0)
        m_retired.clear();
}

int GXManTimer::GetElapse(const GXConBase* pControl, int nLocalId) const
{
    auto it = Find(pControl, nLocalId);
    return it != m_timers.end() ? it->second.pTimer->interval() : -1;
}

unsigned GXManTimer::GetId(const GXConBase* pControl, int nLocalId) const
{
    auto it = Find(pControl, nLocalId);
    return it != m_timers.end() ? it->first : 0;
}

GXManTimer::TimerMap::iterator GXManTimer::Find(const GXConBase* pControl, int nLocalId)
{
    return std::find_if(m_timers.begin(), m_timers.end(),
        [&](const auto& entry) { return entry.second.pControl == pControl && entry.second.nLocalId == nLocalId; });
}

GXManTimer::TimerMap::const_iterator GXManTimer::Find(const GXConBase* pControl, int nLocalId) const
{
    return std::find_if(m_timers.begin(), m_timers.end(),
        [&](const auto& entry) { return entry.second.pControl == pControl && entry.second.nLocalId == nLocalId; });
}

unsigned GXManTimer::NextId()
{
    do {
        m_nIdCounter = m_nIdCounter + 1 > kLastId ? kFirstCounter : m_nIdCounter + 1;
    } while (m_timers.count(m_nIdCounter) != 0);
    return m_nIdCounter;
}

void GXManTimer::Retire(std::unique_ptr<QTimer> pTimer)
{
    if (pTimer == nullptr)
        return;
    pTimer->stop();
    pTimer->disconnect();
    if (m_nFiring > 0)
        m_retired.push_back(std::move(pTimer));
}

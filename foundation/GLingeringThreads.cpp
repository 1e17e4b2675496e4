#include "foundation/GLingeringThreads.h"

#include "platform/Clock.h"

namespace {

constexpr uint32_t kWaitStepMs = 5;

} // namespace

GLingeringThreads& GLingeringThreads::Instance()
{
    // Never destroyed: at exit a worker may still be stuck in the resolver,
    // and destroying a thread that runs ends the process with an abort.
    static GLingeringThreads* const pInstance = new GLingeringThreads;
    // Those that have ended by then are joined as the program ends.
    static const struct SJoinAtExit {
        ~SJoinAtExit() { (void)JoinEnded(); }
    } joinAtExit;
    return *pInstance;
}

void GLingeringThreads::Adopt(std::jthread worker, std::shared_ptr<const std::atomic<bool>> ended)
{
    if (!worker.joinable())
        return;
    worker.request_stop();
    GLingeringThreads& self = Instance();
    std::lock_guard guard(self.m_lock);
    self.JoinEndedLocked();
    self.m_workers.push_back({ std::move(worker), std::move(ended) });
}

void GLingeringThreads::Release(std::jthread& worker, std::shared_ptr<const std::atomic<bool>> ended)
{
    if (!worker.joinable())
        return;
    worker.request_stop();
    if (ended && ended->load())
        worker.join();
    else
        Adopt(std::move(worker), std::move(ended));
}

bool GLingeringThreads::JoinEnded(uint32_t waitMs)
{
    GLingeringThreads& self = Instance();
    const uint64_t started = platform::Clock::System().NowMs();
    for (;;) {
        {
            std::lock_guard guard(self.m_lock);
            self.JoinEndedLocked();
            if (self.m_workers.empty())
                return true;
        }
        if (platform::Clock::System().NowMs() - started >= waitMs)
            return false;
        platform::Sleep(kWaitStepMs);
    }
}

void GLingeringThreads::JoinEndedLocked()
{
    // A worker sets its flag as its last act: the join only waits for it to
    // return.
    for (size_t i = 0; i < m_workers.size();) {
        if (!m_workers[i].ended->load()) {
            ++i;
            continue;
        }
        m_workers[i].thread.join();
        m_workers[i] = std::move(m_workers.back());
        m_workers.pop_back();
    }
}

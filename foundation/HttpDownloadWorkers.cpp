#include "foundation/HttpDownloadWorkers.h"

#include "platform/MessageTarget.h"

#include <system_error>

HttpDownloadWorkers::HttpDownloadWorkers()
{
    // Workers post messages until they end. Touching the message registry
    // first makes it outlive this object's destruction at exit, when the
    // last workers are joined.
    platform::PostMessage(platform::kNoTarget, 0, 0, 0);
}

HttpDownloadWorkers::~HttpDownloadWorkers()
{
    JoinAll(Cancel::Yes);
}

HttpDownloadWorkers& HttpDownloadWorkers::Shared()
{
    static HttpDownloadWorkers workers;
    return workers;
}

void HttpDownloadWorkers::ReapFinishedLocked()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if ((*it)->finished.load()) {
            (*it)->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

bool HttpDownloadWorkers::Start(std::function<void(std::stop_token)> work)
{
    std::lock_guard guard(m_lock);
    ReapFinishedLocked();
    auto worker = std::make_unique<Worker>();
    Worker* raw = worker.get();
    try {
        raw->thread = std::jthread([raw, work = std::move(work)](std::stop_token stop) {
            work(stop);
            raw->finished.store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_workers.push_back(std::move(worker));
    return true;
}

void HttpDownloadWorkers::JoinAll(Cancel cancel)
{
    std::list<std::unique_ptr<Worker>> taken;
    {
        std::lock_guard guard(m_lock);
        taken.swap(m_workers);
    }
    if (cancel == Cancel::Yes) {
        for (auto& worker : taken)
            worker->thread.request_stop();
    }
    // Joined outside the lock: a worker may itself start a download.
    for (auto& worker : taken)
        worker->thread.join();
}

size_t HttpDownloadWorkers::RunningCount()
{
    std::lock_guard guard(m_lock);
    ReapFinishedLocked();
    return m_workers.size();
}

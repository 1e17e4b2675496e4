#include "engine/stream/GTitlePusher.h"

#include <chrono>
#include <system_error>

bool GTitlePusher::Start(Push push)
{
    Stop();
    m_push = std::move(push);
    {
        std::lock_guard guard(m_lock);
        m_bRunning = true;
    }
    try {
        m_worker = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (const std::system_error&) {
        std::lock_guard guard(m_lock);
        m_bRunning = false;
        return false;
    }
    return true;
}

void GTitlePusher::Stop()
{
    {
        std::lock_guard guard(m_lock);
        m_bRunning = false;
        m_waiting.reset();
    }
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_changed.notify_all();
        m_worker.join();
    }
    std::lock_guard guard(m_lock);
    m_bBusy = false;
}

bool GTitlePusher::Post(const std::string& song, const std::string& url)
{
    {
        std::lock_guard guard(m_lock);
        if (!m_bRunning)
            return false;
        m_waiting = Title { song, url };
    }
    m_changed.notify_all();
    return true;
}

bool GTitlePusher::WaitIdle(int timeoutMs)
{
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !m_waiting && !m_bBusy; });
}

void GTitlePusher::Run(std::stop_token stop)
{
    for (;;) {
        Title title;
        {
            std::unique_lock guard(m_lock);
            m_bBusy = false;
            m_changed.notify_all();
            if (!m_changed.wait(guard, stop, [this] { return m_waiting.has_value(); }))
                return;
            title = std::move(*m_waiting);
            m_waiting.reset();
            m_bBusy = true;
        }
        m_push(title.song, title.url, stop);
    }
}

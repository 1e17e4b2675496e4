#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

// Thread: any; Start and JoinAll may be called from several threads.
// Owns the threads of fire-and-forget downloads so that none is detached:
// finished workers are joined whenever a new one starts, and every worker is
// asked to stop and joined when the owner goes (at the latest when the
// process-wide instance is destroyed at exit).
class HttpDownloadWorkers {
public:
    HttpDownloadWorkers();
    ~HttpDownloadWorkers();
    HttpDownloadWorkers(const HttpDownloadWorkers&) = delete;
    HttpDownloadWorkers& operator=(const HttpDownloadWorkers&) = delete;

    // Runs work on a new thread. False when the thread cannot be started.
    [[nodiscard]] bool Start(std::function<void(std::stop_token)> work);
    // Whether JoinAll asks the workers to stop before it waits.
    enum class Cancel { Yes, No };
    // Waits for every running worker; with Cancel::Yes they are asked to
    // stop first.
    void JoinAll(Cancel cancel);
    [[nodiscard]] size_t RunningCount();

    // The instance behind HttpGetFile's asynchronous form.
    static HttpDownloadWorkers& Shared();

private:
    struct Worker {
        std::jthread thread;
        std::atomic<bool> finished { false };
    };

    void ReapFinishedLocked(); // caller holds m_lock

    std::mutex m_lock; // guards: m_workers
    std::list<std::unique_ptr<Worker>> m_workers;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Thread: any; Adopt and JoinEnded take the list's lock.
// The owner of last resort for a worker whose current call may not return
// for a long time: a name lookup stuck in the system's resolver cannot be
// interrupted, and its owner often goes on the window's thread (a cancelled
// login, a close). Such an owner asks its worker to stop and hands it over
// here instead of joining it, so nothing the presenter does waits on the
// resolver. A worker handed over must need nothing of its old owner: it
// holds what it still touches itself. Workers that have ended are joined at
// the next hand-over; one still stuck when the program ends is left to the
// end of the process, which is the only way such a call can be cut short.
class GLingeringThreads {
public:
    // ended: set by the worker as its last act, so a join cannot wait.
    static void Adopt(std::jthread worker, std::shared_ptr<const std::atomic<bool>> ended);
    // How an owner lets go of its worker: asked to stop, joined when ended
    // says it has ended (the join cannot wait then), else adopted. worker is
    // left without a thread; one that had none is left alone.
    static void Release(std::jthread& worker, std::shared_ptr<const std::atomic<bool>> ended);
    // Joins every adopted worker that has ended, waiting up to waitMs for
    // the rest; true when none is left. For tests, whose fakes must outlive
    // the workers that call them.
    static bool JoinEnded(uint32_t waitMs = 0);

private:
    struct SWorker {
        std::jthread thread;
        std::shared_ptr<const std::atomic<bool>> ended;
    };
    static GLingeringThreads& Instance();
    void JoinEndedLocked(); // caller holds m_lock

    std::mutex m_lock; // guards: m_workers
    std::vector<SWorker> m_workers;
};

#pragma once

#include <map>
#include <memory>
#include <vector>

class GXConBase;
class QTimer;

// Thread: user-interface thread of the skin window that owns it; timers
// fire through that thread's event loop.
// The control timers of one skin window. Controls ask for timers under
// small ids of their own (1000, 1010, ...); each (control, local id) pair
// gets one real timer under a window-wide id (101, 102, ...), and every
// expiry comes back to that control's OnTimer with its local id. A control
// may start and kill timers, its own included, from inside OnTimer.
class GXManTimer {
public:
    // Skins give periods as numbers; 0 or a negative value would make the
    // timer fire on every turn of the event loop and spin the CPU, so no
    // timer runs faster than this.
    static constexpr int kMinElapseMs = 10;

    GXManTimer();
    ~GXManTimer();
    GXManTimer(const GXManTimer&) = delete;
    GXManTimer& operator=(const GXManTimer&) = delete;

    // Starts the pair's timer, or re-arms it with the new period under the
    // id it already has. Returns the window-wide id (0 without a control).
    unsigned SetTimer(GXConBase* pControl, int nLocalId, int nElapseMs);
    // False when the pair has no timer.
    bool KillTimer(GXConBase* pControl, int nLocalId);
    // Routes one expiry; false for an id that has no timer.
    bool OnTimer(unsigned nId);
    void KillAll();

    // The period the pair's timer runs with; -1 when it has none.
    [[nodiscard]] int GetElapse(const GXConBase* pControl, int nLocalId) const;
    // The pair's window-wide id; 0 when it has none.
    [[nodiscard]] unsigned GetId(const GXConBase* pControl, int nLocalId) const;

private:
    struct STimer {
        GXConBase* pControl = nullptr;
        int nLocalId = 0;
        int nElapse = 0;
        unsigned nId = 0;
        std::unique_ptr<QTimer> pTimer;
    };

    using TimerMap = std::map<unsigned, STimer>;

    [[nodiscard]] TimerMap::iterator Find(const GXConBase* pControl, int nLocalId);
    [[nodiscard]] TimerMap::const_iterator Find(const GXConBase* pControl, int nLocalId) const;
    [[nodiscard]] unsigned NextId();
    void Retire(std::unique_ptr<QTimer> pTimer);

    unsigned m_nIdCounter = 100;
    // Keyed by the window-wide id; a pair has at most one record.
    TimerMap m_timers;
    // Timers killed while one of them was firing: a QTimer must not be
    // deleted inside its own timeout, so they wait here, stopped, until the
    // next call from outside a callback or the end of the manager.
    std::vector<std::unique_ptr<QTimer>> m_retired;
    int m_nFiring = 0;
};

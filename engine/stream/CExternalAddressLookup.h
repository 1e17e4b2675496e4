#pragma once

#include "platform/MessageTarget.h"
#include "platform/ThreadChecker.h"

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

// Thread: Start, IsRunning, Take, Cancel and the destructor on the owner
// (main) thread, checked in debug builds; the lookup runs on a thread of
// its own, which posts its end to the window.
// Finds the address listeners outside reach this computer at, away from the
// window's thread: the address check is a request to another host that a
// slow host, or a name lookup stuck in the resolver, can hold for many
// seconds. A lookup that is cancelled, or that a newer one replaces, is
// handed to GLingeringThreads: nothing waits for it, and its answer is
// dropped.
class CExternalAddressLookup {
public:
    // The lookup itself: the address found, given up once stop is asked.
    // It may outlive this object, so it must hold everything it uses.
    using Find = std::function<std::string(std::stop_token stop)>;

    CExternalAddressLookup() = default;
    ~CExternalAddressLookup();
    CExternalAddressLookup(const CExternalAddressLookup&) = delete;
    CExternalAddressLookup& operator=(const CExternalAddressLookup&) = delete;

    // Cancels any lookup still running, then starts find; msg reaches window
    // with wParam the lookup's number once it has ended. The number (never
    // 0), or 0 when no thread could be made.
    [[nodiscard]] platform::WParam Start(Find find, platform::TargetHandle window, platform::MessageId msg);
    // From Start until Take or Cancel.
    [[nodiscard]] bool IsRunning() const;
    // For the message of lookup number: its address. False, *pAddress
    // untouched, for a lookup cancelled or taken already.
    [[nodiscard]] bool Take(platform::WParam number, std::string* pAddress);
    // Drops the running lookup without waiting for it.
    void Cancel();

private:
    // What the worker writes; it keeps it alive after a cancel.
    struct SAnswer {
        std::string address;
        std::atomic<bool> ended { false };
    };

    [[no_unique_address]] platform::ThreadChecker m_ownerThread;
    platform::WParam m_nNumber = 0;
    bool m_bRunning = false;
    std::shared_ptr<SAnswer> m_pAnswer;
    std::jthread m_worker;
};

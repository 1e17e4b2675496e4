#pragma once

#include "platform/MessageTarget.h"
#include "platform/ThreadChecker.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

// Thread: Start, Cancel, Wait, Take, IsOutstanding and the destructor on the
// owner (main) thread, checked in debug builds; the login runs on the
// thread this object owns, which posts its end to the window.
// Runs the network part of one connect at a time away from the window's
// thread, so a server that takes the connection and never answers leaves
// the window live. Every login has a number; the window learns that it
// ended from a message carrying that number and hands the number back to
// Take, which refuses the message of a login that was cancelled or taken
// already: nothing of a stale login is ever applied.
class CSourceLogin {
public:
    // The login: the result code of the source client, with the token that
    // Cancel requests.
    using Login = std::function<int(std::stop_token stop)>;

    CSourceLogin() = default;
    // Cancels a login still outstanding.
    ~CSourceLogin();
    CSourceLogin(const CSourceLogin&) = delete;
    CSourceLogin& operator=(const CSourceLogin&) = delete;

    // Starts login on the worker; once it has ended, msg is posted to window
    // with wParam the login's number and lParam 0. The number (never 0), or
    // 0 when a login is outstanding or no thread could be made.
    [[nodiscard]] platform::WParam Start(Login login, platform::TargetHandle window, platform::MessageId msg);
    // From Start until Take or Cancel (a login that has ended but was not
    // taken still counts).
    [[nodiscard]] bool IsOutstanding() const;
    // Requests stop and joins: the login gives up at its next poll. Its
    // result is dropped and its message is stale. Nothing happens when no
    // login is outstanding.
    void Cancel();
    // Waits for the outstanding login to end by itself; its number, 0 when
    // none is outstanding. For callers that want a blocking connect.
    platform::WParam Wait();
    // For the message of login number: joins the worker and gives its
    // result. False, with *pResult untouched, for a stale number.
    [[nodiscard]] bool Take(platform::WParam number, int* pResult);

private:
    [[no_unique_address]] platform::ThreadChecker m_ownerThread;
    platform::WParam m_nNumber = 0;
    bool m_bOutstanding = false;
    // Written by the worker before it ends, read after the join.
    int m_nResult = 0;
    std::jthread m_worker;
};

#include "engine/stream/CSourceLogin.h"

#include <system_error>

CSourceLogin::~CSourceLogin()
{
    Cancel();
}

platform::WParam CSourceLogin::Start(Login login, platform::TargetHandle window, platform::MessageId msg)
{
    m_ownerThread.CheckOwner();
    if (m_bOutstanding)
        return 0;
    // Numbers never repeat within a run, so a message that outlived its
    // login can never pass for a later one.
    if (++m_nNumber == 0)
        ++m_nNumber;
    const platform::WParam number = m_nNumber;
    try {
        m_worker = std::jthread([this, login = std::move(login), window, msg, number](std::stop_token stop) {
            m_nResult = login(stop);
            (void)platform::PostMessage(window, msg, number, 0);
        });
    } catch (const std::system_error&) {
        return 0;
    }
    m_bOutstanding = true;
    return number;
}

bool CSourceLogin::IsOutstanding() const
{
    m_ownerThread.CheckOwner();
    return m_bOutstanding;
}

void CSourceLogin::Cancel()
{
    m_ownerThread.CheckOwner();
    if (!m_bOutstanding)
        return;
    m_worker.request_stop();
    m_worker.join();
    m_bOutstanding = false;
}

platform::WParam CSourceLogin::Wait()
{
    m_ownerThread.CheckOwner();
    if (!m_bOutstanding)
        return 0;
    if (m_worker.joinable())
        m_worker.join();
    return m_nNumber;
}

bool CSourceLogin::Take(platform::WParam number, int* pResult)
{
    m_ownerThread.CheckOwner();
    if (!m_bOutstanding || number != m_nNumber)
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_bOutstanding = false;
    if (pResult)
        *pResult = m_nResult;
    return true;
}

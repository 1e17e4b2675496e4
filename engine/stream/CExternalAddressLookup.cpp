#include "engine/stream/CExternalAddressLookup.h"

#include "foundation/GLingeringThreads.h"

#include <system_error>

CExternalAddressLookup::~CExternalAddressLookup()
{
    Cancel();
}

platform::WParam CExternalAddressLookup::Start(Find find, platform::TargetHandle window, platform::MessageId msg)
{
    m_ownerThread.CheckOwner();
    Cancel();
    // Numbers never repeat within a run, so a late message of a dropped
    // lookup never passes for the running one.
    if (++m_nNumber == 0)
        ++m_nNumber;
    const platform::WParam number = m_nNumber;
    auto pAnswer = std::make_shared<SAnswer>();
    try {
        m_worker = std::jthread([pAnswer, find = std::move(find), window, msg, number](std::stop_token stop) {
            pAnswer->address = find(stop);
            if (!stop.stop_requested())
                (void)platform::PostMessage(window, msg, number, 0);
            pAnswer->ended.store(true);
        });
    } catch (const std::system_error&) {
        return 0;
    }
    m_pAnswer = std::move(pAnswer);
    m_bRunning = true;
    return number;
}

bool CExternalAddressLookup::IsRunning() const
{
    m_ownerThread.CheckOwner();
    return m_bRunning;
}

bool CExternalAddressLookup::Take(platform::WParam number, std::string* pAddress)
{
    m_ownerThread.CheckOwner();
    if (!m_bRunning || number != m_nNumber)
        return false;
    // The message is posted just before the worker's end.
    m_worker.join();
    m_bRunning = false;
    if (pAddress)
        *pAddress = m_pAnswer->address;
    m_pAnswer.reset();
    return true;
}

void CExternalAddressLookup::Cancel()
{
    m_ownerThread.CheckOwner();
    m_bRunning = false;
    if (!m_worker.joinable())
        return;
    GLingeringThreads::Release(m_worker, std::shared_ptr<const std::atomic<bool>>(m_pAnswer, &m_pAnswer->ended));
    m_pAnswer.reset();
}

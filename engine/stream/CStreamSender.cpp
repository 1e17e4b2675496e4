#include "engine/stream/CStreamSender.h"

#include "engine/stream/GShoutCastSource.h"
#include "engine/stream/GShoutCastYP.h"
#include "platform/ThreadPriority.h"

#include <cstdio>
#include <system_error>

namespace {

constexpr int kMaxCommandSeq = 99;

} // namespace

CStreamSender::CStreamSender(GShoutCastSource& source, GShoutCastYP& yp, platform::Clock& clock)
    : m_source(source)
    , m_yp(yp)
    , m_clock(clock)
{
}

CStreamSender::~CStreamSender()
{
    Stop();
}

bool CStreamSender::Start()
{
    m_ownerThread.CheckOwner();
    if (m_bSendRunning)
        return true;
    if (m_sendThread.joinable())
        m_sendThread.join();
    ++m_nOnAirPeriod;
    m_bOnAir = true;
    m_bSendRunning = true;
    try {
        m_sendThread = std::jthread([this](std::stop_token stop) { SendLoop(stop); });
    } catch (const std::system_error&) {
        m_bSendRunning = false;
        m_bOnAir = false;
        return false;
    }
    return true;
}

void CStreamSender::Stop()
{
    m_ownerThread.CheckOwner();
    // Always cleared, also when the thread ended by itself: a stale flag
    // would let the next connection's first bytes into a ring nobody reads.
    m_bOnAir = false;
    if (m_sendThread.joinable())
        m_sendThread.join();
    m_bSendRunning = false;
}

void CStreamSender::Feed(const char* pData, int nBytes)
{
    if (nBytes <= 0 || !m_bOnAir)
        return;
    const uint32_t period = m_nOnAirPeriod;
    if (period != m_nFedPeriod) {
        // The encoder ran on through the login: the next bytes may be
        // the middle of a frame, which a server that decodes its source
        // would hold for seconds before its output starts.
        m_nFedPeriod = period;
        m_frameSync.Reset();
        // Nothing of this period is queued yet; what a Feed that began
        // before the owner's ClearRing still wrote would come first.
        m_streamRing.Clear();
    }
    m_frameSync.Take(pData, nBytes, &CStreamSender::QueueSynced, this);
}

void CStreamSender::QueueSynced(void* pUser, const char* pData, int nBytes)
{
    (void)static_cast<CStreamSender*>(pUser)->m_streamRing.Write(nBytes, pData);
}

void CStreamSender::SendLoop(std::stop_token stop)
{
    // Best effort: a raised priority needs rights a user may not have.
    (void)platform::RaiseThreadPriority(1);
    char buffer[kSendBlockBytes];
    while (!stop.stop_requested()) {
        if (m_bCommandPending.exchange(false))
            SendPendingCommand();
        const int got = m_streamRing.Read(kSendBlockBytes, buffer);
        if (got <= 0) {
            if (!m_bOnAir)
                break;
            // A server that stalls while the pump has nothing new (capture
            // held up) is still noticed, and what is queued still leaves.
            if (m_source.Flush() != GShoutCastSource::kOk)
                break;
            m_clock.SleepMs(kSendIdleMs);
            continue;
        }
        if (m_source.Send(buffer, got) != GShoutCastSource::kOk)
            break;
        m_nBytesSent += static_cast<uint64_t>(got);
    }
    // Whatever ended the thread, nothing is on air any more.
    m_bOnAir = false;
    m_bSendRunning = false;
}

void CStreamSender::SendPendingCommand()
{
    m_nCommandSeq = m_nCommandSeq >= kMaxCommandSeq ? 1 : m_nCommandSeq + 1;
    std::string title;
    std::string prefix;
    std::string command;
    {
        std::lock_guard guard(m_textLock);
        title = m_strKeptTitle;
        prefix = m_strTitlePrefix;
        command = m_strCommand;
    }
    char url[1024];
    (void)std::snprintf(
        url, sizeof url, "tavacmdsl://%s?seq=%d&time=%d", command.c_str(), m_nCommandSeq, m_nCommandTime.exchange(0));
    PushTitle(title, url, prefix);
}

void CStreamSender::SetCommand(const std::string& text, const std::string& prefix)
{
    {
        std::lock_guard guard(m_textLock);
        m_strCommand = text;
        m_strTitlePrefix = prefix;
    }
    m_bCommandPending = true;
}

void CStreamSender::SendTitle(const std::string& title, const std::string& url, const std::string& prefix)
{
    {
        std::lock_guard guard(m_textLock);
        m_strTitlePrefix = prefix;
    }
    PushTitle(title, url, prefix);
}

void CStreamSender::PushTitle(const std::string& title, const std::string& url, const std::string& prefix)
{
    (void)m_source.UpdateTitle((prefix + title).c_str(), url.c_str());
    m_yp.SetTitle(title.c_str(), url.c_str());
    std::lock_guard guard(m_textLock);
    m_strKeptTitle = title;
    m_strKeptUrl = url;
}

std::string CStreamSender::KeptTitle()
{
    std::lock_guard guard(m_textLock);
    return m_strKeptTitle;
}

std::string CStreamSender::KeptUrl()
{
    std::lock_guard guard(m_textLock);
    return m_strKeptUrl;
}

void CStreamSender::GetKept(std::string* pTitle, std::string* pUrl)
{
    std::lock_guard guard(m_textLock);
    *pTitle = m_strKeptTitle;
    *pUrl = m_strKeptUrl;
}

void CStreamSender::SetKeptTitle(const std::string& title)
{
    std::lock_guard guard(m_textLock);
    m_strKeptTitle = title;
}

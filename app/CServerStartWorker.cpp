#include "app/CServerStartWorker.h"

#include <system_error>

namespace {

const platform::MessageId kServerResult = platform::RegisterMessage(CServerStartWorker::kResultMessage);

// The server takes the port after the listener port for its source.
constexpr int kHighestListenerPort = 65534;

} // namespace

CServerStartWorker::~CServerStartWorker()
{
    Cancel();
}

bool CServerStartWorker::Start(platform::TargetHandle window, const CDJServerParams& params, int firstPort)
{
    if (m_bOutstanding)
        return false;
    m_pServer = std::make_unique<CDJServer>();
    m_bCancel = false;
    m_bPosted = false;
    try {
        m_thread = std::jthread([this, window, params, firstPort] { Run(window, params, firstPort); });
    } catch (const std::system_error&) {
        m_pServer.reset();
        return false;
    }
    m_bOutstanding = true;
    return true;
}

void CServerStartWorker::Cancel()
{
    if (!m_bOutstanding)
        return;
    m_bCancel = true;
    m_thread.join();
    m_pServer.reset(); // stops a server the worker started
    m_bOutstanding = false;
}

bool CServerStartWorker::TakeResult(std::unique_ptr<CDJServer>* pServer)
{
    if (!m_bOutstanding || !m_bPosted)
        return false;
    m_thread.join();
    std::unique_ptr<CDJServer> server = std::move(m_pServer);
    if (server && !server->IsRunning())
        server.reset();
    m_bOutstanding = false;
    if (pServer)
        *pServer = std::move(server);
    return true;
}

void CServerStartWorker::Run(platform::TargetHandle window, CDJServerParams params, int firstPort)
{
    int found = -1;
    for (int port = firstPort; port < firstPort + kPortSpan && port <= kHighestListenerPort; port += kPortStep) {
        if (m_bCancel)
            return;
        params.port = port;
        if (m_pServer->Start(params)) {
            found = port;
            break;
        }
    }
    // A cancel that came while the last port was tried: the main thread
    // stops the server once it has joined us.
    if (m_bCancel)
        return;
    m_bPosted = true;
    if (found > 0)
        platform::PostMessage(window, kServerResult, 1, found);
    else
        platform::PostMessage(window, kServerResult, 0, -1);
}

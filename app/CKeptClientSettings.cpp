#include "app/CKeptClientSettings.h"

#include "engine/stream/CDJDataMan.h"

CKeptClientSettings::CKeptClientSettings(CDJDataMan& controller)
    : m_controller(controller)
{
}

CKeptClientSettings::~CKeptClientSettings()
{
    Restore();
}

void CKeptClientSettings::Replace(const std::string& userAddress, int port, const std::string& password)
{
    DJSettings settings = m_controller.Settings();
    if (!m_bKept) {
        m_strAddress = userAddress.empty() ? settings.m_strAddress : userAddress;
        m_nPort = settings.m_nPort;
        m_strPasswd = settings.m_strPasswd;
        m_nServerType = settings.m_nServerType;
        m_bKept = true;
    }
    settings.m_strAddress = kServerHost;
    settings.m_nPort = port;
    settings.m_strPasswd = password;
    settings.m_nServerType = 0;
    m_controller.ApplySettings(settings);
}

void CKeptClientSettings::Restore()
{
    if (!m_bKept)
        return;
    DJSettings settings = m_controller.Settings();
    settings.m_strAddress = m_strAddress;
    settings.m_nPort = m_nPort;
    settings.m_strPasswd = m_strPasswd;
    settings.m_nServerType = m_nServerType;
    m_controller.ApplySettings(settings);
    m_bKept = false;
}

CKeptClientSettings::SUserServer CKeptClientSettings::UserServer(const std::string& userAddress) const
{
    if (m_bKept)
        return { m_strAddress, m_nPort, m_strPasswd, m_nServerType };
    const DJSettings& settings = m_controller.Settings();
    return { userAddress.empty() ? settings.m_strAddress : userAddress, settings.m_nPort, settings.m_strPasswd,
        settings.m_nServerType };
}

void CKeptClientSettings::SetUserServer(const SUserServer& server)
{
    if (m_bKept) {
        m_strAddress = server.address;
        m_nPort = server.port;
        m_strPasswd = server.password;
        m_nServerType = server.serverType;
        return;
    }
    DJSettings settings = m_controller.Settings();
    settings.m_strAddress = server.address;
    settings.m_nPort = server.port;
    settings.m_strPasswd = server.password;
    settings.m_nServerType = server.serverType;
    m_controller.ApplySettings(settings);
}

bool CKeptClientSettings::SaveSettings()
{
    if (!m_bKept)
        return m_controller.SaveSettings();
    // Saved from the main thread, which alone reads these four values: the
    // source client got them when it connected.
    const DJSettings running = m_controller.Settings();
    DJSettings user = running;
    user.m_strAddress = m_strAddress;
    user.m_nPort = m_nPort;
    user.m_strPasswd = m_strPasswd;
    user.m_nServerType = m_nServerType;
    m_controller.ApplySettings(user);
    const bool ok = m_controller.SaveSettings();
    m_controller.ApplySettings(running);
    return ok;
}

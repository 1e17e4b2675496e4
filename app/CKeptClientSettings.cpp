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
        m_strAddress = userAddress;
        m_nPort = settings.m_nPort;
        m_strPasswd = settings.m_strPasswd;
        m_bKept = true;
    }
    settings.m_strAddress = kServerHost;
    settings.m_nPort = port;
    settings.m_strPasswd = password;
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
    m_controller.ApplySettings(settings);
    m_bKept = false;
}

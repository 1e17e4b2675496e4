#pragma once

#include "platform/Firewall.h"

#include <memory>
#include <string>

// Results of the registration steps; 0 is success, each other code names
// the step that failed. The numbers are kept as the program has always
// used them (6 was never used).
enum FW_ERROR_CODE : int {
    FW_NOERROR = 0,
    FW_ERR_INITIALIZED = 1, // not initialised, or initialised twice
    FW_ERR_CREATE_MANAGER = 2,
    FW_ERR_LOCAL_POLICY = 3,
    FW_ERR_CURRENT_PROFILE = 4,
    FW_ERR_FIREWALL_ENABLED = 5, // reading whether the firewall is on
    FW_ERR_NO_PATH = 7,
    FW_ERR_ALLOWED_APPS = 8, // reading the allowed-programs list
    FW_ERR_APP_ENABLED = 9, // reading whether a listed program is on
    FW_ERR_CREATE_APP = 10,
    FW_ERR_MAKE_TEXT = 11, // a text the firewall cannot take
    FW_ERR_IMAGE_NAME = 12,
    FW_ERR_APP_NAME = 13,
    FW_ERR_ADD_APP = 14,
};

// Thread: the thread that made it.
// Adds this program to the firewall's allowed programs in the current
// profile, so listeners and the reachability test can reach the built-in
// server. Each step returns its code; the profile is held between steps.
class CFirewallRegistration {
public:
    explicit CFirewallRegistration(platform::Firewall& firewall)
        : m_firewall(firewall)
    {
    }

    [[nodiscard]] FW_ERROR_CODE Initialize();
    void Uninitialize() { m_pProfile.reset(); }
    [[nodiscard]] FW_ERROR_CODE IsFirewallOn(bool* on);
    // A program that is not listed counts as not enabled.
    [[nodiscard]] FW_ERROR_CODE IsAppEnabled(const std::string& imagePath, bool* enabled);
    // Adds the program unless it is listed and enabled already.
    [[nodiscard]] FW_ERROR_CODE AddApp(const std::string& imagePath, const std::string& name);

private:
    platform::Firewall& m_firewall;
    std::unique_ptr<platform::FirewallProfile> m_pProfile;
};

// The name the program is listed under.
inline constexpr const char* kFirewallAppName = "TAV DJ";

// The whole registration against firewall; silent, so the caller may ignore
// the code of the step that ended it.
FW_ERROR_CODE AddAppToFirewall(platform::Firewall& firewall);
// The same against the system's firewall.
void AddAppToFirewall();

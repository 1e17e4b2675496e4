#include "engine/stream/CFirewallRegistration.h"

namespace {

// The shape of a UTF-8 sequence from its lead byte: how many bytes follow,
// the smallest code point it may carry, and the lead byte's payload.
struct Utf8Lead {
    size_t extra;
    unsigned min;
    unsigned bits;
};

bool ReadLead(unsigned char c, Utf8Lead* lead)
{
    if ((c & 0xE0) == 0xC0)
        *lead = { 1, 0x80, c & 0x1Fu };
    else if ((c & 0xF0) == 0xE0)
        *lead = { 2, 0x800, c & 0x0Fu };
    else if ((c & 0xF8) == 0xF0)
        *lead = { 3, 0x10000, c & 0x07u };
    else
        return false;
    return true;
}

// A firewall manager takes Unicode text; a path in another encoding (Linux
// paths are bytes) or an empty one cannot be made into it.
bool IsFirewallText(const std::string& text)
{
    if (text.empty())
        return false;
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        Utf8Lead lead {};
        if (!ReadLead(c, &lead) || text.size() - i <= lead.extra)
            return false;
        unsigned code = lead.bits;
        for (size_t k = 1; k <= lead.extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < lead.min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += lead.extra + 1;
    }
    return true;
}

} // namespace

FW_ERROR_CODE CFirewallRegistration::Initialize()
{
    if (m_pProfile)
        return FW_ERR_INITIALIZED;
    platform::FirewallOpen result = platform::FirewallOpen::NoManager;
    m_pProfile = m_firewall.OpenCurrentProfile(&result);
    if (m_pProfile)
        return FW_NOERROR;
    switch (result) {
    case platform::FirewallOpen::NoPolicy:
        return FW_ERR_LOCAL_POLICY;
    case platform::FirewallOpen::NoProfile:
        return FW_ERR_CURRENT_PROFILE;
    case platform::FirewallOpen::Ok:
    case platform::FirewallOpen::NoManager:
        break;
    }
    return FW_ERR_CREATE_MANAGER;
}

FW_ERROR_CODE CFirewallRegistration::IsFirewallOn(bool* on)
{
    *on = false;
    if (!m_pProfile)
        return FW_ERR_INITIALIZED;
    return m_pProfile->ReadEnabled(on) ? FW_NOERROR : FW_ERR_FIREWALL_ENABLED;
}

FW_ERROR_CODE CFirewallRegistration::IsAppEnabled(const std::string& imagePath, bool* enabled)
{
    *enabled = false;
    if (!m_pProfile)
        return FW_ERR_INITIALIZED;
    if (imagePath.empty())
        return FW_ERR_NO_PATH;
    if (!IsFirewallText(imagePath))
        return FW_ERR_MAKE_TEXT;
    std::unique_ptr<platform::FirewallAppList> apps = m_pProfile->AllowedApps();
    if (!apps)
        return FW_ERR_ALLOWED_APPS;
    bool listedEnabled = false;
    switch (apps->Find(imagePath, &listedEnabled)) {
    case platform::FirewallLookup::Failed:
        return FW_ERR_APP_ENABLED;
    case platform::FirewallLookup::Listed:
        *enabled = listedEnabled;
        break;
    case platform::FirewallLookup::NotListed:
        break;
    }
    return FW_NOERROR;
}

FW_ERROR_CODE CFirewallRegistration::AddApp(const std::string& imagePath, const std::string& name)
{
    if (!m_pProfile)
        return FW_ERR_INITIALIZED;
    if (imagePath.empty())
        return FW_ERR_NO_PATH;
    bool enabled = false;
    if (FW_ERROR_CODE code = IsAppEnabled(imagePath, &enabled); code != FW_NOERROR || enabled)
        return code;
    std::unique_ptr<platform::FirewallAppList> apps = m_pProfile->AllowedApps();
    if (!apps)
        return FW_ERR_ALLOWED_APPS;
    std::unique_ptr<platform::FirewallAppEntry> entry = m_firewall.CreateAppEntry();
    if (!entry)
        return FW_ERR_CREATE_APP;
    if (!entry->SetImageFileName(imagePath))
        return FW_ERR_IMAGE_NAME;
    if (!IsFirewallText(name))
        return FW_ERR_MAKE_TEXT;
    if (!entry->SetName(name))
        return FW_ERR_APP_NAME;
    return apps->Add(*entry) ? FW_NOERROR : FW_ERR_ADD_APP;
}

FW_ERROR_CODE AddAppToFirewall(platform::Firewall& firewall)
{
    std::string path = firewall.ProgramImagePath();
    CFirewallRegistration registration(firewall);
    FW_ERROR_CODE code = registration.Initialize();
    if (code != FW_NOERROR)
        return code;
    bool on = false;
    code = registration.IsFirewallOn(&on);
    if (code == FW_NOERROR && on) {
        bool enabled = false;
        code = registration.IsAppEnabled(path, &enabled);
        if (code == FW_NOERROR && !enabled)
            code = registration.AddApp(path, kFirewallAppName);
    }
    registration.Uninitialize();
    return code;
}

void AddAppToFirewall()
{
    (void)AddAppToFirewall(platform::SystemFirewall());
}

#include "platform/Firewall.h"

#include <unistd.h>

namespace platform {
namespace {

// Linux has no firewall manager with an allowed-programs list; distribution
// firewalls are the administrator's to configure, so nothing is opened and
// nothing is added.
class NoFirewall final : public Firewall {
public:
    std::string ProgramImagePath() const override
    {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
        return n > 0 && static_cast<size_t>(n) < sizeof buf ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }
    std::unique_ptr<FirewallProfile> OpenCurrentProfile(FirewallOpen* result) override
    {
        if (result != nullptr)
            *result = FirewallOpen::NoManager;
        return nullptr;
    }
    std::unique_ptr<FirewallAppEntry> CreateAppEntry() override { return nullptr; }
};

} // namespace

Firewall& SystemFirewall()
{
    static NoFirewall firewall;
    return firewall;
}

} // namespace platform

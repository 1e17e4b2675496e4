#pragma once

#include <memory>
#include <string>

namespace platform {

// Thread: one object per thread.
// The system firewall's list of programs allowed to accept connections, in
// the steps a firewall manager offers: open the current profile, ask
// whether the firewall is on, look a program up in its allowed list, build
// an entry and add it. Every step can fail on its own and says so. Texts
// are UTF-8.

// An allowed-program entry being built; it is added with
// FirewallAppList::Add.
class FirewallAppEntry {
public:
    virtual ~FirewallAppEntry() = default;
    [[nodiscard]] virtual bool SetImageFileName(const std::string& path) = 0;
    [[nodiscard]] virtual bool SetName(const std::string& name) = 0;
};

enum class FirewallLookup { NotListed, Listed, Failed };

class FirewallAppList {
public:
    virtual ~FirewallAppList() = default;
    // Listed with *enabled set; Failed when the entry's state cannot be read.
    [[nodiscard]] virtual FirewallLookup Find(const std::string& imagePath, bool* enabled) = 0;
    // Takes an entry made by the same firewall's CreateAppEntry.
    [[nodiscard]] virtual bool Add(const FirewallAppEntry& entry) = 0;
};

class FirewallProfile {
public:
    virtual ~FirewallProfile() = default;
    [[nodiscard]] virtual bool ReadEnabled(bool* enabled) = 0;
    // Null when the list cannot be read.
    [[nodiscard]] virtual std::unique_ptr<FirewallAppList> AllowedApps() = 0;
};

// Which step of opening the current profile failed.
enum class FirewallOpen { Ok, NoManager, NoPolicy, NoProfile };

class Firewall {
public:
    virtual ~Firewall() = default;
    // The path under which the firewall knows this program; "" when unknown.
    [[nodiscard]] virtual std::string ProgramImagePath() const = 0;
    // The current profile of the local policy; null with *result naming the
    // step that failed.
    [[nodiscard]] virtual std::unique_ptr<FirewallProfile> OpenCurrentProfile(FirewallOpen* result) = 0;
    // Null when no entry can be made.
    [[nodiscard]] virtual std::unique_ptr<FirewallAppEntry> CreateAppEntry() = 0;
};

// The system's firewall. Linux offers no firewall manager this program may
// drive, so it answers NoManager and never changes anything.
[[nodiscard]] Firewall& SystemFirewall();

} // namespace platform

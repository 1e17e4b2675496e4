#pragma once

#include "platform/Firewall.h"

#include <string>
#include <vector>

// Thread: the test's thread.
// A firewall kept in memory: an allowed-programs list, an on/off switch, and
// one step that can be told to fail. Counts the profiles it has open so
// tests can check they are all released.
class FakeFirewall final : public platform::Firewall {
public:
    struct App {
        std::string imagePath;
        std::string name;
        bool enabled = true;
    };
    enum class Fail { None, ReadEnabled, AllowedApps, FindApp, CreateEntry, SetImage, SetName, Add };

    std::string programPath = "/opt/tavdj/bin/tavdj";
    platform::FirewallOpen openResult = platform::FirewallOpen::Ok;
    bool on = true;
    Fail fail = Fail::None;
    std::vector<App> apps;
    int openProfiles = 0;

    std::string ProgramImagePath() const override { return programPath; }

    std::unique_ptr<platform::FirewallProfile> OpenCurrentProfile(platform::FirewallOpen* result) override
    {
        *result = openResult;
        if (openResult != platform::FirewallOpen::Ok)
            return nullptr;
        return std::make_unique<Profile>(*this);
    }

    std::unique_ptr<platform::FirewallAppEntry> CreateAppEntry() override
    {
        if (fail == Fail::CreateEntry)
            return nullptr;
        return std::make_unique<Entry>(*this);
    }

private:
    class Entry final : public platform::FirewallAppEntry {
    public:
        explicit Entry(FakeFirewall& fw)
            : m_fw(fw)
        {
        }
        bool SetImageFileName(const std::string& path) override
        {
            m_app.imagePath = path;
            return m_fw.fail != Fail::SetImage;
        }
        bool SetName(const std::string& name) override
        {
            m_app.name = name;
            return m_fw.fail != Fail::SetName;
        }
        App m_app;

    private:
        FakeFirewall& m_fw;
    };

    class List final : public platform::FirewallAppList {
    public:
        explicit List(FakeFirewall& fw)
            : m_fw(fw)
        {
        }
        platform::FirewallLookup Find(const std::string& imagePath, bool* enabled) override
        {
            for (const App& app : m_fw.apps) {
                if (app.imagePath != imagePath)
                    continue;
                if (m_fw.fail == Fail::FindApp)
                    return platform::FirewallLookup::Failed;
                *enabled = app.enabled;
                return platform::FirewallLookup::Listed;
            }
            return platform::FirewallLookup::NotListed;
        }
        // Like the system's list, adding a listed path replaces its entry.
        bool Add(const platform::FirewallAppEntry& entry) override
        {
            if (m_fw.fail == Fail::Add)
                return false;
            const App& added = static_cast<const Entry&>(entry).m_app;
            for (App& app : m_fw.apps) {
                if (app.imagePath == added.imagePath) {
                    app = added;
                    return true;
                }
            }
            m_fw.apps.push_back(added);
            return true;
        }

    private:
        FakeFirewall& m_fw;
    };

    class Profile final : public platform::FirewallProfile {
    public:
        explicit Profile(FakeFirewall& fw)
            : m_fw(fw)
        {
            ++m_fw.openProfiles;
        }
        ~Profile() override { --m_fw.openProfiles; }
        bool ReadEnabled(bool* enabled) override
        {
            *enabled = m_fw.on;
            return m_fw.fail != Fail::ReadEnabled;
        }
        std::unique_ptr<platform::FirewallAppList> AllowedApps() override
        {
            if (m_fw.fail == Fail::AllowedApps)
                return nullptr;
            return std::make_unique<List>(m_fw);
        }

    private:
        FakeFirewall& m_fw;
    };
};

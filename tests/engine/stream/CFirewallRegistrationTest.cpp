#include "engine/stream/CFirewallRegistration.h"

#include "fakes/FakeFirewall.h"

#include <gtest/gtest.h>

namespace {

using Fail = FakeFirewall::Fail;

} // namespace

TEST(CFirewallRegistration, AddsTheProgramOnlyWhenTheFirewallIsOnAndItIsNotEnabled)
{
    FakeFirewall fw;
    EXPECT_EQ(AddAppToFirewall(fw), FW_NOERROR);
    ASSERT_EQ(fw.apps.size(), 1u);
    EXPECT_EQ(fw.apps[0].imagePath, fw.programPath);
    EXPECT_EQ(fw.apps[0].name, "TAV DJ");
    EXPECT_TRUE(fw.apps[0].enabled);

    // Listed and enabled: left as the user has it.
    fw.apps[0].name = "their name";
    EXPECT_EQ(AddAppToFirewall(fw), FW_NOERROR);
    ASSERT_EQ(fw.apps.size(), 1u);
    EXPECT_EQ(fw.apps[0].name, "their name");

    // Listed but switched off: added again under our name.
    fw.apps[0].enabled = false;
    EXPECT_EQ(AddAppToFirewall(fw), FW_NOERROR);
    ASSERT_EQ(fw.apps.size(), 1u);
    EXPECT_EQ(fw.apps[0].name, "TAV DJ");
    EXPECT_TRUE(fw.apps[0].enabled);

    // Paths are Unicode text to the firewall; UTF-8 ones go in as they are.
    FakeFirewall korean;
    korean.programPath = "/home/디제이/bin/tavdj";
    EXPECT_EQ(AddAppToFirewall(korean), FW_NOERROR);
    ASSERT_EQ(korean.apps.size(), 1u);
    EXPECT_EQ(korean.apps[0].imagePath, korean.programPath);

    FakeFirewall off;
    off.on = false;
    EXPECT_EQ(AddAppToFirewall(off), FW_NOERROR);
    EXPECT_TRUE(off.apps.empty());
    EXPECT_EQ(fw.openProfiles + off.openProfiles, 0);
}

TEST(CFirewallRegistration, EachFailingStepEndsTheRegistrationWithItsCode)
{
    struct Case {
        platform::FirewallOpen open;
        Fail fail;
        std::string path;
        bool listed;
        FW_ERROR_CODE expected;
    };
    const std::string path = "/opt/tavdj/bin/tavdj";
    const Case cases[] = {
        { platform::FirewallOpen::NoManager, Fail::None, path, false, FW_ERR_CREATE_MANAGER },
        { platform::FirewallOpen::NoPolicy, Fail::None, path, false, FW_ERR_LOCAL_POLICY },
        { platform::FirewallOpen::NoProfile, Fail::None, path, false, FW_ERR_CURRENT_PROFILE },
        { platform::FirewallOpen::Ok, Fail::ReadEnabled, path, false, FW_ERR_FIREWALL_ENABLED },
        { platform::FirewallOpen::Ok, Fail::None, "", false, FW_ERR_NO_PATH },
        { platform::FirewallOpen::Ok, Fail::AllowedApps, path, false, FW_ERR_ALLOWED_APPS },
        { platform::FirewallOpen::Ok, Fail::FindApp, path, true, FW_ERR_APP_ENABLED },
        { platform::FirewallOpen::Ok, Fail::None, "/opt/\xB9\xE6\xBC\xDB/tavdj", false, FW_ERR_MAKE_TEXT },
        { platform::FirewallOpen::Ok, Fail::None, "/opt/\xC0\xAF/tavdj", false, FW_ERR_MAKE_TEXT },
        { platform::FirewallOpen::Ok, Fail::CreateEntry, path, false, FW_ERR_CREATE_APP },
        { platform::FirewallOpen::Ok, Fail::SetImage, path, false, FW_ERR_IMAGE_NAME },
        { platform::FirewallOpen::Ok, Fail::SetName, path, false, FW_ERR_APP_NAME },
        { platform::FirewallOpen::Ok, Fail::Add, path, false, FW_ERR_ADD_APP },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        FakeFirewall fw;
        fw.openResult = c.open;
        fw.fail = c.fail;
        fw.programPath = c.path;
        if (c.listed)
            fw.apps.push_back({ c.path, "old", false });
        EXPECT_EQ(AddAppToFirewall(fw), c.expected);
        EXPECT_EQ(fw.apps.size(), c.listed ? 1u : 0u);
        EXPECT_EQ(fw.openProfiles, 0);
    }
}

TEST(CFirewallRegistration, StepsNeedOneInitialisation)
{
    FakeFirewall fw;
    CFirewallRegistration reg(fw);
    bool on = true;
    EXPECT_EQ(reg.IsFirewallOn(&on), FW_ERR_INITIALIZED);
    EXPECT_EQ(reg.AddApp(fw.programPath, kFirewallAppName), FW_ERR_INITIALIZED);

    EXPECT_EQ(reg.Initialize(), FW_NOERROR);
    EXPECT_EQ(reg.Initialize(), FW_ERR_INITIALIZED);
    EXPECT_EQ(fw.openProfiles, 1);
    EXPECT_EQ(reg.AddApp(fw.programPath, ""), FW_ERR_MAKE_TEXT);
    EXPECT_EQ(reg.AddApp("", kFirewallAppName), FW_ERR_NO_PATH);
    EXPECT_TRUE(fw.apps.empty());
    reg.Uninitialize();
    EXPECT_EQ(fw.openProfiles, 0);
}

TEST(CFirewallRegistration, LinuxHasNoManagerSoNothingIsAdded)
{
    platform::Firewall& fw = platform::SystemFirewall();
    EXPECT_EQ(fw.ProgramImagePath().front(), '/');
    EXPECT_EQ(AddAppToFirewall(fw), FW_ERR_CREATE_MANAGER);
    EXPECT_EQ(fw.CreateAppEntry(), nullptr);
}

#include "platform/Connectivity.h"

#include "support/TestSandbox.h"

#include <gtest/gtest.h>

// Loopback end-to-end runs on a machine without a network (CI) depend on the
// override; anything but "0" counts as online, "0" as offline, whatever the
// interfaces say.
TEST(Connectivity, TheOverrideAnswersForTheSystem)
{
    TestSandbox sandbox;
    sandbox.SetEnv(platform::kAssumeOnlineEnv, "1");
    EXPECT_TRUE(platform::HasNetworkConnection());
    sandbox.SetEnv(platform::kAssumeOnlineEnv, "yes");
    EXPECT_TRUE(platform::HasNetworkConnection());
    sandbox.SetEnv(platform::kAssumeOnlineEnv, "0");
    EXPECT_FALSE(platform::HasNetworkConnection());
    // Empty means unset: the system answers, and asking it must not fail.
    sandbox.SetEnv(platform::kAssumeOnlineEnv, "");
    (void)platform::HasNetworkConnection();
}

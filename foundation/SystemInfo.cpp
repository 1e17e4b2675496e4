#include "foundation/SystemInfo.h"

#include "platform/Connectivity.h"
#include "platform/Process.h"

int GetUserGroupLevel()
{
    constexpr int kUsers = 1;
    constexpr int kAdministrators = 3;
    return platform::IsAdministrator() ? kAdministrators : kUsers;
}

bool IsInternetConnected()
{
    return platform::HasNetworkConnection();
}

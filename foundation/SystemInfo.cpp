#include "foundation/SystemInfo.h"

#include "platform/Connectivity.h"
#include "platform/Process.h"

int DetectWindowsVersion()
{
    return kWindowsVersionLatestNt;
}

int GetWindowsVersion()
{
    static const int version = DetectWindowsVersion();
    return version;
}

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

bool AllowCopyDataMessage()
{
    return true;
}

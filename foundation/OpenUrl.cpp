#include "foundation/OpenUrl.h"

#include "platform/Process.h"

#include <cstdlib>

bool OpenUrl(const char* url)
{
    if (url == nullptr || url[0] == '\0' || url[0] == '-')
        return false;
    const char* opener = std::getenv(kUrlOpenerEnv);
    return platform::SpawnDetached({ opener != nullptr && opener[0] != '\0' ? opener : "xdg-open", url });
}

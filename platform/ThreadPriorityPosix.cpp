#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool RaiseThreadPriority(int steps)
{
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    const int current = getpriority(PRIO_PROCESS, tid);
    return setpriority(PRIO_PROCESS, tid, current - steps) == 0;
}

} // namespace platform

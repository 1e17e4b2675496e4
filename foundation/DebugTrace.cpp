#include "foundation/DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

void DebugTrace(const char* format, ...)
{
    const char* target = std::getenv(kDebugTraceEnv);
    if (target == nullptr || format == nullptr)
        return;
    int fd = -1;
    bool ownFd = false;
    if (std::strcmp(target, "stderr") == 0) {
        fd = STDERR_FILENO;
    } else if (target[0] == '/') {
        fd = open(target, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        ownFd = true;
    }
    if (fd < 0)
        return;

    char buf[4096 + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, 4096, format, args);
    va_end(args);
    if (n >= 0) {
        size_t len = std::strlen(buf);
        buf[len++] = '\n';
        // One write per line keeps lines from two threads apart.
        (void)!write(fd, buf, len);
    }
    if (ownFd)
        close(fd);
}

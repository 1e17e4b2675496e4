#include "platform/Console.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace platform {

bool WriteConsoleNow(std::string_view text)
{
    if (text.empty())
        return true;
    pollfd p { STDOUT_FILENO, POLLOUT, 0 };
    // A pipe that reports room takes PIPE_BUF (4096) bytes without blocking;
    // a terminal or file always does.
    if (::poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0)
        return false;
    const size_t n = std::min(text.size(), kConsoleChunk);
    const ssize_t wrote = ::write(STDOUT_FILENO, text.data(), n);
    return wrote == static_cast<ssize_t>(text.size());
}

} // namespace platform

#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

bool FillRandomBytes(void* out, size_t len)
{
    auto* bytes = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < len) {
        const ssize_t n = ::getrandom(bytes + done, len - done, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace platform

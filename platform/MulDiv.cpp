#include "platform/MulDiv.h"

#include <climits>
#include <cstdint>

namespace platform {

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(a) * b;
    // Round the magnitude, then restore the sign: half away from zero.
    const bool negative = (product < 0) != (c < 0);
    const uint64_t num = product < 0 ? 0 - static_cast<uint64_t>(product) : static_cast<uint64_t>(product);
    const uint64_t den = c < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
    const uint64_t q = (num + den / 2) / den;
    if (negative) {
        if (q > static_cast<uint64_t>(INT_MAX) + 1)
            return -1;
        return static_cast<int>(-static_cast<int64_t>(q));
    }
    if (q > static_cast<uint64_t>(INT_MAX))
        return -1;
    return static_cast<int>(q);
}

} // namespace platform

#include "platform/Uuid.h"

#include <cstring>

#include <uuid/uuid.h>

namespace platform {

bool NewTimeUuid(uint8_t out[16])
{
    if (out == nullptr)
        return false;
    uuid_t id;
    uuid_generate_time(id);
    // An all-zero value means the generator gave nothing usable.
    if (uuid_is_null(id))
        return false;
    std::memcpy(out, id, 16);
    return true;
}

} // namespace platform

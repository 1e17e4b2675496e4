#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

using MessageId = uint32_t;

// Messages between threads and components are registered by name; the name
// is the contract. The same name always gives the same id in this process,
// ids start at 0xC000 like the system's registered messages.
// Thread: any.
class MessageRegistry {
public:
    static constexpr MessageId kFirstId = 0xC000;
    static constexpr MessageId kLastId = 0xFFFF;

    // Returns 0 for an empty name or when all ids are taken.
    [[nodiscard]] static MessageId Register(std::string_view name);
    // The name an id was registered under, or empty.
    [[nodiscard]] static std::string_view NameOf(MessageId id);
};

[[nodiscard]] inline MessageId RegisterMessage(std::string_view name)
{
    return MessageRegistry::Register(name);
}

} // namespace platform

#include "platform/MessageRegistry.h"

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace platform {

namespace {

struct Table {
    std::mutex lock; // guards: ids, names
    std::unordered_map<std::string, MessageId> ids;
    std::deque<std::string> names; // index = id - kFirstId; deque keeps references stable
};

Table& TheTable()
{
    static Table table;
    return table;
}

} // namespace

MessageId MessageRegistry::Register(std::string_view name)
{
    if (name.empty())
        return 0;
    Table& t = TheTable();
    std::lock_guard guard(t.lock);
    auto it = t.ids.find(std::string(name));
    if (it != t.ids.end())
        return it->second;
    if (t.names.size() > kLastId - kFirstId)
        return 0;
    const MessageId id = kFirstId + static_cast<MessageId>(t.names.size());
    t.names.emplace_back(name);
    t.ids.emplace(t.names.back(), id);
    return id;
}

std::string_view MessageRegistry::NameOf(MessageId id)
{
    Table& t = TheTable();
    std::lock_guard guard(t.lock);
    if (id < kFirstId || id - kFirstId >= t.names.size())
        return {};
    return t.names[id - kFirstId];
}

} // namespace platform

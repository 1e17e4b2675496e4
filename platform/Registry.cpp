#include "platform/Registry.h"

#include "platform/Files.h"
#include "platform/TextCase.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

constexpr std::string_view kHeader = "TavDJ registry 1";

// Every change of any store in this process goes through this lock, so two
// writers never lose each other's edit.
std::mutex g_storeLock;

std::string LowerCopy(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return out;
}

std::string_view RootName(RegRoot root)
{
    switch (root) {
    case RegRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case RegRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    }
    return "HKEY_CURRENT_USER";
}

bool IsBadNameChar(char c)
{
    return c == '\r' || c == '\n' || c == '\0';
}

// "Software\\\\Foo\\" and "Software\Foo" name the same key. Empty result
// for a path that cannot be stored.
// Whether a path may name the root itself (an empty sub-key).
enum class AllowRoot { Yes, No };

std::string FullPath(RegRoot root, std::string_view subKey, AllowRoot allowRoot)
{
    std::string out(RootName(root));
    size_t depth = 0;
    while (!subKey.empty()) {
        size_t cut = subKey.find('\\');
        std::string_view part = subKey.substr(0, cut);
        subKey.remove_prefix(cut == std::string_view::npos ? subKey.size() : cut + 1);
        if (part.empty())
            continue;
        if (part.size() > Registry::kMaxNameBytes || ++depth > Registry::kMaxDepth
            || std::any_of(part.begin(), part.end(), IsBadNameChar))
            return {};
        out += '\\';
        out += part;
    }
    return (depth == 0 && allowRoot == AllowRoot::No) ? std::string() : out;
}

std::string Escape(std::string_view s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

// Where an escaped text ends: at an unescaped quote or at the end.
enum class EndsAt { Quote, End };

// Reads an escaped text up to an unescaped quote (EndsAt::Quote) or the end.
bool Unescape(std::string_view* in, EndsAt endsAt, std::string* out)
{
    out->clear();
    while (!in->empty()) {
        char c = in->front();
        in->remove_prefix(1);
        if (endsAt == EndsAt::Quote && c == '"')
            return true;
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (in->empty())
            return false;
        char e = in->front();
        in->remove_prefix(1);
        switch (e) {
        case 'n':
            *out += '\n';
            break;
        case 'r':
            *out += '\r';
            break;
        case '\\':
        case '"':
            *out += e;
            break;
        default:
            return false;
        }
    }
    return endsAt == EndsAt::End;
}

// One value line: @=type:data or "name"=type:data.
bool ParseValueLine(std::string_view line, std::string* name, RegValue* value)
{
    if (line.substr(0, 2) == "@=") {
        name->clear();
        line.remove_prefix(2);
    } else if (!line.empty() && line.front() == '"') {
        line.remove_prefix(1);
        if (!Unescape(&line, EndsAt::Quote, name) || name->empty() || name->size() > Registry::kMaxNameBytes
            || line.empty() || line.front() != '=')
            return false;
        line.remove_prefix(1);
    } else {
        return false;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string_view type = line.substr(0, colon);
    std::string_view data = line.substr(colon + 1);
    if (type == "dword") {
        if (data.size() != 8)
            return false;
        uint32_t n = 0;
        for (char c : data) {
            const char lower = AsciiLower(c);
            int digit = (c >= '0' && c <= '9') ? c - '0' : (lower >= 'a' && lower <= 'f') ? lower - 'a' + 10 : -1;
            if (digit < 0)
                return false;
            n = n * 16u + static_cast<uint32_t>(digit);
        }
        *value = RegValue { RegType::Dword, {}, n };
        return true;
    }
    RegType kind;
    if (type == "sz")
        kind = RegType::String;
    else if (type == "expand")
        kind = RegType::ExpandString;
    else
        return false;
    std::string text;
    if (!Unescape(&data, EndsAt::End, &text) || text.find('\0') != std::string::npos)
        return false;
    *value = RegValue { kind, std::move(text), 0 };
    return true;
}

std::string ValueLine(const std::string& name, const RegValue& value)
{
    std::string out = name.empty() ? std::string("@=") : std::string("\"").append(Escape(name)).append("\"=");
    switch (value.type) {
    case RegType::String:
        out += "sz:" + Escape(value.text);
        break;
    case RegType::ExpandString:
        out += "expand:" + Escape(value.text);
        break;
    case RegType::Dword: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", value.dword);
        out += "dword:";
        out += hex;
        break;
    }
    }
    return out;
}

} // namespace

bool Registry::LoadLocked(Store* store) const
{
    store->clear();
    std::string text;
    if (!ReadWholeFile(m_path, kMaxFileBytes, &text))
        return KindOf(m_path) == PathKind::Missing;
    Key* current = nullptr;
    std::string_view rest = text;
    while (!rest.empty()) {
        std::string_view line = TakeLine(&rest);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string_view inner = line.substr(1, line.size() - 2);
            current = nullptr;
            for (RegRoot root : { RegRoot::CurrentUser, RegRoot::LocalMachine, RegRoot::ClassesRoot }) {
                std::string_view prefix = RootName(root);
                if (inner.size() > prefix.size() + 1 && EqualsNoCase(inner.substr(0, prefix.size()), prefix)
                    && inner[prefix.size()] == '\\') {
                    std::string path = FullPath(root, inner.substr(prefix.size() + 1), AllowRoot::No);
                    if (!path.empty())
                        current = &EnsureKey(*store, path);
                    if (store->size() > kMaxKeys) {
                        store->clear();
                        return false;
                    }
                    break;
                }
            }
            continue;
        }
        std::string name;
        RegValue value;
        if (current == nullptr || !ParseValueLine(line, &name, &value))
            continue;
        auto& values = current->values;
        auto same = [&](const auto& v) { return EqualsNoCase(v.first, name); };
        if (std::find_if(values.begin(), values.end(), same) == values.end())
            values.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

Registry::Key& Registry::EnsureKey(Store& store, const std::string& path)
{
    // Ancestors first, so each part keeps the spelling it was created with.
    size_t cut = path.find('\\');
    for (cut = path.find('\\', cut + 1); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
        std::string parent = path.substr(0, cut);
        store.try_emplace(LowerCopy(parent), Key { parent, {} });
    }
    auto [it, added] = store.try_emplace(LowerCopy(path), Key { path, {} });
    return it->second;
}

bool Registry::SaveLocked(const Store& store) const
{
    std::string text(kHeader);
    text += '\n';
    for (const auto& [lower, key] : store) {
        text += "\n[" + key.path + "]\n";
        for (const auto& [name, value] : key.values)
            text += ValueLine(name, value) + '\n';
    }
    if (text.size() > kMaxFileBytes)
        return false;
    return ReplaceFile(m_path, text);
}

bool Registry::Read(Store* store) const
{
    std::lock_guard lock(g_storeLock);
    return LoadLocked(store);
}

bool Registry::Change(const std::function<Edit(Store&)>& edit)
{
    std::lock_guard lock(g_storeLock);
    Store store;
    if (!LoadLocked(&store))
        return false;
    switch (edit(store)) {
    case Edit::Keep:
        return true;
    case Edit::Save:
        return SaveLocked(store);
    case Edit::Fail:
        return false;
    }
    return false;
}

bool Registry::CreateKey(RegRoot root, std::string_view subKey)
{
    std::string path = FullPath(root, subKey, AllowRoot::No);
    return !path.empty() && Change([&](Store& store) {
        if (store.count(LowerCopy(path)))
            return Edit::Keep;
        EnsureKey(store, path);
        return store.size() > kMaxKeys ? Edit::Fail : Edit::Save;
    });
}

bool Registry::KeyExists(RegRoot root, std::string_view subKey) const
{
    std::string path = FullPath(root, subKey, AllowRoot::No);
    Store store;
    return !path.empty() && Read(&store) && store.count(LowerCopy(path)) != 0;
}

bool Registry::DeleteKey(RegRoot root, std::string_view subKey)
{
    std::string lower = LowerCopy(FullPath(root, subKey, AllowRoot::No));
    return !lower.empty() && Change([&](Store& store) {
        size_t removed = std::erase_if(store, [&](const auto& entry) {
            return entry.first == lower || entry.first.compare(0, lower.size() + 1, lower + "\\") == 0;
        });
        return removed != 0 ? Edit::Save : Edit::Fail;
    });
}

std::vector<std::string> Registry::SubKeyNames(RegRoot root, std::string_view subKey) const
{
    std::vector<std::string> names;
    std::string path = FullPath(root, subKey, AllowRoot::Yes);
    Store store;
    if (path.empty() || !Read(&store))
        return names;
    std::string prefix = LowerCopy(path) + "\\";
    for (const auto& [lower, key] : store) {
        if (lower.compare(0, prefix.size(), prefix) == 0 && lower.find('\\', prefix.size()) == std::string::npos)
            names.push_back(key.path.substr(prefix.size()));
    }
    return names;
}

std::vector<std::string> Registry::ValueNames(RegRoot root, std::string_view subKey) const
{
    std::vector<std::string> names;
    std::string path = FullPath(root, subKey, AllowRoot::No);
    Store store;
    if (path.empty() || !Read(&store))
        return names;
    if (auto it = store.find(LowerCopy(path)); it != store.end()) {
        for (const auto& value : it->second.values)
            names.push_back(value.first);
    }
    return names;
}

bool Registry::GetValue(RegRoot root, std::string_view subKey, std::string_view valueName, RegValue* out) const
{
    std::string path = FullPath(root, subKey, AllowRoot::No);
    Store store;
    if (path.empty() || !Read(&store))
        return false;
    auto it = store.find(LowerCopy(path));
    if (it == store.end())
        return false;
    for (const auto& [name, value] : it->second.values) {
        if (EqualsNoCase(name, valueName)) {
            if (out != nullptr)
                *out = value;
            return true;
        }
    }
    return false;
}

bool Registry::SetValue(RegRoot root, std::string_view subKey, std::string_view valueName, const RegValue& value)
{
    std::string path = FullPath(root, subKey, AllowRoot::No);
    if (path.empty() || valueName.size() > kMaxNameBytes
        || std::any_of(valueName.begin(), valueName.end(), IsBadNameChar))
        return false;
    RegValue stored = value;
    stored.text = stored.text.substr(0, stored.text.find('\0'));
    return Change([&](Store& store) {
        Key& key = EnsureKey(store, path);
        if (store.size() > kMaxKeys)
            return Edit::Fail;
        auto same = [&](const auto& v) { return EqualsNoCase(v.first, valueName); };
        auto it = std::find_if(key.values.begin(), key.values.end(), same);
        if (it != key.values.end())
            it->second = std::move(stored);
        else
            key.values.emplace_back(std::string(valueName), std::move(stored));
        return Edit::Save;
    });
}

bool Registry::DeleteValue(RegRoot root, std::string_view subKey, std::string_view valueName)
{
    std::string lower = LowerCopy(FullPath(root, subKey, AllowRoot::No));
    return !lower.empty() && Change([&](Store& store) {
        auto it = store.find(lower);
        if (it == store.end())
            return Edit::Fail;
        size_t removed
            = std::erase_if(it->second.values, [&](const auto& v) { return EqualsNoCase(v.first, valueName); });
        return removed != 0 ? Edit::Save : Edit::Fail;
    });
}

} // namespace platform

#include "foundation/Ini.h"

#include "foundation/Paths.h"
#include "platform/IniFile.h"

namespace {

constexpr size_t kMaxValueBytes = 9998;
constexpr size_t kKeyListBytes = 0x7C00;

} // namespace

std::string IniFilePath(const std::string& file)
{
    if (!file.empty() && file.front() == '/')
        return file;
    return GetModuleFolder() + file;
}

std::string IniGetString(
    const std::string& section, const std::string& key, const std::string& file, const std::string& defaultValue)
{
    std::string value = platform::GetPrivateProfileString(section, key, defaultValue, IniFilePath(file));
    if (value.size() > kMaxValueBytes)
        value.resize(kMaxValueBytes);
    return value;
}

bool IniWriteString(const std::string& section, const char* key, const char* value, const std::string& file)
{
    return platform::WritePrivateProfileString(section, key, value, IniFilePath(file));
}

int IniGetInt(const std::string& section, const std::string& key, int defaultValue, const std::string& file)
{
    return platform::GetPrivateProfileInt(section, key, defaultValue, IniFilePath(file));
}

bool IniWriteInt(const std::string& section, const std::string& key, int value, const std::string& file)
{
    return IniWriteString(section, key.c_str(), std::to_string(value).c_str(), file);
}

bool IniWriteStrings(const std::vector<IniEntry>& entries, const std::string& file)
{
    std::vector<platform::ProfileEntry> batch;
    batch.reserve(entries.size());
    for (const IniEntry& entry : entries)
        batch.push_back({ entry.section, entry.key, entry.value });
    return platform::WritePrivateProfileStrings(batch, IniFilePath(file));
}

int IniGetKeyNames(const std::string& section, const std::string& file, std::vector<std::string>& keys)
{
    keys.clear();
    // Each name takes its length and a NUL; the list ends with one more NUL.
    size_t used = 1;
    for (std::string& name : platform::GetPrivateProfileKeyNames(section, IniFilePath(file))) {
        if (used + name.size() + 1 > kKeyListBytes)
            break;
        used += name.size() + 1;
        keys.push_back(std::move(name));
    }
    return static_cast<int>(keys.size());
}

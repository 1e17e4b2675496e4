#include "foundation/AppRegistry.h"

#include "foundation/Paths.h"
#include "platform/SystemFolders.h"

platform::Registry GetAppRegistry()
{
    return platform::Registry(GetAppDataFolder() + "registry.txt");
}

bool RegWriteDword(const std::string& valueName, const std::string& subKey, uint32_t value)
{
    platform::RegValue v;
    v.type = platform::RegType::Dword;
    v.dword = value;
    return GetAppRegistry().SetValue(platform::RegRoot::CurrentUser, subKey, valueName, v);
}

bool RegReadDword(const std::string& valueName, const std::string& subKey, uint32_t* out, uint32_t defaultValue)
{
    if (out != nullptr)
        *out = defaultValue;
    platform::RegValue v;
    if (!GetAppRegistry().GetValue(platform::RegRoot::CurrentUser, subKey, valueName, &v)
        || v.type != platform::RegType::Dword)
        return false;
    if (out != nullptr)
        *out = v.dword;
    return true;
}

bool RegReadStringHKCR(const std::string& subKey, const std::string& valueName, std::string* out)
{
    platform::RegValue v;
    if (!GetAppRegistry().GetValue(platform::RegRoot::ClassesRoot, subKey, valueName, &v)
        || v.type == platform::RegType::Dword)
        return false;
    if (out != nullptr)
        *out = v.text;
    return true;
}

bool ReadShellFolder(const char* valueName, std::string* out, platform::RegRoot root)
{
    if (valueName == nullptr || root == platform::RegRoot::ClassesRoot)
        return false;
    std::string folder = platform::ShellFolder(valueName);
    if (folder.empty())
        return false;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (out != nullptr)
        *out = folder;
    return true;
}

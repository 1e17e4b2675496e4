#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <string>

// The program's registry: one store file in the application-data folder
// (GetAppDataFolder() + "registry.txt"). Thread: any.
[[nodiscard]] platform::Registry GetAppRegistry();

// Under the current user: opens subKey for writing, creating it when
// missing, and sets a 32-bit value.
bool RegWriteDword(const std::string& valueName, const std::string& subKey, uint32_t value);
// Under the current user: *out = defaultValue, replaced by the stored value
// when there is one of number type; true when it was read. out may be null.
bool RegReadDword(const std::string& valueName, const std::string& subKey, uint32_t* out, uint32_t defaultValue);
// A string value (plain or expandable, unexpanded) under the classes root.
bool RegReadStringHKCR(const std::string& subKey, const std::string& valueName, std::string* out);
// A Shell Folders value ("AppData", "Common AppData", "Personal",
// "Common Documents") as Linux answers it, without a trailing '/'. The
// classes root has no shell folders. out may be null.
bool ReadShellFolder(const char* valueName, std::string* out, platform::RegRoot root = platform::RegRoot::CurrentUser);

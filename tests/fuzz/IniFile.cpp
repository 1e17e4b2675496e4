// Feeds arbitrary text to the ini parser and checks that an edit survives
// being written and read back, whatever surrounds it.
#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniFile ini;
    ini.Parse(text);
    std::string once = ini.Serialize();
    platform::IniFile again;
    again.Parse(once);
    if (again.Serialize() != once)
        std::abort();

    // The last line of the input, split at its first two '|', is an edit.
    size_t nl = text.rfind('\n');
    std::string_view edit = nl == std::string_view::npos ? text : text.substr(nl + 1);
    size_t a = edit.find('|');
    size_t b = a == std::string_view::npos ? a : edit.find('|', a + 1);
    if (b == std::string_view::npos)
        return 0;
    std::string section(edit.substr(0, a)), key(edit.substr(a + 1, b - a - 1)), value(edit.substr(b + 1));
    if (!ini.SetString(section, key, value))
        return 0;
    std::string expected = *ini.Find(section, key);
    platform::IniFile reread;
    if (!reread.Parse(ini.Serialize()))
        return 0; // the edit pushed it past the line bound
    auto found = reread.Find(section, key);
    if (!found || *found != expected)
        std::abort();
    return 0;
}

// Feeds arbitrary store files to the registry and checks that a value set
// on top of whatever was there reads back unchanged.
#include "platform/Registry.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path
        = (std::filesystem::temp_directory_path() / ("tavdj-fuzz-registry-" + std::to_string(getpid()) + ".txt"))
              .string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    platform::Registry reg(path);
    using platform::RegRoot;
    for (RegRoot root : { RegRoot::CurrentUser, RegRoot::LocalMachine, RegRoot::ClassesRoot }) {
        for (const std::string& key : reg.SubKeyNames(root, "")) {
            for (const std::string& name : reg.ValueNames(root, key))
                (void)reg.GetValue(root, key, name, nullptr);
        }
    }
    std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 64));
    platform::RegValue value { platform::RegType::ExpandString, text, 0 };
    if (reg.SetValue(RegRoot::CurrentUser, "Fuzz\\Key", "Name", value)) {
        platform::RegValue back;
        if (!reg.GetValue(RegRoot::CurrentUser, "fuzz\\key", "name", &back)
            || back.text != text.substr(0, text.find('\0')) || back.type != value.type)
            std::abort();
    }
    unlink(path.c_str());
    return 0;
}

#pragma once

#include "support/ChildProcess.h"
#include "support/TempHome.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace testutil {

// The real program under a test gets a runtime folder of its own (its
// instance lock and local sockets live there) and an ALSA configuration
// whose default recording device exists on no machine, so it starts the
// same everywhere. extraAlsa adds lines, e.g. a scripted mixer.
inline void UseProgramEnvironment(TempHome& home, const std::string& extraAlsa = {})
{
    const std::filesystem::path runtime = home.Path("runtime");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
    home.Set("XDG_RUNTIME_DIR", runtime.string());
    const std::string alsa = home.Path("asound.conf");
    std::ofstream(alsa) << "pcm.!default { type hw card 31 device 0 }\n" << extraAlsa;
    home.Set("ALSA_CONFIG_PATH", alsa);
}

// The default skin and its control-ID file in a program folder, laid out
// as the build installs them beside the program.
inline void InstallDefaultSkin(const std::filesystem::path& program)
{
    const std::filesystem::path skin = SourcePath("skins/default");
    std::filesystem::copy(skin, program / "default_skin", std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(skin / "ControlID.XML", program / "ControlID.XML");
}

} // namespace testutil

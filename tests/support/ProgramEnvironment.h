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

// The program's settings file under a data folder (XDG_DATA_HOME).
inline std::filesystem::path ProgramSettingsFile(const std::string& data)
{
    return std::filesystem::path(data) / "VANDREL" / "TavDJ" / "SETTING.ini";
}

// A settings file, its folders made, that logs in to the server at
// address:port with password, with no title from a player and no
// directory; reconnect is the [Connect] choice, moreNetwork more lines of
// the [Network] section.
inline void WriteLoginSettings(const std::filesystem::path& settings, const std::string& address, int port,
    const std::string& password, int reconnect, const std::string& moreNetwork = {})
{
    std::filesystem::create_directories(settings.parent_path());
    std::ofstream(settings) << "[Network]\nLocalServ=0\nAddress=" << address << "\nPort=" << port
                            << "\nPasswd=" << password << "\n"
                            << moreNetwork << "[SHOUTcast]\nAIM=\n[Song]\nAuto=0\n[Connect]\nReconnect=" << reconnect
                            << "\n[AddYP]\nAddYP=0\n";
}

} // namespace testutil

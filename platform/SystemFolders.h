#pragma once

#include <string>
#include <string_view>

namespace platform {

// Where the system keeps things, in Linux terms. Every folder returned ends
// with '/'. Thread: any (reads the environment, which tests change only
// between cases).

// Environment variable that replaces the executable's folder, so tests and
// a relocated install can point the program at their own setting files.
inline constexpr const char* kProgramFolderEnv = "TAVDJ_PROGRAM_DIR";

// Environment variable that names the folder of the program's own data
// (the default skin, the control-ID file, the status pages), for tests that
// run the program's window from another executable.
inline constexpr const char* kDataFolderEnv = "TAVDJ_DATA_DIR";

// The folder of the running executable (/proc/self/exe), or the override.
// Empty when neither can be read.
[[nodiscard]] std::string ExecutableFolder();

// The folder of the files the program reads and never writes: the data
// override; else the program folder when it is overridden (it then holds
// everything); else an installation's data folder, the build's installed
// data folder taken relative to the executable's (../share/tavdj), when it
// exists; else the executable's own folder, where the build tree keeps them.
[[nodiscard]] std::string ProgramDataFolder();

// The answer for a Shell Folders value name: "AppData" and "Common AppData"
// are the XDG data home ($XDG_DATA_HOME, else ~/.local/share); "Personal",
// "Common Documents" and "My Documents" are the XDG documents folder
// ($XDG_DOCUMENTS_DIR, else user-dirs.dirs, else ~/Documents). Empty for
// names Linux has no answer for, or when there is no home.
[[nodiscard]] std::string ShellFolder(std::string_view valueName);

// $TMPDIR when it names an absolute folder, else /tmp/.
[[nodiscard]] std::string TempFolder();

} // namespace platform

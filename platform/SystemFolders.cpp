#include "platform/SystemFolders.h"

#include "platform/Files.h"
#include "platform/TextCase.h"
#include "platform/TextLines.h"

#include <cstdlib>
#include <mutex>

#include <unistd.h>

namespace platform {
namespace {

std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

std::string AbsoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return value;
}

std::string HomeFolder()
{
    return AbsoluteEnv("HOME");
}

std::string DataHome()
{
    std::string dir = AbsoluteEnv("XDG_DATA_HOME");
    if (!dir.empty())
        return WithSlash(dir);
    std::string home = HomeFolder();
    return home.empty() ? std::string() : WithSlash(home) + ".local/share/";
}

// user-dirs.dirs holds lines like XDG_DOCUMENTS_DIR="$HOME/Dokumente"; only
// "$HOME/..." and absolute forms are meaningful, anything else is ignored.
std::string DocumentsFromUserDirs(const std::string& home)
{
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty())
        config = WithSlash(home) + ".config";
    // The file is a few lines long; a bound keeps a hostile one harmless.
    std::string text;
    if (!ReadWholeFile(WithSlash(config) + "user-dirs.dirs", 64 * 1024, &text))
        return {};
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
    for (std::string_view rest = text; !rest.empty();) {
        const std::string_view line = TakeLine(&rest);
        if (line.substr(0, kKey.size()) != kKey)
            continue;
        const size_t end = line.find('"', kKey.size());
        if (end == std::string_view::npos)
            continue;
        const std::string_view value = line.substr(kKey.size(), end - kKey.size());
        if (value.substr(0, 6) == "$HOME/")
            return WithSlash(WithSlash(home) + std::string(value.substr(6)));
        if (!value.empty() && value[0] == '/')
            return WithSlash(std::string(value));
    }
    return {};
}

// The executable's own folder with its trailing '/', "" when unreadable.
std::string RealExecutableFolder()
{
    // The executable does not move while it runs, so one look is enough.
    static std::once_flag once;
    static std::string folder;
    std::call_once(once, [] {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return;
        std::string path(buf, static_cast<size_t>(n));
        size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            folder = path.substr(0, slash + 1);
    });
    return folder;
}

std::string DocumentsFolder()
{
    std::string dir = AbsoluteEnv("XDG_DOCUMENTS_DIR");
    if (!dir.empty())
        return WithSlash(dir);
    std::string home = HomeFolder();
    if (home.empty())
        return {};
    dir = DocumentsFromUserDirs(home);
    return dir.empty() ? WithSlash(home) + "Documents/" : dir;
}

} // namespace

std::string ExecutableFolder()
{
    std::string overridden = AbsoluteEnv(kProgramFolderEnv);
    if (!overridden.empty())
        return WithSlash(overridden);
    return RealExecutableFolder();
}

std::string ProgramDataFolder()
{
    for (const char* name : { kDataFolderEnv, kProgramFolderEnv }) {
        std::string overridden = AbsoluteEnv(name);
        if (!overridden.empty())
            return WithSlash(overridden);
    }
    const std::string folder = RealExecutableFolder();
#ifdef TAVDJ_DATA_FROM_PROGRAM
    // Installed, the program lies in bin/ and its data under share/.
    if (!folder.empty()) {
        const std::string installed = WithSlash(folder + TAVDJ_DATA_FROM_PROGRAM);
        if (KindOf(installed) == PathKind::Directory)
            return installed;
    }
#endif
    return folder;
}

std::string ShellFolder(std::string_view valueName)
{
    if (EqualsNoCase(valueName, "AppData") || EqualsNoCase(valueName, "Common AppData"))
        return DataHome();
    if (EqualsNoCase(valueName, "Personal") || EqualsNoCase(valueName, "Common Documents")
        || EqualsNoCase(valueName, "My Documents"))
        return DocumentsFolder();
    return {};
}

std::string TempFolder()
{
    std::string dir = AbsoluteEnv("TMPDIR");
    return dir.empty() ? std::string("/tmp/") : WithSlash(dir);
}

} // namespace platform

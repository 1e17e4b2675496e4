#include "platform/SystemFolders.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
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

std::string HomeFolder() { return AbsoluteEnv("HOME"); }

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
    std::ifstream in(WithSlash(config) + "user-dirs.dirs");
    std::string line;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
    // The file is a few lines long; a bound keeps a hostile one harmless.
    for (int n = 0; n < 200 && std::getline(in, line); ++n) {
        if (line.size() > 4096 || line.compare(0, kKey.size(), kKey) != 0)
            continue;
        size_t end = line.find('"', kKey.size());
        if (end == std::string::npos)
            continue;
        std::string value = line.substr(kKey.size(), end - kKey.size());
        if (value.compare(0, 6, "$HOME/") == 0)
            return WithSlash(WithSlash(home) + value.substr(6));
        if (!value.empty() && value[0] == '/')
            return WithSlash(value);
    }
    return {};
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

bool SameNameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string ExecutableFolder()
{
    std::string overridden = AbsoluteEnv(kProgramFolderEnv);
    if (!overridden.empty())
        return WithSlash(overridden);

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

std::string ShellFolder(std::string_view valueName)
{
    if (SameNameNoCase(valueName, "AppData") || SameNameNoCase(valueName, "Common AppData"))
        return DataHome();
    if (SameNameNoCase(valueName, "Personal") || SameNameNoCase(valueName, "Common Documents")
        || SameNameNoCase(valueName, "My Documents"))
        return DocumentsFolder();
    return {};
}

std::string TempFolder()
{
    std::string dir = AbsoluteEnv("TMPDIR");
    return dir.empty() ? std::string("/tmp/") : WithSlash(dir);
}

}  // namespace platform

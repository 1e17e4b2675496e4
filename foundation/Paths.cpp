#include "foundation/Paths.h"

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/SystemFolders.h"

#include <cstdio>
#include <random>

#include <unistd.h>

namespace {

// Shell Folders values asked in order; the first with an answer wins.
std::string FirstShellFolder(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        std::string folder = platform::ShellFolder(name);
        if (!folder.empty())
            return folder;
    }
    return {};
}

} // namespace

std::string GetModuleFolder()
{
    return platform::ExecutableFolder();
}

std::string GetProgramDataFolder()
{
    return platform::ProgramDataFolder();
}

std::string GetAppDataFolder()
{
    std::string base = FirstShellFolder({ "Common AppData", "AppData", "Personal" });
    if (base.empty())
        return GetModuleFolder();
    std::string folder = JoinPath(JoinPath(base, "VANDREL"), "TavDJ") + "/";
    return CreateFolderPath(folder) ? folder : GetModuleFolder();
}

std::string GetDocumentsFolder()
{
    std::string base = FirstShellFolder({ "Common Documents", "Personal" });
    if (base.empty())
        base = GetModuleFolder();
    return JoinPath(base, "TavDJ") + "/";
}

std::string GetTempFolder()
{
    return platform::TempFolder();
}

std::string GetPrivateTempFolder()
{
    std::string base = GetTempFolder();
    if (!FolderExists(base.c_str()))
        base = "/tmp/";
    if (!FolderExists(base.c_str()))
        return {};
    std::string folder = base + "tavdj-" + std::to_string(geteuid()) + "/";
    return platform::EnsurePrivateFolder(folder) ? folder : std::string();
}

std::string CreateTempFile()
{
    std::string folder = GetPrivateTempFolder();
    if (folder.empty())
        return {};
    // The tick-count names come first; once a hundred of them are taken (a
    // crowded folder), random names keep the call from failing.
    constexpr int kTickNames = 100;
    static thread_local std::mt19937 rng { std::random_device {}() };
    const unsigned tick = platform::GetTickCount() % 0xFFFFF;
    char name[64];
    for (int attempt = 0; attempt < 2 * kTickNames; ++attempt) {
        if (attempt < kTickNames)
            std::snprintf(name, sizeof name, "t%02d%05x.tmp", attempt, tick);
        else
            std::snprintf(name, sizeof name, "t%06x.tmp", static_cast<unsigned>(rng() & 0xFFFFFF));
        switch (platform::CreateNewFile(folder + name)) {
        case platform::CreateResult::Created:
            return folder + name;
        case platform::CreateResult::Exists:
            continue;
        case platform::CreateResult::Failed:
            return {};
        }
    }
    return {};
}

bool CreateFolderPath(const std::string& path)
{
    if (path.empty())
        return false;
    if (FolderExists(path.c_str()))
        return true;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        platform::MakeDirectory(path.substr(0, slash));
    platform::MakeDirectory(path);
    return FolderExists(path.c_str());
}

bool FolderExists(const char* path)
{
    return path != nullptr && platform::KindOf(path) == platform::PathKind::Directory;
}

bool FileExists(const char* path)
{
    return path != nullptr && platform::KindOf(path) == platform::PathKind::Other;
}

std::string GetParentFolder(const std::string& path)
{
    std::string_view view = path;
    if (!view.empty() && view.back() == '/')
        view.remove_suffix(1);
    size_t slash = view.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(view.substr(0, slash + 1));
}

std::string GetFileExtension(const char* path)
{
    if (path == nullptr)
        return {};
    std::string_view view = path;
    size_t start = view.find_last_of("/\\");
    std::string_view last = start == std::string_view::npos ? view : view.substr(start + 1);
    size_t dot = last.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(last.substr(dot));
}

std::string JoinPath(const std::string& base, std::string_view name, std::string_view separator)
{
    if (!separator.empty() && name.substr(0, separator.size()) == separator)
        name.remove_prefix(separator.size());
    std::string out = base;
    bool endsWithSeparator = !separator.empty() && out.size() >= separator.size()
        && std::string_view(out).substr(out.size() - separator.size()) == separator;
    if (!endsWithSeparator)
        out += separator;
    out += name;
    return out;
}

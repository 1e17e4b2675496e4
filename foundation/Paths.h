#pragma once

#include <string>
#include <string_view>

// Where the program's files live, and small path helpers. Folders are
// returned with a trailing '/'. Thread: any.

// Title of the folder picker that asks where recordings are saved.
inline constexpr const char* kBrowseForFolderTitle = "저장될 폴더를 지정하십시오.";

// Folder of the running executable; it holds log/ and the maker's launcher.
// TAVDJ_PROGRAM_DIR overrides it.
[[nodiscard]] std::string GetModuleFolder();

// Folder of what the program reads and never writes: setting.ini,
// ControlID.XML, serverhtml/ and the default skin. In the build tree it is
// the program's folder; installed, the data folder under share/ beside the
// program's bin/. TAVDJ_DATA_DIR, else TAVDJ_PROGRAM_DIR, overrides it.
[[nodiscard]] std::string GetProgramDataFolder();

// The per-user data folder ".../VANDREL/TavDJ/", created on first use; the
// program folder when it cannot be created.
[[nodiscard]] std::string GetAppDataFolder();

// The user's documents folder joined with "TavDJ/"; not created.
[[nodiscard]] std::string GetDocumentsFolder();

// The system's temporary folder.
[[nodiscard]] std::string GetTempFolder();

// The per-user folder under the system's temporary folder that only this
// user can enter (0700, owned by us, not a link), created on first use, with
// its trailing '/'; "" when it cannot be trusted. A shared temporary folder
// lets anyone plant a file or link under a name we are about to use.
[[nodiscard]] std::string GetPrivateTempFolder();

// Creates a new empty file, mode 0600, in a folder that only this user can
// enter, and returns its path; "" when no file could be made.
[[nodiscard]] std::string CreateTempFile();

// Creates the folder and every missing parent; true when it exists after.
bool CreateFolderPath(const std::string& path);

[[nodiscard]] bool FolderExists(const char* path);
// True for anything that exists and is not a folder.
[[nodiscard]] bool FileExists(const char* path);

// The parent folder with its trailing '/': one trailing '/' is dropped
// first, so "a/b/" and "a/b" both give "a/"; "" without a '/'.
[[nodiscard]] std::string GetParentFolder(const std::string& path);

// The extension of the last path component with its dot, "" without one.
// Both '/' and '\' end a component: stored paths may use either.
[[nodiscard]] std::string GetFileExtension(const char* path);

// base + separator + name with exactly one separator between them.
[[nodiscard]] std::string JoinPath(const std::string& base, std::string_view name, std::string_view separator = "/");

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// File-system facts and the few careful operations the core needs, over
// POSIX calls. Thread: any.

enum class PathKind { Missing, Directory, Other };

// What stat() says the path is, following links: a link to a folder is a
// folder to every caller.
[[nodiscard]] PathKind KindOf(const std::string& path);

// One mkdir with the default mode; true when the folder exists afterwards.
bool MakeDirectory(const std::string& path);

// Makes sure path is a folder that only this user can enter: created 0700
// when missing; an existing one must be a real folder (not a link) owned by
// us, and loses group and other access. False when it cannot be trusted.
[[nodiscard]] bool EnsurePrivateFolder(const std::string& path);

enum class CreateResult { Created, Exists, Failed };

// Creates a new empty file with mode 0600, never following a link and never
// opening a file that is already there.
[[nodiscard]] CreateResult CreateNewFile(const std::string& path);

// Reads the whole file when it is at most maxBytes long. False when it is
// missing, unreadable, not a regular file or too large.
[[nodiscard]] bool ReadWholeFile(const std::string& path, size_t maxBytes, std::string* out);

// Writes contents to a new file beside path and renames it over path, so a
// reader sees the old or the new file, never a half-written one.
[[nodiscard]] bool ReplaceFile(const std::string& path, std::string_view contents);

} // namespace platform

#pragma once

#include <string>
#include <vector>

// The program's ini-file access. A file name that is not an absolute path
// is taken relative to the program folder (GetModuleFolder). Each call
// reads the file anew; writes replace it atomically. Thread: any.

// The value, cut to 9998 bytes: no setting or skin key needs more, and the
// bound keeps a hand-edited file from handing a caller megabytes.
// defaultValue when the file, section or key is missing.
[[nodiscard]] std::string IniGetString(
    const std::string& section, const std::string& key, const std::string& file, const std::string& defaultValue);
// A null key removes the section, a null value removes the key.
bool IniWriteString(const std::string& section, const char* key, const char* value, const std::string& file);
// Signed: stored window positions are -1.
[[nodiscard]] int IniGetInt(
    const std::string& section, const std::string& key, int defaultValue, const std::string& file);
bool IniWriteInt(const std::string& section, const std::string& key, int value, const std::string& file);
// One key of a batch IniWriteStrings writes.
struct IniEntry {
    std::string section;
    std::string key;
    std::string value;
};
// Several keys in one rewrite of the file: a save of many settings costs
// one replacement of it, not one per key. False when any of them is not
// written; the others are written all the same.
bool IniWriteStrings(const std::vector<IniEntry>& entries, const std::string& file);
// Replaces keys with the section's key names in file order, as many as fit
// in 0x7C00 bytes of names (each counted with a terminator), the same kind
// of bound as IniGetString's; returns their count.
int IniGetKeyNames(const std::string& section, const std::string& file, std::vector<std::string>& keys);

// The path the functions above use for file.
[[nodiscard]] std::string IniFilePath(const std::string& file);

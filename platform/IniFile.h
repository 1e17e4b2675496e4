#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Thread: one object per thread; the free functions below are thread-safe.
// A private-profile (ini) file with the reading rules stored settings and
// skins were written for: section and key names compare case-insensitively (ASCII), the
// first of duplicate sections or keys wins, blanks around names and values
// are trimmed, one pair of surrounding quotes is removed, lines starting
// with ';' are comments, CRLF and LF both read. Edits keep every other line
// as it was: a changed key is replaced in place, a new key goes at the end
// of its section, a new section at the end of the file.
// Files may be hand-edited or hostile: size is bounded and nothing in the
// text can make parsing fail.
class IniFile {
public:
    // Settings files are a few kilobytes; the bounds keep a damaged or
    // planted one from costing more than a few megabytes of memory.
    static constexpr size_t kMaxFileBytes = 1u << 20;
    static constexpr size_t kMaxLines = 65536;

    enum class LoadResult { Loaded, Missing, Unreadable };
    // Replaces the document by the file's contents; Missing and Unreadable
    // (too large, too many lines, a folder, no permission) leave an empty
    // document.
    LoadResult Load(const std::string& path);
    // False, with an empty document, past kMaxLines lines.
    bool Parse(std::string_view text);

    // The value as read, or nothing when the section or key is missing.
    [[nodiscard]] std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    [[nodiscard]] std::string GetString(
        std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // A sign and decimal digits up to the first other character, wrapping in
    // 32 bits, so an overlong number reads as a defined value instead of
    // overflowing; the default when the key is missing or empty, 0 when the
    // value does not start with a number.
    [[nodiscard]] int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    // Key names of the first section of that name, in file order, without
    // repeats.
    [[nodiscard]] std::vector<std::string> KeyNames(std::string_view section) const;

    // False, changing nothing, for names or values that cannot be written
    // back and read again as the same pair (line breaks, ']' in a section
    // name, '=' in a key, empty names).
    [[nodiscard]] bool SetString(std::string_view section, std::string_view key, std::string_view value);
    // True when something was removed.
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

    [[nodiscard]] std::string Serialize() const;
    // Written atomically (temporary file and rename).
    [[nodiscard]] bool Save(const std::string& path) const;

private:
    enum class Kind { Section, Pair, Other };
    struct Line {
        Kind kind = Kind::Other;
        std::string text; // the line as written, without its line end
        std::string name; // trimmed section or key name
        std::string value; // trimmed, unquoted value of a pair
    };
    // Index of the first header of that section, or npos.
    [[nodiscard]] size_t FindSection(std::string_view section) const;
    // One past the last line of the section whose header is at start.
    [[nodiscard]] size_t SectionEnd(size_t start) const;
    [[nodiscard]] size_t FindKey(size_t sectionStart, std::string_view key) const;

    std::vector<Line> m_lines;
    std::string m_eol = "\n";
    bool m_bom = false;
};

// The private-profile calls foundation/Ini.h is built on, over IniFile. Each
// reads the file anew.
[[nodiscard]] std::string GetPrivateProfileString(
    std::string_view section, std::string_view key, std::string_view defaultValue, const std::string& path);
[[nodiscard]] int GetPrivateProfileInt(
    std::string_view section, std::string_view key, int defaultValue, const std::string& path);
[[nodiscard]] std::vector<std::string> GetPrivateProfileKeyNames(std::string_view section, const std::string& path);
// A null key removes the section, a null value removes the key. A file
// that exists but cannot be read is never overwritten. Writers in this
// process are serialised so concurrent edits are not lost.
bool WritePrivateProfileString(std::string_view section, const char* key, const char* value, const std::string& path);
// One key of a batch WritePrivateProfileStrings writes.
struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};
// Several keys in one rewrite of the file, so saving all of a program's
// settings replaces (and syncs) the file once rather than once per key.
// False when the file cannot be read or written, or when an entry cannot
// be stored (see SetString); the other entries are written all the same.
bool WritePrivateProfileStrings(const std::vector<ProfileEntry>& entries, const std::string& path);

} // namespace platform

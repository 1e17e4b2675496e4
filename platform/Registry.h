#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };
enum class RegType { String, ExpandString, Dword };

struct RegValue {
    RegType type = RegType::String;
    std::string text; // String and ExpandString (stored unexpanded)
    uint32_t dword = 0; // Dword
};

// Thread: any.
// A registry of keys and values kept as a text file of our own: keys under three roots,
// "\"-separated sub-keys compared case-insensitively, values of type
// string, expandable string and 32-bit number, and the default value (the
// empty value name). Every call reads the file; every change rewrites it
// atomically, serialised with the other writers of this process. The file
// may be hand-edited: its size and names are bounded, lines that make no
// sense are dropped, a file that cannot be read is never overwritten.
class Registry {
public:
    // The program keeps a few dozen values; the bounds keep a damaged or
    // planted store from costing more than a few megabytes of memory.
    static constexpr size_t kMaxFileBytes = 1u << 20;
    static constexpr size_t kMaxKeys = 20000;
    static constexpr size_t kMaxNameBytes = 255; // one key name or value name
    static constexpr size_t kMaxDepth = 64;

    explicit Registry(std::string storePath)
        : m_path(std::move(storePath))
    {
    }
    [[nodiscard]] const std::string& StorePath() const { return m_path; }

    // Creates the key and its missing parents. False for an empty or
    // over-long path.
    [[nodiscard]] bool CreateKey(RegRoot root, std::string_view subKey);
    [[nodiscard]] bool KeyExists(RegRoot root, std::string_view subKey) const;
    // Removes the key with everything below it.
    bool DeleteKey(RegRoot root, std::string_view subKey);
    // Names of the direct sub-keys, sorted without regard to case.
    [[nodiscard]] std::vector<std::string> SubKeyNames(RegRoot root, std::string_view subKey) const;
    // Value names in the order they were first set; "" is the default value.
    [[nodiscard]] std::vector<std::string> ValueNames(RegRoot root, std::string_view subKey) const;

    // False when the key or value is missing; out may be null to test.
    [[nodiscard]] bool GetValue(RegRoot root, std::string_view subKey, std::string_view valueName, RegValue* out) const;
    // Creates the key when missing. Strings end at their first NUL.
    [[nodiscard]] bool SetValue(
        RegRoot root, std::string_view subKey, std::string_view valueName, const RegValue& value);
    bool DeleteValue(RegRoot root, std::string_view subKey, std::string_view valueName);

private:
    struct Key {
        std::string path; // full path with root, as first written
        std::vector<std::pair<std::string, RegValue>> values;
    };
    // Keyed by the lower-case full path, so map order is enumeration order.
    using Store = std::map<std::string, Key>;

    // A missing file is an empty store; false when the file exists but
    // cannot be read or holds more than kMaxKeys keys.
    [[nodiscard]] bool LoadLocked(Store* store) const;
    [[nodiscard]] bool Read(Store* store) const;
    enum class Edit { Keep, Save, Fail };
    // Loads, edits and, when the edit says so, saves under the store lock.
    // A store that cannot be read is never edited.
    [[nodiscard]] bool Change(const std::function<Edit(Store&)>& edit);
    [[nodiscard]] bool SaveLocked(const Store& store) const;
    // Adds the key and every ancestor below its root.
    static Key& EnsureKey(Store& store, const std::string& path);

    std::string m_path;
};

} // namespace platform

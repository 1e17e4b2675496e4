#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Thread: the user-interface thread of the skin window that holds it.
//
// A small table of sections of key/value texts, looked up without case. A
// skin window consults one, when it has a loaded table, before it
// evaluates a "$" text as script; nothing loads one yet, so windows have
// none and every "$" text goes to the script.
class GIni {
public:
    using SKeyValue = std::pair<std::string, std::string>;
    struct SSection {
        std::string m_name;
        std::vector<SKeyValue> m_values;
    };

    // The value of the first key matching in the first section matching;
    // "" when either is missing.
    [[nodiscard]] std::string GetValue(std::string_view section, std::string_view key) const;

    // The first section whose name matches, or null. The pointer lives until
    // the table is next changed.
    [[nodiscard]] const SSection* FindSection(std::string_view name) const;

    // The first pair of the section whose key matches, through ppPair.
    [[nodiscard]] static bool FindKey(const SSection& section, std::string_view key, const SKeyValue** ppPair);

    // Adds a pair to the first section of that name, or to a new section at
    // the end, and marks the table loaded.
    void AddValue(std::string_view section, std::string_view key, std::string_view value);

    void Clear();
    [[nodiscard]] bool IsLoaded() const { return m_bLoaded; }
    [[nodiscard]] size_t GetSectionCount() const { return m_sections.size(); }

private:
    std::vector<SSection> m_sections;
    bool m_bLoaded = false;
};

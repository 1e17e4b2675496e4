#include "skin/GIni.h"

namespace {

// Section and key names are ASCII in every skin we know of; bytes of other
// characters are UTF-8 pieces above 0x7F and compare as they are, so no
// locale can change a lookup.
bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

std::string GIni::GetValue(std::string_view section, std::string_view key) const
{
    const SSection* pSection = FindSection(section);
    const SKeyValue* pPair = nullptr;
    if (pSection == nullptr || !FindKey(*pSection, key, &pPair))
        return {};
    return pPair->second;
}

const GIni::SSection* GIni::FindSection(std::string_view name) const
{
    for (const SSection& section : m_sections) {
        if (EqualsNoCase(section.m_name, name))
            return &section;
    }
    return nullptr;
}

bool GIni::FindKey(const SSection& section, std::string_view key, const SKeyValue** ppPair)
{
    for (const SKeyValue& pair : section.m_values) {
        if (EqualsNoCase(pair.first, key)) {
            *ppPair = &pair;
            return true;
        }
    }
    return false;
}

void GIni::AddValue(std::string_view section, std::string_view key, std::string_view value)
{
    SSection* pSection = nullptr;
    for (SSection& existing : m_sections) {
        if (EqualsNoCase(existing.m_name, section)) {
            pSection = &existing;
            break;
        }
    }
    if (pSection == nullptr)
        pSection = &m_sections.emplace_back(SSection { std::string(section), {} });
    pSection->m_values.emplace_back(std::string(key), std::string(value));
    m_bLoaded = true;
}

void GIni::Clear()
{
    m_sections.clear();
    m_bLoaded = false;
}

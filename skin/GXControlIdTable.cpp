#include "skin/GXControlIdTable.h"

#include "foundation/GXmp.h"
#include "foundation/GXmpData.h"
#include "foundation/Ini.h"

#include <algorithm>
#include <cctype>

namespace {

std::string_view Trim(std::string_view s)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EndsWithIgnoreCase(const std::string& text, std::string_view suffix)
{
    return text.size() >= suffix.size()
        && GXmpData::EqualsIgnoreCase(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

// Every child element of the section: its name and its ID attribute.
bool ReadXmlSection(const GXmpData& section, std::vector<GXControlIdTable::SEntry>* pEntries, std::size_t* pnTotal)
{
    GXmpData::Position pos = section.GetFirstChildPosition();
    while (const GXmpData* pChild = section.GetNextChild(pos)) {
        if (pChild->GetType() != GXmpData::kElement)
            continue;
        if (++*pnTotal > GXControlIdTable::kMaxEntries)
            return false;
        int nId = 0;
        (void)pChild->GetAttributeInt("ID", &nId);
        pEntries->push_back({ pChild->GetName(), nId });
    }
    return true;
}

bool ReadIniSection(const std::string& section, const std::string& path,
    std::vector<GXControlIdTable::SEntry>* pEntries, std::size_t* pnTotal)
{
    std::vector<std::string> keys;
    IniGetKeyNames(section, path, keys);
    for (const std::string& key : keys) {
        if (++*pnTotal > GXControlIdTable::kMaxEntries)
            return false;
        pEntries->push_back({ key, IniGetInt(section, key, 0, path) });
    }
    return true;
}

} // namespace

bool GXControlIdTable::Find(std::string_view name, SGxControlInfo* pInfo) const
{
    const auto it = m_map.find(Trim(name));
    if (it == m_map.end())
        return false;
    if (pInfo != nullptr)
        *pInfo = it->second;
    return true;
}

void GXControlIdTable::Insert(const std::string& name, const SGxControlInfo& info)
{
    m_map[name] = info;
}

bool GXControlIdTable::ReadFile(const std::string& path, SFile* pFile)
{
    *pFile = SFile {};
    std::size_t nTotal = 0;
    if (EndsWithIgnoreCase(path, ".xml")) {
        GXmp doc;
        if (!doc.LoadFile(path.c_str()) || doc.GetRoot() == nullptr)
            return false;
        const GXmpData* pWindows = doc.GetRoot()->FindChild("WINDOW_CONTROL_ID", false);
        const GXmpData* pControls = doc.GetRoot()->FindChild("CONTROL_ID", false);
        if (pWindows == nullptr || pControls == nullptr)
            return false;
        return ReadXmlSection(*pWindows, &pFile->windowIds, &nTotal)
            && ReadXmlSection(*pControls, &pFile->controlIds, &nTotal);
    }
    if (EndsWithIgnoreCase(path, ".ini")) {
        return ReadIniSection("WINDOW_CONTROL_ID", path, &pFile->windowIds, &nTotal)
            && ReadIniSection("CONTROL_ID", path, &pFile->controlIds, &nTotal);
    }
    return false;
}

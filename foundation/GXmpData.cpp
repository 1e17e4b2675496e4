#include "foundation/GXmpData.h"

#include "platform/TextCase.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

const std::string kEmpty;

} // namespace

bool GXmpData::EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    return platform::EqualsNoCase(a, b);
}

const std::string& GXmpData::GetName() const
{
    return m_nType == kText ? kEmpty : m_strName;
}

const std::string& GXmpData::GetText() const
{
    return m_nType == kText ? m_strName : kEmpty;
}

const std::string* GXmpData::FindAttribute(std::string_view name) const
{
    if (m_nType != kElement)
        return nullptr;
    auto it = m_mapAttr.find(name);
    return it == m_mapAttr.end() ? nullptr : &it->second;
}

bool GXmpData::GetAttribute(std::string_view name, std::string* pValue) const
{
    const std::string* pFound = FindAttribute(name);
    if (pFound == nullptr)
        return false;
    try {
        *pValue = *pFound;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool GXmpData::GetAttributeInt(std::string_view name, int* pValue) const
{
    const std::string* pFound = FindAttribute(name);
    if (pFound == nullptr)
        return false;
    // atoi leaves overflow undefined; saturate as a 32-bit strtol would.
    long n = std::strtol(pFound->c_str(), nullptr, 10);
    if (n > INT_MAX)
        n = INT_MAX;
    else if (n < INT_MIN)
        n = INT_MIN;
    *pValue = static_cast<int>(n);
    return true;
}

std::string GXmpData::GetAttributeString(std::string_view name, std::string_view strDefault) const
{
    try {
        if (m_nType != kElement)
            return {};
        const std::string* pFound = FindAttribute(name);
        return pFound ? *pFound : std::string(strDefault);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

bool GXmpData::SetAttributeUInt(std::string_view name, unsigned value)
{
    if (m_nType != kElement)
        return false;
    auto it = m_mapAttr.find(name);
    if (it == m_mapAttr.end())
        return false;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", value);
    try {
        it->second = buf;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

GXmpData::Position GXmpData::GetFirstChildPosition() const
{
    if (m_nType != kElement || m_listChild.empty())
        return 0;
    return 1;
}

GXmpData* GXmpData::GetNextChild(Position& pos) const
{
    if (m_nType != kElement || pos == 0 || pos > m_listChild.size()) {
        pos = 0;
        return nullptr;
    }
    GXmpData* pChild = m_listChild[pos - 1].get();
    pos = pos < m_listChild.size() ? pos + 1 : 0;
    return pChild;
}

GXmpData* GXmpData::FindChildOfType(int nType, std::string_view name, bool ignoreCase) const
{
    for (const auto& pChild : m_listChild) {
        if (pChild->m_nType != nType)
            continue;
        if (ignoreCase ? EqualsIgnoreCase(pChild->m_strName, name) : pChild->m_strName == name)
            return pChild.get();
    }
    return nullptr;
}

GXmpData* GXmpData::FindChild(std::string_view name, bool ignoreCase) const
{
    return FindChildOfType(kElement, name, ignoreCase);
}

GXmpData* GXmpData::FindChildInstruction(std::string_view name, bool ignoreCase) const
{
    return FindChildOfType(kInstruction, name, ignoreCase);
}

#include "platform/IniFile.h"

#include "platform/Files.h"
#include "platform/TextCase.h"
#include "platform/TextLines.h"

#include <cstdint>
#include <mutex>

namespace platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

IniFile::LoadResult IniFile::Load(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, kMaxFileBytes, &text)) {
        Parse({});
        return KindOf(path) == PathKind::Missing ? LoadResult::Missing : LoadResult::Unreadable;
    }
    return Parse(text) ? LoadResult::Loaded : LoadResult::Unreadable;
}

bool IniFile::Parse(std::string_view text)
{
    m_lines.clear();
    m_bom = text.substr(0, kBom.size()) == kBom;
    if (m_bom)
        text.remove_prefix(kBom.size());
    size_t firstBreak = text.find('\n');
    m_eol = (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r') ? "\r\n" : "\n";

    while (!text.empty()) {
        if (m_lines.size() == kMaxLines) {
            m_lines.clear();
            return false;
        }
        std::string_view raw = TakeLine(&text);

        Line line;
        line.text = raw;
        std::string_view trimmed = Trim(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            std::string_view name = trimmed.substr(1);
            name = name.substr(0, name.find(']'));
            line.kind = Kind::Section;
            line.name = Trim(name);
        } else if (!trimmed.empty() && trimmed.front() != ';') {
            size_t eq = trimmed.find('=');
            if (eq != std::string_view::npos && !Trim(trimmed.substr(0, eq)).empty()) {
                line.kind = Kind::Pair;
                line.name = Trim(trimmed.substr(0, eq));
                line.value = Unquote(Trim(trimmed.substr(eq + 1)));
            }
        }
        m_lines.push_back(std::move(line));
    }
    return true;
}

size_t IniFile::FindSection(std::string_view section) const
{
    section = Trim(section);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && EqualsNoCase(m_lines[i].name, section))
            return i;
    }
    return std::string::npos;
}

size_t IniFile::SectionEnd(size_t start) const
{
    size_t i = start + 1;
    while (i < m_lines.size() && m_lines[i].kind != Kind::Section)
        ++i;
    return i;
}

size_t IniFile::FindKey(size_t sectionStart, std::string_view key) const
{
    key = Trim(key);
    size_t end = SectionEnd(sectionStart);
    for (size_t i = sectionStart + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::Pair && EqualsNoCase(m_lines[i].name, key))
            return i;
    }
    return std::string::npos;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const
{
    size_t s = FindSection(section);
    if (s == std::string::npos)
        return std::nullopt;
    size_t k = FindKey(s, key);
    if (k == std::string::npos)
        return std::nullopt;
    return m_lines[k].value;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    std::optional<std::string> value = Find(section, key);
    return value ? *value : std::string(defaultValue);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    std::optional<std::string> value = Find(section, key);
    if (!value || value->empty())
        return defaultValue;
    std::string_view v = *value;
    bool negative = false;
    if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    // Unsigned arithmetic wraps where a signed overflow would be undefined.
    uint32_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            break;
        n = n * 10u + static_cast<uint32_t>(c - '0');
    }
    if (negative)
        n = 0u - n;
    return static_cast<int>(n);
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    size_t s = FindSection(section);
    if (s == std::string::npos)
        return names;
    size_t end = SectionEnd(s);
    for (size_t i = s + 1; i < end; ++i) {
        if (m_lines[i].kind != Kind::Pair || FindKey(s, m_lines[i].name) != i)
            continue;
        names.push_back(m_lines[i].name);
    }
    return names;
}

bool IniFile::SetString(std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)
        || section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos || key.front() == '['
        || key.front() == ';')
        return false;

    Line pair;
    pair.kind = Kind::Pair;
    pair.value = Unquote(Trim(value));
    size_t s = FindSection(section);
    if (s == std::string::npos) {
        if (!m_lines.empty() && !Trim(m_lines.back().text).empty())
            m_lines.push_back(Line {});
        Line header;
        header.kind = Kind::Section;
        header.name = section;
        header.text = "[" + std::string(section) + "]";
        m_lines.push_back(std::move(header));
        pair.name = key;
        pair.text = std::string(key) + "=" + std::string(value);
        m_lines.push_back(std::move(pair));
        return true;
    }
    size_t k = FindKey(s, key);
    if (k != std::string::npos) {
        // The stored spelling of the key stays; only its value changes.
        pair.name = m_lines[k].name;
        pair.text = pair.name + "=" + std::string(value);
        m_lines[k] = std::move(pair);
        return true;
    }
    size_t insertAt = s + 1;
    size_t end = SectionEnd(s);
    for (size_t i = s + 1; i < end; ++i) {
        if (m_lines[i].kind == Kind::Pair)
            insertAt = i + 1;
    }
    pair.name = key;
    pair.text = std::string(key) + "=" + std::string(value);
    m_lines.insert(m_lines.begin() + static_cast<ptrdiff_t>(insertAt), std::move(pair));
    return true;
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key)
{
    size_t s = FindSection(section);
    if (s == std::string::npos)
        return false;
    size_t k = FindKey(s, key);
    if (k == std::string::npos)
        return false;
    m_lines.erase(m_lines.begin() + static_cast<ptrdiff_t>(k));
    return true;
}

bool IniFile::DeleteSection(std::string_view section)
{
    size_t s = FindSection(section);
    if (s == std::string::npos)
        return false;
    m_lines.erase(m_lines.begin() + static_cast<ptrdiff_t>(s), m_lines.begin() + static_cast<ptrdiff_t>(SectionEnd(s)));
    return true;
}

std::string IniFile::Serialize() const
{
    std::string out;
    if (m_bom)
        out += kBom;
    for (const Line& line : m_lines) {
        out += line.text;
        out += m_eol;
    }
    return out;
}

bool IniFile::Save(const std::string& path) const
{
    return ReplaceFile(path, Serialize());
}

namespace {

// Read-modify-write of a file must not interleave with another writer in
// this process, or one of the two edits is lost.
std::mutex g_writeLock;

} // namespace

std::string GetPrivateProfileString(
    std::string_view section, std::string_view key, std::string_view defaultValue, const std::string& path)
{
    IniFile file;
    file.Load(path);
    return file.GetString(section, key, defaultValue);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue, const std::string& path)
{
    IniFile file;
    file.Load(path);
    return file.GetInt(section, key, defaultValue);
}

std::vector<std::string> GetPrivateProfileKeyNames(std::string_view section, const std::string& path)
{
    IniFile file;
    file.Load(path);
    return file.KeyNames(section);
}

bool WritePrivateProfileString(std::string_view section, const char* key, const char* value, const std::string& path)
{
    std::lock_guard lock(g_writeLock);
    IniFile file;
    if (file.Load(path) == IniFile::LoadResult::Unreadable)
        return false;
    bool changed = true;
    if (key == nullptr)
        changed = file.DeleteSection(section);
    else if (value == nullptr)
        changed = file.DeleteKey(section, key);
    else if (!file.SetString(section, key, value))
        return false;
    // Removing what is not there succeeds without touching the file.
    return !changed || file.Save(path);
}

bool WritePrivateProfileStrings(const std::vector<ProfileEntry>& entries, const std::string& path)
{
    std::lock_guard lock(g_writeLock);
    IniFile file;
    if (file.Load(path) == IniFile::LoadResult::Unreadable)
        return false;
    bool ok = true;
    for (const ProfileEntry& entry : entries)
        ok &= file.SetString(entry.section, entry.key, entry.value);
    return file.Save(path) && ok;
}

} // namespace platform

#include "engine/stream/GYPReply.h"

#include "platform/TextCase.h"

#include <climits>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Reads a number the way the directory's values were always read: leading
// blanks, a sign, digits up to the first other byte. Saturates instead of
// overflowing; "" and words give 0.
int ParseNumber(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

} // namespace

GYPReply::LineRead GYPReply::TakeLine(std::string_view queued, std::string* line, size_t* consumed)
{
    const std::string_view window = queued.substr(0, kMaxLineBytes);
    const size_t lf = window.find('\n');
    if (lf == std::string_view::npos)
        return window.size() >= kMaxLineBytes ? LineRead::Overlong : LineRead::None;
    size_t end = lf;
    if (end > 0 && window[end - 1] == '\r')
        --end;
    line->assign(window.substr(0, end));
    *consumed = lf + 1;
    return LineRead::Line;
}

// header = *blank name *(blank / ":") value; the name ends at the first ":"
// or blank, trailing blanks leave the value; a line starting with ":" is no
// header.
bool GYPReply::AddLine(std::string_view line)
{
    if (++m_nLines > kMaxLines)
        return false;
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] == ':')
        return true;
    const size_t nameStart = i;
    while (i < line.size() && line[i] != ':' && !IsBlank(line[i]))
        ++i;
    std::string name(line.substr(nameStart, i - nameStart));
    while (i < line.size() && (line[i] == ':' || IsBlank(line[i])))
        ++i;
    size_t end = line.size();
    while (end > i && IsBlank(line[end - 1]))
        --end;
    m_headers.emplace_back(std::move(name), std::string(line.substr(i, end - i)));
    return true;
}

const std::string* GYPReply::Find(std::string_view name) const
{
    for (const auto& [key, value] : m_headers) {
        if (platform::EqualsNoCase(key, name))
            return &value;
    }
    return nullptr;
}

int GYPReply::FindNumber(std::string_view name) const
{
    const std::string* value = Find(name);
    return value ? ParseNumber(*value) : 0;
}

void GYPReply::Clear()
{
    m_headers.clear();
    m_nLines = 0;
}

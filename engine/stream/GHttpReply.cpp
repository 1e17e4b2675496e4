#include "engine/stream/GHttpReply.h"

#include "platform/TextCase.h"

#include <algorithm>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// status-line = "HTTP/" DIGIT "." DIGIT SP 3DIGIT [SP reason]; the code
// between 100 and 599. 0 when the line is none.
int ParseStatusLine(std::string_view line, std::string* reason)
{
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || !IsDigit(line[5]) || line[6] != '.' || !IsDigit(line[7])
        || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]))
        return 0;
    if (line.size() > 12 && line[12] != ' ')
        return 0;
    const int code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    if (code < 100 || code > 599)
        return 0;
    reason->assign(TrimBlanks(line.size() > 12 ? line.substr(13) : std::string_view()));
    return code;
}

// Digits only, at most 18 of them; -1 for anything else.
long long ParseLength(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 18)
        return -1;
    long long value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool ContainsNoCase(std::string_view text, std::string_view words)
{
    if (words.empty())
        return true;
    const auto same = [](char a, char b) { return platform::AsciiLower(a) == platform::AsciiLower(b); };
    return std::search(text.begin(), text.end(), words.begin(), words.end(), same) != text.end();
}

} // namespace

GHttpReply::Progress GHttpReply::Feed(std::string_view bytes)
{
    if (m_stage == Stage::Whole || m_stage == Stage::Broken)
        return Current();
    while (!bytes.empty() && (m_stage == Stage::StatusLine || m_stage == Stage::Headers)) {
        // Never more than one line's bound waits unparsed.
        const size_t take = std::min(bytes.size(), kMaxLineBytes - m_pending.size());
        m_pending.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        TakeLines();
    }
    if (m_stage == Stage::Whole && m_nStatus == 100) {
        m_rest = std::move(m_pending);
        m_pending.clear();
        m_rest.append(bytes.substr(0, kMaxHeadBytes - std::min(kMaxHeadBytes, m_rest.size())));
        return Current();
    }
    if (m_stage == Stage::Text)
        TakeText(bytes);
    return Current();
}

GHttpReply::Progress GHttpReply::End()
{
    if (m_stage == Stage::Text)
        m_stage = Stage::Whole;
    else if (m_stage != Stage::Whole)
        m_stage = Stage::Broken;
    return Current();
}

std::string GHttpReply::TakeRest()
{
    std::string rest = std::move(m_rest);
    m_rest.clear();
    return rest;
}

bool GHttpReply::Says(std::string_view words) const
{
    return ContainsNoCase(m_reason, words) || ContainsNoCase(m_text, words);
}

GHttpReply::Progress GHttpReply::Current() const
{
    switch (m_stage) {
    case Stage::Whole:
        return Progress::Whole;
    case Stage::Broken:
        return Progress::Broken;
    default:
        return Progress::NeedMore;
    }
}

void GHttpReply::TakeLines()
{
    while (m_stage == Stage::StatusLine || m_stage == Stage::Headers) {
        std::string line;
        size_t consumed = 0;
        const GYPReply::LineRead read = GYPReply::TakeLine(m_pending, &line, &consumed);
        if (read == GYPReply::LineRead::None)
            return;
        m_nHeadBytes += consumed;
        if (read == GYPReply::LineRead::Overlong || m_nHeadBytes > kMaxHeadBytes) {
            m_stage = Stage::Broken;
            return;
        }
        m_pending.erase(0, consumed);
        OnLine(line);
    }
    // The head ended inside these bytes: what follows it is the text.
    if (m_stage == Stage::Text) {
        const std::string rest = std::move(m_pending);
        m_pending.clear();
        TakeText(rest);
    }
}

void GHttpReply::OnLine(std::string_view line)
{
    if (m_stage == Stage::StatusLine) {
        // A blank line ahead of the status line is passed over (a server's
        // stray line end after an interim reply); the head bound holds.
        if (line.empty())
            return;
        std::string reason;
        const int code = ParseStatusLine(line, &reason);
        if (code == 0) {
            m_stage = Stage::Broken;
            return;
        }
        m_nStatus = code;
        m_reason = std::move(reason);
        m_nContentLength = -1;
        m_stage = Stage::Headers;
        return;
    }
    if (line.empty()) {
        OnHeadEnd();
        return;
    }
    if (++m_nHeaders > kMaxHeaders) {
        m_stage = Stage::Broken;
        return;
    }
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && platform::EqualsNoCase(TrimBlanks(line.substr(0, colon)), "Content-Length"))
        m_nContentLength = ParseLength(line.substr(colon + 1));
}

void GHttpReply::OnHeadEnd()
{
    // The go-ahead carries no text; the server may say nothing more until
    // the request's body ends.
    if (m_nStatus == 100 && m_expect == Expect::Continue) {
        m_stage = Stage::Whole;
        return;
    }
    if (m_nStatus < 200) {
        // An interim reply: the final one follows.
        m_nStatus = 0;
        m_reason.clear();
        m_stage = ++m_nInterim > kMaxInterimReplies ? Stage::Broken : Stage::StatusLine;
        return;
    }
    // A success carries no text to read; the stream or nothing follows it.
    if (m_nStatus < 300 || m_nContentLength == 0) {
        m_stage = Stage::Whole;
        return;
    }
    m_stage = Stage::Text;
}

void GHttpReply::TakeText(std::string_view bytes)
{
    size_t wanted = kMaxTextBytes;
    if (m_nContentLength >= 0)
        wanted = std::min<size_t>(wanted, static_cast<size_t>(m_nContentLength));
    const size_t take = std::min(bytes.size(), wanted - std::min(wanted, m_text.size()));
    m_text.append(bytes.substr(0, take));
    if (m_text.size() >= wanted)
        m_stage = Stage::Whole;
}

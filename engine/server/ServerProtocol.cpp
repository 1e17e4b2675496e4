#include "engine/server/ServerProtocol.h"

#include "foundation/GSocket.h"
#include "foundation/Paths.h"
#include "foundation/XmlText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A byte that is no hex digit counts as 0, as the decoders of old did.
int HexValue(char c)
{
    return std::max(0, platform::AsciiHexValue(c));
}

} // namespace

std::string PercentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            // Fewer than two characters after it: the "%" alone is dropped.
            if (i + 2 >= text.size())
                continue;
            c = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (c == '+') {
            c = ' ';
        }
        if (c == '\0')
            break;
        out.push_back(c);
    }
    return out;
}

std::string MaskQueryValue(std::string_view line, std::string_view key)
{
    std::string out(line);
    const size_t query = out.find('?');
    if (query == std::string::npos)
        return out;
    size_t at = query + 1;
    while (at < out.size() && !IsBlank(out[at])) {
        size_t end = at;
        while (end < out.size() && out[end] != '&' && !IsBlank(out[end]))
            ++end;
        const std::string_view pair(out.data() + at, end - at);
        if (pair.size() > key.size() && pair.compare(0, key.size(), key) == 0 && pair[key.size()] == '=') {
            // Rebuilt from its pieces: an in-place replace trips GCC's
            // overlap analysis in optimised builds.
            const size_t valueAt = at + key.size() + 1;
            out = out.substr(0, valueAt) + '*' + out.substr(end);
            end = valueAt + 1;
        }
        at = end < out.size() && out[end] == '&' ? end + 1 : end;
        if (at < out.size() && IsBlank(out[at]))
            break;
    }
    return out;
}

namespace {

// Length of the valid UTF-8 sequence at text[i] that is no control
// character, or 0.
size_t PrintableUtf8(std::string_view text, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = b(i);
    if (c >= 0x20 && c < 0x7F)
        return 1;
    size_t n = 0;
    unsigned min = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Over-long forms, surrogates, beyond Unicode, and the C1 controls.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF || (cp >= 0x80 && cp <= 0x9F))
        return 0;
    return n;
}

} // namespace

std::string EscapeLogText(std::string_view text, size_t maxBytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(std::min(text.size(), maxBytes) + 8);
    for (size_t i = 0; i < text.size();) {
        if (out.size() >= maxBytes) {
            out += "...";
            break;
        }
        const size_t n = PrintableUtf8(text, i);
        if (n > 0 && text[i] != '\\') {
            out.append(text.data() + i, n);
            i += n;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        out += "\\x";
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
        ++i;
    }
    return out;
}

bool ParseServerRequest(std::string_view line, ServerRequest* out)
{
    if (!out)
        return false;
    *out = ServerRequest {};
    size_t i = 0;
    const size_t n = line.size();
    while (i < n && IsBlank(line[i]))
        ++i;
    while (i < n && !IsBlank(line[i]))
        out->method.push_back(line[i++]);
    while (i < n && IsBlank(line[i]))
        ++i;
    while (i < n && !IsBlank(line[i]) && line[i] != '?')
        out->path.push_back(line[i++]);
    if (i < n && line[i] == '?') {
        ++i;
        std::string key;
        std::string value;
        bool inValue = false;
        auto store = [&] {
            if (!key.empty())
                out->query[key] = PercentDecode(value);
            key.clear();
            value.clear();
            inValue = false;
        };
        while (i < n && !IsBlank(line[i])) {
            const char c = line[i++];
            if (c == '&')
                store();
            else if (c == '=' && !inValue)
                inValue = true;
            else
                (inValue ? value : key).push_back(c);
        }
        store();
    }
    while (i < n && IsBlank(line[i]))
        ++i;
    while (i < n && !IsBlank(line[i]))
        out->version.push_back(line[i++]);
    return !out->method.empty();
}

bool ParseHeaderLine(std::string_view line, std::string* name, std::string* value)
{
    name->clear();
    value->clear();
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    for (; i < line.size() && line[i] != ':'; ++i) {
        if (!IsBlank(line[i]))
            name->push_back(line[i]);
    }
    if (i >= line.size())
        return false;
    ++i;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    while (i < line.size()) {
        if (line[i] == ':') {
            ++i;
            while (i < line.size() && IsBlank(line[i]))
                ++i;
            continue;
        }
        value->push_back(line[i++]);
    }
    return !name->empty() && !value->empty();
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool SecretEquals(std::string_view guess, std::string_view secret)
{
    unsigned char differ = guess.size() == secret.size() ? 0 : 1;
    for (size_t i = 0; i < guess.size(); ++i) {
        const char expected = secret.empty() ? '\0' : secret[i % secret.size()];
        differ |= static_cast<unsigned char>(guess[i] ^ expected);
    }
    return differ == 0 && !secret.empty();
}

LineStatus TakeLine(GSocket& socket, char* scratch, std::string* line)
{
    int len = kMaxServerLine;
    if (!socket.Receive(&len, scratch, GSocket::Take::Peek) || len <= 0)
        return LineStatus::Waiting;
    const void* found = std::memchr(scratch, '\n', static_cast<size_t>(len));
    if (!found)
        return len >= kMaxServerLine ? LineStatus::TooLong : LineStatus::Waiting;
    size_t end = static_cast<size_t>(static_cast<const char*>(found) - scratch);
    socket.Skip(static_cast<int>(end) + 1);
    if (end > 0 && scratch[end - 1] == '\r')
        --end;
    line->assign(scratch, end);
    return LineStatus::Line;
}

std::string StripLineBreaks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != '\0' && c != '\r' && c != '\n')
            out.push_back(c);
    }
    return out;
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    // Back off over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string BuildMetadataBlock(std::string_view title, std::string_view url)
{
    static constexpr std::string_view kHead = "StreamTitle='";
    static constexpr std::string_view kMiddle = "';StreamUrl='";
    static constexpr std::string_view kTail = "';";
    // 16 * (floor((n + 1) / 16) + 1) <= 255 * 16 holds for n <= 255 * 16 - 2.
    const size_t room = kMaxMetadataBlock - 2 - kHead.size() - kMiddle.size() - kTail.size();
    const std::string_view cutUrl = CutUtf8(url, room);
    const std::string_view cutTitle = CutUtf8(title, room - cutUrl.size());
    std::string text;
    text.reserve(kMaxMetadataBlock);
    text.append(kHead).append(cutTitle).append(kMiddle).append(cutUrl).append(kTail);
    const size_t padded = 16 * ((text.size() + 1) / 16 + 1);
    text.resize(padded, '\0');
    return text;
}

bool IsSafePagePath(std::string_view path)
{
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size()) {
            const unsigned char c = static_cast<unsigned char>(path[i]);
            if (c < 0x20 || c == 0x7F || c == '\\')
                return false;
            if (c != '/')
                continue;
        }
        if (path.substr(start, i - start) == "..")
            return false;
        start = i + 1;
    }
    return true;
}

const char* PageContentType(const std::string& path)
{
    const std::string ext = GetFileExtension(path.c_str());
    struct Kind {
        const char* ext;
        const char* type;
    };
    static constexpr Kind kKinds[] = {
        { ".html", "text/html; charset=utf-8" },
        { ".htm", "text/html; charset=utf-8" },
        { ".js", "application/javascript; charset=utf-8" },
        { ".css", "text/css; charset=utf-8" },
        { ".txt", "text/plain; charset=utf-8" },
        { ".png", "image/png" },
        { ".gif", "image/gif" },
        { ".jpg", "image/jpeg" },
        { ".jpeg", "image/jpeg" },
        { ".ico", "image/x-icon" },
        { ".svg", "image/svg+xml" },
        { ".pls", "audio/x-scpls" },
        { ".mp3", "audio/mpeg" },
    };
    for (const Kind& k : kKinds) {
        if (EqualsNoCase(ext, k.ext))
            return k.type;
    }
    return "application/octet-stream";
}

bool HasStatusLine(std::string_view page)
{
    return page.substr(0, 5) == "HTTP/" || page.substr(0, 4) == "ICY ";
}

std::string EscapeJs(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\' || c == '\'' || c == '"' || c == '<' || c == '>' || c == '&'
            || c == '`') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", u);
            out.append(buf);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string FillPageTemplate(std::string_view page, const PageValues& values, PageEscape escape)
{
    auto text = [escape](std::string_view value) {
        switch (escape) {
        case PageEscape::Html:
            return XmlEscape(value);
        case PageEscape::Js:
            return EscapeJs(value);
        default:
            return std::string(value);
        }
    };
    const std::string port = std::to_string(values.port);
    const std::string listeners = std::to_string(values.listeners);
    const std::string maxListeners = std::to_string(values.maxListeners);
    struct Slot {
        std::string_view name;
        std::string value;
    };
    const Slot slots[] = {
        { "$URL$", text(values.url) },
        { "$PORT$", port },
        { "$VERSION$", "" },
        { "$LISTNER$", listeners },
        { "$MAXLISTENER$", maxListeners },
        { "$SERVERSTATE$", values.serverState },
        { "$SERVERNAME$", text(values.serverName) },
        { "$SONGTITLE$", text(values.songTitle) },
    };
    std::string out;
    out.reserve(page.size() + 256);
    size_t i = 0;
    while (i < page.size()) {
        const size_t dollar = page.find('$', i);
        if (dollar == std::string_view::npos) {
            out.append(page.substr(i));
            break;
        }
        out.append(page.substr(i, dollar - i));
        i = dollar;
        bool replaced = false;
        for (const Slot& s : slots) {
            if (page.substr(i, s.name.size()) == s.name) {
                out.append(s.value);
                i += s.name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out.push_back(page[i++]);
    }
    return out;
}

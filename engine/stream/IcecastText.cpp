#include "engine/stream/IcecastText.h"

#include "foundation/Base64.h"
#include "platform/TextCase.h"

#include <cstdint>

namespace {

// ASCII only, never the C library's classes: under a single-byte locale
// those take bytes past 0x7F for letters or blanks, and UTF-8 text would
// then go out unescaped or lose a byte at its end.
bool IsAsciiDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool IsAsciiAlnum(unsigned char c)
{
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsUnreserved(unsigned char c)
{
    return IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

void AppendUtf8(uint32_t code, std::string* out)
{
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// "&#" digits ";" at the start of text: the character and the length of
// the reference, or 0 when it is none. At most seven digits, so the value
// cannot overflow; a surrogate, NUL or a value past U+10FFFF names no
// character.
size_t ReadReference(std::string_view text, uint32_t* code)
{
    if (text.size() < 4 || text[0] != '&' || text[1] != '#')
        return 0;
    const bool hex = text[2] == 'x' || text[2] == 'X';
    size_t i = hex ? 3 : 2;
    const size_t first = i;
    uint32_t value = 0;
    while (i < text.size() && i - first < 8) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int digit = platform::AsciiHexValue(static_cast<char>(c));
        if (hex && digit >= 0)
            value = value * 16 + static_cast<uint32_t>(digit);
        else if (!hex && IsAsciiDigit(c))
            value = value * 10 + static_cast<uint32_t>(c - '0');
        else
            break;
        ++i;
    }
    if (i == first || i - first > 7 || i >= text.size() || text[i] != ';')
        return 0;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return i + 1;
}

} // namespace

std::string PercentEncode(std::string_view text, PercentKeep keep)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c) || (keep == PercentKeep::Slashes && c == '/')) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string HeaderValue(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
    }
    return out;
}

std::string BasicAuthorization(std::string_view user, std::string_view password)
{
    std::string credentials(user);
    credentials += ':';
    credentials += password;
    return "Basic " + Base64Encode(credentials);
}

std::string NormalizeMount(std::string_view mount)
{
    while (!mount.empty() && IsAsciiSpace(static_cast<unsigned char>(mount.front())))
        mount.remove_prefix(1);
    while (!mount.empty() && IsAsciiSpace(static_cast<unsigned char>(mount.back())))
        mount.remove_suffix(1);
    if (mount.empty())
        return {};
    std::string normalized;
    if (mount.front() != '/')
        normalized += '/';
    normalized += mount;
    return normalized;
}

bool ListenUrlIsMount(std::string_view listenUrl, std::string_view mount)
{
    if (mount.empty())
        return false;
    const size_t scheme = listenUrl.find("://");
    if (scheme != std::string_view::npos) {
        const size_t path = listenUrl.find('/', scheme + 3);
        if (path == std::string_view::npos)
            return false;
        listenUrl.remove_prefix(path);
    }
    return listenUrl == mount;
}

std::string DecodeCharacterReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint32_t code = 0;
        const size_t length = text[i] == '&' ? ReadReference(text.substr(i), &code) : 0;
        if (length == 0) {
            out.push_back(text[i++]);
            continue;
        }
        AppendUtf8(code, &out);
        i += length;
    }
    return out;
}

std::string Latin1AsUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text)
        AppendUtf8(static_cast<unsigned char>(c), &out);
    return out;
}

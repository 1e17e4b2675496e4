#include "foundation/XmlText.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, char>, 5> kEntities { {
    { "&amp;", '&' },
    { "&gt;", '>' },
    { "&lt;", '<' },
    { "&quot;", '"' },
    { "&apos;", '\'' },
} };

} // namespace

std::string XmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string XmlUnescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '&') {
            out += '&';
            i += 2;
            continue;
        }
        bool matched = false;
        for (const auto& [entity, ch] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                out += ch;
                i += entity.size();
                matched = true;
                break;
            }
        }
        if (!matched)
            out += text[i++];
    }
    return out;
}

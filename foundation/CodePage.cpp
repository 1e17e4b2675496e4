#include "foundation/CodePage.h"

#include "platform/TextCodec.h"

std::optional<std::string> Utf8ToCodePage(std::string_view text, unsigned codePage)
{
    std::string out;
    if (platform::IsUtf8CodePage(codePage)) {
        out.assign(text);
        return out;
    }
    if (!platform::ConvertCodePage(text, platform::kCodePageUtf8, codePage, &out))
        return std::nullopt;
    return out;
}

std::optional<std::string> CodePageToUtf8(std::string_view text, unsigned codePage)
{
    std::string out;
    if (platform::IsUtf8CodePage(codePage)) {
        out.assign(text);
        return out;
    }
    if (!platform::ConvertCodePage(text, codePage, platform::kCodePageUtf8, &out))
        return std::nullopt;
    return out;
}

bool HasNonAsciiByte(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) & 0x80)
            return true;
    }
    return false;
}

#include "foundation/CommandLine.h"

#include "platform/Process.h"

bool IsSpaceChar(int ch)
{
    return ch == '\t' || ch == '\n' || ch == '\r' || ch == ' ';
}

int SplitArguments(const char* text, std::vector<std::string>& out)
{
    out.clear();
    if (text == nullptr)
        return 0;
    const char* p = text;
    while (*p != '\0') {
        while (IsSpaceChar(static_cast<unsigned char>(*p)))
            ++p;
        if (*p == '\0')
            break;
        const char* start = p;
        if (*p == '"') {
            start = ++p;
            while (*p != '\0' && *p != '"')
                ++p;
            if (*p == '\0') {
                out.clear();
                return -1;
            }
            out.emplace_back(start, p);
            ++p; // the closing quote
            if (*p != '\0')
                ++p; // and the character after it
            continue;
        }
        while (*p != '\0' && !IsSpaceChar(static_cast<unsigned char>(*p)))
            ++p;
        out.emplace_back(start, p);
    }
    return static_cast<int>(out.size());
}

int GetCommandLineArgs(std::vector<std::string>& out)
{
    // The kernel keeps the arguments already separated, so there is nothing
    // to split and no quoting to get wrong.
    if (!platform::ProcessArguments(&out))
        return -1;
    return static_cast<int>(out.size());
}

#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testutil {

// A file whole; "" when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Replaces the first occurrence; false when there is none.
inline bool ReplaceFirst(std::string* pText, const std::string& from, const std::string& to)
{
    const size_t at = pText->find(from);
    if (at == std::string::npos)
        return false;
    pText->replace(at, from.size(), to);
    return true;
}

} // namespace testutil

#pragma once

// Cuts a listener's bytes (after the reply header) into audio blocks and
// title blocks, as a player does with icy-metaint 8192.

#include <string>
#include <vector>

namespace testutil {

struct IcyFrames {
    std::vector<std::string> audio; // 8192 bytes each
    std::vector<std::string> titles; // one per audio block, "" when none
    size_t used = 0; // bytes consumed
};

inline IcyFrames SplitIcy(const std::string& bytes, size_t metaint = 8192)
{
    IcyFrames out;
    size_t at = 0;
    while (at + metaint + 1 <= bytes.size()) {
        const size_t length = static_cast<unsigned char>(bytes[at + metaint]) * 16u;
        if (at + metaint + 1 + length > bytes.size())
            break;
        out.audio.push_back(bytes.substr(at, metaint));
        out.titles.push_back(bytes.substr(at + metaint + 1, length));
        at += metaint + 1 + length;
    }
    out.used = at;
    return out;
}

// Bytes after the reply header, "" until the header is complete.
inline std::string AfterHeader(const std::string& bytes)
{
    const size_t end = bytes.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : bytes.substr(end + 4);
}

} // namespace testutil

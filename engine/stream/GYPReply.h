#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The header lines of one directory reply, as (name, value) pairs in the
// order received. The reply comes from the network, so lines and their
// number are bounded; past either bound the reply is broken.
// Thread: one owner (the directory client's worker).
class GYPReply {
public:
    static constexpr size_t kMaxLineBytes = 1024;
    static constexpr int kMaxLines = 64;

    enum class LineRead { Line, None, Overlong };

    // line = *(byte except LF) LF, found within the first kMaxLineBytes
    // queued bytes; a CR before the LF is dropped. *consumed is the length
    // with the LF. Overlong when that many bytes hold no LF.
    [[nodiscard]] static LineRead TakeLine(std::string_view queued, std::string* line, size_t* consumed);

    // Counts the line and parses it as a header unless it is empty. False
    // once the reply has more than kMaxLines lines.
    [[nodiscard]] bool AddLine(std::string_view line);

    // The first header of that name, compared without regard to case.
    [[nodiscard]] const std::string* Find(std::string_view name) const;
    // The header's value read as a number (leading blanks, a sign, digits,
    // saturated); 0 when it is missing or not a number.
    [[nodiscard]] int FindNumber(std::string_view name) const;

    [[nodiscard]] int HeaderCount() const { return static_cast<int>(m_headers.size()); }
    void Clear();

private:
    std::vector<std::pair<std::string, std::string>> m_headers;
    int m_nLines = 0;
};

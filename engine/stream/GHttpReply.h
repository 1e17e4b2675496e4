#pragma once

#include "engine/stream/GYPReply.h"

#include <string>
#include <string_view>

// Thread: one owner (the thread that runs the login or the title push).
// The head of one HTTP reply from a streaming server, read as its bytes
// arrive: the status line and the headers, and for a refusal the first
// bytes of its text, where servers say why they refuse. Interim replies
// are passed over, except that a request sent with "Expect: 100-continue"
// may take a "100 Continue" as its answer. The bytes come from the
// network, so a line, the head, the header count, the interim replies and
// the kept text are bounded; past any bound the reply is broken, never a
// wait for more.
class GHttpReply {
public:
    static constexpr size_t kMaxLineBytes = GYPReply::kMaxLineBytes;
    // Real servers answer a login in a few hundred bytes.
    static constexpr size_t kMaxHeadBytes = 16 * 1024;
    static constexpr int kMaxHeaders = 64;
    static constexpr int kMaxInterimReplies = 4;
    // Enough for any server's reason ("Mountpoint in use", "unknown
    // request"); the rest of a refusal's page is not read.
    static constexpr size_t kMaxTextBytes = 512;

    enum class Progress { NeedMore, Whole, Broken };

    // What answers the request. A server may answer a request sent with
    // "Expect: 100-continue" with "100 Continue" alone and send its final
    // reply only when the request's body ends, which for a source is the
    // end of the stream.
    enum class Expect {
        FinalReply, // the reply with a status of 200 or more
        Continue, // a complete "100 Continue" head, or a final reply instead
    };

    explicit GHttpReply(Expect expect = Expect::FinalReply)
        : m_expect(expect)
    {
    }

    // Takes the next bytes. Whole once the answer's head has arrived,
    // with a refusal's text up to its length, kMaxTextBytes or the peer's
    // end; bytes past that are not read. Once Whole or Broken it stays so.
    Progress Feed(std::string_view bytes);
    // No more bytes come (the peer closed, or the wait is over): Whole when
    // the answer's head had arrived, else Broken.
    Progress End();
    // The bytes fed after a go-ahead that ended the reply, at most
    // kMaxHeadBytes of them: a server may send its final answer in the same
    // segment as its go-ahead. Empty after the first call.
    [[nodiscard]] std::string TakeRest();

    // 0 until the answer's status line arrived; 100 only for a request
    // whose answer may be the go-ahead.
    [[nodiscard]] int Status() const { return m_nStatus; }
    [[nodiscard]] const std::string& Reason() const { return m_reason; }
    [[nodiscard]] const std::string& Text() const { return m_text; }
    // True when the reason or the text holds words, ASCII case ignored.
    [[nodiscard]] bool Says(std::string_view words) const;

private:
    enum class Stage { StatusLine, Headers, Text, Whole, Broken };
    void TakeLines();
    void OnLine(std::string_view line);
    void OnHeadEnd();
    void TakeText(std::string_view bytes);
    [[nodiscard]] Progress Current() const;

    Expect m_expect;
    Stage m_stage = Stage::StatusLine;
    // Bytes of an unfinished line; shorter than kMaxLineBytes between feeds.
    std::string m_pending;
    size_t m_nHeadBytes = 0;
    int m_nHeaders = 0;
    int m_nInterim = 0;
    int m_nStatus = 0;
    long long m_nContentLength = -1;
    std::string m_reason;
    std::string m_text;
    std::string m_rest;
};

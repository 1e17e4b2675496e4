#pragma once

#include "engine/stream/GHttpReply.h"

#include <string>
#include <string_view>

// Thread: the login, then the send thread, one after the other.
// What a server says on the source connection after it let the source in.
// Icecast may follow its go-ahead with its final answer: 2.4 with a 200, a
// fork that checks the password late with a 401, in the same segment as
// the go-ahead or later, before or after audio has gone out. A SHOUTcast
// server that emulates the protocol may follow "OK2" and its header lines
// with an HTTP refusal. The first such answer decides: a refusal ends the
// stream with the login's code for it; a success, or bytes that are no
// HTTP answer, end the reading. The bytes come from the network: a line,
// the lines ahead of the answer and the answer itself are bounded.
class GSourceReplyWatch {
public:
    // What comes ahead of the answer.
    enum class Lead {
        Nothing, // Icecast: the answer follows the go-ahead at once
        ShoutcastBlock, // the rest of the "OK2" line and its header lines, to an empty line
    };
    enum class Verdict {
        Pending, // read on
        Done, // nothing more is read: a success, or no answer the stream acts on
        Refused, // RefusalCode says how
    };
    // The lines a SHOUTcast server sends after "OK2" ("icy-caps:11").
    static constexpr int kMaxLeadLines = 16;

    // Nothing to watch: Done.
    GSourceReplyWatch() = default;
    explicit GSourceReplyWatch(Lead lead);

    Verdict Feed(std::string_view bytes);
    // The peer closed: a refusal whose text ended at the close decides.
    Verdict End();
    [[nodiscard]] Verdict Current() const { return m_verdict; }
    // A GShoutCastSource result code once Refused, else kOk.
    [[nodiscard]] int RefusalCode() const { return m_nRefusal; }
    // The answer read so far.
    [[nodiscard]] const GHttpReply& Reply() const { return m_reply; }

private:
    void FeedLead(std::string_view* pBytes);
    void Decide(GHttpReply::Progress progress);

    Verdict m_verdict = Verdict::Done;
    bool m_bInLead = false;
    bool m_bFirstLine = true;
    int m_nLeadLines = 0;
    // The lead line read so far; shorter than GHttpReply::kMaxLineBytes.
    std::string m_line;
    GHttpReply m_reply;
    int m_nRefusal = 0;
};

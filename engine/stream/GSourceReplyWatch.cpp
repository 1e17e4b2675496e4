#include "engine/stream/GSourceReplyWatch.h"

#include "engine/stream/GIcecastLogin.h"
#include "engine/stream/GShoutCastSource.h"

namespace {

constexpr std::string_view kStatusLineStart = "HTTP/";

} // namespace

GSourceReplyWatch::GSourceReplyWatch(Lead lead)
    : m_verdict(Verdict::Pending)
    , m_bInLead(lead == Lead::ShoutcastBlock)
    , m_nRefusal(GShoutCastSource::kOk)
{
}

GSourceReplyWatch::Verdict GSourceReplyWatch::Feed(std::string_view bytes)
{
    if (m_verdict != Verdict::Pending)
        return m_verdict;
    if (m_bInLead)
        FeedLead(&bytes);
    if (m_verdict == Verdict::Pending && !m_bInLead && !bytes.empty())
        Decide(m_reply.Feed(bytes));
    return m_verdict;
}

GSourceReplyWatch::Verdict GSourceReplyWatch::End()
{
    if (m_verdict == Verdict::Pending)
        Decide(m_bInLead ? GHttpReply::Progress::Broken : m_reply.End());
    return m_verdict;
}

// lead = rest-of-OK2-line *( header-line ) ( empty-line / status-line-start )
// Lines end in a line feed, a carriage return before it is allowed. A line
// that begins "HTTP/" is the answer itself (a server that sends no empty
// line first); what follows an empty line is the answer, or nothing.
void GSourceReplyWatch::FeedLead(std::string_view* pBytes)
{
    std::string_view& bytes = *pBytes;
    while (!bytes.empty() && m_bInLead) {
        const char c = bytes.front();
        bytes.remove_prefix(1);
        m_line += c;
        if (!m_bFirstLine && m_line == kStatusLineStart) {
            m_bInLead = false;
            Decide(m_reply.Feed(m_line));
            return;
        }
        if (c != '\n') {
            if (m_line.size() >= GHttpReply::kMaxLineBytes)
                m_verdict = Verdict::Done;
            if (m_verdict != Verdict::Pending)
                return;
            continue;
        }
        const bool empty = m_line == "\n" || m_line == "\r\n";
        if (!m_bFirstLine && empty)
            m_bInLead = false;
        else if (++m_nLeadLines > kMaxLeadLines)
            m_verdict = Verdict::Done;
        m_bFirstLine = false;
        m_line.clear();
        if (m_verdict != Verdict::Pending)
            return;
    }
}

void GSourceReplyWatch::Decide(GHttpReply::Progress progress)
{
    if (progress == GHttpReply::Progress::NeedMore)
        return;
    m_verdict = Verdict::Done;
    if (progress != GHttpReply::Progress::Whole)
        return;
    switch (GIcecastLogin::Classify(m_reply)) {
    case GIcecastLogin::Answer::Accepted:
        return;
    case GIcecastLogin::Answer::WrongPassword:
        m_nRefusal = GShoutCastSource::kPasswordRefused;
        break;
    case GIcecastLogin::Answer::MountInUse:
        m_nRefusal = GShoutCastSource::kMountInUse;
        break;
    case GIcecastLogin::Answer::UnknownMethod:
    case GIcecastLogin::Answer::Refused:
        m_nRefusal = GShoutCastSource::kRejected;
        break;
    }
    m_verdict = Verdict::Refused;
}

// Hostile answers to the Icecast 2 source login over a scripted socket: the
// first input byte sets the size of the pieces the rest arrives in. The
// login must end in one of its codes within its time bounds, and the reply
// reader, and the watch on what follows a server's acceptance, fed the same
// bytes must keep within their own bounds.
#include "engine/stream/GHttpReply.h"
#include "engine/stream/GIcecastLogin.h"
#include "engine/stream/GShoutCastSource.h"
#include "engine/stream/GSourceReplyWatch.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeHostResolver.h"
#include "tests/fakes/FakeSocketApi.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    const std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);

    GHttpReply reply;
    GHttpReply::Progress progress = GHttpReply::Progress::NeedMore;
    for (size_t at = 0; at < answer.size() && progress == GHttpReply::Progress::NeedMore; at += piece)
        progress = reply.Feed(std::string_view(answer).substr(at, piece));
    if (progress == GHttpReply::Progress::NeedMore)
        progress = reply.End();
    if (reply.Text().size() > GHttpReply::kMaxTextBytes || reply.Reason().size() > GHttpReply::kMaxLineBytes)
        std::abort();
    if (progress == GHttpReply::Progress::Whole && (reply.Status() < 200 || reply.Status() > 599))
        std::abort();
    // Where the go-ahead answers, it is the only interim reply that does.
    GHttpReply goAhead(GHttpReply::Expect::Continue);
    progress = GHttpReply::Progress::NeedMore;
    for (size_t at = 0; at < answer.size() && progress == GHttpReply::Progress::NeedMore; at += piece)
        progress = goAhead.Feed(std::string_view(answer).substr(at, piece));
    if (progress == GHttpReply::Progress::NeedMore)
        progress = goAhead.End();
    if (progress == GHttpReply::Progress::Whole && goAhead.Status() != 100
        && (goAhead.Status() < 200 || goAhead.Status() > 599))
        std::abort();

    // What follows a go-ahead or an "OK2": a refusal carries a refusal's
    // code, and nothing else does.
    for (const GSourceReplyWatch::Lead lead :
        { GSourceReplyWatch::Lead::Nothing, GSourceReplyWatch::Lead::ShoutcastBlock }) {
        GSourceReplyWatch watch(lead);
        for (size_t at = 0; at < answer.size() && watch.Current() == GSourceReplyWatch::Verdict::Pending; at += piece)
            (void)watch.Feed(std::string_view(answer).substr(at, piece));
        (void)watch.End();
        const int refusal = watch.RefusalCode();
        const bool refused = watch.Current() == GSourceReplyWatch::Verdict::Refused;
        if (watch.Current() == GSourceReplyWatch::Verdict::Pending || refused != (refusal != GShoutCastSource::kOk)
            || (refused && refusal != GShoutCastSource::kPasswordRefused && refusal != GShoutCastSource::kMountInUse
                && refusal != GShoutCastSource::kRejected)
            || watch.Reply().Text().size() > GHttpReply::kMaxTextBytes)
            std::abort();
    }

    FakeSocketApi api;
    FakeHostResolver resolver;
    FakeClock clock;
    api.quietReceives = 1; // the connect's own poll
    for (size_t at = 0; at < answer.size(); at += piece)
        api.incoming.push_back(answer.substr(at, piece));
    api.incoming.push_back(""); // then the server closes
    GSocket socket(api, resolver, clock);
    if (!socket.Create(8000))
        std::abort();
    GIcecastLogin::SParams params;
    params.host = "127.0.0.1";
    params.port = 8000;
    params.mount = "/live";
    params.user = "source";
    params.password = "pw";
    const uint64_t started = clock.NowMs();
    const int code = GIcecastLogin(clock, params).Run(socket);
    switch (code) {
    case GShoutCastSource::kOk:
    case GShoutCastSource::kPasswordRefused:
    case GShoutCastSource::kMountInUse:
    case GShoutCastSource::kRejected:
    case GShoutCastSource::kNoReply:
    case GShoutCastSource::kSendFailed:
    case GShoutCastSource::kConnectFailed: // the older request's connection ended at once
        break;
    default:
        std::abort();
    }
    // Two exchanges at most (the older request after an unknown method).
    if (clock.NowMs() - started > 2 * GShoutCastSource::kLoginReplyLimitMs + 1000)
        std::abort();
    if (api.opened > 2)
        std::abort();
    return 0;
}

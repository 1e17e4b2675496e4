// Hostile login replies and titles through the source client over a scripted
// socket: the first input byte splits the rest into the server's login reply
// and a title with its URL. The login must end in a known code, and a pushed
// title must be cut at a character boundary and encoded whole.

#include "engine/stream/GShoutCastSource.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeHostResolver.h"
#include "tests/fakes/FakeSocketApi.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t split = std::min<size_t>(data[0], rest.size());
    const std::string reply = rest.substr(0, split);
    const std::string title = rest.substr(split);

    FakeSocketApi api;
    FakeHostResolver resolver;
    FakeClock clock;
    api.quietReceives = 1; // the connect's own poll
    api.incoming.push_back(reply); // an empty reply is the peer closing
    GShoutCastSource source(api, resolver, clock);
    const int code = source.Connect("10.0.0.1", 8000, 128, "pw", "S", "U", "G", "D");
    if (code != GShoutCastSource::kOk && code != GShoutCastSource::kPasswordRefused
        && code != GShoutCastSource::kNoReply && code != GShoutCastSource::kClosedAfterPassword)
        std::abort();
    if (code != GShoutCastSource::kOk)
        return 0;

    // The first title goes out on the title worker; the fake sockets are
    // this thread's again once it is done.
    if (!source.WaitTitlesSent(10000))
        std::abort();
    api.sent.clear();
    const std::string song = title.c_str(); // the title ends at a NUL, as a C string would
    if (source.SendTitleNow(song.c_str(), "u") != GShoutCastSource::kOk)
        std::abort();
    const std::string prefix = "GET /admin.cgi?pass=pw&mode=updinfo&song=";
    if (api.sent.compare(0, prefix.size(), prefix) != 0)
        std::abort();
    // Decode the song back and compare it with what the cut should keep.
    std::string decoded;
    size_t i = prefix.size();
    while (i + 2 < api.sent.size() && api.sent[i] == '%') {
        decoded.push_back(static_cast<char>(std::strtol(api.sent.substr(i + 1, 2).c_str(), nullptr, 16)));
        i += 3;
    }
    if (api.sent.compare(i, 8, "&url=%75") != 0)
        std::abort();
    if (song.size() < GShoutCastSource::kTitleCutAt) {
        if (decoded != song)
            std::abort();
    } else {
        const size_t kept = decoded.size() - 3;
        if (kept > GShoutCastSource::kTitleKeptBytes || decoded.compare(kept, 3, "...") != 0
            || song.compare(0, kept, decoded, 0, kept) != 0 || kept + 3 < GShoutCastSource::kTitleKeptBytes
            || ((static_cast<unsigned char>(song[kept]) & 0xC0) == 0x80 && kept != GShoutCastSource::kTitleKeptBytes))
            std::abort();
    }
    return 0;
}

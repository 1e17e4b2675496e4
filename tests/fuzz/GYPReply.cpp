// Reads arbitrary bytes as a directory reply the way the directory client
// does, line by line, and checks the bounds and the shape of what it keeps.
#include "engine/stream/GYPReply.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view queued(reinterpret_cast<const char*>(data), size);
    GYPReply reply;
    std::string line;
    for (;;) {
        size_t consumed = 0;
        const GYPReply::LineRead read = GYPReply::TakeLine(queued, &line, &consumed);
        if (read != GYPReply::LineRead::Line)
            break;
        if (consumed == 0 || consumed > queued.size() || consumed > GYPReply::kMaxLineBytes || line.size() >= consumed)
            std::abort();
        queued.remove_prefix(consumed);
        if (!reply.AddLine(line))
            break;
        if (reply.HeaderCount() > GYPReply::kMaxLines)
            std::abort();
        // Lookups over whatever was kept stay within it.
        (void)reply.FindNumber("icy-tchfrq");
        (void)reply.Find("icy-id");
    }
    return 0;
}

// Arbitrary bytes as Icecast's JSON status page, read the way the status
// poll reads it: whatever the page, parsing ends, and what is kept stays
// within its bounds and its lookups within what was kept.
#include "engine/stream/GIcecastStatus.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    GIcecastStatus status;
    const bool parsed = status.Parse(page);
    if (!parsed && !status.Sources().empty())
        std::abort();
    if (status.Sources().size() > GIcecastStatus::kMaxSources)
        std::abort();
    for (const GIcecastStatus::SSource& source : status.Sources()) {
        if (source.title.size() > GIcecastStatus::kMaxTextBytes
            || source.serverName.size() > GIcecastStatus::kMaxTextBytes
            || source.listenUrl.size() > GIcecastStatus::kMaxTextBytes)
            std::abort();
        if (source.listeners < 0 || source.maxListeners < GIcecastStatus::kUnknownLimit)
            std::abort();
        for (const char c : source.title)
            if (static_cast<unsigned char>(c) < 0x20)
                std::abort();
    }
    // Looked up by what the page itself holds and by a fixed mount: a name
    // the page holds is always found.
    for (const GIcecastStatus::SSource& source : status.Sources())
        if (!status.ForStation(source.serverName))
            std::abort();
    (void)status.ForMount("/live");
    return 0;
}

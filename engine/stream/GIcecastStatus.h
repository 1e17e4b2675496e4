#pragma once

#include <string>
#include <string_view>
#include <vector>

// Thread: one owner (the status worker); a value once read.
// Icecast 2's public status page, "/status-json.xsl", read for the sources
// it lists. Icecast writes one source as an object and several as an
// array; a server without sources names none. The page comes from the
// network: it is read as a stream of JSON events by a library that neither
// throws nor recurses on the stack, so no tree of the page is ever built,
// and the page's size, the sources and the texts kept from it are bounded.
class GIcecastStatus {
public:
    // A large server's whole page (each source takes 300 to 600 bytes, so
    // a few thousand mounts), for a server that does not filter it to the
    // mount asked for.
    static constexpr size_t kMaxPageBytes = 2 * 1024 * 1024;
    // No real source takes less than 256 bytes of the page, so a page
    // within kMaxPageBytes lists no more than this; past it is no real page.
    static constexpr size_t kMaxSources = kMaxPageBytes / 256;
    // Texts are kept to this many bytes, cut at a character.
    static constexpr size_t kMaxTextBytes = 1024;
    static constexpr int kUnknownLimit = -1;

    struct SSource {
        std::string listenUrl;
        std::string serverName;
        // The title on air, character references decoded and control
        // characters blanked; empty when the server names none.
        std::string title;
        int listeners = 0;
        // The mount's listener limit where the server publishes one.
        int maxListeners = kUnknownLimit;
    };

    // False when the text is not Icecast's status (not JSON, no "icestats"
    // object, longer than kMaxPageBytes); the sources read so far are
    // dropped either way.
    [[nodiscard]] bool Parse(std::string_view json);
    [[nodiscard]] const std::vector<SSource>& Sources() const { return m_sources; }
    // The source whose listen address is on mount, or null.
    [[nodiscard]] const SSource* ForMount(std::string_view mount) const;
    // For a server reached through its SHOUTcast-compatible socket, whose
    // mount is the server's choice: the only source, or among several the
    // one named stationName (as sent, or as a server keeping Latin-1 shows
    // it); null when none is.
    [[nodiscard]] const SSource* ForStation(std::string_view stationName) const;

private:
    std::vector<SSource> m_sources;
};

#pragma once

#include <string>
#include <string_view>
#include <vector>

// Thread: one owner (the status worker); a value once read.
// Icecast 2's public status page, "/status-json.xsl", read for the sources
// it lists. Icecast writes one source as an object and several as an
// array; a server without sources names none. The page comes from the
// network: it is parsed by a JSON library that neither throws nor recurses
// on the stack, its size is the caller's download limit, and the sources,
// numbers and texts kept from it are bounded.
class GIcecastStatus {
public:
    // A server lists one source per mount; more than this is no real page.
    static constexpr size_t kMaxSources = 256;
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
    // object); the sources read so far are dropped either way.
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

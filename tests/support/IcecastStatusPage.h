#pragma once

// Icecast 2.4's "/status-json.xsl" as a large server writes it unfiltered:
// many sources of about 500 bytes each, the one a test looks for last.

#include <string>

namespace testutil {

// others sources on "/other-N" named "Station N" with no listeners, then
// lastSource (a JSON object) in the same array.
inline std::string LargeIcecastStatus(int others, const std::string& lastSource)
{
    std::string page = R"({"icestats":{"admin":"icemaster@localhost","host":"localhost","location":"Earth",)"
                       R"("server_id":"Icecast 2.4.4","server_start":"Thu, 10 Dec 2026 03:19:54 +0000","source":[)";
    for (int i = 0; i < others; ++i) {
        const std::string n = std::to_string(i);
        page += R"({"audio_info":"bitrate=128;channels=2;samplerate=44100","channels":2,"genre":"Various",)"
                R"("listener_peak":0,"listeners":0,"listenurl":"http://localhost:8000/other-)"
            + n
            + R"(","max_listeners":"unlimited","public":0,"samplerate":44100,)"
              R"("server_description":"Unspecified description","server_name":"Station )"
            + n
            + R"(","server_type":"audio/mpeg","server_url":"http://localhost/",)"
              R"("stream_start":"Thu, 10 Dec 2026 03:19:54 +0000","stream_start_iso8601":"2026-12-10T03:19:54+0000",)"
              R"("title":"Song )"
            + n + R"(","dummy":null},)";
    }
    return page + lastSource + "]}}";
}

} // namespace testutil

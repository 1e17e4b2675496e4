#pragma once

#include "engine/stream/GHttpReply.h"
#include "engine/stream/GSourceReplyWatch.h"
#include "foundation/GSocket.h"
#include "platform/Clock.h"

#include <cstdint>
#include <stop_token>
#include <string>

// Thread: the thread that runs the login (it owns the socket meanwhile).
// The source login of Icecast 2 on the server's own port: an HTTP/1.1 PUT
// of the mount with Basic credentials and the station's ice- headers, as
// Icecast's own source clients send it; a server that does not know the
// method (Icecast before 2.4) is asked again with the older SOURCE request
// on a new connection. The server's go-ahead to the PUT ("100 Continue")
// accepts the source unless a refusal follows it: Icecast 2.5 says nothing
// more while the stream runs, 2.4 sends a 200, a fork that checks the
// password late sends its 401 right behind the go-ahead.
// The answer becomes one of GShoutCastSource's result codes. Every wait
// is bounded by the source client's login limits and ends once stop is
// requested.
class GIcecastLogin {
public:
    struct SParams {
        std::string host;
        int port = 0;
        std::string mount;
        std::string user;
        std::string password;
        std::string stationName;
        std::string genre;
        std::string stationUrl;
        // Sent only when not empty.
        std::string description;
        bool isPublic = true;
        int bitrateKbps = 0;
        int sampleRate = 0;
        int channels = 0;
    };

    // The server's answer to a login or a title, as the program acts on it.
    enum class Answer {
        Accepted, // 2xx, or the go-ahead to a request that asked for it
        WrongPassword, // 401
        MountInUse, // 403 or 409 saying the mount is taken
        UnknownMethod, // 405, 501, or 400 saying the request is unknown
        Refused, // any other answer
    };

    GIcecastLogin(platform::Clock& clock, SParams params);

    // s: created for params.port, and connected, connecting or not yet
    // asked to connect. A GShoutCastSource
    // result code: kOk with s carrying the stream from now on, kPasswordRefused, kMountInUse, kConnectFailed,
    // kSendFailed (the request did not leave in time), kNoReply (no answer, a dropped connection, an answer that is no
    // HTTP reply or breaks its bounds), kRejected (a refusal of another kind) or kCreateFailed. What came with the
    // go-ahead and what one more poll finds right after it are read before going on air. At kOk, pAfter (when given)
    // gets the answer that may still follow the go-ahead, for the stream's owner to read on; without pAfter, or once
    // nothing more can follow, what the server sends from then on is read and dropped.
    [[nodiscard]] int Run(GSocket& s, std::stop_token stop = {}, GSourceReplyWatch* pAfter = nullptr);

    // The requests exactly as sent.
    [[nodiscard]] std::string PutRequest() const;
    [[nodiscard]] std::string SourceRequest() const;

    [[nodiscard]] static Answer Classify(const GHttpReply& reply);
    // Polls s every 50 ms, reading what arrives into reply, until the reply
    // is whole or broken, the peer ends (then End decides), limitMs has
    // passed since started (End decides too) or stop is requested (Broken).
    static GHttpReply::Progress AwaitReply(GSocket& s, GHttpReply& reply, platform::Clock& clock, uint64_t started,
        uint32_t limitMs, const std::stop_token& stop);

private:
    struct SExchange {
        int result;
        bool unknownMethod;
    };
    SExchange Exchange(GSocket& s, const std::string& request, GHttpReply::Expect expect, const std::stop_token& stop);
    // After the go-ahead: its rest, and what one poll finds, into m_after.
    void ReadAfterGoAhead(GSocket& s, GHttpReply& goAhead);
    // Connects a created socket, or waits for one already connecting.
    [[nodiscard]] bool Connected(GSocket& s, const std::stop_token& stop);
    [[nodiscard]] std::string StationHeaders() const;

    platform::Clock& m_clock;
    SParams m_params;
    GSourceReplyWatch m_after;
};

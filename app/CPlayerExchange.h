#pragma once

#include "app/CLocalServer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Thread: user-interface thread.
// The exchange with the maker's music player. Each side listens on a local
// socket named after its window class, "TavDJ1.x" for us and "TavAudio1.x"
// for the player, in the user's runtime folder ($XDG_RUNTIME_DIR, else our
// private temporary folder), which only this user can enter. A record is
// {kind: 32-bit little-endian, length: 32-bit little-endian, bytes}; a
// connection may carry any number of records.
//
// Received: 9898, a stream command (516 bytes or more: a NUL-terminated
// text in bytes 0 to 511, a signed 32-bit little-endian time at 512), and
// 9897, the player asking for our record 9897 again. Sent: 9897, the MD5
// of the broadcast's local address and port, so the player can tell which
// broadcast it talks to. A player that does not take our record within a
// second is left alone, so a hung player never holds the window up.
class CPlayerExchange {
public:
    static constexpr uint32_t kAddressRecord = 9897;
    static constexpr uint32_t kStreamCommandRecord = 9898;
    static constexpr size_t kAddressRecordBytes = 512;
    static constexpr size_t kStreamCommandRecordBytes = 516;
    static constexpr size_t kMaxStreamCommandText = 511;
    static constexpr int kSendTimeoutMs = 1000;
    static constexpr size_t kHeaderBytes = 8;
    // The player's records are a few hundred bytes; a longer one is a peer
    // we do not understand, and its connection is dropped.
    static constexpr uint32_t kMaxRecordBytes = 64 * 1024;
    // A connection that holds half a record this long is dropped, and at
    // most this many connections are served at once.
    static constexpr int kPeerTimeoutMs = 5000;
    static constexpr size_t kMaxPeers = 8;
    static constexpr const char* kProgramEndpoint = "TavDJ1.x";
    static constexpr const char* kPlayerEndpoint = "TavAudio1.x";

    struct SStreamCommand {
        std::string text;
        int32_t time = 0;
    };
    using StreamCommandHandler = std::function<void(const SStreamCommand&)>;
    using AddressRequestHandler = std::function<void()>;

    // folder: where both endpoints live, with or without its trailing '/';
    // empty means the user's runtime folder.
    explicit CPlayerExchange(std::string folder = {});
    ~CPlayerExchange();
    CPlayerExchange(const CPlayerExchange&) = delete;
    CPlayerExchange& operator=(const CPlayerExchange&) = delete;

    // The handlers run on this thread as records arrive.
    void SetStreamCommandHandler(StreamCommandHandler handler) { m_onStreamCommand = std::move(handler); }
    void SetAddressRequestHandler(AddressRequestHandler handler) { m_onAddressRequest = std::move(handler); }

    // Opens our endpoint. An endpoint left by a program that is gone is
    // replaced; one that answers belongs to a running program and is kept
    // (false).
    [[nodiscard]] bool Listen();
    void Close();
    [[nodiscard]] bool IsListening() const { return m_server.IsListening(); }

    // Sends record 9897 for the broadcast's local address and port. False
    // when no player endpoint exists; otherwise the record is on its way
    // and given up after kSendTimeoutMs. address is traced only.
    bool NotifyPlayerAddress(const std::string& address, const std::string& localAddress, int port);
    // Sends one record to the player's endpoint, as above.
    bool SendRecord(uint32_t kind, std::string_view bytes);
    // Sends still in flight.
    [[nodiscard]] int PendingSends() const { return static_cast<int>(m_sends.size()); }

    [[nodiscard]] QString ProgramEndpointPath() const;
    [[nodiscard]] QString PlayerEndpointPath() const;

    // Record 9897's bytes: the 32 lower-case hexadecimal digits of the MD5
    // of localAddress followed by port in decimal, zero-filled to 512.
    [[nodiscard]] static std::string BuildAddressRecord(std::string_view localAddress, int port);
    // Record 9898's content; nothing for a record shorter than 516 bytes.
    [[nodiscard]] static std::optional<SStreamCommand> ParseStreamCommand(std::string_view bytes);
    // Header and bytes of a record as they travel.
    [[nodiscard]] static std::string EncodeRecord(uint32_t kind, std::string_view bytes);

private:
    struct SSend;

    // Takes every whole record out of pending and handles it.
    CLocalServer::Verdict OnRecords(std::string& pending);
    void HandleRecord(uint32_t kind, std::string_view bytes);
    // Writes what the send's buffer still holds; ends the send once all is
    // out or the player is gone.
    void ContinueSend(uint64_t id);

    std::string m_strFolder;
    CLocalServer m_server;
    std::map<uint64_t, std::unique_ptr<SSend>> m_sends;
    uint64_t m_nNextSend = 0;
    StreamCommandHandler m_onStreamCommand;
    AddressRequestHandler m_onAddressRequest;
};

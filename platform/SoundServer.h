#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// What a desktop's sound server offers to record from.
enum class ServerInputKind {
    Microphone, // any input that is not a line-in and not a monitor
    LineIn, // an input whose active port is a line input
    Monitor, // what an output plays
};

struct ServerInput {
    std::string name; // the server's own name, which a recording asks for
    std::string description; // what a person reads
    ServerInputKind kind = ServerInputKind::Microphone;

    bool operator==(const ServerInput&) const = default;
};

// A snapshot of the server's inputs, in the server's own order.
struct ServerLines {
    std::string product; // "PulseAudio" or "PipeWire"
    std::string defaultMonitor; // the monitor of the default output; empty without one
    std::string defaultInput; // the default input's name; empty without one
    std::vector<ServerInput> inputs;
    // Counts the snapshots whose inputs or defaults differ from the one
    // before, so a reader sees that its copy is stale without comparing it.
    uint64_t generation = 0;
};

// Called with each stretch of recorded 16-bit interleaved frames; null
// samples stand for silence (a gap the server reported). Runs on the
// server's own thread and must not call back into the SoundServer.
using ServerPcmCallback = std::function<void(const int16_t* pSamples, int frames)>;

// Thread: any. One recording of one server input; ending it stops it.
// It outlives the server: when the server goes away and comes back, the
// recording opens again by itself and delivers sound again.
class ServerRecording {
public:
    virtual ~ServerRecording() = default;
};

// Thread: any; nothing here waits on the server. Every answer comes from
// what the server last told, and requests go out on the server's thread.
// A connection to the desktop's sound server for the program's own use:
// it lists the inputs and records them, and changes nothing of the
// desktop (no volume, mute, default device or route, no module loaded).
class SoundServer {
public:
    virtual ~SoundServer() = default;

    // False while the server is away; *pLines keeps the last snapshot.
    [[nodiscard]] virtual bool Lines(ServerLines* pLines) = 0;
    [[nodiscard]] virtual bool IsConnected() = 0;
    // The generation of the latest snapshot (ServerLines::generation), to
    // see a change without copying the lines.
    [[nodiscard]] virtual uint64_t Generation() = 0;
    // Starts recording `input` at exactly this rate and channel count (the
    // server converts); never null.
    [[nodiscard]] virtual std::unique_ptr<ServerRecording> Record(
        const std::string& input, int rate, int channels, ServerPcmCallback callback)
        = 0;

    // The desktop's server (PulseAudio, or PipeWire through its PulseAudio
    // protocol) when one answers within `wait`; null otherwise. It never
    // starts a server of its own.
    [[nodiscard]] static std::unique_ptr<SoundServer> Connect(std::chrono::milliseconds wait);
};

} // namespace platform

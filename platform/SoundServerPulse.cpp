// The only file that includes libpulse: the desktop's sound server over its
// own client protocol, which PulseAudio serves and PipeWire serves through
// pipewire-pulse.
#include "platform/SoundServer.h"

#include "platform/TextCase.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

namespace platform {

namespace {

// A server that went away is asked again this often: soon enough that
// sound is back within a second of a restart, rarely enough to cost
// nothing while it stays away.
constexpr pa_usec_t kRetryUsec = 500 * PA_USEC_PER_MSEC;
// What the server hands over at a time: small, for the station's latency;
// the capture's cushion covers fragments of this size arriving late.
constexpr int kFragmentMs = 20;
// Server-supplied texts and lists are bounded: a server is outside input.
constexpr size_t kMaxInputs = 64;
constexpr size_t kMaxText = 256;

std::string Bounded(const char* text)
{
    std::string out = text ? text : "";
    if (out.size() > kMaxText)
        out.resize(kMaxText);
    return out;
}

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
        [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
    return it != text.end();
}

class PulseServer;

// Thread: made and ended on any thread; its stream lives on the server's.
class PulseRecording final : public ServerRecording {
public:
    PulseRecording(PulseServer& server, std::string input, int rate, int channels, ServerPcmCallback callback)
        : m_server(server)
        , m_input(std::move(input))
        , m_callback(std::move(callback))
    {
        m_spec.format = PA_SAMPLE_S16LE;
        m_spec.rate = uint32_t(rate);
        m_spec.channels = uint8_t(channels);
    }
    ~PulseRecording() override;

    PulseServer& m_server;
    const std::string m_input;
    const ServerPcmCallback m_callback;
    pa_sample_spec m_spec {};
    // Below: the server's thread, under its lock.
    pa_stream* m_pStream = nullptr;
    bool m_bDead = false; // the stream failed; it is let go at the next sweep
};

// Thread: the public calls from any thread; everything named ...Locked runs
// with the threaded main loop's lock held (on its thread, or taken by a
// caller), as libpulse requires.
class PulseServer final : public SoundServer {
public:
    PulseServer() = default;
    ~PulseServer() override;
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    [[nodiscard]] bool Start();
    // True once the server answered with its lines; false when it refused
    // or did not answer within `wait`.
    [[nodiscard]] bool WaitFirstAnswer(std::chrono::milliseconds wait);

    bool Lines(ServerLines* pLines) override
    {
        std::lock_guard lock(m_linesLock);
        *pLines = m_lines;
        return m_bConnected.load();
    }
    bool IsConnected() override { return m_bConnected.load(); }
    uint64_t Generation() override { return m_nGeneration.load(); }
    std::unique_ptr<ServerRecording> Record(
        const std::string& input, int rate, int channels, ServerPcmCallback callback) override;

    void Remove(PulseRecording* pRecording);

private:
    enum class Answer { Pending, Ready, Refused };

    void ConnectLocked();
    void DropContextLocked();
    void ScheduleRetryLocked();
    void RefreshLocked();
    void PublishLocked();
    void SweepLocked();
    void OpenLocked(PulseRecording* pRecording);
    void CloseLocked(PulseRecording* pRecording);
    void SetAnswer(Answer answer);

    static void OnContextState(pa_context* pContext, void* pUser);
    static void OnEvent(pa_context* pContext, pa_subscription_event_type_t type, uint32_t index, void* pUser);
    static void OnServerInfo(pa_context* pContext, const pa_server_info* pInfo, void* pUser);
    static void OnSinkInfo(pa_context* pContext, const pa_sink_info* pInfo, int eol, void* pUser);
    static void OnSourceInfo(pa_context* pContext, const pa_source_info* pInfo, int eol, void* pUser);
    static void OnRetry(pa_mainloop_api* pApi, pa_time_event* pEvent, const struct timeval* pTime, void* pUser);
    static void OnStreamState(pa_stream* pStream, void* pUser);
    static void OnRead(pa_stream* pStream, size_t bytes, void* pUser);

    pa_threaded_mainloop* m_pLoop = nullptr;
    // Below: under the main loop's lock.
    pa_context* m_pContext = nullptr;
    pa_time_event* m_pRetry = nullptr;
    std::vector<PulseRecording*> m_recordings;
    int m_nPending = 0; // list requests of the refresh under way
    bool m_bRefreshAgain = false;
    ServerLines m_building;
    std::string m_strDefaultSink;
    std::map<std::string, std::string> m_sinkMonitors; // sink name → its monitor

    std::atomic<bool> m_bConnected { false };
    std::atomic<uint64_t> m_nGeneration { 0 };
    std::mutex m_linesLock; // guards: m_lines, m_answer
    ServerLines m_lines;
    Answer m_answer = Answer::Pending;
    std::condition_variable m_answered;
};

PulseRecording::~PulseRecording()
{
    m_server.Remove(this);
}

PulseServer::~PulseServer()
{
    if (!m_pLoop)
        return;
    pa_threaded_mainloop_lock(m_pLoop);
    // Recordings end before their server; any still here lose their stream.
    for (PulseRecording* pRecording : m_recordings)
        CloseLocked(pRecording);
    m_recordings.clear();
    if (m_pRetry) {
        pa_threaded_mainloop_get_api(m_pLoop)->time_free(m_pRetry);
        m_pRetry = nullptr;
    }
    DropContextLocked();
    pa_threaded_mainloop_unlock(m_pLoop);
    pa_threaded_mainloop_stop(m_pLoop);
    pa_threaded_mainloop_free(m_pLoop);
}

bool PulseServer::Start()
{
    m_pLoop = pa_threaded_mainloop_new();
    if (!m_pLoop)
        return false;
    pa_threaded_mainloop_set_name(m_pLoop, "sound server");
    if (pa_threaded_mainloop_start(m_pLoop) < 0) {
        pa_threaded_mainloop_free(m_pLoop);
        m_pLoop = nullptr;
        return false;
    }
    pa_threaded_mainloop_lock(m_pLoop);
    ConnectLocked();
    pa_threaded_mainloop_unlock(m_pLoop);
    return true;
}

bool PulseServer::WaitFirstAnswer(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_linesLock);
    m_answered.wait_for(lock, wait, [this] { return m_answer != Answer::Pending; });
    return m_answer == Answer::Ready;
}

void PulseServer::SetAnswer(Answer answer)
{
    {
        std::lock_guard lock(m_linesLock);
        if (m_answer != Answer::Pending)
            return;
        m_answer = answer;
    }
    m_answered.notify_all();
}

void PulseServer::ConnectLocked()
{
    pa_proplist* pProps = pa_proplist_new();
    pa_proplist_sets(pProps, PA_PROP_APPLICATION_NAME, "TavDJ");
    pa_proplist_sets(pProps, PA_PROP_APPLICATION_ID, "tavdj");
    m_pContext = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_pLoop), "TavDJ", pProps);
    pa_proplist_free(pProps);
    if (!m_pContext) {
        SetAnswer(Answer::Refused);
        ScheduleRetryLocked();
        return;
    }
    pa_context_set_state_callback(m_pContext, OnContextState, this);
    pa_context_set_subscribe_callback(m_pContext, OnEvent, this);
    // Never start a server: the desktop has one or it has none.
    if (pa_context_connect(m_pContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        SetAnswer(Answer::Refused);
        DropContextLocked();
        ScheduleRetryLocked();
    }
}

void PulseServer::DropContextLocked()
{
    if (!m_pContext)
        return;
    for (PulseRecording* pRecording : m_recordings)
        CloseLocked(pRecording);
    pa_context_set_state_callback(m_pContext, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_pContext, nullptr, nullptr);
    pa_context_disconnect(m_pContext);
    pa_context_unref(m_pContext);
    m_pContext = nullptr;
    m_nPending = 0;
    m_bRefreshAgain = false;
}

void PulseServer::ScheduleRetryLocked()
{
    if (m_pRetry)
        return;
    struct timeval when { };
    pa_timeval_add(pa_gettimeofday(&when), kRetryUsec);
    m_pRetry
        = pa_threaded_mainloop_get_api(m_pLoop)->time_new(pa_threaded_mainloop_get_api(m_pLoop), &when, OnRetry, this);
}

void PulseServer::OnRetry(pa_mainloop_api* pApi, pa_time_event* pEvent, const struct timeval*, void* pUser)
{
    auto* self = static_cast<PulseServer*>(pUser);
    pApi->time_free(pEvent);
    self->m_pRetry = nullptr;
    // The failed context is let go here rather than in its own callback.
    self->DropContextLocked();
    self->ConnectLocked();
}

void PulseServer::OnContextState(pa_context* pContext, void* pUser)
{
    auto* self = static_cast<PulseServer*>(pUser);
    switch (pa_context_get_state(pContext)) {
    case PA_CONTEXT_READY: {
        constexpr auto kMask = pa_subscription_mask_t(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* pOp = pa_context_subscribe(pContext, kMask, nullptr, nullptr))
            pa_operation_unref(pOp);
        self->RefreshLocked();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        self->m_bConnected = false;
        self->SetAnswer(Answer::Refused);
        for (PulseRecording* pRecording : self->m_recordings)
            pRecording->m_bDead = pRecording->m_pStream != nullptr;
        self->ScheduleRetryLocked();
        break;
    default:
        break;
    }
}

void PulseServer::OnEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* pUser)
{
    static_cast<PulseServer*>(pUser)->RefreshLocked();
}

// A refresh asks for the server's defaults, then its outputs and inputs;
// events that come while it runs ask for one more after it.
void PulseServer::RefreshLocked()
{
    if (!m_pContext || pa_context_get_state(m_pContext) != PA_CONTEXT_READY)
        return;
    if (m_nPending > 0) {
        m_bRefreshAgain = true;
        return;
    }
    pa_operation* pOp = pa_context_get_server_info(m_pContext, OnServerInfo, this);
    if (!pOp)
        return;
    pa_operation_unref(pOp);
    m_nPending = 1;
    m_building = {};
    m_sinkMonitors.clear();
}

void PulseServer::OnServerInfo(pa_context* pContext, const pa_server_info* pInfo, void* pUser)
{
    auto* self = static_cast<PulseServer*>(pUser);
    self->m_nPending = 0;
    if (!pInfo)
        return;
    const std::string name = Bounded(pInfo->server_name);
    self->m_building.product = ContainsNoCase(name, "PipeWire") ? "PipeWire" : "PulseAudio";
    self->m_strDefaultSink = Bounded(pInfo->default_sink_name);
    self->m_building.defaultInput = Bounded(pInfo->default_source_name);
    for (pa_operation* pOp : { pa_context_get_sink_info_list(pContext, OnSinkInfo, self),
             pa_context_get_source_info_list(pContext, OnSourceInfo, self) }) {
        if (pOp) {
            pa_operation_unref(pOp);
            ++self->m_nPending;
        }
    }
}

void PulseServer::OnSinkInfo(pa_context*, const pa_sink_info* pInfo, int eol, void* pUser)
{
    auto* self = static_cast<PulseServer*>(pUser);
    if (eol == 0 && pInfo) {
        if (self->m_sinkMonitors.size() < kMaxInputs)
            self->m_sinkMonitors[Bounded(pInfo->name)] = Bounded(pInfo->monitor_source_name);
        return;
    }
    if (--self->m_nPending == 0)
        self->PublishLocked();
}

void PulseServer::OnSourceInfo(pa_context*, const pa_source_info* pInfo, int eol, void* pUser)
{
    auto* self = static_cast<PulseServer*>(pUser);
    if (eol == 0 && pInfo) {
        if (self->m_building.inputs.size() >= kMaxInputs)
            return;
        ServerInput input;
        input.name = Bounded(pInfo->name);
        input.description = Bounded(pInfo->description ? pInfo->description : pInfo->name);
        if (pInfo->monitor_of_sink != PA_INVALID_INDEX)
            input.kind = ServerInputKind::Monitor;
        else if (pInfo->active_port && pInfo->active_port->name && ContainsNoCase(pInfo->active_port->name, "line"))
            input.kind = ServerInputKind::LineIn;
        self->m_building.inputs.push_back(std::move(input));
        return;
    }
    if (--self->m_nPending == 0)
        self->PublishLocked();
}

void PulseServer::PublishLocked()
{
    auto it = m_sinkMonitors.find(m_strDefaultSink);
    m_building.defaultMonitor = it == m_sinkMonitors.end() ? std::string() : it->second;
    {
        std::lock_guard lock(m_linesLock);
        const bool same = m_lines.product == m_building.product && m_lines.defaultMonitor == m_building.defaultMonitor
            && m_lines.defaultInput == m_building.defaultInput && m_lines.inputs == m_building.inputs;
        m_building.generation = same ? m_lines.generation : m_lines.generation + 1;
        m_lines = m_building;
        m_nGeneration = m_lines.generation;
    }
    m_bConnected = true;
    SetAnswer(Answer::Ready);
    SweepLocked();
    if (std::exchange(m_bRefreshAgain, false))
        RefreshLocked();
}

// Recordings whose stream failed let it go; every recording without a
// stream whose input the server has gets one.
void PulseServer::SweepLocked()
{
    for (PulseRecording* pRecording : m_recordings) {
        if (pRecording->m_bDead)
            CloseLocked(pRecording);
        if (!pRecording->m_pStream)
            OpenLocked(pRecording);
    }
}

void PulseServer::OpenLocked(PulseRecording* pRecording)
{
    if (!m_pContext || pa_context_get_state(m_pContext) != PA_CONTEXT_READY)
        return;
    {
        std::lock_guard lock(m_linesLock);
        const auto& inputs = m_lines.inputs;
        if (std::none_of(inputs.begin(), inputs.end(),
                [&](const ServerInput& input) { return input.name == pRecording->m_input; }))
            return;
    }
    pa_channel_map map;
    pa_channel_map_init_auto(&map, pRecording->m_spec.channels, PA_CHANNEL_MAP_DEFAULT);
    pa_stream* pStream = pa_stream_new(m_pContext, "TavDJ capture", &pRecording->m_spec, &map);
    if (!pStream)
        return;
    pa_stream_set_state_callback(pStream, OnStreamState, pRecording);
    pa_stream_set_read_callback(pStream, OnRead, pRecording);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(kFragmentMs * PA_USEC_PER_MSEC, &pRecording->m_spec));
    // The line stays the one chosen: when it goes, the stream ends rather
    // than follow the server to another input.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(pStream, pRecording->m_input.c_str(), &attr, flags) < 0) {
        pa_stream_set_state_callback(pStream, nullptr, nullptr);
        pa_stream_set_read_callback(pStream, nullptr, nullptr);
        pa_stream_unref(pStream);
        return;
    }
    pRecording->m_pStream = pStream;
    pRecording->m_bDead = false;
}

void PulseServer::CloseLocked(PulseRecording* pRecording)
{
    pa_stream* pStream = std::exchange(pRecording->m_pStream, nullptr);
    pRecording->m_bDead = false;
    if (!pStream)
        return;
    pa_stream_set_state_callback(pStream, nullptr, nullptr);
    pa_stream_set_read_callback(pStream, nullptr, nullptr);
    if (pa_stream_get_state(pStream) == PA_STREAM_READY || pa_stream_get_state(pStream) == PA_STREAM_CREATING)
        (void)pa_stream_disconnect(pStream);
    pa_stream_unref(pStream);
}

void PulseServer::OnStreamState(pa_stream* pStream, void* pUser)
{
    auto* pRecording = static_cast<PulseRecording*>(pUser);
    const pa_stream_state_t state = pa_stream_get_state(pStream);
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED)
        return;
    // Let go of it outside its own callback: the next refresh does, and
    // opens it again when its input is (still, or again) there.
    pRecording->m_bDead = true;
    pRecording->m_server.RefreshLocked();
}

void PulseServer::OnRead(pa_stream* pStream, size_t, void* pUser)
{
    auto* pRecording = static_cast<PulseRecording*>(pUser);
    const size_t frameBytes = pa_frame_size(&pRecording->m_spec);
    for (;;) {
        const void* pData = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(pStream, &pData, &bytes) < 0 || bytes == 0)
            return;
        // A hole (no data, a length) is silence of that length.
        pRecording->m_callback(static_cast<const int16_t*>(pData), int(bytes / frameBytes));
        (void)pa_stream_drop(pStream);
    }
}

std::unique_ptr<ServerRecording> PulseServer::Record(
    const std::string& input, int rate, int channels, ServerPcmCallback callback)
{
    auto pRecording = std::make_unique<PulseRecording>(*this, input, rate, channels, std::move(callback));
    pa_threaded_mainloop_lock(m_pLoop);
    m_recordings.push_back(pRecording.get());
    OpenLocked(pRecording.get());
    pa_threaded_mainloop_unlock(m_pLoop);
    return pRecording;
}

void PulseServer::Remove(PulseRecording* pRecording)
{
    pa_threaded_mainloop_lock(m_pLoop);
    CloseLocked(pRecording);
    m_recordings.erase(std::remove(m_recordings.begin(), m_recordings.end(), pRecording), m_recordings.end());
    pa_threaded_mainloop_unlock(m_pLoop);
}

} // namespace

std::unique_ptr<SoundServer> SoundServer::Connect(std::chrono::milliseconds wait)
{
    auto pServer = std::make_unique<PulseServer>();
    if (!pServer->Start() || !pServer->WaitFirstAnswer(wait))
        return nullptr;
    return pServer;
}

} // namespace platform

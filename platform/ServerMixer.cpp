#include "platform/ServerMixer.h"

#include "platform/InputMix.h"

#include <algorithm>

namespace platform {

using namespace mixer;

namespace {

constexpr int32_t kPlaybackMax = 65536;
constexpr int32_t kRecordingMax = 65535;
// Where each fader passes the sound as it is: the controller's `Normal`
// and `Mic` (32768) and the recording `Volume` (32767) sit there, so a new
// presenter's station carries the music and the microphone at the level
// the computer has them.
constexpr int32_t kPlaybackUnity = 32768;
constexpr int32_t kRecordingUnity = 32767;

constexpr uint32_t kSpeakersId = 1u << 8;
constexpr uint32_t kRecordingId = 2u << 8;
// Control ids: the three playback faders by role, the recording list, then
// one fader per recording line (all of them the one recording gain).
constexpr uint32_t kMuxControl = 15;
constexpr uint32_t kFirstRecordingFader = 16;
// The mixer's list controls and line ids hold this many recording lines.
constexpr size_t kMaxRecordingLines = 64;

// Two inputs of the same description (two identical USB microphones) are
// still two lines to choose, and the list selects by name.
std::string UniqueName(const std::vector<std::string>& taken, const std::string& name)
{
    std::string candidate = name.empty() ? std::string("?") : name;
    for (int n = 2; std::find(taken.begin(), taken.end(), candidate) != taken.end(); ++n)
        candidate = name + " (" + std::to_string(n) + ")";
    return candidate;
}

} // namespace

ServerMixer::ServerMixer(SoundServer& server)
    : m_playback { kPlaybackUnity, kPlaybackUnity, 0 }
    , m_nRecording(kRecordingUnity)
    , m_server(server)
{
}

ServerMixer::Model ServerMixer::BuildModel(const ServerLines& lines)
{
    Model model;
    model.recordingNames.push_back(kStereoMixName);
    model.recordingInputs.emplace_back();
    model.recordingKinds.push_back(ServerInputKind::Monitor);
    // The inputs first, then what each output plays.
    for (bool monitors : { false, true }) {
        for (const ServerInput& input : lines.inputs) {
            if ((input.kind == ServerInputKind::Monitor) != monitors
                || model.recordingNames.size() >= kMaxRecordingLines)
                continue;
            model.recordingNames.push_back(UniqueName(model.recordingNames, input.description));
            model.recordingInputs.push_back(input.name);
            model.recordingKinds.push_back(input.kind);
        }
    }
    if (std::any_of(lines.inputs.begin(), lines.inputs.end(),
            [&](const ServerInput& input) { return input.name == lines.defaultMonitor; }))
        model.music = lines.defaultMonitor;
    for (const ServerInput& input : lines.inputs) {
        if (input.kind == ServerInputKind::LineIn && model.lineIn.empty())
            model.lineIn = input.name;
        // The default input when it is a microphone, else the first one.
        if (input.kind == ServerInputKind::Microphone && (model.microphone.empty() || input.name == lines.defaultInput))
            model.microphone = input.name;
    }
    return model;
}

std::vector<ServerMixer::Input> ServerMixer::Plan(const ServerLines& lines)
{
    std::string chosen;
    {
        std::lock_guard lock(m_lock);
        chosen = m_strChosen;
    }
    if (!chosen.empty()) {
        for (const ServerInput& input : lines.inputs) {
            if (input.name == chosen)
                return { { chosen, Role::Alone } };
        }
    }
    const Model model = BuildModel(lines);
    std::vector<Input> plan;
    if (!model.music.empty())
        plan.push_back({ model.music, Role::Music });
    if (!model.lineIn.empty())
        plan.push_back({ model.lineIn, Role::LineIn });
    if (!model.microphone.empty())
        plan.push_back({ model.microphone, Role::Microphone });
    return plan;
}

int32_t ServerMixer::Gain(Role role) const
{
    const int64_t recording = m_nRecording.load();
    const int64_t line = role == Role::Alone ? kPlaybackUnity : m_playback[int(role)].load();
    // Raw fader values are Q15 gains already: 32768 is unity.
    return int32_t(std::min<int64_t>(line * recording / kPlaybackUnity, InputMix::kMaxGain));
}

// Thread: any, one call at a time (MixerDevice's contract).
// One opening of the server's mixer: the lines are those the server had
// then; the values are the ServerMixer's, shared by every opening.
class ServerMixerDevice final : public MixerDevice {
public:
    explicit ServerMixerDevice(ServerMixer& owner)
        : m_owner(owner)
    {
        Refresh();
    }

    std::string ProductName() override
    {
        Refresh();
        return m_product;
    }
    // Where a reader of the mixer starts: the lines become the server's
    // latest here, so a model built anew sees inputs plugged in since.
    int DestinationCount() override
    {
        Refresh();
        return 2;
    }

    bool GetDestination(int destination, MixerLineInfo* pLine) override
    {
        if (destination == 0)
            *pLine = { kSpeakersId, kDstSpeakers, 2, int(m_playbackRoles.size()), "Playback" };
        else if (destination == 1)
            *pLine = { kRecordingId, kDstWaveIn, 2, int(m_model.recordingNames.size()), "Capture" };
        else
            return false;
        return true;
    }

    bool GetSource(int destination, int source, MixerLineInfo* pLine) override
    {
        constexpr uint32_t kTypes[3] = { kSrcWaveOut, kSrcLine, kSrcMicrophone };
        if (destination == 0 && source >= 0 && source < int(m_playbackRoles.size())) {
            const int role = m_playbackRoles[size_t(source)];
            *pLine = { kSpeakersId | uint32_t(source + 1), kTypes[role], 2, 0, PlaybackName(role) };
            return true;
        }
        if (destination == 1 && source >= 0 && source < int(m_model.recordingNames.size())) {
            *pLine = { kRecordingId | uint32_t(source + 1), RecordingType(size_t(source)), 2, 0,
                m_model.recordingNames[size_t(source)] };
            return true;
        }
        return false;
    }

    bool GetLineControls(uint32_t lineId, std::vector<MixerControlInfo>* pControls) override
    {
        pControls->clear();
        const int source = int(lineId & 0xFF) - 1;
        if ((lineId & ~0xFFu) == kSpeakersId) {
            if (source < 0)
                return true; // no master volume: the desktop's own stays the desktop's
            if (source >= int(m_playbackRoles.size()))
                return false;
            const int role = m_playbackRoles[size_t(source)];
            pControls->push_back({ uint32_t(role + 1), kCtlVolume, true, 0, 0, kPlaybackMax, int(kPlaybackMax),
                PlaybackName(role) + " Volume" });
            return true;
        }
        if ((lineId & ~0xFFu) == kRecordingId) {
            const int lines = int(m_model.recordingNames.size());
            if (source < 0) {
                pControls->push_back({ kMuxControl, kCtlMux, true, lines, 0, lines - 1, lines, "Capture Source" });
                return true;
            }
            if (source >= lines)
                return false;
            pControls->push_back({ kFirstRecordingFader + uint32_t(source), kCtlVolume, true, 0, 0, kRecordingMax,
                int(kRecordingMax), m_model.recordingNames[size_t(source)] + " Volume" });
            return true;
        }
        return false;
    }

    bool GetValues(uint32_t controlId, int channels, int items, std::vector<int32_t>* pValues) override
    {
        if (controlId == kMuxControl) {
            if (channels != 1 || items != int(m_model.recordingNames.size()))
                return false;
            pValues->assign(size_t(items), 0);
            (*pValues)[ChosenIndex()] = 1;
            return true;
        }
        std::atomic<int32_t>* pFader = Fader(controlId);
        if (!pFader || channels < 1 || channels > 2 || items > 1)
            return false;
        pValues->assign(size_t(channels), pFader->load());
        return true;
    }

    bool SetValues(uint32_t controlId, int channels, int items, const std::vector<int32_t>& values) override
    {
        if (controlId == kMuxControl) {
            if (channels != 1 || items != int(m_model.recordingNames.size()) || values.size() < size_t(items))
                return false;
            auto it = std::find_if(values.begin(), values.begin() + items, [](int32_t v) { return v != 0; });
            if (it == values.begin() + items)
                return false;
            Choose(m_model.recordingInputs[size_t(it - values.begin())]);
            return true;
        }
        std::atomic<int32_t>* pFader = Fader(controlId);
        if (!pFader || channels < 1 || channels > 2 || items > 1 || values.size() < size_t(channels))
            return false;
        const int32_t maximum = controlId >= kFirstRecordingFader ? kRecordingMax : kPlaybackMax;
        // One gain for the whole line: the louder side, as a fade asks.
        pFader->store(std::clamp(*std::max_element(values.begin(), values.begin() + channels), 0, maximum));
        return true;
    }

    bool GetItemNames(uint32_t controlId, std::vector<std::string>* pNames) override
    {
        if (controlId != kMuxControl)
            return false;
        *pNames = m_model.recordingNames;
        return true;
    }

private:
    void Refresh()
    {
        SoundServer& server = m_owner.m_server;
        if (m_bBuilt && server.Generation() == m_nGeneration)
            return;
        ServerLines lines;
        (void)server.Lines(&lines);
        m_bBuilt = true;
        m_nGeneration = lines.generation;
        m_product = lines.product;
        m_model = ServerMixer::BuildModel(lines);
        m_playbackRoles.clear();
        const std::string* inputs[3] = { &m_model.music, &m_model.lineIn, &m_model.microphone };
        for (int role = 0; role < 3; ++role) {
            if (!inputs[role]->empty())
                m_playbackRoles.push_back(role);
        }
    }

    std::string PlaybackName(int role) const
    {
        static constexpr const char* kNames[3] = { "Wave", "Line", "Mic" };
        return kNames[role];
    }

    uint32_t RecordingType(size_t source) const
    {
        if (source == 0)
            return kSrcAnalog;
        switch (m_model.recordingKinds[source]) {
        case ServerInputKind::Microphone:
            return kSrcMicrophone;
        case ServerInputKind::LineIn:
            return kSrcLine;
        case ServerInputKind::Monitor:
            return kSrcWaveOut;
        }
        return kSrcUndefined;
    }

    std::atomic<int32_t>* Fader(uint32_t controlId)
    {
        if (controlId >= 1 && controlId <= 3) {
            const int role = int(controlId) - 1;
            bool shown = std::find(m_playbackRoles.begin(), m_playbackRoles.end(), role) != m_playbackRoles.end();
            return shown ? &m_owner.m_playback[role] : nullptr;
        }
        if (controlId >= kFirstRecordingFader && controlId < kFirstRecordingFader + m_model.recordingNames.size())
            return &m_owner.m_nRecording;
        return nullptr;
    }

    size_t ChosenIndex()
    {
        std::lock_guard lock(m_owner.m_lock);
        auto it = std::find(m_model.recordingInputs.begin(), m_model.recordingInputs.end(), m_owner.m_strChosen);
        return it == m_model.recordingInputs.end() ? 0 : size_t(it - m_model.recordingInputs.begin());
    }

    void Choose(const std::string& input)
    {
        std::lock_guard lock(m_owner.m_lock);
        if (m_owner.m_strChosen == input)
            return;
        m_owner.m_strChosen = input;
        ++m_owner.m_nChoices;
    }

    ServerMixer& m_owner;
    bool m_bBuilt = false;
    uint64_t m_nGeneration = 0;
    std::string m_product;
    ServerMixer::Model m_model;
    std::vector<int> m_playbackRoles; // the roles shown, in row order
};

std::unique_ptr<MixerDevice> ServerMixer::OpenDevice(int mixerId)
{
    if (mixerId != 0)
        return nullptr;
    return std::make_unique<ServerMixerDevice>(*this);
}

} // namespace platform

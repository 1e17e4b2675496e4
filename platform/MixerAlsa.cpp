#include "platform/Mixer.h"

#include "platform/TextCase.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

using namespace mixer;

// The speakers' source rows and the ALSA playback element behind each.
struct ElementRow {
    const char* element;
    uint32_t type;
};
constexpr ElementRow kPlaybackRows[] = {
    { "PCM", kSrcWaveOut },
    { "Line", kSrcLine },
    { "CD", kSrcCompactDisc },
    { "Synth", kSrcSynthesizer },
    { "Mic", kSrcMicrophone },
};

constexpr const char* kMasterElement = "Master";
constexpr const char* kCaptureElement = "Capture";
// Line ids pack destination and source into one byte each.
constexpr int kMaxLines = 255;
// A list control with more entries than any card offers is not a list we trust.
constexpr int kMaxListItems = 64;
constexpr size_t kMaxItemName = 64;

enum class Dir { Playback, Capture };
enum class Kind { Volume, Switch, List };

struct Control {
    snd_mixer_elem_t* elem = nullptr;
    Dir dir = Dir::Playback;
    Kind kind = Kind::Volume;
    bool stereo = false;
    long origin = 0; // the element's own minimum, which the fader's 0 stands for
    MixerControlInfo info;
};

struct Line {
    MixerLineInfo info;
    std::vector<size_t> controls; // indexes into the device's control table
};

struct Destination {
    Line line;
    std::vector<Line> sources;
};

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
        [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
    return it != text.end();
}

// Recording inputs are typed by name, as the cards name them.
uint32_t CaptureSourceType(std::string_view name)
{
    constexpr ElementRow kByName[] = {
        { "Mic", kSrcMicrophone },
        { "Line", kSrcLine },
        { "CD", kSrcCompactDisc },
        { "Synth", kSrcSynthesizer },
        { "PCM", kSrcWaveOut },
        { "Aux", kSrcAnalog },
    };
    for (const ElementRow& row : kByName) {
        if (ContainsNoCase(name, row.element))
            return row.type;
    }
    return kSrcUndefined;
}

std::string ElementName(snd_mixer_elem_t* elem)
{
    std::string name = snd_mixer_selem_get_name(elem);
    if (unsigned index = snd_mixer_selem_get_index(elem); index != 0)
        name.append(" ").append(std::to_string(index));
    return name;
}

bool IsElement(snd_mixer_elem_t* elem, const char* name)
{
    return snd_mixer_selem_get_index(elem) == 0 && std::string_view(snd_mixer_selem_get_name(elem)) == name;
}

bool HasVolume(snd_mixer_elem_t* elem, Dir dir)
{
    return dir == Dir::Playback ? snd_mixer_selem_has_playback_volume(elem) : snd_mixer_selem_has_capture_volume(elem);
}

bool HasSwitch(snd_mixer_elem_t* elem, Dir dir)
{
    return dir == Dir::Playback ? snd_mixer_selem_has_playback_switch(elem) : snd_mixer_selem_has_capture_switch(elem);
}

bool IsStereo(snd_mixer_elem_t* elem, Dir dir)
{
    return dir == Dir::Playback ? snd_mixer_selem_has_playback_channel(elem, SND_MIXER_SCHN_FRONT_RIGHT)
                                : snd_mixer_selem_has_capture_channel(elem, SND_MIXER_SCHN_FRONT_RIGHT);
}

class AlsaMixerDevice final : public MixerDevice {
public:
    AlsaMixerDevice(snd_mixer_t* mixer, std::string product)
        : m_mixer(mixer)
        , m_product(std::move(product))
    {
        Build();
    }
    ~AlsaMixerDevice() override { snd_mixer_close(m_mixer); }
    AlsaMixerDevice(const AlsaMixerDevice&) = delete;
    AlsaMixerDevice& operator=(const AlsaMixerDevice&) = delete;

    std::string ProductName() override { return m_product; }
    int DestinationCount() override { return int(m_destinations.size()); }

    bool GetDestination(int destination, MixerLineInfo* pLine) override
    {
        if (destination < 0 || destination >= DestinationCount())
            return false;
        *pLine = m_destinations[destination].line.info;
        return true;
    }

    bool GetSource(int destination, int source, MixerLineInfo* pLine) override
    {
        if (destination < 0 || destination >= DestinationCount())
            return false;
        const auto& sources = m_destinations[destination].sources;
        if (source < 0 || source >= int(sources.size()))
            return false;
        *pLine = sources[source].info;
        return true;
    }

    bool GetLineControls(uint32_t lineId, std::vector<MixerControlInfo>* pControls) override
    {
        const Line* line = FindLine(lineId);
        if (!line)
            return false;
        pControls->clear();
        for (size_t index : line->controls)
            pControls->push_back(m_controls[index].info);
        return true;
    }

    bool GetValues(uint32_t controlId, int channels, int items, std::vector<int32_t>* pValues) override;
    bool SetValues(uint32_t controlId, int channels, int items, const std::vector<int32_t>& values) override;

    bool GetItemNames(uint32_t controlId, std::vector<std::string>* pNames) override
    {
        const Control* control = FindControl(controlId);
        if (!control || control->kind != Kind::List)
            return false;
        pNames->clear();
        char name[kMaxItemName + 1] = {};
        for (int i = 0; i < control->info.items; ++i) {
            if (snd_mixer_selem_get_enum_item_name(control->elem, unsigned(i), kMaxItemName, name) < 0)
                return false;
            pNames->emplace_back(name);
        }
        return true;
    }

private:
    void Build();
    void AddControls(Line* line, snd_mixer_elem_t* elem, Dir dir);
    void AddList(Line* line, snd_mixer_elem_t* elem);
    void AddListSources(Destination* dest, snd_mixer_elem_t* list);

    const Line* FindLine(uint32_t lineId) const
    {
        int destination = int(lineId >> 8) - 1;
        int source = int(lineId & 0xFF) - 1;
        if (destination < 0 || destination >= int(m_destinations.size()))
            return nullptr;
        const Destination& dest = m_destinations[destination];
        if (source < 0)
            return &dest.line;
        return source < int(dest.sources.size()) ? &dest.sources[source] : nullptr;
    }

    const Control* FindControl(uint32_t controlId) const
    {
        return controlId < m_controls.size() ? &m_controls[controlId] : nullptr;
    }

    bool ReadChannel(const Control& control, snd_mixer_selem_channel_id_t channel, int32_t* pValue) const;
    bool WriteChannel(const Control& control, snd_mixer_selem_channel_id_t channel, int32_t value) const;
    bool WriteAll(const Control& control, int32_t value) const;

    snd_mixer_t* m_mixer;
    std::string m_product;
    std::vector<Control> m_controls;
    std::vector<Destination> m_destinations;
};

void AlsaMixerDevice::AddControls(Line* line, snd_mixer_elem_t* elem, Dir dir)
{
    const std::string name = ElementName(elem);
    const bool stereo = IsStereo(elem, dir);
    if (HasVolume(elem, dir)) {
        Control control { elem, dir, Kind::Volume, stereo, 0, {} };
        long minimum = 0;
        long maximum = 0;
        bool joined;
        if (dir == Dir::Playback) {
            snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
            joined = snd_mixer_selem_has_playback_volume_joined(elem);
        } else {
            snd_mixer_selem_get_capture_volume_range(elem, &minimum, &maximum);
            joined = snd_mixer_selem_has_capture_volume_joined(elem);
        }
        long span = std::clamp(maximum - minimum, 0L, long(INT32_MAX));
        control.origin = minimum;
        control.info = { uint32_t(m_controls.size()), kCtlVolume, !stereo || joined, 0, 0, int32_t(span),
            int(std::max(span, 1L)), name + " Volume" };
        line->controls.push_back(m_controls.size());
        m_controls.push_back(control);
    }
    if (HasSwitch(elem, dir)) {
        bool joined = dir == Dir::Playback ? snd_mixer_selem_has_playback_switch_joined(elem)
                                           : snd_mixer_selem_has_capture_switch_joined(elem);
        Control control { elem, dir, Kind::Switch, stereo, 0, {} };
        control.info = { uint32_t(m_controls.size()), kCtlMute, !stereo || joined, 0, 0, 1, 1, name + " Mute" };
        line->controls.push_back(m_controls.size());
        m_controls.push_back(control);
    }
}

void AlsaMixerDevice::AddList(Line* line, snd_mixer_elem_t* elem)
{
    int items = snd_mixer_selem_get_enum_items(elem);
    if (items <= 0 || items > kMaxListItems)
        return;
    Control control { elem, Dir::Capture, Kind::List, false, 0, {} };
    control.info = { uint32_t(m_controls.size()), kCtlMux, true, items, 0, items - 1, items, ElementName(elem) };
    line->controls.push_back(m_controls.size());
    m_controls.push_back(control);
}

// The speakers destination carries the master element and the fixed rows;
// the recording destination carries the "Capture" element and the input
// list, with every other capture element as a source.
void AlsaMixerDevice::Build()
{
    snd_mixer_elem_t* master = nullptr;
    snd_mixer_elem_t* rows[std::size(kPlaybackRows)] = {};
    snd_mixer_elem_t* captureMaster = nullptr;
    snd_mixer_elem_t* list = nullptr;
    std::vector<snd_mixer_elem_t*> captureSources;

    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(m_mixer); elem; elem = snd_mixer_elem_next(elem)) {
        if (!snd_mixer_selem_is_active(elem))
            continue;
        bool playback = HasVolume(elem, Dir::Playback) || HasSwitch(elem, Dir::Playback);
        bool capture = HasVolume(elem, Dir::Capture) || HasSwitch(elem, Dir::Capture);
        if (playback && IsElement(elem, kMasterElement))
            master = elem;
        for (size_t i = 0; i < std::size(kPlaybackRows); ++i) {
            if (playback && IsElement(elem, kPlaybackRows[i].element))
                rows[i] = elem;
        }
        if (capture && IsElement(elem, kCaptureElement))
            captureMaster = elem;
        else if (capture && std::string_view(snd_mixer_selem_get_name(elem)) != kCaptureElement
            && int(captureSources.size()) < kMaxLines - 1)
            captureSources.push_back(elem);
        if (!list && snd_mixer_selem_is_enum_capture(elem))
            list = elem;
    }

    bool anyRow = std::any_of(std::begin(rows), std::end(rows), [](auto* elem) { return elem != nullptr; });
    if (master || anyRow) {
        Destination dest;
        uint32_t id = uint32_t(m_destinations.size() + 1) << 8;
        dest.line.info = { id, kDstSpeakers, master && !IsStereo(master, Dir::Playback) ? 1 : 2, 0,
            master ? kMasterElement : "Playback" };
        if (master)
            AddControls(&dest.line, master, Dir::Playback);
        for (size_t i = 0; i < std::size(kPlaybackRows); ++i) {
            if (!rows[i])
                continue;
            Line line;
            line.info = { id | uint32_t(dest.sources.size() + 1), kPlaybackRows[i].type,
                IsStereo(rows[i], Dir::Playback) ? 2 : 1, 0, ElementName(rows[i]) };
            AddControls(&line, rows[i], Dir::Playback);
            dest.sources.push_back(std::move(line));
        }
        dest.line.info.connections = int(dest.sources.size());
        m_destinations.push_back(std::move(dest));
    }

    if (captureMaster || list || !captureSources.empty()) {
        Destination dest;
        uint32_t id = uint32_t(m_destinations.size() + 1) << 8;
        dest.line.info
            = { id, kDstWaveIn, captureMaster && !IsStereo(captureMaster, Dir::Capture) ? 1 : 2, 0, kCaptureElement };
        if (captureMaster)
            AddControls(&dest.line, captureMaster, Dir::Capture);
        if (list)
            AddList(&dest.line, list);
        for (snd_mixer_elem_t* elem : captureSources) {
            Line line;
            std::string name = ElementName(elem);
            line.info = { id | uint32_t(dest.sources.size() + 1), CaptureSourceType(name),
                IsStereo(elem, Dir::Capture) ? 2 : 1, 0, name };
            AddControls(&line, elem, Dir::Capture);
            dest.sources.push_back(std::move(line));
        }
        if (list)
            AddListSources(&dest, list);
        dest.line.info.connections = int(dest.sources.size());
        m_destinations.push_back(std::move(dest));
    }
}

// Many cards route recording only through the input list, whose entries
// (often "Mic", "Line", "Internal Mic") have no capture element of their
// own. Each such entry still is a source to choose, so it becomes a line
// without controls.
void AlsaMixerDevice::AddListSources(Destination* dest, snd_mixer_elem_t* list)
{
    int items = std::min(snd_mixer_selem_get_enum_items(list), kMaxListItems);
    char name[kMaxItemName + 1] = {};
    for (int i = 0; i < items && int(dest->sources.size()) < kMaxLines - 1; ++i) {
        if (snd_mixer_selem_get_enum_item_name(list, unsigned(i), kMaxItemName, name) < 0)
            return;
        if (!*name)
            continue;
        bool known = std::any_of(dest->sources.begin(), dest->sources.end(),
            [&](const Line& line) { return EqualsNoCase(line.info.name, name); });
        if (known)
            continue;
        Line line;
        line.info
            = { dest->line.info.lineId | uint32_t(dest->sources.size() + 1), CaptureSourceType(name), 2, 0, name };
        dest->sources.push_back(std::move(line));
    }
}

bool AlsaMixerDevice::ReadChannel(const Control& control, snd_mixer_selem_channel_id_t channel, int32_t* pValue) const
{
    int on = 0;
    long volume = 0;
    int rc;
    if (control.kind == Kind::Switch) {
        rc = control.dir == Dir::Playback ? snd_mixer_selem_get_playback_switch(control.elem, channel, &on)
                                          : snd_mixer_selem_get_capture_switch(control.elem, channel, &on);
        // ALSA's switch says "sound on"; ours says "muted".
        *pValue = on ? 0 : 1;
        return rc >= 0;
    }
    rc = control.dir == Dir::Playback ? snd_mixer_selem_get_playback_volume(control.elem, channel, &volume)
                                      : snd_mixer_selem_get_capture_volume(control.elem, channel, &volume);
    *pValue = int32_t(std::clamp(volume - control.origin, 0L, long(control.info.maximum)));
    return rc >= 0;
}

bool AlsaMixerDevice::WriteChannel(const Control& control, snd_mixer_selem_channel_id_t channel, int32_t value) const
{
    if (control.kind == Kind::Switch) {
        int on = value ? 0 : 1;
        return (control.dir == Dir::Playback ? snd_mixer_selem_set_playback_switch(control.elem, channel, on)
                                             : snd_mixer_selem_set_capture_switch(control.elem, channel, on))
            >= 0;
    }
    long volume = control.origin + std::clamp(value, 0, control.info.maximum);
    return (control.dir == Dir::Playback ? snd_mixer_selem_set_playback_volume(control.elem, channel, volume)
                                         : snd_mixer_selem_set_capture_volume(control.elem, channel, volume))
        >= 0;
}

bool AlsaMixerDevice::WriteAll(const Control& control, int32_t value) const
{
    if (control.kind == Kind::Switch) {
        int on = value ? 0 : 1;
        return (control.dir == Dir::Playback ? snd_mixer_selem_set_playback_switch_all(control.elem, on)
                                             : snd_mixer_selem_set_capture_switch_all(control.elem, on))
            >= 0;
    }
    long volume = control.origin + std::clamp(value, 0, control.info.maximum);
    return (control.dir == Dir::Playback ? snd_mixer_selem_set_playback_volume_all(control.elem, volume)
                                         : snd_mixer_selem_set_capture_volume_all(control.elem, volume))
        >= 0;
}

bool AlsaMixerDevice::GetValues(uint32_t controlId, int channels, int items, std::vector<int32_t>* pValues)
{
    const Control* control = FindControl(controlId);
    if (!control)
        return false;
    // Take in what other programs changed since the last look.
    snd_mixer_handle_events(m_mixer);
    if (control->kind == Kind::List) {
        if (channels != 1 || items != control->info.items)
            return false;
        unsigned selected = 0;
        if (snd_mixer_selem_get_enum_item(control->elem, SND_MIXER_SCHN_FRONT_LEFT, &selected) < 0)
            return false;
        pValues->assign(size_t(items), 0);
        if (selected < unsigned(items))
            (*pValues)[selected] = 1;
        return true;
    }
    if (channels < 1 || channels > 2 || items > 1)
        return false;
    int32_t left = 0;
    int32_t right = 0;
    if (!ReadChannel(*control, SND_MIXER_SCHN_FRONT_LEFT, &left))
        return false;
    right = left;
    if (control->stereo && !ReadChannel(*control, SND_MIXER_SCHN_FRONT_RIGHT, &right))
        return false;
    if (channels == 2) {
        *pValues = { left, right };
        return true;
    }
    // One value for the whole control: the loudest channel, and a switch is
    // muted only when every channel is.
    *pValues = { control->kind == Kind::Switch ? std::min(left, right) : std::max(left, right) };
    return true;
}

bool AlsaMixerDevice::SetValues(uint32_t controlId, int channels, int items, const std::vector<int32_t>& values)
{
    const Control* control = FindControl(controlId);
    if (!control || channels < 1 || values.size() < size_t(channels) * size_t(std::max(items, 1)))
        return false;
    if (control->kind == Kind::List) {
        if (channels != 1 || items != control->info.items)
            return false;
        auto it = std::find_if(values.begin(), values.begin() + items, [](int32_t v) { return v != 0; });
        if (it == values.begin() + items)
            return false;
        unsigned item = unsigned(it - values.begin());
        if (snd_mixer_selem_set_enum_item(control->elem, SND_MIXER_SCHN_FRONT_LEFT, item) < 0)
            return false;
        // A list kept per channel follows the left one; a mono list refuses this.
        (void)snd_mixer_selem_set_enum_item(control->elem, SND_MIXER_SCHN_FRONT_RIGHT, item);
        return true;
    }
    if (channels > 2 || items > 1)
        return false;
    if (channels == 1 || !control->stereo)
        return WriteAll(*control, values[0]);
    // Surround, centre and bass channels follow the louder front side, so a
    // fade on a many-channel card fades all of them.
    int32_t louder = control->kind == Kind::Switch ? std::min(values[0], values[1]) : std::max(values[0], values[1]);
    return WriteAll(*control, louder) && WriteChannel(*control, SND_MIXER_SCHN_FRONT_LEFT, values[0])
        && WriteChannel(*control, SND_MIXER_SCHN_FRONT_RIGHT, values[1]);
}

std::string CardName(snd_mixer_t* mixer, const std::string& device)
{
    snd_hctl_t* hctl = nullptr;
    std::string name = device;
    snd_ctl_card_info_t* info = nullptr;
    if (snd_mixer_get_hctl(mixer, device.c_str(), &hctl) < 0 || snd_ctl_card_info_malloc(&info) < 0)
        return name;
    if (snd_ctl_card_info(snd_hctl_ctl(hctl), info) >= 0 && *snd_ctl_card_info_get_name(info))
        name = snd_ctl_card_info_get_name(info);
    snd_ctl_card_info_free(info);
    return name;
}

constexpr const char* kDefaultDevice = "default";

class AlsaMixerSystem final : public MixerSystem {
public:
    int MixerCount() override { return int(DeviceNames().size()); }

    int MixerOfWaveOut(int waveOutDevice) override
    {
        return waveOutDevice >= 0 && waveOutDevice < MixerCount() ? waveOutDevice : -1;
    }
    int MixerOfWaveIn(int waveInDevice) override { return MixerOfWaveOut(waveInDevice); }

protected:
    std::unique_ptr<MixerDevice> OpenDevice(int mixerId) override
    {
        // The default is always mixer 0; opening it is how it is counted.
        std::string device = kDefaultDevice;
        if (mixerId != 0) {
            std::vector<std::string> names = DeviceNames();
            if (mixerId < 0 || mixerId >= int(names.size()))
                return nullptr;
            device = names[size_t(mixerId)];
        }
        snd_mixer_t* mixer = nullptr;
        if (snd_mixer_open(&mixer, 0) < 0)
            return nullptr;
        if (snd_mixer_attach(mixer, device.c_str()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0
            || snd_mixer_load(mixer) < 0) {
            snd_mixer_close(mixer);
            if (device == kDefaultDevice)
                m_defaultOpens = Answer::Unknown;
            return nullptr;
        }
        if (device == kDefaultDevice)
            m_defaultOpens = Answer::Yes;
        return std::make_unique<AlsaMixerDevice>(mixer, CardName(mixer, device));
    }

private:
    enum class Answer { Unknown, Yes };

    // The system default first, then each card. Without any card the default
    // still counts when it opens (a sound server behind the ALSA plugin).
    // Each try through such a plugin is a new connection to the server, and
    // a start-up counts the mixers a dozen times, so a default that opened
    // is remembered until opening it as a mixer fails. The try is the
    // default's own handle: a MixerHold on this thread keeps it for the
    // openings that follow, so counting costs the start no connection of
    // its own.
    std::vector<std::string> DeviceNames()
    {
        std::vector<std::string> names { kDefaultDevice };
        for (int card = -1; snd_card_next(&card) >= 0 && card >= 0;)
            names.push_back("hw:" + std::to_string(card));
        if (names.size() == 1 && m_defaultOpens != Answer::Yes && !OpenUncounted(0))
            return {};
        return names;
    }

    // Mixers are counted and opened on more than one thread.
    std::atomic<Answer> m_defaultOpens { Answer::Unknown };
};

} // namespace

MixerSystem& MixerSystem::Default()
{
    static AlsaMixerSystem system;
    return system;
}

} // namespace platform

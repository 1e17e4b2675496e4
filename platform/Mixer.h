#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// The sound card's mixer as the broadcast engine sees it: devices, each with
// destinations (the speakers, the recording input), each destination with
// source lines, and every line with controls (faders, mute switches, input
// lists). Component and control types use one fixed numbering, below, so the
// engine's tables of rows stay plain numbers.
namespace mixer {

// Destination component types.
inline constexpr uint32_t kDstSpeakers = 4;
inline constexpr uint32_t kDstWaveIn = 7;

// Source component types.
inline constexpr uint32_t kSrcUndefined = 0x1000;
inline constexpr uint32_t kSrcDigital = 0x1001;
inline constexpr uint32_t kSrcLine = 0x1002;
inline constexpr uint32_t kSrcMicrophone = 0x1003;
inline constexpr uint32_t kSrcSynthesizer = 0x1004;
inline constexpr uint32_t kSrcCompactDisc = 0x1005;
inline constexpr uint32_t kSrcWaveOut = 0x1008;
inline constexpr uint32_t kSrcAnalog = 0x100A;

// Control types: class in the top nibble, value units in bits 16-23.
inline constexpr uint32_t kCtlClassMask = 0xF0000000;
inline constexpr uint32_t kCtlClassMeter = 0x10000000;
inline constexpr uint32_t kCtlClassSwitch = 0x20000000;
inline constexpr uint32_t kCtlClassFader = 0x50000000;
inline constexpr uint32_t kCtlClassList = 0x70000000;
inline constexpr uint32_t kCtlUnitsMask = 0x00FF0000;
inline constexpr uint32_t kCtlUnitsBoolean = 0x00010000;
inline constexpr uint32_t kCtlUnitsPercent = 0x00050000;

inline constexpr uint32_t kCtlVolume = 0x50030001;
inline constexpr uint32_t kCtlMute = 0x20010002;
inline constexpr uint32_t kCtlMux = 0x70010001; // single select
inline constexpr uint32_t kCtlMixer = 0x71010001; // multiple select

} // namespace mixer

struct MixerLineInfo {
    uint32_t lineId = 0;
    uint32_t componentType = 0;
    int channels = 0;
    int connections = 0; // source lines of a destination; 0 for a source
    std::string name;
};

struct MixerControlInfo {
    uint32_t controlId = 0;
    uint32_t type = 0;
    bool uniform = false; // one value stands for every channel
    int items = 0; // entries of a list control; 0 for others
    int32_t minimum = 0;
    int32_t maximum = 0;
    int steps = 0;
    std::string name;
};

// Thread: the thread that opened it.
// One opened mixer. Values are laid out channel by channel, and within a
// channel item by item: values[channel * items + item] (items is 1 for a
// control that is not a list). Reading a multi-channel control as one
// channel yields its loudest channel; writing it as one channel sets every
// channel. Fader values run from 0, whatever the hardware's own origin.
class MixerDevice {
public:
    virtual ~MixerDevice() = default;

    [[nodiscard]] virtual std::string ProductName() = 0;
    [[nodiscard]] virtual int DestinationCount() = 0;
    [[nodiscard]] virtual bool GetDestination(int destination, MixerLineInfo* pLine) = 0;
    [[nodiscard]] virtual bool GetSource(int destination, int source, MixerLineInfo* pLine) = 0;
    // Every control of a line, in the line's own order.
    [[nodiscard]] virtual bool GetLineControls(uint32_t lineId, std::vector<MixerControlInfo>* pControls) = 0;
    [[nodiscard]] virtual bool GetValues(uint32_t controlId, int channels, int items, std::vector<int32_t>* pValues)
        = 0;
    [[nodiscard]] virtual bool SetValues(
        uint32_t controlId, int channels, int items, const std::vector<int32_t>& values)
        = 0;
    // The names of a list control's entries, in item order.
    [[nodiscard]] virtual bool GetItemNames(uint32_t controlId, std::vector<std::string>* pNames) = 0;
};

class MixerHold;

// Thread: any, one call at a time.
// The machine's mixers, numbered from 0. Wave devices use the same
// numbering: device 0 is the system default, then one device per card, so a
// wave device's mixer has the wave device's own number.
// Opening a mixer can be slow (behind a sound server's plugin every handle
// is a connection to the server), so each mixer has one handle per thread,
// shared by every part of the program that opens it there: the first
// caller opens it, and it closes when the last one lets go of it, unless a
// MixerHold on that thread keeps it for the callers still to come.
class MixerSystem {
public:
    virtual ~MixerSystem() = default;

    [[nodiscard]] virtual int MixerCount() = 0;
    // Null when the mixer does not exist or cannot be opened.
    [[nodiscard]] std::shared_ptr<MixerDevice> Open(int mixerId);
    // -1 when the device does not exist.
    [[nodiscard]] virtual int MixerOfWaveOut(int waveOutDevice) = 0;
    [[nodiscard]] virtual int MixerOfWaveIn(int waveInDevice) = 0;

    // The machine's own mixers (ALSA).
    static MixerSystem& Default();

protected:
    // A handle of its own on the mixer; null when the mixer does not exist
    // or cannot be opened.
    [[nodiscard]] virtual std::unique_ptr<MixerDevice> OpenDevice(int mixerId) = 0;
    // Open without counting the mixers first: for counting itself, when a
    // backend counts a mixer by opening it.
    [[nodiscard]] std::shared_ptr<MixerDevice> OpenUncounted(int mixerId);

private:
    // What a hold on this thread opened ahead for this mixer, once it is
    // there; null when nothing was.
    [[nodiscard]] std::unique_ptr<MixerDevice> OpenedAhead(int mixerId);

    friend class MixerHold;
    using Key = std::pair<int, std::thread::id>;

    std::mutex m_lock;
    std::map<Key, std::weak_ptr<MixerDevice>> m_handles;
    std::vector<MixerHold*> m_holds;
};

// Thread: the one that made it.
// Keeps every mixer its thread opens while it lives, so steps that each
// open a mixer and let it go again (a start-up) share one handle. Mixers
// still in use when it ends stay open with their users; the others close.
class MixerHold {
public:
    explicit MixerHold(MixerSystem& system);
    ~MixerHold();
    MixerHold(const MixerHold&) = delete;
    MixerHold& operator=(const MixerHold&) = delete;

    // Starts opening a mixer on a thread of the hold's own, while its
    // thread does other work; the first opening of that mixer on the
    // hold's thread takes the handle, waiting for it if need be. Behind a
    // sound server the opening loads the server's client libraries and
    // connects, which a start need not wait for.
    void OpenAhead(int mixerId);

private:
    friend class MixerSystem;

    // The handle opened ahead, once it is there; null when none was asked
    // for this mixer or it could not be opened.
    [[nodiscard]] std::unique_ptr<MixerDevice> TakeOpenedAhead();

    MixerSystem& m_system;
    std::thread::id m_thread;
    std::vector<std::shared_ptr<MixerDevice>> m_devices;
    int m_nAheadId = -1;
    std::unique_ptr<MixerDevice> m_pAhead;
    std::thread m_ahead;
};

} // namespace platform

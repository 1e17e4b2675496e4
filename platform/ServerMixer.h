#pragma once

#include "platform/Mixer.h"
#include "platform/SoundServer.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Thread: any; the gains are atomics, so the capture reads them each period
// while the window's fade sets them.
// A desktop sound server seen as one sound card whose lines are the
// program's own: its recording destination lists first the stereo mix (what
// the computer plays, mixed with the line-in and the microphone at their
// playback lines' volumes), then every server input and every output's
// monitor by the server's descriptions; its speakers destination has the
// music, line-in and microphone lines that talk-over fades. Every volume is
// a gain in the program's own capture, on one curve: half of a playback
// fader's range (32768 of 65536), and half of a recording fader's (32767
// of 65535), pass the sound as it is; full is +6 dB. Nothing is set on the
// server.
class ServerMixer final : public MixerSystem {
public:
    // What a gain in the capture belongs to.
    enum class Role { Music, LineIn, Microphone, Alone };

    // One input of what the capture records, with the gain it gets.
    struct Input {
        std::string name;
        Role role = Role::Alone;
        bool operator==(const Input&) const = default;
    };

    explicit ServerMixer(SoundServer& server);

    int MixerCount() override { return 1; }
    int MixerOfWaveOut(int waveOutDevice) override { return waveOutDevice == 0 ? 0 : -1; }
    int MixerOfWaveIn(int waveInDevice) override { return waveInDevice == 0 ? 0 : -1; }

    [[nodiscard]] SoundServer& Server() { return m_server; }
    // What to record for the chosen line under these server lines: the
    // stereo mix's inputs (the first one leads), or the chosen input alone;
    // a chosen line that is no longer there gives the stereo mix.
    [[nodiscard]] std::vector<Input> Plan(const ServerLines& lines);
    // Counts the choices of recording line, so a capture sees a new one.
    [[nodiscard]] uint64_t ChoiceCount() const { return m_nChoices.load(); }
    // The Q15 gain (InputMix's scale) of an input of that role, the
    // recording fader included.
    [[nodiscard]] int32_t Gain(Role role) const;

    // The lines of the model, for these server lines: the recording lines'
    // names (the stereo mix first) with the server input each records
    // (empty for the stereo mix), and the three playback lines' inputs
    // (empty when the server has none for that line).
    struct Model {
        std::vector<std::string> recordingNames;
        std::vector<std::string> recordingInputs;
        std::vector<ServerInputKind> recordingKinds;
        std::string music;
        std::string lineIn;
        std::string microphone;
    };
    [[nodiscard]] static Model BuildModel(const ServerLines& lines);

    // The stereo mix's name among the recording lines.
    static constexpr const char* kStereoMixName = "스테레오 믹스";

protected:
    std::unique_ptr<MixerDevice> OpenDevice(int mixerId) override;

private:
    friend class ServerMixerDevice;

    // The playback faders' raw values (0 … 65536), by role.
    std::atomic<int32_t> m_playback[3];
    // The recording fader (0 … 65535), one for whichever line is chosen.
    std::atomic<int32_t> m_nRecording;

    std::mutex m_lock; // guards: m_strChosen
    std::string m_strChosen; // the chosen server input; empty: the stereo mix
    std::atomic<uint64_t> m_nChoices { 0 };

    SoundServer& m_server;
};

} // namespace platform

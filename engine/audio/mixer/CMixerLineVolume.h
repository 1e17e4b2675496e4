#pragma once

#include "platform/MessageTarget.h"
#include "platform/Mixer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Thread: main thread only (the talk-over fade runs from the window's timer).
// One volume control of one playback line, read and set on a value scale of
// the caller's choosing, with a channel mode that decides how one value
// maps onto the left and right channels. Every call fails soft.
class CMixerLineVolume {
public:
    enum ChannelMode { kFirstChannel = 0, kSecondChannel = 1, kKeepBalance = 2, kPan = 3, kRawFirst = 4 };
    // The source type that stands for the destination's own control.
    static constexpr uint32_t kDestinationItself = 0x100B;
    static constexpr int kPresetCount = 6;

    explicit CMixerLineVolume(platform::MixerSystem& system = platform::MixerSystem::Default());

    // Row 0 master, 1 music (wave-out), 2 line-in, 3 CD, 4 synthesizer,
    // 5 microphone, all on the speakers, keeping the balance.
    int OpenPreset(int nRow);
    int Open(
        platform::TargetHandle hCallbackWnd, uint32_t nDstType, uint32_t nSrcType, uint32_t nCtlType, int nChannelMode);
    // 0 for a mixer that does not exist, 1 when unchanged; otherwise moves
    // an open line to the new mixer keeping the value scale.
    int SetMixer(int nMixerIndex);
    // Sets the value scale and returns the volume on it.
    int SetRange(double dMinimum, double dMaximum);
    // The volume on the value scale; -1 without an open line.
    [[nodiscard]] int GetVolume();
    void SetVolume(int nValue);
    // Closes the mixer; the value scale returns to 0 … 100.
    void Close();
    // The mixer of a wave-out device; -1 when there is none.
    [[nodiscard]] int GetWaveOutMixerId(int nWaveOutDevice);

    [[nodiscard]] bool IsOpen() const { return m_pMixer != nullptr; }
    [[nodiscard]] int GetMixerIndex() const { return m_nMixerIndex; }
    [[nodiscard]] const std::string& GetLineName() const { return m_strLineName; }
    [[nodiscard]] const std::string& GetDestinationName() const { return m_strDstName; }
    [[nodiscard]] double GetBalance() const { return m_dBalance; }

private:
    int Fail();
    void ResetState();
    bool ReadDetails();
    bool ReadVolume(int* pValue);
    bool WriteDetails();

    platform::MixerSystem& m_system;
    int m_nMixerIndex;
    platform::TargetHandle m_hCallbackWnd = platform::kNoTarget;
    std::shared_ptr<platform::MixerDevice> m_pMixer;

    uint32_t m_nDstType = 0;
    uint32_t m_nSrcType = 0;
    uint32_t m_nCtlType = 0;
    int m_nChannelMode = kKeepBalance;

    platform::MixerControlInfo m_control;
    std::vector<int32_t> m_details; // one per channel, or one for a uniform control
    int m_nChannels = 0;
    std::string m_strLineName;
    std::string m_strDstName;

    int64_t m_nMin = 0;
    int64_t m_nMax = 0;
    int m_nSteps = 1;
    double m_dStepSize = 1;

    double m_dScaleMin = 0;
    double m_dScaleMax = 100;

    double m_dPosition = 0; // in steps
    double m_dBalance = 0; // (right - left) / louder side
    double m_dLevel = 0; // the louder side at the last read
};

#pragma once

#include "engine/audio/mixer/CMixerLineDest.h"
#include "platform/Mixer.h"

#include <memory>
#include <string>
#include <vector>

// Thread: main thread only.
// The capture side of the sound card's mixer: the mixers that can record,
// and for the open one its recording destinations, their sources and
// controls, with source selection, the selected source's volume, and saving
// and restoring of the mute switches. Every call fails soft (0, -1 or "").
class CMixerDeviceList {
public:
    explicit CMixerDeviceList(platform::MixerSystem& system = platform::MixerSystem::Default());

    // 0 when the system has no mixer; else lists the mixers that have a
    // recording destination and returns 1.
    int EnumCaptureMixers();
    // Closes the open mixer and opens the listed mixer at nIndex.
    int SelectMixer(int nIndex);
    void Close();
    // 1 when the source has a volume control, which becomes the current one.
    int SelectSourceLine(int nSource, int nDestination);

    int SaveSwitchStates(int nDestination, std::vector<int>* pValues);
    int RestoreSwitchStates(int nDestination, const std::vector<int>& values);

    void GetMixerName(std::string* pName) const;
    [[nodiscard]] int GetMixerCount() const { return int(m_mixerNames.size()); }
    void GetMixerNameAt(int nIndex, std::string* pName) const;
    [[nodiscard]] int GetDestinationCount() const { return m_pMixer ? int(m_dests.size()) : 0; }
    void GetDestinationName(int nDestination, std::string* pName) const;
    [[nodiscard]] int GetSourceCount(int nDestination) const;
    void GetSourceName(int nDestination, int nSource, std::string* pName) const;

    // The current volume control's value; 0 without one.
    [[nodiscard]] int GetSourceVolume();
    void SetSourceVolume(int nValue);

    // The list index of a wave-in device's mixer; -1 when it is not listed.
    [[nodiscard]] int FindWaveInMixer(int nWaveIn) const;

    // The mixers the list reads; the playback lines of the same cards are
    // opened through it.
    [[nodiscard]] platform::MixerSystem& System() const { return m_system; }

    [[nodiscard]] int GetCurrentMixer() const { return m_nMixer; }
    [[nodiscard]] int GetCurrentDestination() const { return m_nDest; }
    [[nodiscard]] int GetCurrentSource() const { return m_nSource; }

private:
    [[nodiscard]] CMixerLineDest* GetDest(int nDestination);
    [[nodiscard]] const CMixerLineDest* GetDest(int nDestination) const;
    [[nodiscard]] CMixerLineControl* GetVolumeControl();

    platform::MixerSystem& m_system;
    std::vector<std::string> m_mixerNames;
    std::vector<int> m_mixerIds;

    std::shared_ptr<platform::MixerDevice> m_pMixer;
    std::string m_strMixerName;
    std::vector<CMixerLineDest> m_dests; // refers to *m_pMixer; cleared first on close
    int m_nMixer = -1;
    int m_nDest = -1;
    int m_nSource = -1;
    int m_nVolumeControl = -1; // index in the current source's controls
};

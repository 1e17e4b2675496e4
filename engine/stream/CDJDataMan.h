#pragma once

#include <string>
#include <string_view>

// Thread: main thread only.
// The broadcast controller. The settings fields are public because the
// shell reads and sets them directly; they are named after their
// SETTING.ini keys.
class CDJDataMan {
public:
    // settingsPath is the SETTING.ini to use; empty means SETTING.ini in the
    // application-data folder, looked up when it is used.
    explicit CDJDataMan(std::string settingsPath = {})
        : m_strSettingsPath(std::move(settingsPath))
    {
    }

    // Reads every setting with its default for a missing key, mends values
    // that cannot be used, creates the recording folder and applies the
    // system-sound setting. folderName names the default recording folder
    // inside the documents folder ("방송 갈무리" when empty).
    void LoadSettings(std::string_view folderName = {});
    // Writes every setting; false when one of them could not be written.
    bool SaveSettings();
    // Every setting to its reset value, recording folder created, system
    // sounds muted, talk-over off. The caller saves afterwards.
    void ResetSettings();

    [[nodiscard]] std::string SettingsPath() const;

    // [Volume] levels 0 … 65536 outside and during talk-over; FadeTime in
    // 50-ms steps; LineinFade 1 fades the line-in with the music.
    int m_nNormal = 32768;
    int m_nBGM = 9830;
    int m_nMic = 32768;
    int m_nFadeTime = 20;
    int m_nLineinFade = 1;
    // [DSP]
    int m_nReverb_Active = 0;
    int m_nReverb_Level = 24;
    int m_nEcho_Active = 0;
    int m_nEcho_Level = 230;
    int m_nPitch_Active = 0;
    int m_nPitch_Level = 100; // percent
    // [Network] the streaming server.
    std::string m_strLocalAddress = "localhost";
    std::string m_strAddress = "localhost";
    int m_nPort = 8000;
    std::string m_strPasswd = "tarnwick";
    // [SHOUTcast] the station; AIM is the presenter's name, an empty
    // ListenUrl means the listen address is worked out.
    std::string m_strName = "TavDJ 방송국";
    std::string m_strAIM;
    std::string m_strGenre = "가요";
    std::string m_strUrl = "http://";
    std::string m_strListenUrl;
    // [Source] recording device, mixer destination and source line (-1
    // none), source line volume.
    int m_nDevice = 0;
    int m_nDest = 0;
    int m_nSource = -1;
    int m_nVolume = 32767;
    // [Encoding] CodecN 0 is the LAME writer with FormatN a quality preset
    // row; n > 0 is ACM codec n - 1 with FormatN its format index.
    int m_nCodecN = 0;
    int m_nFormatN = 3;
    // [Song] automatic title from another player.
    int m_nAuto = 1;
    // [Connect]
    int m_nReconnect = 1;
    // [Capture] record the broadcast into the folder m_strPath.
    int m_nEnable = 0;
    std::string m_strPath;
    // [NormalMode] keep the window on top while on air.
    int m_nOntopOnair = 0;
    int m_nSystemSoundOff = 1;
    int m_nTitleWithCJName = 1; // titles start with "[" presenter "] "
    int m_nAddYP = 1; // register with the station directory
    int m_nSongRequest = 0;

    // Runtime state the settings set: the talk-over fade's step counter, the
    // last title sent, and whether talk-over is on.
    int m_nFadeStep = 20;
    std::string m_strKeptTitle;
    bool m_bTalkOver = false;

private:
    std::string m_strSettingsPath;
};

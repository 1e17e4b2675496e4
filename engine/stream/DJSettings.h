#pragma once

#include <string>

// Thread: a value; the controller's copy lives on the main thread.
// The broadcast controller's settings, one field per SETTING.ini key and
// named after it. The shell copies them (CDJDataMan::Settings), edits the
// copy and hands it back (CDJDataMan::ApplySettings); LoadSettings,
// SaveSettings and ResetSettings move them to and from the file. The
// initial values are the ones a fresh controller works with before
// anything is loaded.
struct DJSettings {
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
    // ServerType 0 SHOUTcast (what a file without the key had), 1 Icecast
    // 2 with the source's Mount ("/" first) and User.
    int m_nServerType = 0;
    std::string m_strMount = "/live";
    std::string m_strUser = "source";
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

    // [Network] IPCheckHost, [AddYP] Host and Port: the address check's host
    // ("host" or "host:port") and the station directory's. Empty means no
    // such service: the local address is used, and the station is not
    // registered.
    std::string m_strIPCheckHost;
    std::string m_strYPHost;
    int m_nYPPort = 80;
};

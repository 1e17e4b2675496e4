#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CSysSoundOff2.h"
#include "engine/stream/QualityPresets.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"

namespace {

constexpr const char* kSettingsFile = "SETTING.ini";
constexpr const char* kDefaultFolderName = "방송 갈무리";
constexpr const char* kResetFolderName = "TavDJ";
constexpr const char* kDefaultStationName = "TavDJ 방송국";
constexpr int kDefaultSourceVolume = 32767;
// What FormatN reads as when the key is missing; replaced after loading.
constexpr int kFormatUnset = -1;

// One SETTING.ini key and the field it fills. Exactly one of number and
// text is set. value is both the default for a missing key and the reset
// value, except where LoadSettings and ResetSettings say otherwise.
struct Setting {
    const char* section;
    const char* key;
    int CDJDataMan::*number;
    std::string CDJDataMan::*text;
    int numberValue;
    const char* textValue; // null: worked out from the documents folder
};

constexpr Setting Number(const char* section, const char* key, int CDJDataMan::*field, int value)
{
    return { section, key, field, nullptr, value, nullptr };
}

constexpr Setting Text(const char* section, const char* key, std::string CDJDataMan::*field, const char* value)
{
    return { section, key, nullptr, field, 0, value };
}

// In file order; saving writes them in this order.
constexpr Setting kSettings[] = {
    Number("Volume", "Normal", &CDJDataMan::m_nNormal, 32768),
    Number("Volume", "BGM", &CDJDataMan::m_nBGM, 9830),
    Number("Volume", "Mic", &CDJDataMan::m_nMic, 32768),
    Number("Volume", "FadeTime", &CDJDataMan::m_nFadeTime, 20),
    Number("Volume", "LineinFade", &CDJDataMan::m_nLineinFade, 1),
    Number("DSP", "Reverb_Active", &CDJDataMan::m_nReverb_Active, 0),
    Number("DSP", "Reverb_Level", &CDJDataMan::m_nReverb_Level, 24),
    Number("DSP", "Echo_Active", &CDJDataMan::m_nEcho_Active, 0),
    Number("DSP", "Echo_Level", &CDJDataMan::m_nEcho_Level, 230),
    Number("DSP", "Pitch_Active", &CDJDataMan::m_nPitch_Active, 0),
    Number("DSP", "Pitch_Level", &CDJDataMan::m_nPitch_Level, 100),
    Text("Network", "LocalAddress", &CDJDataMan::m_strLocalAddress, "localhost"),
    Text("Network", "Address", &CDJDataMan::m_strAddress, "localhost"),
    Number("Network", "Port", &CDJDataMan::m_nPort, 8000),
    Text("Network", "Passwd", &CDJDataMan::m_strPasswd, "tarnwick"),
    // The maker's service endpoints are ours to choose: empty until set.
    Text("Network", "IPCheckHost", &CDJDataMan::m_strIPCheckHost, ""),
    Text("SHOUTcast", "Name", &CDJDataMan::m_strName, kDefaultStationName),
    Text("SHOUTcast", "AIM", &CDJDataMan::m_strAIM, ""),
    Text("SHOUTcast", "Genre", &CDJDataMan::m_strGenre, "가요"),
    Text("SHOUTcast", "Url", &CDJDataMan::m_strUrl, "http://"),
    Text("SHOUTcast", "ListenUrl", &CDJDataMan::m_strListenUrl, ""),
    Number("Source", "Device", &CDJDataMan::m_nDevice, 0),
    Number("Source", "Dest", &CDJDataMan::m_nDest, 0),
    Number("Source", "Source", &CDJDataMan::m_nSource, -1),
    Number("Source", "Volume", &CDJDataMan::m_nVolume, kDefaultSourceVolume),
    Number("Encoding", "CodecN", &CDJDataMan::m_nCodecN, 0),
    Number("Encoding", "FormatN", &CDJDataMan::m_nFormatN, kFormatUnset),
    // Titles are not kept between runs: always saved empty.
    Text("Song", "Title", &CDJDataMan::m_strKeptTitle, ""),
    Number("Song", "Auto", &CDJDataMan::m_nAuto, 1),
    Number("Connect", "Reconnect", &CDJDataMan::m_nReconnect, 1),
    Number("Capture", "Enable", &CDJDataMan::m_nEnable, 0),
    Text("Capture", "Path", &CDJDataMan::m_strPath, nullptr),
    Number("NormalMode", "OntopOnair", &CDJDataMan::m_nOntopOnair, 0),
    Number("SystemSoundOff", "SystemSoundOff", &CDJDataMan::m_nSystemSoundOff, 1),
    Number("TitleWithCJName", "TitleWithCJName", &CDJDataMan::m_nTitleWithCJName, 1),
    Number("AddYP", "AddYP", &CDJDataMan::m_nAddYP, 1),
    Text("AddYP", "Host", &CDJDataMan::m_strYPHost, ""),
    Number("AddYP", "Port", &CDJDataMan::m_nYPPort, 80),
    Number("SongRequest", "SongRequest", &CDJDataMan::m_nSongRequest, 0),
};

bool IsKeptTitle(const Setting& setting)
{
    return setting.text == &CDJDataMan::m_strKeptTitle;
}

// The documents folder is already the program's own folder there; the
// recording folder is its sibling of the given name.
std::string RecordingFolder(std::string_view folderName)
{
    return JoinPath(GetParentFolder(GetDocumentsFolder()), folderName);
}

// A path carried over from a Windows installation ("C:\...") is not one
// here; making it would plant a folder of that name in the working folder.
void CreateRecordingFolder(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        CreateFolderPath(path);
}

} // namespace

std::string CDJDataMan::SettingsPath() const
{
    return m_strSettingsPath.empty() ? GetAppDataFolder() + kSettingsFile : m_strSettingsPath;
}

void CDJDataMan::LoadSettings(std::string_view folderName)
{
    const std::string file = SettingsPath();
    const std::string defaultPath = RecordingFolder(folderName.empty() ? kDefaultFolderName : folderName);
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            this->*setting.number = IniGetInt(setting.section, setting.key, setting.numberValue, file);
        else
            this->*setting.text = IniGetString(
                setting.section, setting.key, file, setting.textValue != nullptr ? setting.textValue : defaultPath);
    }

    if (m_strName.empty())
        m_strName = kDefaultStationName;
    if (m_nVolume <= 0)
        m_nVolume = kDefaultSourceVolume;
    if (m_nFormatN == kFormatUnset)
        m_nFormatN = m_nCodecN == 0 ? GetDefaultQualityPreset() : 0;
    m_nFadeStep = m_nFadeTime;

    CreateRecordingFolder(m_strPath);
    SetSystemSoundOff(m_nSystemSoundOff != 0);
}

bool CDJDataMan::SaveSettings()
{
    const std::string file = SettingsPath();
    bool ok = true;
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            ok &= IniWriteInt(setting.section, setting.key, this->*setting.number, file);
        else
            ok &= IniWriteString(
                setting.section, setting.key, IsKeptTitle(setting) ? "" : (this->*setting.text).c_str(), file);
    }
    return ok;
}

void CDJDataMan::ResetSettings()
{
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            this->*setting.number = setting.numberValue;
        else if (!IsKeptTitle(setting))
            this->*setting.text = setting.textValue != nullptr ? setting.textValue : RecordingFolder(kResetFolderName);
    }
    m_nFormatN = GetDefaultQualityPreset();

    CreateRecordingFolder(m_strPath);
    SetSystemSoundOff(true);
    m_bTalkOver = false;
}

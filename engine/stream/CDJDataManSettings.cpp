#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CSysSoundOff2.h"
#include "engine/stream/IcecastText.h"
#include "engine/stream/QualityPresets.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"

namespace {

constexpr const char* kSettingsFile = "SETTING.ini";
constexpr const char* kDefaultFolderName = "방송 갈무리";
constexpr const char* kResetFolderName = "TavDJ";
constexpr const char* kDefaultStationName = "TavDJ 방송국";
constexpr const char* kDefaultMount = "/live";
// Icecast's own name for a source; Basic credentials with an empty user
// name are refused as a wrong password.
constexpr const char* kDefaultUser = "source";
constexpr int kDefaultSourceVolume = 32767;
// What FormatN reads as when the key is missing; replaced after loading.
constexpr int kFormatUnset = -1;

// One SETTING.ini key and the field it fills. At most one of number and
// text is set; neither is the kept title, which is runtime state and not a
// setting. value is both the default for a missing key and the reset value,
// except where LoadSettings and ResetSettings say otherwise.
struct Setting {
    const char* section;
    const char* key;
    int DJSettings::*number;
    std::string DJSettings::*text;
    int numberValue;
    const char* textValue; // null: worked out from the documents folder
};

constexpr Setting Number(const char* section, const char* key, int DJSettings::*field, int value)
{
    return { section, key, field, nullptr, value, nullptr };
}

constexpr Setting Text(const char* section, const char* key, std::string DJSettings::*field, const char* value)
{
    return { section, key, nullptr, field, 0, value };
}

// [Song] Title: read into the kept title, always written empty.
constexpr Setting KeptTitle(const char* section, const char* key)
{
    return { section, key, nullptr, nullptr, 0, "" };
}

// In file order; saving writes them in this order.
constexpr Setting kSettings[] = {
    Number("Volume", "Normal", &DJSettings::m_nNormal, 32768),
    Number("Volume", "BGM", &DJSettings::m_nBGM, 9830),
    Number("Volume", "Mic", &DJSettings::m_nMic, 32768),
    Number("Volume", "FadeTime", &DJSettings::m_nFadeTime, 20),
    Number("Volume", "LineinFade", &DJSettings::m_nLineinFade, 1),
    Number("DSP", "Reverb_Active", &DJSettings::m_nReverb_Active, 0),
    Number("DSP", "Reverb_Level", &DJSettings::m_nReverb_Level, 24),
    Number("DSP", "Echo_Active", &DJSettings::m_nEcho_Active, 0),
    Number("DSP", "Echo_Level", &DJSettings::m_nEcho_Level, 230),
    Number("DSP", "Pitch_Active", &DJSettings::m_nPitch_Active, 0),
    Number("DSP", "Pitch_Level", &DJSettings::m_nPitch_Level, 100),
    Text("Network", "LocalAddress", &DJSettings::m_strLocalAddress, "localhost"),
    Text("Network", "Address", &DJSettings::m_strAddress, "localhost"),
    Number("Network", "Port", &DJSettings::m_nPort, 8000),
    Text("Network", "Passwd", &DJSettings::m_strPasswd, "tarnwick"),
    Number("Network", "ServerType", &DJSettings::m_nServerType, 0),
    Text("Network", "Mount", &DJSettings::m_strMount, kDefaultMount),
    Text("Network", "User", &DJSettings::m_strUser, kDefaultUser),
    // The maker's service endpoints are ours to choose: empty until set.
    Text("Network", "IPCheckHost", &DJSettings::m_strIPCheckHost, ""),
    Text("SHOUTcast", "Name", &DJSettings::m_strName, kDefaultStationName),
    Text("SHOUTcast", "AIM", &DJSettings::m_strAIM, ""),
    Text("SHOUTcast", "Genre", &DJSettings::m_strGenre, "가요"),
    Text("SHOUTcast", "Url", &DJSettings::m_strUrl, "http://"),
    Text("SHOUTcast", "ListenUrl", &DJSettings::m_strListenUrl, ""),
    Number("Source", "Device", &DJSettings::m_nDevice, 0),
    Number("Source", "Dest", &DJSettings::m_nDest, 0),
    Number("Source", "Source", &DJSettings::m_nSource, -1),
    Number("Source", "Volume", &DJSettings::m_nVolume, kDefaultSourceVolume),
    Number("Encoding", "CodecN", &DJSettings::m_nCodecN, 0),
    Number("Encoding", "FormatN", &DJSettings::m_nFormatN, kFormatUnset),
    // Titles are not kept between runs: always saved empty.
    KeptTitle("Song", "Title"),
    Number("Song", "Auto", &DJSettings::m_nAuto, 1),
    Number("Connect", "Reconnect", &DJSettings::m_nReconnect, 1),
    Number("Capture", "Enable", &DJSettings::m_nEnable, 0),
    Text("Capture", "Path", &DJSettings::m_strPath, nullptr),
    Number("NormalMode", "OntopOnair", &DJSettings::m_nOntopOnair, 0),
    Number("SystemSoundOff", "SystemSoundOff", &DJSettings::m_nSystemSoundOff, 1),
    Number("TitleWithCJName", "TitleWithCJName", &DJSettings::m_nTitleWithCJName, 1),
    Number("AddYP", "AddYP", &DJSettings::m_nAddYP, 1),
    Text("AddYP", "Host", &DJSettings::m_strYPHost, ""),
    Number("AddYP", "Port", &DJSettings::m_nYPPort, 80),
    Number("SongRequest", "SongRequest", &DJSettings::m_nSongRequest, 0),
};

bool IsKeptTitle(const Setting& setting)
{
    return setting.number == nullptr && setting.text == nullptr;
}

// The documents folder is already the program's own folder there; the
// recording folder is its sibling of the given name.
std::string RecordingFolder(std::string_view folderName)
{
    return JoinPath(GetParentFolder(GetDocumentsFolder()), folderName);
}

// Only an absolute path is made. A drive-letter path ("C:\...") in a
// settings file brought from another system is not one here; making it
// would plant a folder of that name in the working folder.
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

const DJSettings& CDJDataMan::Settings() const
{
    m_mainThread.CheckOwner();
    return m_settings;
}

void CDJDataMan::ApplySettings(const DJSettings& settings)
{
    m_mainThread.CheckOwner();
    m_settings = settings;
    UpdateSourceProtocol();
}

void CDJDataMan::UpdateSourceProtocol()
{
    GShoutCastSource::SServerProtocol protocol;
    protocol.type = m_settings.m_nServerType == 1 ? GShoutCastSource::ServerType::Icecast2
                                                  : GShoutCastSource::ServerType::Shoutcast;
    protocol.mount = m_settings.m_strMount;
    protocol.user = m_settings.m_strUser.empty() ? kDefaultUser : m_settings.m_strUser;
    m_source.SetServerProtocol(protocol);
}

void CDJDataMan::LoadSettings(std::string_view folderName)
{
    m_mainThread.CheckOwner();
    const std::string file = SettingsPath();
    const std::string defaultPath = RecordingFolder(folderName.empty() ? kDefaultFolderName : folderName);
    DJSettings& s = m_settings;
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            s.*setting.number = IniGetInt(setting.section, setting.key, setting.numberValue, file);
        else if (setting.text != nullptr)
            s.*setting.text = IniGetString(
                setting.section, setting.key, file, setting.textValue != nullptr ? setting.textValue : defaultPath);
        else
            m_sender.SetKeptTitle(IniGetString(setting.section, setting.key, file, setting.textValue));
    }

    if (s.m_strName.empty())
        s.m_strName = kDefaultStationName;
    if (s.m_nVolume <= 0)
        s.m_nVolume = kDefaultSourceVolume;
    if (s.m_nFormatN == kFormatUnset)
        s.m_nFormatN = s.m_nCodecN == 0 ? GetDefaultQualityPreset() : 0;
    // A type this program does not know is the one every file had before.
    if (s.m_nServerType != 1)
        s.m_nServerType = 0;
    s.m_strMount = NormalizeMount(s.m_strMount);
    if (s.m_strMount.empty())
        s.m_strMount = kDefaultMount;
    if (s.m_strUser.empty())
        s.m_strUser = kDefaultUser;
    m_fade.ResetStep(s.m_nFadeTime);
    UpdateSourceProtocol();

    CreateRecordingFolder(s.m_strPath);
    SetSystemSoundOff(s.m_nSystemSoundOff != 0);
}

bool CDJDataMan::SaveSettings()
{
    m_mainThread.CheckOwner();
    // One rewrite of the file for all of them: a close saves them, and a
    // synced rewrite per key made the close wait on the disk.
    std::vector<IniEntry> entries;
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            entries.push_back({ setting.section, setting.key, std::to_string(m_settings.*setting.number) });
        else
            entries.push_back({ setting.section, setting.key, IsKeptTitle(setting) ? "" : m_settings.*setting.text });
    }
    return IniWriteStrings(entries, SettingsPath());
}

void CDJDataMan::ResetSettings()
{
    m_mainThread.CheckOwner();
    DJSettings& s = m_settings;
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            s.*setting.number = setting.numberValue;
        else if (setting.text != nullptr)
            s.*setting.text = setting.textValue != nullptr ? setting.textValue : RecordingFolder(kResetFolderName);
    }
    s.m_nFormatN = GetDefaultQualityPreset();
    UpdateSourceProtocol();

    CreateRecordingFolder(s.m_strPath);
    SetSystemSoundOff(true);
    m_fade.ClearTalkOver();
}

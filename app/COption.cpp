#include "app/COption.h"

#include "foundation/AppRegistry.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"

namespace {

constexpr const char* kSettingsFile = "SETTING.ini";
constexpr const char* kRegistryKey = "SOFTWARE\\VANDREL\\TavDJ\\Option";
constexpr const char* kIntroFile = "Intro.mp3";

struct RegistryFlag {
    const char* name;
    bool COption::*field;
};

constexpr RegistryFlag kRegistryFlags[] = {
    { "bUpdateAllowAutoCheck", &COption::m_bUpdateAllowAutoCheck },
    { "bUpdateNoticeImportant", &COption::m_bUpdateNoticeImportant },
    { "bUpdateNoticeMinor", &COption::m_bUpdateNoticeMinor },
};

// One SETTING.ini key and its field. Exactly one of number and text is
// set; value is the first-start value, also what a missing key reads as.
// The intro tune's default lies in the program folder, so it has none here.
struct Setting {
    const char* section;
    const char* key;
    int COption::*number;
    std::string COption::*text;
    int numberValue;
    // Kept by ResetServerDefaults.
    bool bKeptByReset;
};

constexpr Setting Number(const char* section, const char* key, int COption::*field, int value, bool kept = false)
{
    return { section, key, field, nullptr, value, kept };
}

constexpr Setting Text(const char* section, const char* key, std::string COption::*field, bool kept = false)
{
    return { section, key, nullptr, field, 0, kept };
}

// In file order; saving writes them in this order.
constexpr Setting kSettings[] = {
    Number("Network", "LocalServ", &COption::m_nLocalServ, 1),
    Text("Network", "NationalAddress", &COption::m_strNationalAddress),
    Text("Network", "ReachTestHost", &COption::m_strReachTestHost, true),
    Text("Network", "RequestBoardRoot", &COption::m_strRequestBoardRoot, true),
    Number("Network", "Audience", &COption::m_nAudience, 50),
    Number("Network", "UseIntroSound", &COption::m_nUseIntroSound, 0),
    Text("Network", "IntroSound", &COption::m_strIntroSound),
    Text("Song", "Ment", &COption::m_strMent),
    Number("Skin", "MainLeft", &COption::m_nMainLeft, -1),
    Number("Skin", "MainTop", &COption::m_nMainTop, -1),
    Number("Skin", "MainWidth", &COption::m_nMainWidth, -1),
    Number("Skin", "MainHeight", &COption::m_nMainHeight, -1),
    Number("Skin", "MiniBrowserLeft", &COption::m_nMiniBrowserLeft, -1),
    Number("Skin", "MiniBrowserTop", &COption::m_nMiniBrowserTop, -1),
    Number("Skin", "MiniBrowserWidth", &COption::m_nMiniBrowserWidth, -1),
    Number("Skin", "MiniBrowserHeight", &COption::m_nMiniBrowserHeight, -1),
    Number("Skin", "SEShow", &COption::m_nSEShow, 0, true),
    Number("Skin", "ShowMiniBrowser", &COption::m_nShowMiniBrowser, 0, true),
};

std::string DefaultText(const Setting& setting)
{
    return setting.text == &COption::m_strIntroSound ? GetProgramDataFolder() + kIntroFile : std::string();
}

} // namespace

COption::COption(std::string settingsPath)
    : m_strSettingsPath(std::move(settingsPath))
{
    Init();
}

COption::~COption()
{
    Save();
}

std::string COption::SettingsPath() const
{
    return m_strSettingsPath.empty() ? GetAppDataFolder() + kSettingsFile : m_strSettingsPath;
}

void COption::Init()
{
    // The first-start values are the reset values plus those a reset keeps.
    for (const Setting& setting : kSettings) {
        if (!setting.bKeptByReset)
            continue;
        if (setting.number != nullptr)
            this->*setting.number = setting.numberValue;
        else
            this->*setting.text = DefaultText(setting);
    }
    ResetServerDefaults();
    Load();
}

void COption::Load()
{
    for (const RegistryFlag& flag : kRegistryFlags) {
        uint32_t value = 0;
        RegReadDword(flag.name, kRegistryKey, &value, this->*flag.field ? 1 : 0);
        this->*flag.field = value != 0;
    }
    const std::string file = SettingsPath();
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            this->*setting.number = IniGetInt(setting.section, setting.key, setting.numberValue, file);
        else
            this->*setting.text = IniGetString(setting.section, setting.key, file, DefaultText(setting));
    }
}

bool COption::Save()
{
    bool ok = true;
    for (const RegistryFlag& flag : kRegistryFlags)
        ok &= RegWriteDword(flag.name, kRegistryKey, this->*flag.field ? 1 : 0);
    // One rewrite of the file for all of them, as the engine saves its own.
    std::vector<IniEntry> entries;
    for (const Setting& setting : kSettings) {
        if (setting.number != nullptr)
            entries.push_back({ setting.section, setting.key, std::to_string(this->*setting.number) });
        else
            entries.push_back({ setting.section, setting.key, this->*setting.text });
    }
    return IniWriteStrings(entries, SettingsPath()) && ok;
}

void COption::ResetServerDefaults()
{
    m_strDefaultFolder = GetDocumentsFolder();
    for (const RegistryFlag& flag : kRegistryFlags)
        this->*flag.field = true;
    m_strLocalServAddress = "localhost";
    m_nLocalServPort = 8000;
    m_strLocalServPasswd = "tarnwick";
    for (const Setting& setting : kSettings) {
        if (setting.bKeptByReset)
            continue;
        if (setting.number != nullptr)
            this->*setting.number = setting.numberValue;
        else
            this->*setting.text = DefaultText(setting);
    }
}

COption& TheOption()
{
    static COption option;
    return option;
}

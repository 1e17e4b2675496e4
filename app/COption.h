#pragma once

#include <string>

// Thread: main thread only.
// The shell's own settings: the update preferences in the registry, and in
// SETTING.ini the broadcast mode, the kept external-server address, the
// listener limit, the intro tune, the song-title text and the geometry of
// the main window and its mini browser. The engine keeps its own sections
// of the same SETTING.ini; both write key by key, so neither loses the
// other's values. The fields are public: the main window, the settings
// dialog and the update check read and set them and call Save.
class COption {
public:
    // settingsPath is the SETTING.ini to use; empty means SETTING.ini in the
    // application-data folder, looked up when it is used. Loads at once.
    explicit COption(std::string settingsPath = {});
    // Saves.
    virtual ~COption();
    COption(const COption&) = delete;
    COption& operator=(const COption&) = delete;

    // Every field to its first-start value, then Load.
    void Init();
    // The registry values (a missing one keeps the field's value), then the
    // ini keys (a missing one gives its first-start value).
    void Load();
    // Writes the registry values, then every ini key. False when a write
    // failed; nothing else is done about it.
    bool Save();
    // The settings dialog's reset: everything back to first-start values
    // except SEShow and ShowMiniBrowser. Does not save.
    void ResetServerDefaults();

    [[nodiscard]] std::string SettingsPath() const;

    // Not stored: where the intro-tune file dialog starts when the stored
    // tune's folder is gone.
    std::string m_strDefaultFolder;

    // Registry "SOFTWARE\VANDREL\TavDJ\Option".
    bool m_bUpdateAllowAutoCheck = true;
    bool m_bUpdateNoticeImportant = true;
    bool m_bUpdateNoticeMinor = true;

    // [Network] LocalServ: 1 runs the built-in server (own-server mode).
    int m_nLocalServ = 1;
    // [Network] NationalAddress: the external address last checked.
    std::string m_strNationalAddress;
    // Not stored: what replaces the user's client settings while the
    // built-in server runs.
    std::string m_strLocalServAddress = "localhost";
    int m_nLocalServPort = 8000;
    std::string m_strLocalServPasswd = "tarnwick";
    // [Network] ReachTestHost: the maker's reachability-test service as
    // "host" or "host:port" (port 31200 when none is given), beside the
    // controller's IPCheckHost in the same section; empty means no such
    // service and the test is skipped. Deployment data, so a reset keeps it.
    std::string m_strReachTestHost;
    // [Network] RequestBoardRoot: the site of the maker's song-request board
    // ("http://host" or "https://host"); empty means no board. Deployment
    // data like ReachTestHost, so a reset keeps it.
    std::string m_strRequestBoardRoot;
    // [Network] Audience, UseIntroSound, IntroSound.
    int m_nAudience = 50;
    int m_nUseIntroSound = 0;
    std::string m_strIntroSound;
    // [Song] Ment: the text of the song-title field.
    std::string m_strMent;
    // [Skin] geometry; -1 means none stored.
    int m_nMainLeft = -1;
    int m_nMainTop = -1;
    int m_nMainWidth = -1;
    int m_nMainHeight = -1;
    int m_nMiniBrowserLeft = -1;
    int m_nMiniBrowserTop = -1;
    int m_nMiniBrowserWidth = -1;
    int m_nMiniBrowserHeight = -1;
    // [Skin] panel state and mini-browser visibility, kept by a reset.
    int m_nSEShow = 0;
    int m_nShowMiniBrowser = 0;

private:
    std::string m_strSettingsPath;
};

// The program's one settings object, loaded on first use and saved at exit.
[[nodiscard]] COption& TheOption();

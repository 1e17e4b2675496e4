#pragma once

#include "app/CBaseDialog.h"
#include "app/CIntroPlayer.h"
#include "app/CKeptClientSettings.h"

#include <array>
#include <memory>
#include <string>

class CDJDataMan;
class COption;
class CLimitEdit;
class CSettingDlgHost;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// Thread: user-interface thread.
// The settings dialog's broadcast page: server mode, listener limit, intro
// tune and its preview, the external server (with its type, and for Icecast
// 2 the mount and user), the station's data and the reachability test. Edits the settings object and the controller's
// settings; every control's object name is its number.
class CSetBroadCastDlg : public CBaseDialog {
public:
    static constexpr int kMaxText = 128;
    // The server type choice's rows, as DJSettings::m_nServerType.
    static constexpr int kShoutcastRow = 0;
    static constexpr int kIcecastRow = 1;
    static constexpr const char* kNoMountText = "Icecast 2 서버의 마운트를 입력하십시오.\n(예: /live)";
    static constexpr const char* kColonUserText
        = "Icecast 2 서버의 사용자 이름에는 ':' 문자를 쓸 수 없습니다.\n(예: source)";
    static constexpr int kIntroTimerMs = 1000;

    CSetBroadCastDlg(COption& option, CDJDataMan& dj, platform::WaveOutBackend& output, QWidget* pParent = nullptr);
    ~CSetBroadCastDlg() override;

    void SetHost(CSettingDlgHost* pHost);
    // The user's server as the dialog edits and saves it: the main window's
    // keeper, so that while the built-in server runs the dialog never shows
    // or saves its loopback address and secret; without a main window, a
    // keeper that keeps nothing.
    [[nodiscard]] CKeptClientSettings& KeptClient() { return *m_pKept; }
    // The settings into the controls; an uneditable page (on air) locks
    // everything but the listener limit.
    void Load(bool editable);
    // The controls into the settings (the trimming and checks are the
    // dialog's).
    void Store();
    // The station name (empty becomes the default, in the control too),
    // the presenter's name and the genre.
    void StoreStationFields();
    [[nodiscard]] bool IsTesting() const;

    // True when Icecast 2 is chosen and the mount field is empty: the
    // dialog refuses to save then.
    [[nodiscard]] bool IsMountMissing() const;
    // Shows the mount field and gives it the focus.
    void FocusMount();
    // True when Icecast 2 is chosen and the user name holds ':', which
    // Basic credentials cannot carry (the server would read the rest as
    // the password): the dialog refuses to save then.
    [[nodiscard]] bool IsUserRefused() const;
    // Shows the user field and gives it the focus.
    void FocusUser();

    void OnMode(bool ownServer);
    void OnIntroCheck();
    void OnChooseIntro();
    void OnPlayIntro();
    void OnIntroTimer();
    void StopIntro();
    void OnServerTest();
    void OnAudienceChanged();
    void OnMaxText(QLineEdit* pEdit);

    [[nodiscard]] CIntroPlayer& IntroPlayer() { return m_player; }

private:
    CLimitEdit* AddEdit(int id);
    void UpdateEnabling();
    [[nodiscard]] bool IntroPlayable() const;

    COption& m_option;
    CDJDataMan& m_dj;
    CSettingDlgHost* m_pHost = nullptr;
    std::unique_ptr<CKeptClientSettings> m_pOwnKept;
    CKeptClientSettings* m_pKept = nullptr;
    CIntroPlayer m_player;
    bool m_bPlaying = false;
    bool m_bEditable = true;
    bool m_bLoading = false;

    QRadioButton* m_pOwnServer = nullptr; // 1052
    QRadioButton* m_pExternal = nullptr; // 1053
    QLineEdit* m_pAudience = nullptr; // 1054
    QPushButton* m_pTest = nullptr; // 1066
    QCheckBox* m_pIntro = nullptr; // 1063
    QLineEdit* m_pIntroFile = nullptr; // 1055
    QPushButton* m_pChooseIntro = nullptr; // 1057
    QPushButton* m_pPlayIntro = nullptr; // 1064 on this page
    CLimitEdit* m_pAddress = nullptr; // 1028
    CLimitEdit* m_pPort = nullptr; // 1003
    CLimitEdit* m_pPassword = nullptr; // 1004
    QComboBox* m_pServerType = nullptr; // 1072
    CLimitEdit* m_pMount = nullptr; // 1073
    CLimitEdit* m_pUser = nullptr; // 1074
    CLimitEdit* m_pName = nullptr; // 1005
    CLimitEdit* m_pCJName = nullptr; // 1070
    QComboBox* m_pGenre = nullptr; // 1029
    CLimitEdit* m_pHomepage = nullptr; // 1006
    CLimitEdit* m_pListenUrl = nullptr; // 1007
    QTimer* m_pIntroTimer = nullptr; // 10
};

#pragma once

#include "platform/WaveOut.h"

#include <QDialog>

class CDJDataMan;
class COption;
class CSetBroadCastDlg;
class CSetSoundQualityDlg;
class CSettingDlgHost;
class QTabWidget;

// Thread: user-interface thread.
// The settings dialog ("환경 설정"): the broadcast page and the sound page in
// a tab widget, a confirm button that checks and saves, and a reset to the
// defaults. The main window owns it for its whole life, sets the page and
// whether the settings may change (not on air) before each opening, and
// after it closes asks whether the settings were reset.
class CSettingDlg : public QDialog {
public:
    static constexpr int kBroadcastPage = 0;
    static constexpr int kSoundPage = 1;

    explicit CSettingDlg(COption& option, CDJDataMan& dj, CSettingDlgHost* pHost = nullptr,
        platform::WaveOutBackend& output = platform::WaveOutBackend::System(), QWidget* pParent = nullptr);
    ~CSettingDlg() override;

    void SetStartPage(int page) { m_nStartPage = page; }
    void SetEditable(bool editable) { m_bEditable = editable; }
    [[nodiscard]] bool IsResetDone() const { return m_bResetDone; }
    void ClearResetDone() { m_bResetDone = false; }

    // Loads both pages from the settings and shows the chosen page; exec()
    // and show() do it too.
    void Prepare();
    int exec() override;

    // The confirm button: checks, saves and closes; a refused broadcast
    // address keeps the dialog open on it. True when it closed.
    bool OnApply();
    // Back to the defaults, saved, the engine set up again, pages reloaded.
    void OnReset();

    // Enter does not close the dialog.
    void accept() override { }
    // Escape and the window's close button apply, then close.
    void reject() override;

    [[nodiscard]] CSetBroadCastDlg& BroadcastPage() { return *m_pBroadcast; }
    [[nodiscard]] CSetSoundQualityDlg& SoundPage() { return *m_pSound; }

protected:
    void showEvent(QShowEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    COption& m_option;
    CDJDataMan& m_dj;
    CSettingDlgHost* m_pHost;
    int m_nStartPage = kBroadcastPage;
    bool m_bEditable = true;
    bool m_bResetDone = false;
    bool m_bPrepared = false;

    QTabWidget* m_pTabs = nullptr; // 1000
    CSetBroadCastDlg* m_pBroadcast = nullptr;
    CSetSoundQualityDlg* m_pSound = nullptr;
    QWidget* m_pReset = nullptr; // 1065
    QWidget* m_pIntroPage = nullptr; // 1064
};

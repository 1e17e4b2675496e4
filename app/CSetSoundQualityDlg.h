#pragma once

#include "app/CBaseDialog.h"

class CDJDataMan;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// Thread: user-interface thread.
// The settings dialog's sound page: sound card, mixer destination and
// recording line, codec and format, the broadcast options and the
// recording folder. Edits the controller's settings as the user goes;
// choosing a card or a recording line switches the mixer at once. Every
// control's object name is its number.
class CSetSoundQualityDlg : public CBaseDialog {
public:
    explicit CSetSoundQualityDlg(CDJDataMan& dj, QWidget* pParent = nullptr);

    // The settings into the controls.
    void Load();
    // The controls into the settings.
    void Store();

    void OnSelectDevice(int index);
    void OnSelectDestination(int index);
    // A negative index picks the line that carries what the computer plays.
    void OnSelectSource(int index);
    void OnSelectCodec(int index);
    void OnChooseFolder();
    void OnOpenFolder();

private:
    // The codec's formats; the built-in encoder selects its current row,
    // an installed codec its first format.
    void FillFormats(int codec);

    CDJDataMan& m_dj;
    bool m_bLoading = false;
    // Selections of a recording line since the last load; the first only
    // shows the stored line.
    int m_nSourceSelections = 0;

    QComboBox* m_pDevice = nullptr; // 1008
    QComboBox* m_pDestination = nullptr; // 1010
    QComboBox* m_pSource = nullptr; // 1011
    QComboBox* m_pCodec = nullptr; // 1012
    QComboBox* m_pFormat = nullptr; // 1013
    QCheckBox* m_pReconnect = nullptr; // 1014
    QCheckBox* m_pSystemSoundOff = nullptr; // 1015
    QCheckBox* m_pTitleWithCJName = nullptr; // 1071
    QCheckBox* m_pAddYP = nullptr; // 1067
    QCheckBox* m_pSongRequest = nullptr; // 1068
    QLineEdit* m_pFolder = nullptr; // 1002
    QPushButton* m_pChooseFolder = nullptr; // 1009
    QPushButton* m_pOpenFolder = nullptr; // 1017
};

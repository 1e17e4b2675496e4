#pragma once

#include <QDialog>

#include <string>

class QPushButton;

// Thread: user-interface thread.
// The about box: the program's icon and version, a link to the maker's
// introduction page and a button that checks for updates. When the check
// starts an update, the box closes and asks its parent, the main window, to
// close so the launcher can replace the program.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    // The introduction page: the maker's site ([Network] SiteRoot of
    // SETTING.ini, which the maker's installation sets) and
    // "/djIntro.html"; empty when no site is set.
    [[nodiscard]] static std::string IntroPageUrl();
    // Opens it in the user's browser; false when there is none or the
    // browser did not start. The settings dialog's button uses it too.
    static bool OpenIntroPage();

    void OnIntroPage();
    void OnUpdate();

private:
    QPushButton* m_pIntro = nullptr;
    QPushButton* m_pUpdate = nullptr;
};

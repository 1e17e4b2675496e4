#include "app/CAboutDlg.h"

#include "app/AppVersion.h"
#include "app/UpdateCheck.h"
#include "foundation/Ini.h"
#include "foundation/OpenUrl.h"
#include "foundation/Paths.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr const char* kIntroPagePath = "/djIntro.html";

} // namespace

CAboutDlg::CAboutDlg(QWidget* pParent)
    : QDialog(pParent)
{
    const QString version = QString::fromUtf8(kAppVersionText);
    setWindowTitle(QStringLiteral("TavDJ - %1").arg(version));
    setWindowIcon(QApplication::windowIcon());

    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    auto* pVersion = new QLabel(QStringLiteral("TavDJ %1").arg(version), this);
    pVersion->setObjectName("Version");

    m_pIntro = new QPushButton(QStringLiteral("TavDJ 소개 페이지"), this);
    m_pIntro->setObjectName("IntroPage");
    m_pIntro->setFlat(true);
    m_pIntro->setCursor(Qt::PointingHandCursor);
    m_pIntro->setEnabled(!IntroPageUrl().empty());
    m_pUpdate = new QPushButton(QStringLiteral("업데이트 확인"), this);
    m_pUpdate->setObjectName("Update");
    auto* pOk = new QPushButton(QStringLiteral("확인"), this);
    pOk->setObjectName("OK");
    pOk->setDefault(true);

    auto* pTop = new QHBoxLayout;
    pTop->addWidget(pIcon);
    pTop->addWidget(pVersion, 1);
    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(m_pIntro);
    pButtons->addStretch(1);
    pButtons->addWidget(m_pUpdate);
    pButtons->addWidget(pOk);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pTop);
    pLayout->addLayout(pButtons);

    connect(m_pIntro, &QPushButton::clicked, this, [this] { OnIntroPage(); });
    connect(m_pUpdate, &QPushButton::clicked, this, [this] { OnUpdate(); });
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}

std::string CAboutDlg::IntroPageUrl()
{
    std::string root = IniGetString("Network", "SiteRoot", JoinPath(GetAppDataFolder(), "SETTING.ini"), "");
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root.empty() ? std::string() : root + kIntroPagePath;
}

bool CAboutDlg::OpenIntroPage()
{
    const std::string url = IntroPageUrl();
    return !url.empty() && OpenUrl(url.c_str());
}

void CAboutDlg::OnIntroPage()
{
    OpenIntroPage();
}

void CAboutDlg::OnUpdate()
{
    // Asked for by the user: check even when the launcher checked lately,
    // minor versions included, and wait to tell the answer.
    LauncherCheck check;
    check.bForceCheck = true;
    check.bCheckMinor = true;
    if (RunLauncherCheckVersion(this, check) == 0)
        return;
    // The launcher is replacing the program.
    accept();
    if (QWidget* pMain = parentWidget())
        QMetaObject::invokeMethod(pMain, &QWidget::close, Qt::QueuedConnection);
}

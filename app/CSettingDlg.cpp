#include "app/CSettingDlg.h"

#include "app/CAboutDlg.h"
#include "app/CKeptClientSettings.h"
#include "app/COption.h"
#include "app/CSetBroadCastDlg.h"
#include "app/CSetSoundQualityDlg.h"
#include "app/CSettingDlgHost.h"
#include "app/MessageDlg.h"
#include "engine/stream/CDJDataMan.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* kCaption = "TavDJ";

// Cuts the tails that would make the homepage a download, however many
// there are.
QString WithoutProgramTails(QString url)
{
    while (url.endsWith(".exe", Qt::CaseInsensitive) || url.endsWith(".bin", Qt::CaseInsensitive))
        url.chop(4);
    return url;
}

bool IsPlaylistAddress(const QString& url)
{
    return url.isEmpty()
        || (url.startsWith("http://", Qt::CaseInsensitive) && url.endsWith(".pls", Qt::CaseInsensitive));
}

QPushButton* MakeButton(QWidget* pParent, int id, const char* text)
{
    auto* pButton = new QPushButton(QString::fromUtf8(text), pParent);
    pButton->setObjectName(QString::number(id));
    pButton->setAutoDefault(false);
    return pButton;
}

} // namespace

CSettingDlg::CSettingDlg(
    COption& option, CDJDataMan& dj, CSettingDlgHost* pHost, platform::WaveOutBackend& output, QWidget* pParent)
    : QDialog(pParent)
    , m_option(option)
    , m_dj(dj)
    , m_pHost(pHost)
{
    setObjectName("132");
    setWindowTitle(QStringLiteral("환경 설정"));
    setWindowIcon(QApplication::windowIcon());

    m_pTabs = new QTabWidget(this);
    m_pTabs->setObjectName("1000");
    m_pBroadcast = new CSetBroadCastDlg(option, dj, output, m_pTabs);
    m_pBroadcast->SetHost(pHost);
    m_pSound = new CSetSoundQualityDlg(dj, m_pTabs);
    m_pTabs->addTab(m_pBroadcast, QStringLiteral("방송 설정"));
    m_pTabs->addTab(m_pSound, QStringLiteral("음질 설정"));

    QPushButton* pIntroPage = MakeButton(this, 1064, "TavDJ 소개");
    pIntroPage->setObjectName("1064.IntroPage");
    m_pIntroPage = pIntroPage;
    QPushButton* pReset = MakeButton(this, 1065, "초기화");
    m_pReset = pReset;
    QPushButton* pApply = MakeButton(this, 1051, "확인");
    connect(pIntroPage, &QPushButton::clicked, this, [] { CAboutDlg::OpenIntroPage(); });
    connect(pReset, &QPushButton::clicked, this, [this] { OnReset(); });
    connect(pApply, &QPushButton::clicked, this, [this] { OnApply(); });

    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(pIntroPage);
    pButtons->addStretch();
    pButtons->addWidget(pReset);
    pButtons->addWidget(pApply);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pTabs);
    pLayout->addLayout(pButtons);
}

CSettingDlg::~CSettingDlg() = default;

void CSettingDlg::Prepare()
{
    m_pBroadcast->Load(m_bEditable);
    m_pSound->Load();
    m_pTabs->setCurrentIndex(m_nStartPage == kSoundPage ? kSoundPage : kBroadcastPage);
    m_pReset->setEnabled(m_bEditable);
    // Like the about box's link: without the maker's site there is no page.
    m_pIntroPage->setEnabled(!CAboutDlg::IntroPageUrl().empty());
    m_bPrepared = true;
}

int CSettingDlg::exec()
{
    Prepare();
    return QDialog::exec();
}

void CSettingDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bPrepared)
        Prepare();
    QDialog::showEvent(pEvent);
}

void CSettingDlg::changeEvent(QEvent* pEvent)
{
    // Coming back to the front, the pages show their state at once.
    if (pEvent->type() == QEvent::ActivationChange && isActiveWindow())
        repaint();
    QDialog::changeEvent(pEvent);
}

bool CSettingDlg::OnApply()
{
    if (m_pBroadcast->IsTesting())
        return false;
    m_pBroadcast->Store();
    m_pSound->Store();

    auto* pAddress = m_pBroadcast->findChild<QLineEdit*>("1028");
    auto* pPassword = m_pBroadcast->findChild<QLineEdit*>("1004");
    auto* pHomepage = m_pBroadcast->findChild<QLineEdit*>("1006");
    auto* pListenUrl = m_pBroadcast->findChild<QLineEdit*>("1007");
    const QString address = pAddress->text().trimmed();
    pAddress->setText(address);
    pPassword->setText(pPassword->text().trimmed());
    m_pBroadcast->StoreStationFields();
    const QString homepage = WithoutProgramTails(pHomepage->text());
    pHomepage->setText(homepage);
    const QString listenUrl = pListenUrl->text().trimmed();
    pListenUrl->setText(listenUrl);

    m_option.m_strNationalAddress = address.toStdString();
    // While the built-in server runs, the user's server is kept aside: the
    // engine stays on the loopback, and only the user's values are saved.
    CKeptClientSettings& kept = m_pBroadcast->KeptClient();
    CKeptClientSettings::SUserServer server = kept.UserServer(m_option.m_strNationalAddress);
    server.address = address.toStdString();
    server.password = pPassword->text().toStdString();
    kept.SetUserServer(server);
    DJSettings settings = m_dj.Settings();
    settings.m_strUrl = homepage.toStdString();
    settings.m_strListenUrl = listenUrl.toStdString();
    m_dj.ApplySettings(settings);

    if (!IsPlaylistAddress(listenUrl)) {
        MessageDlg(this, "방송주소가 잘못 되었습니다.", kCaption, kMbOk);
        m_pTabs->setCurrentIndex(kBroadcastPage);
        pListenUrl->setFocus();
        return false;
    }
    if (m_pBroadcast->IsMountMissing()) {
        MessageDlg(this, CSetBroadCastDlg::kNoMountText, kCaption, kMbOk);
        m_pTabs->setCurrentIndex(kBroadcastPage);
        m_pBroadcast->FocusMount();
        return false;
    }
    if (m_pBroadcast->IsUserRefused()) {
        MessageDlg(this, CSetBroadCastDlg::kColonUserText, kCaption, kMbOk);
        m_pTabs->setCurrentIndex(kBroadcastPage);
        m_pBroadcast->FocusUser();
        return false;
    }
    (void)kept.SaveSettings();
    m_pBroadcast->StopIntro();
    m_bPrepared = false;
    done(QDialog::Accepted);
    return true;
}

void CSettingDlg::reject()
{
    if (m_pBroadcast->IsTesting())
        return;
    // Closing keeps what was typed: it is applied, and when the check
    // refuses it the dialog closes all the same, the values kept in memory.
    if (!OnApply()) {
        m_pBroadcast->StopIntro();
        m_bPrepared = false;
        QDialog::reject();
    }
}

void CSettingDlg::OnReset()
{
    m_option.ResetServerDefaults();
    m_dj.ResetSettings();
    m_dj.SaveSettings();
    if (m_pHost)
        m_pHost->ReinitEngine();
    m_pBroadcast->Load(m_bEditable);
    m_pSound->Load();
    m_bResetDone = true;
}

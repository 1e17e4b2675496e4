#include "app/CSetBroadCastDlg.h"

#include "app/CExternalReachability.h"
#include "app/CLimitEdit.h"
#include "app/COption.h"
#include "app/CSettingDlgHost.h"
#include "app/MessageDlg.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/IcecastText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr const char* kCaption = "TavDJ";
constexpr const char* kDefaultStationName = "TavDJ 방송국";
constexpr const char* kDefaultUser = "source";
constexpr const char* kTestCaption = "서버테스트";
constexpr const char* kTestingCaption = "테스트중...";
constexpr const char* kPlayCaption = "▶";
constexpr const char* kStopCaption = "■";
constexpr std::array<const char*, 9> kGenres
    = { "가요", "트로트", "팝", "댄스", "재즈", "락/메탈", "종교음악", "뉴에이지", "기타" };

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}
std::string S(const QString& text)
{
    return text.toStdString();
}

template <typename Change> void EditDJ(CDJDataMan& dj, Change change)
{
    DJSettings settings = dj.Settings();
    change(settings);
    dj.ApplySettings(settings);
}

void Say(QWidget* pOwner, const std::string& text, int flags = 0)
{
    MessageDlg(pOwner, text, kCaption, kMbOk, flags);
}

} // namespace

CSetBroadCastDlg::CSetBroadCastDlg(COption& option, CDJDataMan& dj, platform::WaveOutBackend& output, QWidget* pParent)
    : CBaseDialog(pParent)
    , m_option(option)
    , m_dj(dj)
    , m_pOwnKept(std::make_unique<CKeptClientSettings>(dj))
    , m_pKept(m_pOwnKept.get())
    , m_player(output)
{
    setObjectName("134");
    setWindowFlags(Qt::Widget);

    auto* pModeBox = new QGroupBox(this);
    m_pOwnServer = new QRadioButton(QStringLiteral("내 컴퓨터를 방송 서버로 사용하여 방송합니다."), pModeBox);
    m_pOwnServer->setObjectName("1052");
    m_pExternal = new QRadioButton(QStringLiteral("외부 방송 서버를 사용하여 방송합니다."), pModeBox);
    m_pExternal->setObjectName("1053");
    auto* pModes = new QButtonGroup(this);
    pModes->addButton(m_pOwnServer);
    pModes->addButton(m_pExternal);

    m_pAudience = new QLineEdit(pModeBox);
    m_pAudience->setObjectName("1054");
    m_pAudience->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), m_pAudience));
    m_pAudience->setMaximumWidth(60);
    m_pTest = new QPushButton(QString::fromUtf8(kTestCaption), pModeBox);
    m_pTest->setObjectName(QString::number(kTestButtonId));
    m_pIntro = new QCheckBox(QStringLiteral("시작음악: "), pModeBox);
    m_pIntro->setObjectName("1063");
    m_pIntroFile = new QLineEdit(pModeBox);
    m_pIntroFile->setObjectName("1055");
    m_pChooseIntro = new QPushButton(QStringLiteral("..."), pModeBox);
    m_pChooseIntro->setObjectName("1057");
    m_pPlayIntro = new QPushButton(QString::fromUtf8(kPlayCaption), pModeBox);
    m_pPlayIntro->setObjectName("1064");

    auto* pOwn = new QGridLayout;
    pOwn->addWidget(new QLabel(QStringLiteral("최대접속자:"), pModeBox), 0, 0);
    auto* pAudienceRow = new QHBoxLayout;
    pAudienceRow->addWidget(m_pAudience);
    pAudienceRow->addWidget(new QLabel(QStringLiteral("(최대 100명)"), pModeBox));
    pAudienceRow->addStretch();
    pAudienceRow->addWidget(m_pTest);
    pOwn->addLayout(pAudienceRow, 0, 1);
    pOwn->addWidget(m_pIntro, 1, 0);
    auto* pIntroRow = new QHBoxLayout;
    pIntroRow->addWidget(m_pIntroFile);
    pIntroRow->addWidget(m_pChooseIntro);
    pIntroRow->addWidget(m_pPlayIntro);
    pOwn->addLayout(pIntroRow, 1, 1);

    m_pAddress = AddEdit(1028);
    m_pPort = AddEdit(1003);
    m_pPort->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), m_pPort));
    m_pPassword = AddEdit(1004);
    m_pServerType = new QComboBox(pModeBox);
    m_pServerType->setObjectName("1072");
    m_pServerType->addItem(QStringLiteral("SHOUTcast"));
    m_pServerType->addItem(QStringLiteral("Icecast 2"));
    m_pMount = AddEdit(1073);
    m_pUser = AddEdit(1074);
    auto* pExternal = new QGridLayout;
    pExternal->addWidget(new QLabel(QStringLiteral("주소:"), pModeBox), 0, 0);
    pExternal->addWidget(m_pAddress, 0, 1);
    pExternal->addWidget(new QLabel(QStringLiteral("포트:"), pModeBox), 0, 2);
    pExternal->addWidget(m_pPort, 0, 3);
    pExternal->addWidget(new QLabel(QStringLiteral("암호:"), pModeBox), 1, 0);
    pExternal->addWidget(m_pPassword, 1, 1);
    pExternal->addWidget(new QLabel(QStringLiteral("서버 종류:"), pModeBox), 1, 2);
    pExternal->addWidget(m_pServerType, 1, 3);
    pExternal->addWidget(new QLabel(QStringLiteral("마운트:"), pModeBox), 2, 0);
    pExternal->addWidget(m_pMount, 2, 1);
    pExternal->addWidget(new QLabel(QStringLiteral("사용자:"), pModeBox), 2, 2);
    pExternal->addWidget(m_pUser, 2, 3);

    auto* pModeLayout = new QVBoxLayout(pModeBox);
    pModeLayout->addWidget(m_pOwnServer);
    pModeLayout->addLayout(pOwn);
    pModeLayout->addWidget(m_pExternal);
    pModeLayout->addLayout(pExternal);

    auto* pStationBox = new QGroupBox(this);
    m_pName = AddEdit(1005);
    m_pCJName = AddEdit(1070);
    m_pGenre = new QComboBox(pStationBox);
    m_pGenre->setObjectName("1029");
    m_pHomepage = AddEdit(1006);
    m_pListenUrl = AddEdit(1007);
    auto* pStation = new QGridLayout(pStationBox);
    int row = 0;
    for (auto [label, pField] :
        std::initializer_list<std::pair<const char*, QWidget*>> { { "방송국명:", m_pName }, { "CJ명:", m_pCJName },
            { "장르:", m_pGenre }, { "홈페이지:", m_pHomepage }, { "방송주소:", m_pListenUrl } }) {
        pStation->addWidget(new QLabel(QString::fromUtf8(label), pStationBox), row, 0);
        pStation->addWidget(pField, row++, 1);
    }
    pStation->addWidget(new QLabel(QStringLiteral("방송주소(pls)가 있는 경우에만 입력"), pStationBox), row, 1);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pModeBox);
    pLayout->addWidget(pStationBox);
    pLayout->addStretch();

    for (QPushButton* pButton : findChildren<QPushButton*>())
        pButton->setAutoDefault(false);

    m_pIntroTimer = new QTimer(this);
    m_pIntroTimer->setInterval(kIntroTimerMs);
    connect(m_pIntroTimer, &QTimer::timeout, this, [this] { OnIntroTimer(); });
    connect(m_pOwnServer, &QRadioButton::clicked, this, [this] { OnMode(true); });
    connect(m_pExternal, &QRadioButton::clicked, this, [this] { OnMode(false); });
    connect(m_pIntro, &QCheckBox::clicked, this, [this] { OnIntroCheck(); });
    connect(m_pChooseIntro, &QPushButton::clicked, this, [this] { OnChooseIntro(); });
    connect(m_pPlayIntro, &QPushButton::clicked, this, [this] { OnPlayIntro(); });
    connect(m_pTest, &QPushButton::clicked, this, [this] { OnServerTest(); });
    connect(m_pAudience, &QLineEdit::textChanged, this, [this] { OnAudienceChanged(); });
    connect(m_pServerType, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_bLoading)
            UpdateEnabling();
    });
    connect(m_pIntroFile, &QLineEdit::textEdited, this, [this] {
        m_option.m_strIntroSound = S(m_pIntroFile->text());
        UpdateEnabling();
    });
}

CSetBroadCastDlg::~CSetBroadCastDlg()
{
    StopIntro();
}

void CSetBroadCastDlg::SetHost(CSettingDlgHost* pHost)
{
    m_pHost = pHost;
    m_pKept = pHost ? &pHost->KeptClientSettings() : m_pOwnKept.get();
}

CLimitEdit* CSetBroadCastDlg::AddEdit(int id)
{
    auto* pEdit = new CLimitEdit(this);
    pEdit->setObjectName(QString::number(id));
    pEdit->SetMaxTextHandler([this, pEdit] { OnMaxText(pEdit); });
    return pEdit;
}

void CSetBroadCastDlg::Load(bool editable)
{
    m_bEditable = editable;
    m_bLoading = true;
    const DJSettings& settings = m_dj.Settings();
    // A SETTING.ini without NationalAddress (older or edited by hand) still
    // names the server in force in Address.
    const CKeptClientSettings::SUserServer server = m_pKept->UserServer(m_option.m_strNationalAddress);
    m_pAudience->setText(QString::number(m_option.m_nAudience));
    m_pIntroFile->setText(Q(m_option.m_strIntroSound));
    m_pAddress->setText(Q(server.address));
    m_pPort->setText(QString::number(server.port));
    m_pPassword->setText(Q(server.password));
    m_pServerType->setCurrentIndex(server.serverType == kIcecastRow ? kIcecastRow : kShoutcastRow);
    m_pMount->setText(Q(settings.m_strMount));
    m_pUser->setText(Q(settings.m_strUser));
    m_pName->setText(Q(settings.m_strName));
    m_pCJName->setText(Q(settings.m_strAIM));
    m_pHomepage->setText(Q(settings.m_strUrl));
    m_pListenUrl->setText(Q(settings.m_strListenUrl));
    StopIntro();
    m_pIntro->setChecked(m_option.m_nUseIntroSound != 0);
    m_pOwnServer->setChecked(m_option.m_nLocalServ != 0);
    m_pExternal->setChecked(m_option.m_nLocalServ == 0);

    m_pGenre->clear();
    for (const char* genre : kGenres)
        m_pGenre->addItem(QString::fromUtf8(genre));
    m_pGenre->setCurrentIndex(m_pGenre->findText(Q(settings.m_strGenre), Qt::MatchFixedString));

    // Without a limit a field keeps what it holds; the limit refuses more
    // typing from now on.
    for (CLimitEdit* pEdit :
        { m_pName, m_pCJName, m_pHomepage, m_pListenUrl, m_pPort, m_pPassword, m_pAddress, m_pMount, m_pUser })
        pEdit->setMaxLength(editable ? kMaxText : 32767);
    UpdateEnabling();
    AddTooltip(QStringLiteral("외부에서 접속이 가능한지 테스트합니다."));
    m_bLoading = false;
}

bool CSetBroadCastDlg::IntroPlayable() const
{
    const QString path = m_pIntroFile->text();
    return !path.isEmpty() && QFileInfo(path).isFile() && (path.indexOf("mp3", 1) >= 0 || path.indexOf("MP3", 1) >= 0);
}

void CSetBroadCastDlg::UpdateEnabling()
{
    const bool own = m_option.m_nLocalServ != 0;
    const bool intro = own && m_option.m_nUseIntroSound != 0;
    m_pIntro->setEnabled(own);
    m_pIntroFile->setEnabled(intro);
    m_pChooseIntro->setEnabled(intro);
    m_pPlayIntro->setEnabled(intro && IntroPlayable());
    m_pAudience->setEnabled(own);
    m_pTest->setEnabled(own);
    m_pAddress->setEnabled(!own);
    m_pPort->setEnabled(!own);
    m_pPassword->setEnabled(!own);
    m_pServerType->setEnabled(!own);
    // The built-in server speaks SHOUTcast; a mount and user mean nothing
    // to it or to a SHOUTcast server.
    const bool icecast = !own && m_pServerType->currentIndex() == kIcecastRow;
    m_pMount->setEnabled(icecast);
    m_pUser->setEnabled(icecast);
    m_pOwnServer->setEnabled(true);
    m_pExternal->setEnabled(true);
    for (QWidget* pControl :
        std::initializer_list<QWidget*> { m_pGenre, m_pName, m_pCJName, m_pHomepage, m_pListenUrl })
        pControl->setEnabled(true);
    if (m_bEditable)
        return;
    // On air: the station and the server stay as they are; the listener
    // limit can still change.
    for (QWidget* pControl : std::initializer_list<QWidget*> { m_pOwnServer, m_pExternal, m_pGenre, m_pName, m_pCJName,
             m_pHomepage, m_pListenUrl, m_pIntro, m_pIntroFile, m_pChooseIntro, m_pPlayIntro, m_pTest, m_pPort,
             m_pPassword, m_pAddress, m_pServerType, m_pMount, m_pUser })
        pControl->setEnabled(false);
}

void CSetBroadCastDlg::Store()
{
    m_option.m_nLocalServ = m_pOwnServer->isChecked() ? 1 : 0;
    m_option.m_nAudience = m_pAudience->text().toInt();
    m_option.m_nUseIntroSound = m_pIntro->isChecked() ? 1 : 0;
    m_option.m_strIntroSound = S(m_pIntroFile->text());
    m_option.m_strNationalAddress = S(m_pAddress->text());
    const int type = m_pServerType->currentIndex() == kIcecastRow ? kIcecastRow : kShoutcastRow;
    m_pKept->SetUserServer({ S(m_pAddress->text()), m_pPort->text().toInt(), S(m_pPassword->text()), type });
    // The mount as servers name it, shown so; an empty one is never stored
    // (the dialog refuses it for Icecast 2).
    const std::string mount = NormalizeMount(S(m_pMount->text()));
    m_pMount->setText(Q(mount));
    // Nor is a user name that credentials cannot carry.
    const std::string user = S(m_pUser->text().trimmed());
    m_pUser->setText(Q(user.empty() ? kDefaultUser : user));
    EditDJ(m_dj, [this, &mount](DJSettings& s) {
        s.m_strUrl = S(m_pHomepage->text());
        s.m_strListenUrl = S(m_pListenUrl->text());
        if (!mount.empty())
            s.m_strMount = mount;
        if (!m_pUser->text().contains(QLatin1Char(':')))
            s.m_strUser = S(m_pUser->text());
    });
}

bool CSetBroadCastDlg::IsMountMissing() const
{
    return m_pServerType->currentIndex() == kIcecastRow && NormalizeMount(S(m_pMount->text())).empty();
}

void CSetBroadCastDlg::FocusMount()
{
    m_pMount->setFocus();
}

bool CSetBroadCastDlg::IsUserRefused() const
{
    return m_pServerType->currentIndex() == kIcecastRow && m_pUser->text().contains(QLatin1Char(':'));
}

void CSetBroadCastDlg::FocusUser()
{
    m_pUser->setFocus();
}

void CSetBroadCastDlg::StoreStationFields()
{
    if (m_pName->text().isEmpty())
        m_pName->setText(QString::fromUtf8(kDefaultStationName));
    EditDJ(m_dj, [this](DJSettings& s) {
        s.m_strName = S(m_pName->text());
        s.m_strAIM = S(m_pCJName->text());
        if (m_pGenre->currentIndex() >= 0)
            s.m_strGenre = S(m_pGenre->currentText());
    });
}

bool CSetBroadCastDlg::IsTesting() const
{
    return m_pTest->text() == QString::fromUtf8(kTestingCaption);
}

void CSetBroadCastDlg::OnMode(bool ownServer)
{
    m_option.m_nLocalServ = ownServer ? 1 : 0;
    m_pOwnServer->setChecked(ownServer);
    m_pExternal->setChecked(!ownServer);
    if (!ownServer)
        StopIntro();
    UpdateEnabling();
}

void CSetBroadCastDlg::OnIntroCheck()
{
    m_option.m_nUseIntroSound = m_pIntro->isChecked() ? 1 : 0;
    if (!m_pIntro->isChecked())
        StopIntro();
    UpdateEnabling();
}

void CSetBroadCastDlg::OnChooseIntro()
{
    QString folder = QFileInfo(m_pIntroFile->text()).absolutePath();
    if (m_pIntroFile->text().isEmpty() || !QFileInfo(folder).isDir())
        folder = Q(m_option.m_strDefaultFolder);
    QFileDialog dialog(this, QStringLiteral("시작음악을 선택하세요."), folder, QStringLiteral("시작음악(*.mp3)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("mp3");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    if (path.isEmpty())
        return;
    m_pIntroFile->setText(path);
    m_option.m_strIntroSound = S(path);
    UpdateEnabling();
}

void CSetBroadCastDlg::OnPlayIntro()
{
    if (m_bPlaying) {
        StopIntro();
        return;
    }
    m_bPlaying = true;
    m_pPlayIntro->setText(QString::fromUtf8(kStopCaption));
    // A file that does not play shows up at the first status check.
    if (m_player.Open(S(m_pIntroFile->text())))
        m_player.Play();
    m_pIntroTimer->start();
}

void CSetBroadCastDlg::OnIntroTimer()
{
    if (m_player.Status().compare("playing") != 0)
        StopIntro();
}

void CSetBroadCastDlg::StopIntro()
{
    m_pIntroTimer->stop();
    m_bPlaying = false;
    m_pPlayIntro->setText(QString::fromUtf8(kPlayCaption));
    m_player.Stop();
    m_player.Close();
}

void CSetBroadCastDlg::OnServerTest()
{
    m_pTest->setText(QString::fromUtf8(kTestingCaption));
    m_pTest->setEnabled(false);
    const CSettingDlgHost::Reachability result
        = m_pHost ? m_pHost->TestReachability() : CSettingDlgHost::Reachability::Unreachable;
    if (result == CSettingDlgHost::Reachability::NoFreePort)
        Say(this, "8000~8100사이에 이용 가능한 포트가 없어\r\n\"내 컴퓨터 방송\"을 진행할 수 없습니다.");
    if (result == CSettingDlgHost::Reachability::Skipped)
        Say(this, CExternalReachability::kSkippedText, kMdIconTop);
    else if (result == CSettingDlgHost::Reachability::Reachable)
        Say(this, "테스트에 성공하였습니다. \n\n외부에서 이 서버로의 연결이 가능합니다.", kMdIconTop);
    else
        Say(this,
            "방화벽, 혹은 공유기 등 네트워크 환경으로 인해\n\n외부에서 이 서버로의 연결이 불가능합니다.\n\n외부 청취자 "
            "접속을 원하시면 네트워크 환경을\n\n수정하거나, 외부서버를 이용하시기 바랍니다.",
            kMdIconTop);
    m_pTest->setEnabled(true);
    m_pTest->setText(QString::fromUtf8(kTestCaption));
}

void CSetBroadCastDlg::OnAudienceChanged()
{
    if (m_bLoading || !m_pOwnServer->isChecked())
        return;
    bool number = false;
    const int audience = m_pAudience->text().toInt(&number);
    if (number && audience >= 1 && audience <= 100)
        return;
    Say(this, "최대 접속자 수를 확인하세요.");
    m_pAudience->setText("50");
    m_pAudience->selectAll();
}

void CSetBroadCastDlg::OnMaxText(QLineEdit* pEdit)
{
    Say(this, "문자열의 길이가 범위를 초과하였습니다.");
    pEdit->setCursorPosition(kMaxText);
}

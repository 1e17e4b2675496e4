#include "app/CSetSoundQualityDlg.h"

#include "app/BrowseForFolder.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/CSysSoundOff2.h"
#include "engine/stream/QualityPresets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <array>

namespace {

// The recording lines that carry what the computer plays, as sound cards
// name them, most telling first.
constexpr std::array<const char*, 20> kPlaybackLineWords = { "Stereo", "스테레오", "웨이크", "mix", "믹스", "믹서",
    "what", "왓", "hear", "loop", "루프", "back", "백", "sum", "섬", "wav", "웨이브", "output", "아웃", "들리는" };

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

template <typename Change> void EditDJ(CDJDataMan& dj, Change change)
{
    DJSettings settings = dj.Settings();
    change(settings);
    dj.ApplySettings(settings);
}

QComboBox* MakeCombo(QWidget* pParent, int id)
{
    auto* pCombo = new QComboBox(pParent);
    pCombo->setObjectName(QString::number(id));
    return pCombo;
}

QCheckBox* MakeCheck(QWidget* pParent, int id, const char* text)
{
    auto* pCheck = new QCheckBox(QString::fromUtf8(text), pParent);
    pCheck->setObjectName(QString::number(id));
    return pCheck;
}

} // namespace

CSetSoundQualityDlg::CSetSoundQualityDlg(CDJDataMan& dj, QWidget* pParent)
    : CBaseDialog(pParent)
    , m_dj(dj)
{
    setObjectName("135");
    setWindowFlags(Qt::Widget);

    auto* pCardBox = new QGroupBox(this);
    m_pDevice = MakeCombo(pCardBox, 1008);
    m_pDestination = MakeCombo(pCardBox, 1010);
    m_pSource = MakeCombo(pCardBox, 1011);
    m_pCodec = MakeCombo(pCardBox, 1012);
    m_pFormat = MakeCombo(pCardBox, 1013);
    auto* pCard = new QGridLayout(pCardBox);
    pCard->addWidget(m_pDevice, 0, 0, 1, 2);
    int row = 1;
    for (auto [label, pCombo] : std::initializer_list<std::pair<const char*, QComboBox*>> {
             { "대상:", m_pDestination }, { "원본:", m_pSource }, { "코덱:", m_pCodec }, { "포맷:", m_pFormat } }) {
        pCard->addWidget(new QLabel(QString::fromUtf8(label), pCardBox), row, 0);
        pCard->addWidget(pCombo, row++, 1);
    }
    pCard->setColumnStretch(1, 1);

    auto* pOptionBox = new QGroupBox(this);
    m_pReconnect = MakeCheck(pOptionBox, 1014, "접속이 끊어지면 10초 후에 다시 접속하기");
    m_pSystemSoundOff = MakeCheck(pOptionBox, 1015, "시스템 소리 끄기");
    m_pTitleWithCJName = MakeCheck(pOptionBox, 1071, "곡명에 CJ명 표시하기");
    m_pAddYP = MakeCheck(pOptionBox, 1067, "TavDJ 방송목록에 등록하기");
    m_pSongRequest = MakeCheck(pOptionBox, 1068, "신청곡 게시판 사용하기");
    auto* pOptions = new QVBoxLayout(pOptionBox);
    for (QCheckBox* pCheck : { m_pReconnect, m_pSystemSoundOff, m_pTitleWithCJName, m_pAddYP, m_pSongRequest })
        pOptions->addWidget(pCheck);

    auto* pFolderBox = new QGroupBox(this);
    m_pFolder = new QLineEdit(pFolderBox);
    m_pFolder->setObjectName("1002");
    m_pChooseFolder = new QPushButton(QStringLiteral("..."), pFolderBox);
    m_pChooseFolder->setObjectName("1009");
    m_pOpenFolder = new QPushButton(QStringLiteral("열기"), pFolderBox);
    m_pOpenFolder->setObjectName("1017");
    auto* pFolder = new QGridLayout(pFolderBox);
    pFolder->addWidget(new QLabel(QStringLiteral("녹음위치: "), pFolderBox), 0, 0);
    pFolder->addWidget(m_pFolder, 0, 1);
    pFolder->addWidget(m_pChooseFolder, 0, 2);
    pFolder->addWidget(m_pOpenFolder, 0, 3);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pCardBox);
    pLayout->addWidget(pOptionBox);
    pLayout->addWidget(pFolderBox);
    pLayout->addStretch();

    for (QPushButton* pButton : findChildren<QPushButton*>())
        pButton->setAutoDefault(false);

    // Only the user's choices reach the handlers; Load fills the lists itself.
    connect(m_pDevice, &QComboBox::activated, this, [this](int index) { OnSelectDevice(index); });
    connect(m_pDestination, &QComboBox::activated, this, [this](int index) { OnSelectDestination(index); });
    connect(m_pSource, &QComboBox::activated, this, [this](int index) { OnSelectSource(index); });
    connect(m_pCodec, &QComboBox::activated, this, [this](int index) { OnSelectCodec(index); });
    connect(m_pReconnect, &QCheckBox::clicked, this,
        [this](bool on) { EditDJ(m_dj, [on](DJSettings& s) { s.m_nReconnect = on ? 1 : 0; }); });
    connect(m_pTitleWithCJName, &QCheckBox::clicked, this,
        [this](bool on) { EditDJ(m_dj, [on](DJSettings& s) { s.m_nTitleWithCJName = on ? 1 : 0; }); });
    connect(m_pSongRequest, &QCheckBox::clicked, this,
        [this](bool on) { EditDJ(m_dj, [on](DJSettings& s) { s.m_nSongRequest = on ? 1 : 0; }); });
    connect(m_pAddYP, &QCheckBox::clicked, this, [this](bool on) {
        EditDJ(m_dj, [on](DJSettings& s) { s.m_nAddYP = on ? 1 : 0; });
        m_pSongRequest->setEnabled(on);
    });
    connect(m_pSystemSoundOff, &QCheckBox::clicked, this, [this](bool on) {
        EditDJ(m_dj, [on](DJSettings& s) { s.m_nSystemSoundOff = on ? 1 : 0; });
        SetSystemSoundOff(on);
    });
    connect(m_pChooseFolder, &QPushButton::clicked, this, [this] { OnChooseFolder(); });
    connect(m_pOpenFolder, &QPushButton::clicked, this, [this] { OnOpenFolder(); });
}

void CSetSoundQualityDlg::Load()
{
    m_bLoading = true;
    m_nSourceSelections = 0;
    const DJSettings settings = m_dj.Settings();

    m_pCodec->clear();
    m_pCodec->addItem(Q(m_dj.LameWriter().GetName()));
    const int codecs = m_dj.AcmWriter().GetCodecCount();
    for (int codec = 0; codec < codecs; ++codec) {
        const std::string name = m_dj.AcmWriter().GetCodecName(codec);
        if (!name.empty())
            m_pCodec->addItem(Q(name));
    }
    m_pCodec->setCurrentIndex(
        settings.m_nCodecN >= 0 && settings.m_nCodecN < m_pCodec->count() ? settings.m_nCodecN : 0);
    FillFormats(m_pCodec->currentIndex());
    if (settings.m_nFormatN >= 0 && settings.m_nFormatN < m_pFormat->count())
        m_pFormat->setCurrentIndex(settings.m_nFormatN);

    CMixerDeviceList& mixer = m_dj.MixerDevices();
    if (mixer.GetMixerCount() == 0)
        mixer.EnumCaptureMixers();
    m_pDevice->clear();
    for (int i = 0; i < mixer.GetMixerCount(); ++i) {
        std::string name;
        mixer.GetMixerNameAt(i, &name);
        m_pDevice->addItem(Q(name));
    }
    m_pDevice->setEnabled(true);
    OnSelectDevice(settings.m_nDevice);
    OnSelectSource(settings.m_nSource);

    m_pReconnect->setChecked(settings.m_nReconnect != 0);
    m_pSystemSoundOff->setChecked(settings.m_nSystemSoundOff != 0);
    m_pTitleWithCJName->setChecked(settings.m_nTitleWithCJName != 0);
    m_pAddYP->setChecked(settings.m_nAddYP != 0);
    m_pSongRequest->setChecked(settings.m_nSongRequest != 0);
    m_pSongRequest->setEnabled(settings.m_nAddYP != 0);
    m_pFolder->setText(Q(settings.m_strPath));
    m_bLoading = false;
}

void CSetSoundQualityDlg::Store()
{
    EditDJ(m_dj, [this](DJSettings& s) {
        s.m_nCodecN = std::max(m_pCodec->currentIndex(), 0);
        s.m_nFormatN = std::max(m_pFormat->currentIndex(), 0);
        s.m_nReconnect = m_pReconnect->isChecked() ? 1 : 0;
        s.m_nSystemSoundOff = m_pSystemSoundOff->isChecked() ? 1 : 0;
        s.m_nTitleWithCJName = m_pTitleWithCJName->isChecked() ? 1 : 0;
        s.m_nAddYP = m_pAddYP->isChecked() ? 1 : 0;
        s.m_nSongRequest = m_pSongRequest->isChecked() ? 1 : 0;
        s.m_strPath = m_pFolder->text().toStdString();
    });
}

void CSetSoundQualityDlg::FillFormats(int codec)
{
    m_pFormat->setUpdatesEnabled(false);
    m_pFormat->clear();
    if (codec <= 0) {
        for (int row = 0; row < GetQualityPresetCount(); ++row) {
            std::string name;
            GetQualityPresetName(row, &name);
            m_pFormat->addItem(Q(name));
        }
        const int current = m_dj.Settings().m_nCodecN == 0 ? m_dj.Settings().m_nFormatN : GetDefaultQualityPreset();
        m_pFormat->setCurrentIndex(current >= 0 && current < m_pFormat->count() ? current : GetDefaultQualityPreset());
    } else {
        const int formats = m_dj.AcmWriter().GetFormatCount(codec - 1);
        for (int format = 0; format < formats; ++format)
            m_pFormat->addItem(Q(m_dj.AcmWriter().GetFormatName(codec - 1, format)));
        m_pFormat->setCurrentIndex(m_pFormat->count() > 0 ? 0 : -1);
    }
    m_pFormat->setUpdatesEnabled(true);
}

void CSetSoundQualityDlg::OnSelectCodec(int index)
{
    FillFormats(index);
    Store();
}

void CSetSoundQualityDlg::OnSelectDevice(int index)
{
    CMixerDeviceList& mixer = m_dj.MixerDevices();
    if (index >= 0 && index < m_pDevice->count() && mixer.SelectMixer(index)) {
        m_pDevice->setCurrentIndex(index);
        EditDJ(m_dj, [index](DJSettings& s) { s.m_nDevice = index; });
        m_pDestination->clear();
        for (int dest = 0; dest < mixer.GetDestinationCount(); ++dest) {
            std::string name;
            mixer.GetDestinationName(dest, &name);
            m_pDestination->addItem(Q(name));
        }
        m_pDestination->setEnabled(true);
        OnSelectDestination(m_bLoading ? m_dj.Settings().m_nDest : 0);
        return;
    }
    m_pDevice->setCurrentIndex(0);
    m_pDevice->setEnabled(false);
    // No lines of a device that did not open: an earlier opening's lines
    // must not stay on show.
    m_pDestination->clear();
    m_pDestination->setEnabled(false);
    m_pSource->clear();
    m_pSource->setEnabled(false);
    EditDJ(m_dj, [](DJSettings& s) { s.m_nDevice = 0; });
}

void CSetSoundQualityDlg::OnSelectDestination(int index)
{
    const int dest = std::max(index, 0);
    m_pDestination->setCurrentIndex(dest < m_pDestination->count() ? dest : 0);
    EditDJ(m_dj, [dest](DJSettings& s) { s.m_nDest = dest; });
    CMixerDeviceList& mixer = m_dj.MixerDevices();
    m_pSource->clear();
    for (int source = 0; source < mixer.GetSourceCount(dest); ++source) {
        std::string name;
        mixer.GetSourceName(dest, source, &name);
        m_pSource->addItem(Q(name));
    }
    m_pSource->setEnabled(m_pSource->count() > 0);
    if (m_pSource->count() == 0)
        m_pSource->setCurrentIndex(0);
    // While loading, the stored line is chosen next.
    if (!m_bLoading)
        OnSelectSource(-1);
}

void CSetSoundQualityDlg::OnSelectSource(int index)
{
    if (index < 0) {
        for (const char* word : kPlaybackLineWords) {
            for (int i = 0; i < m_pSource->count() && index < 0; ++i) {
                if (m_pSource->itemText(i).startsWith(QString::fromUtf8(word), Qt::CaseInsensitive))
                    index = i;
            }
            if (index >= 0)
                break;
        }
    }
    const int source = std::max(index, 0);
    if (source < m_pSource->count())
        m_pSource->setCurrentIndex(source);
    EditDJ(m_dj, [source](DJSettings& s) { s.m_nSource = source; });
    CMixerDeviceList& mixer = m_dj.MixerDevices();
    if (++m_nSourceSelections > 1 && source != mixer.GetCurrentSource())
        mixer.SelectSourceLine(source, m_dj.Settings().m_nDest);
}

void CSetSoundQualityDlg::OnChooseFolder()
{
    const QString folder = QString::fromStdString(BrowseForFolder(this, m_pFolder->text().toStdString()));
    if (folder.isEmpty())
        return;
    m_pFolder->setText(folder);
    EditDJ(m_dj, [&folder](DJSettings& s) { s.m_strPath = folder.toStdString(); });
}

void CSetSoundQualityDlg::OnOpenFolder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(m_dj.Settings().m_strPath)));
}

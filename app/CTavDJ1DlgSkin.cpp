// The main window's creation, its skin and the binding of the skin's
// controls.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/CInstanceLock.h"
#include "app/CLauncherResultEndpoint.h"
#include "app/COption.h"
#include "app/CSettingDlg.h"
#include "app/CTavDJ1App.h"
#include "app/ControlSetters.h"
#include "app/MessageDlg.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/QualityPresets.h"
#include "foundation/GXmpData.h"
#include "foundation/Ini.h"
#include "foundation/Paths.h"
#include "skin/GXImagePrefetch.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/SkinFormat.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConMarquee.h"
#include "skin/controls/GXConSlider.h"
#include "skin/controls/GXConStatic.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

#include <algorithm>

using namespace control;

namespace {

constexpr const char* kSkinSettingsFile = "setting.ini";
constexpr const char* kDefaultSkinFolder = "default_skin";
constexpr const char* kDefaultSkinZip = "default_skin.zip";
constexpr const char* kControlFileFailure = "컨트롤 파일을 열 수 없습니다. \n\n에러내용:\n  %s";
constexpr const char* kSkinBuildFailure = "스킨을 열 수 없습니다. \n\n에러내용:\n  %s";
constexpr int kTitleFontPixels = 12;
constexpr QRgb kTitleTextColour = 0xFFD68E22; // rgb(214, 142, 34)
constexpr int kRowMusic = 1;
constexpr int kRowLineIn = 2;
constexpr int kRowMicrophone = 5;
constexpr int kFullSourceVolume = 32767;

template <class Control> void Bind(const GXWindowMain& skin, int nId, Control** ppSlot)
{
    *ppSlot = dynamic_cast<Control*>(skin.FindControl(nId));
}

template <class Control, size_t N> void BindRow(const GXWindowMain& skin, int nFirstId, std::array<Control*, N>* pSlots)
{
    for (size_t i = 0; i < N; ++i)
        Bind(skin, nFirstId + int(i), &(*pSlots)[i]);
}

void ReplaceFirst(std::string* pText, std::string_view what, const std::string& with)
{
    if (const size_t at = pText->find(what); at != std::string::npos)
        pText->replace(at, what.size(), with);
}

} // namespace

std::string CTavDJ1Dlg::ConfiguredSkinPath()
{
    return IniGetString("SKIN", "SKINPATH", JoinPath(GetProgramDataFolder(), kSkinSettingsFile), "");
}

std::string CTavDJ1Dlg::ResolveSkinPath(const std::string& path, const std::string& programFolder)
{
    std::string skinPath = path;
    if (skinPath.empty()) {
        const std::string defaultSkin = JoinPath(programFolder, kDefaultSkinFolder);
        skinPath = FolderExists(defaultSkin.c_str()) || FileExists(defaultSkin.c_str()) ? kDefaultSkinFolder
                                                                                        : kDefaultSkinZip;
    }
    // Stored paths may use either separator.
    std::replace(skinPath.begin(), skinPath.end(), '\\', '/');
    if (skinPath.front() == '/')
        return skinPath;
    return JoinPath(programFolder, skinPath);
}

QSize CTavDJ1Dlg::InitialSize(const GXPoint& minSize, const GXPoint& maxSize, const QSize& skinSize)
{
    int cx = std::max(minSize.x, 0);
    const int cy = std::max(minSize.y, 0);
    if (cx == 0 || cy == 0)
        return skinSize;
    // Only a skin that states a largest width limits the first one.
    if (maxSize.x > 0 && cx > maxSize.x)
        cx = maxSize.x;
    return { cx, cy };
}

SMainControls CTavDJ1Dlg::FindControls(const GXWindowMain& skin)
{
    SMainControls c;
    Bind(skin, 2000, &c.pBackground);
    Bind(skin, 2001, &c.pSidePanelButton);
    Bind(skin, 2002, &c.pSidePanel);
    Bind(skin, 2003, &c.pLevelMeter);
    Bind(skin, 2004, &c.pStartButton);
    BindRow(skin, 2005, &c.effectLevels);
    Bind(skin, 2008, &c.pStatus);
    Bind(skin, 2009, &c.pBitrate);
    Bind(skin, 2010, &c.pRecordingLamp);
    BindRow(skin, 2011, &c.panels);
    Bind(skin, 2014, &c.pCopyAddress);
    Bind(skin, 2016, &c.pChannels);
    Bind(skin, 2017, &c.pListeners);
    BindRow(skin, 2018, &c.tabs);
    BindRow(skin, 2021, &c.volumes);
    Bind(skin, 2025, &c.pLineInFade);
    Bind(skin, 2027, &c.pAutoTitle);
    Bind(skin, 2029, &c.pSendTitle);
    BindRow(skin, 2030, &c.effectResets);
    Bind(skin, 2033, &c.pMinimise);
    Bind(skin, 2034, &c.pClose);
    BindRow(skin, 2035, &c.effectToggles);
    Bind(skin, 2038, &c.pTalkLock);
    Bind(skin, 2039, &c.pRecord);
    Bind(skin, 2040, &c.pTalk);
    Bind(skin, 2041, &c.pMiniBrowser);
    c.pBrowser = skin.FindControl(2042);
    BindRow(skin, 10343, &c.elapsed);
    return c;
}

bool CTavDJ1Dlg::CreateMainWindow(CInstanceLock* pInstance)
{
    if (pInstance)
        pInstance->PublishWindow(this);
    m_pLauncherEndpoint = std::make_unique<CLauncherResultEndpoint>(Handle());
    OpenPlayerExchange();
    // The skin's pictures decode on a thread of their own while the title
    // field is made and the sound card set up.
    GXImagePrefetch pictures;
    pictures.Start(ResolveSkinPath(ConfiguredSkinPath(), GetProgramDataFolder()), kSkinFile);
    CreateTitleEdit();
    CDJDataMan& engine = TheDJDataMan();
    // Every step below reads or sets the same mixers; behind a sound server
    // each opening is a connection to it, so they share one handle per
    // mixer. Those the controller and the device list keep stay open after.
    const platform::MixerHold mixers(engine.MixerDevices().System());
    SaveMixerVolumes();
    engine.MixerDevices().EnumCaptureMixers();
    // A box the start shows (no recording device, a broken skin) runs an
    // event loop, where the session may end: the window is then shut down
    // and nothing more is built on it.
    engine.Init("TavDJ", Handle());
    if (m_bEndingSession)
        return false;
    engine.AddFirewallException();
    DJSettings settings = engine.Settings();
    if (CTavDJ1App::ParseCommandLine(m_args, &settings, &TheOption()))
        engine.ApplySettings(settings);
    if (!LoadSkin(ConfiguredSkinPath(), kSkinFile, &pictures)) {
        if (!m_bEndingSession)
            ShowSkinError("%s");
        DestroySkin();
        return false;
    }
    if (m_bEndingSession)
        return false;
    m_snap.Attach(this, kSnapDistance);
    InitControls();
    if (m_bEndingSession)
        return false;
    show();
    // Choosing the recording line and its level waits on the sound server
    // more than once, and nothing on the window needs it to be shown.
    AfterFirstPaint([this] { CheckSoundDevices(); });
    m_bCreated = true;
    return true;
}

void CTavDJ1Dlg::CreateTitleEdit()
{
    m_pTitleEdit = new CDJEditEnter(this, Handle());
    m_pTitleEdit->setGeometry(0, 0, 10, 10);
    QFont font(QStringLiteral("돋움"));
    font.setFamilies({ QStringLiteral("돋움"), QStringLiteral("Dotum"), QStringLiteral("NanumGothic") });
    font.setPixelSize(kTitleFontPixels);
    font.setWeight(QFont::Light);
    m_pTitleEdit->setFont(font);
    // Amber text on the black field the skin leaves for it, in every state.
    // The palette says it without a style sheet, whose engine would be
    // built and run for this one field while the window starts.
    m_pTitleEdit->setFrame(false);
    QPalette palette = m_pTitleEdit->palette();
    palette.setColor(QPalette::Base, Qt::black);
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::Text, QColor::fromRgb(kTitleTextColour));
    m_pTitleEdit->setPalette(palette);
    m_pTitleEdit->setAutoFillBackground(true);
    // Skins place it by its dialog-item id through a window control.
    RegisterDlgItem(GXCommandId::kTitleEdit, m_pTitleEdit);
}

bool CTavDJ1Dlg::LoadSkin(const std::string& path, const std::string& file, GXImagePrefetch* pPictures)
{
    DestroySkin();
    m_bSkinErrorShown = false;
    m_pSkin.reset(new GXWindowMain());
    if (!LoadSkinFiles(path, file))
        return false;
    m_pSkin->SetImagePrefetch(pPictures);
    const bool bBuilt = m_pSkin->Create(this, GXRect { 0, 0, 10, 10 }) && BindSkinControls();
    if (m_pSkin)
        m_pSkin->SetImagePrefetch(nullptr);
    if (!bBuilt)
        return false;
    // The skin's widget is newer than the title field and would cover it,
    // so a click on the field would reach the skin and the typing its
    // accelerators: the field lies above the place the skin leaves for it.
    if (m_pTitleEdit)
        m_pTitleEdit->raise();
    return true;
}

bool CTavDJ1Dlg::LoadSkinFiles(const std::string& path, const std::string& file)
{
    const std::string skinPath = ResolveSkinPath(path.empty() ? ConfiguredSkinPath() : path, GetProgramDataFolder());
    return m_pSkin->SetSkinPath(skinPath, false) && m_pSkin->LoadSkinXml(file.empty() ? kSkinFile : file, 0, true);
}

bool CTavDJ1Dlg::BindSkinControls()
{
    if (!m_pSkin->LoadControlIdFile(JoinPath(GetProgramDataFolder(), kControlIdFile))) {
        ShowSkinError(kControlFileFailure);
        return false;
    }
    if (!m_pSkin->BuildSkin()) {
        ShowSkinError(kSkinBuildFailure);
        return false;
    }
    m_minSize = {};
    m_maxSize = {};
    if (const GXmpData* pRoot = m_pSkin->GetSkinXmlRoot()) {
        if (const GXmpData* pMain = pRoot->FindChild("MainWindow", false)) {
            std::string value;
            if (pMain->GetAttribute("MinSize", &value))
                ParseSkinPoint(value, &m_minSize);
            if (pMain->GetAttribute("MaxSize", &value))
                ParseSkinPoint(value, &m_maxSize);
        }
    }
    m_controls = FindControls(*m_pSkin);
    RefreshControlStates();
    UpdateStatus(m_nBroadcastState);
    CreateAccelerators();
    return true;
}

void CTavDJ1Dlg::ShowSkinError(const std::string& format)
{
    std::string text = format;
    ReplaceFirst(&text, "%s", m_pSkin ? m_pSkin->GetErrorText() : std::string());
    m_bSkinErrorShown = true;
    MessageDlg(this, text, kCaption, kSkinFailureBox);
}

void CTavDJ1Dlg::SetControlTooltip(GXConBase* pControl, const std::string& text)
{
    if (pControl)
        pControl->SetTooltip(text, pControl->GetTooltipOnPress());
}

void CTavDJ1Dlg::RefreshControlStates()
{
    const CDJDataMan& engine = TheDJDataMan();
    const DJSettings& settings = engine.Settings();
    SMainControls& c = m_controls;
    if (c.pCopyAddress)
        m_strKeptAddressTooltip = c.pCopyAddress->GetTooltip();
    SetImage(c.pStartButton, 0);
    SetControlTooltip(c.pStartButton, "방송하기(S)");
    SetImage(c.pRecord, settings.m_nEnable ? 1 : 0);
    // A reset in the settings dialog sets the controls anew without
    // turning the side panel's button over.
    if (c.pSidePanelButton && !(m_pSettingDlg && m_pSettingDlg->IsResetDone()))
        c.pSidePanelButton->SetImageNum(c.pSidePanelButton->GetImageNum() ? 0 : 1);
    const bool bTalkOver = engine.IsTalkOver();
    SetImage(c.pTalk, bTalkOver ? 1 : 0);
    SetControlTooltip(c.pTalk, bTalkOver ? "말하기 해제(C)" : "말하기(C)");
    SetImage(c.pTalkLock, bTalkOver ? 1 : 0);
    SetControlTooltip(c.pTalkLock, bTalkOver ? "말하기 해제(F)" : "말하기 고정(F)");
    SetLabel(c.pStatus, "");
    for (GXConStatic* pField : c.elapsed)
        SetLabel(pField, "00");
    ShowQualityInfo();
    SetLabel(c.pListeners, "0/0");
    SetShown(c.pRecordingLamp, settings.m_nEnable != 0);
    SelectPanel(1);
    SetImage(c.pLineInFade, settings.m_nLineinFade ? 0 : 1);
    const std::array<bool, 3> effectsOn { settings.m_nReverb_Active != 0, settings.m_nEcho_Active != 0,
        settings.m_nPitch_Active != 0 };
    for (size_t i = 0; i < effectsOn.size(); ++i) {
        SetImage(c.effectToggles[i], effectsOn[i] ? 0 : 1);
        SetShown(c.effectLevels[i], effectsOn[i]);
        SetEnabled(c.effectLevels[i], effectsOn[i]);
        SetEnabled(c.effectResets[i], effectsOn[i]);
    }
    SetImage(c.pAutoTitle, settings.m_nAuto ? 0 : 1);
    SetEnabled(c.pSendTitle, settings.m_nAuto == 0);
    if (m_pTitleEdit) {
        m_pTitleEdit->setText(QString::fromStdString(TheOption().m_strMent));
        m_pTitleEdit->LimitText(CDJEditEnter::kTitleLimitBytes);
    }
    SetEnabled(c.pRecord, false);
    SetEnabled(c.pCopyAddress, false);
    if (c.pMiniBrowser) {
        const bool bShow = engine.IsConnected() && settings.m_nAddYP && settings.m_nSongRequest;
        c.pMiniBrowser->ShowWindow(bShow ? GXShow::kShow : GXShow::kHide);
    }
}

void CTavDJ1Dlg::ClearControlPointers()
{
    m_controls = {};
}

void CTavDJ1Dlg::DestroySkin()
{
    ClearControlPointers();
    m_pSkin.reset();
}

void CTavDJ1Dlg::InitControls()
{
    setWindowIcon(QGuiApplication::windowIcon());
    RestoreWindowPlacement();
    if (TheOption().m_nSEShow)
        OnToggleSidePanel();
    StartSkinAnimation();
    InitVolumeSliders();
    InitEffectSliders();
    GetCurrentQuality();
    ShowQualityInfo();
}

void CTavDJ1Dlg::RestoreWindowPlacement()
{
    QSize skinSize = m_pSkin && m_pSkin->GetWidget() ? m_pSkin->GetWidget()->size() : QSize();
    if (m_pSkin) {
        const auto& limits = m_pSkin->GetWindowFlags().minMaxSize;
        if (limits[0] > 0 && limits[1] > 0)
            skinSize = QSize(limits[0], limits[1]);
    }
    ApplySizeLimits();
    setGeometry(QRect(QPoint(0, 0), InitialSize(m_minSize, m_maxSize, skinSize)));
    if (m_pSkin && m_pSkin->GetWidget()) {
        m_pSkin->GetWidget()->setGeometry(rect());
        m_pSkin->ShowWindow(GXShow::kShow);
    }
    COption& option = TheOption();
    if (option.m_nMainLeft == -1 && option.m_nMainTop == -1) {
        if (const QScreen* pScreen = QGuiApplication::primaryScreen()) {
            QRect placed = geometry();
            placed.moveCenter(pScreen->availableGeometry().center());
            move(placed.topLeft());
        }
        option.m_nMainLeft = x();
        option.m_nMainTop = y();
        option.m_nMainWidth = width();
        option.m_nMainHeight = height();
    } else {
        move(option.m_nMainLeft, option.m_nMainTop);
    }
    OpenMiniBrowser();
    if (m_bCreated)
        showNormal();
}

void CTavDJ1Dlg::ApplySizeLimits()
{
    if (m_minSize.x && m_minSize.y && m_maxSize.x && m_maxSize.y) {
        setMinimumSize(std::max(m_minSize.x, 0), std::max(m_minSize.y, 0));
        setMaximumSize(std::max(m_maxSize.x, 0), std::max(m_maxSize.y, 0));
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void CTavDJ1Dlg::StoreMainRect()
{
    COption& option = TheOption();
    option.m_nMainLeft = x();
    option.m_nMainTop = y();
    option.m_nMainWidth = width();
    option.m_nMainHeight = height();
}

void CTavDJ1Dlg::SaveWindowRects()
{
    if (!m_bCreated || isMinimized())
        return;
    StoreMainRect();
    COption& option = TheOption();
    if (m_controls.pMiniBrowser && m_controls.pMiniBrowser->GetWidget()) {
        const QWidget* pBrowser = m_controls.pMiniBrowser->GetWidget();
        const QPoint topLeft = pBrowser->mapToGlobal(QPoint(0, 0));
        option.m_nMiniBrowserLeft = topLeft.x();
        option.m_nMiniBrowserTop = topLeft.y();
        option.m_nMiniBrowserWidth = pBrowser->width();
        option.m_nMiniBrowserHeight = pBrowser->height();
    }
}

void CTavDJ1Dlg::GetCurrentQuality()
{
    CDJDataMan& engine = TheDJDataMan();
    const DJSettings& settings = engine.Settings();
    if (settings.m_nCodecN <= 0) {
        int nKbps = 0;
        int nChannels = 0;
        if (GetQualityPreset(settings.m_nFormatN, &nChannels, &nKbps)) {
            m_nBitrate = nKbps * 1000;
            m_nChannels = nChannels;
        }
        return;
    }
    int nRate = 0;
    int nBits = 0;
    int nChannels = 0;
    if (engine.AcmWriter().GetFormatInfo(settings.m_nCodecN - 1, settings.m_nFormatN, &nRate, &nBits, &nChannels))
        m_nChannels = nChannels;
    m_nBitrate = engine.AcmWriter().GetFormatBitrate(settings.m_nCodecN - 1, settings.m_nFormatN);
}

void CTavDJ1Dlg::ShowQualityInfo()
{
    SetLabel(m_controls.pBitrate, std::to_string(m_nBitrate / 1000) + "kbps");
    if (m_nChannels == 1)
        SetLabel(m_controls.pChannels, "MONO");
    else if (m_nChannels == 2)
        SetLabel(m_controls.pChannels, "STEREO");
    SetLabel(m_controls.pCopyAddress, TheDJDataMan().Settings().m_strName);
}

void CTavDJ1Dlg::SaveMixerVolumes()
{
    CMixerLineVolume volume(TheDJDataMan().MixerDevices().System());
    const std::array<int, 3> rows { kRowMusic, kRowLineIn, kRowMicrophone };
    for (size_t i = 0; i < rows.size(); ++i) {
        m_savedVolumes[i] = -1;
        // On the engine's own fine scale, so the end puts back exactly this.
        if (volume.OpenPreset(rows[i]))
            m_savedVolumes[i] = volume.SetRange(0, CDJDataMan::kMaxVolume);
        volume.Close();
    }
}

void CTavDJ1Dlg::CheckSoundDevices()
{
    CDJDataMan& engine = TheDJDataMan();
    CMixerDeviceList& mixers = engine.MixerDevices();
    if (mixers.GetMixerCount() == 0)
        return;
    DJSettings settings = engine.Settings();
    const int nDevice = std::max(settings.m_nDevice, 0);
    const int nMixer = mixers.FindWaveInMixer(nDevice);
    if (nMixer < 0 || !mixers.SelectMixer(nMixer) || mixers.GetDestinationCount() == 0)
        return;
    // One mixer per card serves its capture and its playback alike, so the
    // card's playback lines are on the same mixer.
    engine.MusicVolume().SetMixer(nMixer);
    engine.LineInVolume().SetMixer(nMixer);
    engine.MicVolume().SetMixer(nMixer);
    engine.SelectInputDevice(nDevice);
    if (mixers.SaveSwitchStates(settings.m_nDest, &m_savedSwitchStates))
        m_nSavedSwitchDest = settings.m_nDest;
    if (mixers.SelectSourceLine(std::max(settings.m_nSource, 0), settings.m_nDest)) {
        m_nSavedSourceVolume = mixers.GetSourceVolume();
        m_nSavedSourceMixer = mixers.GetCurrentMixer();
        m_nSavedSourceDest = mixers.GetCurrentDestination();
        m_nSavedSourceLine = mixers.GetCurrentSource();
        settings.m_nVolume = kFullSourceVolume;
        engine.ApplySettings(settings);
        mixers.SetSourceVolume(kFullSourceVolume);
    }
}

void CTavDJ1Dlg::OnReloadSkin()
{
    SaveWindowRects();
    if (!ReloadSkin(ConfiguredSkinPath(), kSkinFile)) {
        // Binding tells its own failures; a skin that could not be read is
        // told here, so the program never just vanishes.
        if (!m_bSkinErrorShown)
            ShowSkinError("%s");
        PostToOwner(GXMsg::kClose, 0, 0);
        return;
    }
    if (TheDJDataMan().IsConnected()) {
        SetEnabled(m_controls.pCopyAddress, true);
        RestartEngineTimers();
    }
}

bool CTavDJ1Dlg::ReloadSkin(const std::string& path, const std::string& file)
{
    if (!LoadSkin(path, file))
        return false;
    RestoreWindowPlacement();
    StartSkinAnimation();
    InitVolumeSliders();
    InitEffectSliders();
    return true;
}

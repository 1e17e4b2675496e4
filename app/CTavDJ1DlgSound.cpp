// The main window's sound controls: effects, volumes, talk-over, line-in
// fade, recording, the level meter, the side panel, the panel tabs, the
// settings entries and the system mixers.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CSettingDlg.h"
#include "app/ControlSetters.h"
#include "app/MessageDlg.h"
#include "app/TitleText.h"
#include "engine/stream/CDJDataMan.h"
#include "platform/MessageRegistry.h"
#include "skin/GXSkinIds.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConSlider.h"
#include "skin/controls/GXConStatic.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

using namespace control;

namespace {

constexpr uint32_t kLevelAnimationMs = 50;
constexpr int kLevelMeterTop = 256;
constexpr int kFadeSliderScale = 100;
constexpr int kFadeSliderTop = 20 * kFadeSliderScale;
constexpr int kFailureBox = 32;
constexpr const char* kRecordingFailure = "녹음 파일을 만들 수 없습니다.\n녹음 폴더를 확인해 주세요.";

// One effect's slider range, the level its reset command restores and the
// settings it lives in.
struct SEffect {
    int nFrom;
    int nTo;
    int nDefault;
    int DJSettings::*pActive;
    int DJSettings::*pLevel;
    void (CDJDataMan::*setActive)(int);
    void (CDJDataMan::*setLevel)(int);
};

constexpr std::array<SEffect, 3> kEffects { {
    { 0, 32, 24, &DJSettings::m_nReverb_Active, &DJSettings::m_nReverb_Level, &CDJDataMan::SetReverbActive,
        &CDJDataMan::SetReverbLevel },
    { 0, 500, 230, &DJSettings::m_nEcho_Active, &DJSettings::m_nEcho_Level, &CDJDataMan::SetEchoActive,
        &CDJDataMan::SetEchoLevel },
    { 60, 160, 100, &DJSettings::m_nPitch_Active, &DJSettings::m_nPitch_Level, &CDJDataMan::SetPitchActive,
        &CDJDataMan::SetPitchLevel },
} };

// The three volume sliders 2021-2023, in id order.
constexpr std::array<int DJSettings::*, 3> kVolumes { &DJSettings::m_nNormal, &DJSettings::m_nBGM,
    &DJSettings::m_nMic };
constexpr int kFirstVolumeId = 2021;
constexpr int kFadeTimeId = 2024;
constexpr int kFirstEffectId = 2005;

std::string Percent(int nValue, int nTop)
{
    return std::to_string(nTop > 0 ? int(int64_t(nValue) * 100 / nTop) : 0) + "%";
}

// The fade time in tenths of a second as the slider's label shows it.
std::string FadeTimeLabel(int nFadeTime)
{
    if (nFadeTime < 1)
        return "0초";
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d초", nFadeTime / 10, nFadeTime % 10);
    return text;
}

bool LaunchDetached(const std::string& program, const std::vector<std::string>& args)
{
    QStringList list;
    for (const std::string& arg : args)
        list << QString::fromStdString(arg);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

bool Installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

} // namespace

void CTavDJ1Dlg::RegisterSoundHandlers()
{
    m_commands[3001] = &CTavDJ1Dlg::OnSettingsBroadcast;
    m_commands[3002] = &CTavDJ1Dlg::OnSettingsSoundQuality;
    m_commands[3003] = &CTavDJ1Dlg::OnToggleSidePanel;
    m_commands[3004] = &CTavDJ1Dlg::OnRecord;
    m_commands[2039] = &CTavDJ1Dlg::OnRecord;
    m_commands[3007] = &CTavDJ1Dlg::OnTalkOverLock;
    m_commands[2038] = &CTavDJ1Dlg::OnTalkOverLock;
    m_commands[3010] = &CTavDJ1Dlg::OnSelectPanel1;
    m_commands[3011] = &CTavDJ1Dlg::OnSelectPanel2;
    m_commands[3012] = &CTavDJ1Dlg::OnSelectPanel3;
    m_commands[3014] = &CTavDJ1Dlg::OnEffectSlider<0>;
    m_commands[3015] = &CTavDJ1Dlg::OnEffectSlider<1>;
    m_commands[3016] = &CTavDJ1Dlg::OnEffectSlider<2>;
    m_commands[3017] = &CTavDJ1Dlg::OnToggleLineInFade;
    m_commands[2025] = &CTavDJ1Dlg::OnToggleLineInFade;
    m_commands[3020] = &CTavDJ1Dlg::OnOpenPlaybackMixer;
    m_commands[3021] = &CTavDJ1Dlg::OnOpenRecordMixer;
    m_commands[3022] = &CTavDJ1Dlg::OnToggleReverb;
    m_commands[3023] = &CTavDJ1Dlg::OnToggleEcho;
    m_commands[3024] = &CTavDJ1Dlg::OnTogglePitch;
    m_timerHandlers[kTimerLevelAnimation] = &CTavDJ1Dlg::OnLevelAnimationTimer;
    m_messageHandlers[platform::RegisterMessage(GXMsgName::kSliderPosChange)] = &CTavDJ1Dlg::OnSliderPosChange;
    m_launchProgram = LaunchDetached;
    // Keys reach the widget that has the focus: the filter takes the C key
    // from the skin's widget (or the bare window) only, never from the
    // title field.
    qApp->installEventFilter(this);
}

void CTavDJ1Dlg::ReinitEngine()
{
    (void)TheDJDataMan().Init("TavDJ", Handle());
}

// ---- Effects ---------------------------------------------------------------

void CTavDJ1Dlg::InitEffectSliders()
{
    const DJSettings& settings = TheDJDataMan().Settings();
    for (size_t i = 0; i < kEffects.size(); ++i) {
        const SEffect& effect = kEffects[i];
        const int nLevel = settings.*effect.pLevel;
        if (GXConSlider* pSlider = m_controls.effectLevels[i]) {
            pSlider->SetRange(effect.nFrom, effect.nTo, GXConBase::Redraw::Yes);
            pSlider->SetPos(nLevel, GXConSlider::Force::Yes);
        }
        ApplyEffectState(i, settings.*effect.pActive != 0);
        SetControlTooltip(m_controls.effectLevels[i], Percent(nLevel, effect.nTo));
    }
}

void CTavDJ1Dlg::ApplyEffectState(size_t nEffect, bool bActive)
{
    SetShown(m_controls.effectLevels[nEffect], bActive);
    SetEnabled(m_controls.effectLevels[nEffect], bActive);
    SetImage(m_controls.effectToggles[nEffect], bActive ? 0 : 1);
    SetEnabled(m_controls.effectResets[nEffect], bActive);
}

void CTavDJ1Dlg::ToggleEffect(size_t nEffect)
{
    const SEffect& effect = kEffects[nEffect];
    CDJDataMan& engine = TheDJDataMan();
    // The button shows image 1 while the effect is off, so pressing it turns
    // the effect on; a skin without the button toggles the setting.
    const GXConButton* pButton = m_controls.effectToggles[nEffect];
    const bool bActive = pButton ? pButton->GetImageNum() != 0 : engine.Settings().*effect.pActive == 0;
    engine.EditSettings([&](DJSettings& s) { s.*effect.pActive = bActive ? 1 : 0; });
    (engine.*effect.setActive)(bActive ? 1 : 0);
    ApplyEffectState(nEffect, bActive);
}

void CTavDJ1Dlg::OnToggleReverb()
{
    ToggleEffect(0);
}

void CTavDJ1Dlg::OnToggleEcho()
{
    ToggleEffect(1);
}

void CTavDJ1Dlg::OnTogglePitch()
{
    ToggleEffect(2);
}

template <size_t nEffect> void CTavDJ1Dlg::OnEffectSlider()
{
    // The default level is what the listener hears from now on, so the
    // setting and the effect take it along with the slider.
    const SEffect& effect = kEffects[nEffect];
    if (GXConSlider* pSlider = m_controls.effectLevels[nEffect])
        pSlider->SetPos(effect.nDefault, GXConSlider::Force::Yes);
    SetControlTooltip(m_controls.effectLevels[nEffect], Percent(effect.nDefault, effect.nTo));
    TheDJDataMan().EditSettings([&](DJSettings& s) { s.*effect.pLevel = effect.nDefault; });
    (TheDJDataMan().*effect.setLevel)(effect.nDefault);
}

// ---- Volumes and fade ------------------------------------------------------

void CTavDJ1Dlg::InitVolumeSliders()
{
    const DJSettings& settings = TheDJDataMan().Settings();
    for (size_t i = 0; i < kVolumes.size(); ++i) {
        const int nValue = settings.*kVolumes[i];
        if (GXConSlider* pSlider = m_controls.volumes[i]) {
            pSlider->SetRange(0, CDJDataMan::kMaxVolume, GXConBase::Redraw::Yes);
            pSlider->SetPos(nValue, GXConSlider::Force::Yes);
        }
        SetControlTooltip(m_controls.volumes[i], Percent(nValue, CDJDataMan::kMaxVolume));
    }
    if (GXConSlider* pFade = m_controls.volumes[3]) {
        pFade->SetRange(0, kFadeSliderTop, GXConBase::Redraw::Yes);
        pFade->SetPos(settings.m_nFadeTime * kFadeSliderScale, GXConSlider::Force::Yes);
    }
    SetControlTooltip(m_controls.volumes[3], FadeTimeLabel(settings.m_nFadeTime));
    SetImage(m_controls.pLineInFade, settings.m_nLineinFade ? 0 : 1);
}

platform::LParam CTavDJ1Dlg::OnSliderPosChange(platform::WParam, platform::LParam lParam)
{
    const int nId = int(lParam);
    const auto positionOf = [](const GXConSlider* pSlider) { return pSlider ? pSlider->GetPos() : 0; };
    CDJDataMan& engine = TheDJDataMan();
    if (nId >= kFirstEffectId && nId < kFirstEffectId + int(kEffects.size())) {
        const size_t i = size_t(nId - kFirstEffectId);
        const SEffect& effect = kEffects[i];
        const int nLevel = positionOf(m_controls.effectLevels[i]);
        engine.EditSettings([&](DJSettings& s) { s.*effect.pLevel = nLevel; });
        SetControlTooltip(m_controls.effectLevels[i], Percent(nLevel, effect.nTo));
        (engine.*effect.setLevel)(nLevel);
        return 0;
    }
    if (nId >= kFirstVolumeId && nId < kFirstVolumeId + int(kVolumes.size())) {
        const size_t i = size_t(nId - kFirstVolumeId);
        const int nValue = positionOf(m_controls.volumes[i]);
        engine.EditSettings([&](DJSettings& s) { s.*kVolumes[i] = nValue; });
        SetControlTooltip(m_controls.volumes[i], Percent(nValue, CDJDataMan::kMaxVolume));
        const bool bTalkOver = engine.IsTalkOver();
        const bool bLineIn = engine.Settings().m_nLineinFade != 0;
        // Each value reaches the lines only while it is the one in force;
        // the others take effect at the next fade.
        if ((i == 0 && !bTalkOver) || (i == 1 && bTalkOver)) {
            engine.MusicVolume().SetVolume(nValue);
            if (bLineIn)
                engine.LineInVolume().SetVolume(nValue);
        } else if (i == 2 && bTalkOver) {
            engine.MicVolume().SetVolume(nValue);
        }
        return 0;
    }
    if (nId == kFadeTimeId) {
        const int nFadeTime = positionOf(m_controls.volumes[3]) / kFadeSliderScale;
        engine.EditSettings([&](DJSettings& s) { s.m_nFadeTime = nFadeTime; });
        SetControlTooltip(m_controls.volumes[3], FadeTimeLabel(nFadeTime));
        if (!engine.IsTalkOver())
            engine.SetFadeTimeInUse(nFadeTime);
    }
    return 0;
}

void CTavDJ1Dlg::OnToggleLineInFade()
{
    // Image 0 shows line-in fade on; pressing turns it to the other one.
    GXConButton* pButton = m_controls.pLineInFade;
    const int nNew = pButton ? (pButton->GetImageNum() != 0 ? 1 : 0) : 0;
    SetImage(pButton, nNew ? 0 : 1);
    TheDJDataMan().EditSettings([&](DJSettings& s) { s.m_nLineinFade = nNew; });
}

// ---- Talk-over -------------------------------------------------------------

void CTavDJ1Dlg::OnTalkOverLock()
{
    GXConButton* pLock = m_controls.pTalkLock;
    GXConButton* pTalk = m_controls.pTalk;
    if (!pLock || !pTalk || !pLock->IsEnabled() || !pTalk->IsEnabled())
        return;
    const bool bOn = pLock->GetImageNum() == 0;
    pLock->SetImageNum(bOn ? 1 : 0);
    SetControlTooltip(pLock, bOn ? "말하기 해제(F)" : "말하기 고정(F)");
    pTalk->SetImageNum(bOn ? 1 : 0);
    SetControlTooltip(pTalk, bOn ? "말하기 해제(C)" : "말하기(C)");
    (void)TheDJDataMan().StartTalkOverFade(bOn);
}

bool CTavDJ1Dlg::IsOnTalkButton(const std::optional<GXPoint>& point) const
{
    if (!point)
        return true;
    SRect rect;
    m_controls.pTalk->GetScreenRect(&rect);
    return point->x >= rect.left && point->x < rect.right && point->y >= rect.top && point->y < rect.bottom;
}

void CTavDJ1Dlg::TalkOverPress(std::optional<GXPoint> point)
{
    CDJDataMan& engine = TheDJDataMan();
    GXConButton* pTalk = m_controls.pTalk;
    if (!pTalk || engine.IsTalkOver() || engine.Settings().m_nFadeTime < 0 || !IsOnTalkButton(point))
        return;
    pTalk->SetImageNum(1);
    SetControlTooltip(pTalk, "말하기 해제(C)");
    (void)engine.StartTalkOverFade(true);
}

void CTavDJ1Dlg::TalkOverRelease(std::optional<GXPoint> point)
{
    GXConButton* pTalk = m_controls.pTalk;
    if (!pTalk || !pTalk->IsEnabled() || !IsOnTalkButton(point))
        return;
    pTalk->SetImageNum(0);
    SetControlTooltip(pTalk, "말하기(C)");
    SetImage(m_controls.pTalkLock, 0);
    SetControlTooltip(m_controls.pTalkLock, "말하기 고정(F)");
    (void)TheDJDataMan().StartTalkOverFade(false);
}

bool CTavDJ1Dlg::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QWidget* pSkinWidget = m_pSkin ? m_pSkin->GetWidget() : nullptr;
    if (pSkinWidget == nullptr)
        return QWidget::eventFilter(pWatched, pEvent);
    // The window shows nothing but the skin: while no widget of it has the
    // keyboard, the keys the window gets are the skin's. (A key the skin
    // passes on reaches the window too; it counts once.)
    const QWidget* pFocus = QApplication::focusWidget();
    const bool bWindowKeys = pWatched == this && (pFocus == nullptr || pFocus == this);
    if (pWatched != pSkinWidget && !bWindowKeys) {
        // The window's accelerators work while the skin has the keyboard; a
        // key typed into another widget of the window (the title field)
        // stays that widget's, but for F1, the window's help key.
        const auto* pWidget = qobject_cast<const QWidget*>(pWatched);
        if (pEvent->type() == QEvent::ShortcutOverride && pWidget && pWidget != this && pWidget->window() == this
            && static_cast<const QKeyEvent*>(pEvent)->key() != Qt::Key_F1) {
            pEvent->accept();
            return true;
        }
        return QWidget::eventFilter(pWatched, pEvent);
    }
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* pKey = static_cast<const QKeyEvent*>(pEvent);
        // A held key repeats as release and press pairs on X11; only the
        // first press and the last release count, or talk-over flickers.
        if (pKey->key() != Qt::Key_C || pKey->isAutoRepeat())
            break;
        if (pEvent->type() == QEvent::KeyPress)
            TalkOverPress(std::nullopt);
        else
            TalkOverRelease(std::nullopt);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        const auto* pMouse = static_cast<const QMouseEvent*>(pEvent);
        if (pWatched != pSkinWidget || pMouse->button() != Qt::LeftButton)
            break;
        const QPoint global = pMouse->globalPosition().toPoint();
        if (pEvent->type() == QEvent::MouseButtonPress)
            TalkOverPress(GXPoint { global.x(), global.y() });
        else
            TalkOverRelease(GXPoint { global.x(), global.y() });
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

// ---- Recording -------------------------------------------------------------

void CTavDJ1Dlg::OnRecord()
{
    GXConButton* pRecord = m_controls.pRecord;
    if (pRecord && !pRecord->IsEnabled())
        return;
    CDJDataMan& engine = TheDJDataMan();
    // A recording holds the broadcast's own stream, so there is none off air.
    if (!engine.IsConnected())
        return;
    if (!engine.IsRecording()) {
        engine.EditSettings([](DJSettings& s) { s.m_nEnable = 1; });
        engine.OpenRecordingFile();
        if (engine.IsRecording()) {
            SetImage(pRecord, 1);
            SetControlTooltip(pRecord, "녹음정지(R)");
            SetShown(m_controls.pRecordingLamp, true);
            return;
        }
        engine.EditSettings([](DJSettings& s) { s.m_nEnable = 0; });
        SetImage(pRecord, 0);
        SetControlTooltip(pRecord, "녹음하기(R)");
        SetShown(m_controls.pRecordingLamp, false);
        MessageDlg(this, kRecordingFailure, kCaption, kFailureBox);
        return;
    }
    engine.EditSettings([](DJSettings& s) { s.m_nEnable = 0; });
    engine.CloseRecordingFile();
    SetImage(pRecord, 0);
    SetControlTooltip(pRecord, "녹음하기(R)");
    SetShown(m_controls.pRecordingLamp, false);
}

// ---- Level meter -----------------------------------------------------------

void CTavDJ1Dlg::StartSkinAnimation()
{
    if (GXConSlider* pMeter = m_controls.pLevelMeter) {
        pMeter->SetEnable(false);
        pMeter->SetRange(0, kLevelMeterTop, GXConBase::Redraw::Yes);
        pMeter->SetPos(0, GXConSlider::Force::Yes);
    }
    (void)SetTimer(kTimerLevelAnimation, kLevelAnimationMs);
}

void CTavDJ1Dlg::OnLevelAnimationTimer(uint32_t)
{
    // The analyser's peak (0..254) already fits the meter's range.
    if (GXConSlider* pMeter = m_controls.pLevelMeter)
        pMeter->SetPos(TheDJDataMan().GetPeakLevel(), GXConSlider::Force::No);
}

// ---- Side panel and tabs ---------------------------------------------------

void CTavDJ1Dlg::OnToggleSidePanel()
{
    GXConButton* pButton = m_controls.pSidePanelButton;
    if (!pButton)
        return;
    const bool bOpen = pButton->GetImageNum() != 0;
    pButton->SetImageNum(bOpen ? 0 : 1);
    SetShown(m_controls.pSidePanel, bOpen);
    // A skin that gives no MaxSize or MinSize has no height for the panel's
    // state: the window keeps its own rather than collapsing.
    const int nTarget = bOpen ? m_maxSize.y : m_minSize.y;
    const int nHeight = nTarget > 0 ? nTarget : height();
    TheOption().m_nSEShow = bOpen ? 1 : 0;
    resize(width(), nHeight);
    if (m_pSkin && m_pSkin->GetWidget())
        m_pSkin->GetWidget()->setGeometry(rect());
    if (bOpen && m_pTitleEdit)
        m_pTitleEdit->setFocus();
    else if (m_pSkin && m_pSkin->GetWidget())
        m_pSkin->GetWidget()->setFocus();
}

void CTavDJ1Dlg::SelectPanel(size_t nPanel)
{
    for (size_t i = 0; i < m_controls.panels.size(); ++i) {
        SetImage(m_controls.tabs[i], i == nPanel ? 0 : 1);
        SetShown(m_controls.panels[i], i == nPanel);
    }
    if (m_pTitleEdit) {
        m_pTitleEdit->setEnabled(nPanel == 2);
        // In the main window the field lies over the third panel, above the
        // skin: it is seen only with that panel, unless the skin has no such
        // panel. A skin that places it in a window of its own shows it there.
        if (m_pTitleEdit->window() == this)
            m_pTitleEdit->setVisible(nPanel == 2 || m_controls.panels[2] == nullptr);
    }
}

void CTavDJ1Dlg::OnSelectPanel1()
{
    SelectPanel(0);
}

void CTavDJ1Dlg::OnSelectPanel2()
{
    SelectPanel(1);
}

void CTavDJ1Dlg::OnSelectPanel3()
{
    SelectPanel(2);
}

// ---- Settings --------------------------------------------------------------

void CTavDJ1Dlg::OnSettingsBroadcast()
{
    OpenSettings(CSettingDlg::kBroadcastPage);
}

void CTavDJ1Dlg::OnSettingsSoundQuality()
{
    OpenSettings(CSettingDlg::kSoundPage);
}

void CTavDJ1Dlg::OpenSettings(int nPage)
{
    if (m_pSettingDlg && m_pSettingDlg->isVisible()) {
        m_pSettingDlg->raise();
        m_pSettingDlg->activateWindow();
        return;
    }
    if (!m_pSettingDlg)
        m_pSettingDlg = new CSettingDlg(TheOption(), TheDJDataMan(), this, platform::WaveOutBackend::System(), this);
    CDJDataMan& engine = TheDJDataMan();
    m_pSettingDlg->SetEditable(m_nBroadcastState == kStateIdle && !engine.IsRecording());
    m_pSettingDlg->SetStartPage(nPage);
    const int nAudience = TheOption().m_nAudience;
    const int nTitleWithName = engine.Settings().m_nTitleWithCJName;
    m_pSettingDlg->exec();
    if (engine.IsConnected()) {
        if (TheOption().m_nAudience != nAudience)
            RestartEngineTimers();
        const DJSettings& settings = engine.Settings();
        if (settings.m_nTitleWithCJName != nTitleWithName) {
            ShowStatusText(
                BuildStatusText(settings.m_strAIM, engine.GetKeptTitle(), settings.m_nTitleWithCJName), true);
            engine.ResendTitle();
        }
    }
    if (m_pSettingDlg->IsResetDone()) {
        RefreshControlStates();
        StartSkinAnimation();
        InitVolumeSliders();
        InitEffectSliders();
        m_pSettingDlg->ClearResetDone();
    }
    if (m_nBroadcastState == kStateIdle)
        GetCurrentQuality();
    ShowQualityInfo();
}

// ---- System mixer ----------------------------------------------------------

void CTavDJ1Dlg::OnOpenPlaybackMixer()
{
    OpenSystemMixer(false);
}

void CTavDJ1Dlg::OnOpenRecordMixer()
{
    OpenSystemMixer(true);
}

void CTavDJ1Dlg::OpenSystemMixer(bool bRecording)
{
    // The desktop's own mixer opens on the matching tab; without it, the
    // sound card's mixer in a terminal. Whether it started is not our
    // business: the user sees it or does not.
    if (Installed("pavucontrol")) {
        (void)m_launchProgram("pavucontrol", { bRecording ? "--tab=2" : "--tab=1" });
        return;
    }
    if (!Installed("alsamixer"))
        return;
    for (const char* terminal : { "x-terminal-emulator", "xterm" }) {
        if (Installed(terminal)) {
            (void)m_launchProgram(terminal, { "-e", "alsamixer", bRecording ? "--view=capture" : "--view=playback" });
            return;
        }
    }
}

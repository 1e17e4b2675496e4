// The main window's control of a broadcast: start and stop, the states the
// skin shows, the connection watchdog and the reconnect countdown, the
// elapsed time, the listener poll and the directory registration after it,
// and the engine's and the directory's messages.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CSettingDlg.h"
#include "app/ControlSetters.h"
#include "app/MessageDlg.h"
#include "app/TitleText.h"
#include "app/UpdateCheck.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/GShoutCastYP.h"
#include "foundation/DebugTrace.h"
#include "foundation/HttpGetFile.h"
#include "foundation/SystemInfo.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConMarquee.h"
#include "skin/controls/GXConStatic.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace control;

namespace {

constexpr uint32_t kWatchdogMs = 50;
constexpr uint32_t kSecondMs = 1000;
constexpr uint32_t kStatusPollMs = 5000;
constexpr uint32_t kStatusStartMs = 3000;

// The engine's connect failure worth retrying.
constexpr int kRetryableFailure = -2;

constexpr unsigned kCmdStart = 3000;
constexpr unsigned kCmdStartButton = 2004;
constexpr unsigned kCmdSettingsBroadcast = 3001;
constexpr unsigned kCmdCopyAddress = 2014;
constexpr unsigned kCmdSongRequestBoard = 3026;
constexpr unsigned kCmdTalkLock = 2038;
constexpr unsigned kCmdRecord = 2039;

// Message-box types: OK with the question icon, OK without an icon.
constexpr int kBoxQuestion = 32;
constexpr int kBoxPlain = 0;
constexpr int kReconnectNoticeSeconds = 3;

constexpr const char* kNoCaptureDevice = "사용 가능한 녹음 장치가 없어 방송 할 수 없습니다.\n";
constexpr const char* kNoInternet
    = "인터넷이 연결되지 않아 방송을 시작할 수 없습니다. \n\n인터넷 연결상태 확인 후 재시도 해 주세요.";
constexpr const char* kConnectFailedCaption = "TavDJ - 방송서버 접속 실패";
constexpr const char* kRetryNotice = "\n\n10초 후 서버 접속을 다시 시도합니다.";
// When the engine gives no reason.
constexpr const char* kConnectFailedText
    = "서버 접속에 실패하였습니다.\n - 서버 주소와 포트, 암호가 바르게 설정되었는지 확인하십시오.";
constexpr const char* kDropped = "방송이 중단 되었습니다. ";
constexpr const char* kConnectingText = "서버 접속 중...";
constexpr const char* kDroppedNoReconnect
    = "인터넷이 연결되지 않아 방송이 중단 되었습니다. \n\n인터넷 연결상태 확인 해 주세요.";
constexpr const char* kDirectoryFailedCaption = "TavDJ - 방송목록 등록 실패";
constexpr const char* kDirectoryRefused = "음악방송목록에 등록할 수 없습니다.";
constexpr const char* kNoDirectory = "YP등록 안 함 : 방송목록 서버가 설정되지 않았습니다 ([AddYP] Host)";
constexpr const char* kMissingStatusPage = "상태 페이지 없음 : 서버에 %s 페이지가 없어 청취자 수를 읽을 수 없습니다";
constexpr const char* kInputInitFailed
    = "녹음 장치를 여는데 실패하였습니다.\n - 녹음 장치를 이미 사용하고 있는 경우.\n - 녹음 장치가 없는 경우.";
constexpr const char* kInputInitCaption = "녹음 장치 초기화 실패";

// Directory answers the window acts on.
constexpr int kDirectoryOk = 0;
constexpr int kDirectoryOwnText = 11;
constexpr int kDirectoryNeedsUpdate = 12;

std::string Format(const char* format, int value)
{
    char text[128];
    (void)std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Format(const char* format, const std::string& value)
{
    char text[256];
    (void)std::snprintf(text, sizeof text, format, value.c_str());
    return text;
}

} // namespace

void CTavDJ1Dlg::RegisterBroadcastHandlers()
{
    m_commands[kCmdStart] = &CTavDJ1Dlg::OnStartBroadcast;
    m_commands[kCmdStartButton] = &CTavDJ1Dlg::OnStartBroadcast;
    m_timerHandlers[kTimerWatchdog] = &CTavDJ1Dlg::OnWatchdogTimer;
    m_timerHandlers[kTimerElapsed] = &CTavDJ1Dlg::OnElapsedTimer;
    m_timerHandlers[kTimerReconnect] = &CTavDJ1Dlg::OnReconnectTimer;
    m_timerHandlers[kTimerStatusPoll] = &CTavDJ1Dlg::OnStatusPollTimer;
    m_timerHandlers[kTimerStatusStart] = &CTavDJ1Dlg::OnStatusStartTimer;
    m_messageHandlers[WmHttpGetFileComplete()] = &CTavDJ1Dlg::OnHttpGetFileComplete;
    m_messageHandlers[platform::RegisterMessage(GShoutCastYP::kNotifyMessage)] = &CTavDJ1Dlg::OnYPNotify;
    m_messageHandlers[CDJDataMan::WmWriteLog()] = &CTavDJ1Dlg::OnEngineWriteLog;
    m_messageHandlers[CDJDataMan::WmErrorInitInput()] = &CTavDJ1Dlg::OnEngineInputInitError;
    m_messageHandlers[CDJDataMan::WmConnectResult()] = &CTavDJ1Dlg::OnConnectResult;
}

int CTavDJ1Dlg::TimerPeriodMs(uint32_t id) const
{
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive() ? it->second->interval() : 0;
}

void CTavDJ1Dlg::CreateAccelerators()
{
    QWidget* pSkinWidget = m_pSkin ? m_pSkin->GetWidget() : nullptr;
    if (!pSkinWidget)
        return;
    // The reload replaces the skin, these shortcuts with it: it runs once
    // the key's handling is over.
    enum class Later { No, Yes };
    struct SKey {
        QKeySequence key;
        unsigned nCommand;
        Later later;
    };
    const SKey keys[] = {
        { QKeySequence(Qt::Key_F), kCmdTalkLock, Later::No },
        { QKeySequence(Qt::Key_R), kCmdRecord, Later::No },
        { QKeySequence(Qt::Key_S), kCmdStartButton, Later::No },
        // Ctrl+Break: keyboards report it as Ctrl with Pause or as Cancel.
        { QKeySequence(Qt::CTRL | Qt::Key_Pause), kCmdCopyAddress, Later::No },
        { QKeySequence(Qt::CTRL | Qt::Key_Cancel), kCmdCopyAddress, Later::No },
        { QKeySequence(Qt::CTRL | Qt::Key_R), GXCommandId::kReloadSkin, Later::Yes },
        { QKeySequence(Qt::Key_F10), kCmdSongRequestBoard, Later::No },
        { QKeySequence(Qt::Key_F5), kCmdSettingsBroadcast, Later::No },
    };
    for (const SKey& k : keys) {
        // Children of the skin's widget: they go with the skin, and a key
        // typed into the title field, which is not one, stays the field's.
        auto* pShortcut = new QShortcut(k.key, pSkinWidget);
        pShortcut->setContext(Qt::WidgetWithChildrenShortcut);
        const unsigned nCommand = k.nCommand;
        QObject::connect(
            pShortcut, &QShortcut::activated, this, [this, nCommand] { OnCommand(nCommand); },
            k.later == Later::Yes ? Qt::QueuedConnection : Qt::AutoConnection);
    }
}

void CTavDJ1Dlg::OnStartBroadcast()
{
    CDJDataMan& engine = TheDJDataMan();
    // A waiting reconnect counts as a broadcast: the press cancels it.
    if (engine.IsConnected() || m_nBroadcastState != kStateIdle) {
        StopBroadcast();
        if (TheOption().m_nLocalServ) {
            StopOwnServer();
            KillTimer(kTimerNetworkCheck);
        }
        return;
    }
    // An own server's start still waiting for the outside address: the
    // press drops it.
    if (CancelOwnAddressCheck())
        return;
    if (engine.MixerDevices().GetMixerCount() == 0) {
        MessageDlg(this, kNoCaptureDevice, kCaption, kBoxQuestion);
        return;
    }
    if (!IsInternetConnected()) {
        MessageDlg(this, kNoInternet, kCaption, kBoxQuestion);
        return;
    }
    if (TheOption().m_nLocalServ) {
        StartOwnServerBroadcast();
        return;
    }
    ConnectToServer();
    NotifyPlayerAddress();
}

void CTavDJ1Dlg::ConnectToServer(CDJDataMan::Attempt attempt)
{
    CDJDataMan& engine = TheDJDataMan();
    std::string text;
    int code = 0;
    // The login runs beside the window: capture, the meter and a kept
    // recording go on, and S or a close cancels it.
    KillTimer(kTimerWatchdog);
    // A reconnect belongs to the broadcast it continues.
    if (attempt == CDJDataMan::Attempt::Fresh)
        m_bMissingStatusLogged = false;
    if (!engine.BeginConnect(&text, &code, attempt)) {
        OnConnectFinished(false, text, code);
        return;
    }
    m_nBroadcastState = kStateConnecting;
    UpdateStatus(kStateConnecting);
}

platform::LParam CTavDJ1Dlg::OnConnectResult(platform::WParam wParam, platform::LParam)
{
    std::string text;
    int code = 0;
    // A login cancelled by a stop or a close is stale: nothing of it shows.
    const int result = TheDJDataMan().FinishConnect(wParam, &text, &code);
    if (result >= 0)
        OnConnectFinished(result == 1, text, code);
    return 0;
}

void CTavDJ1Dlg::OnConnectFinished(bool bConnected, const std::string& text, int nCode)
{
    CDJDataMan& engine = TheDJDataMan();
    if (bConnected) {
        SetTimer(kTimerStatusStart, kStatusStartMs);
        SetTimer(kTimerWatchdog, kWatchdogMs);
        const DJSettings& settings = engine.Settings();
        if (!settings.m_nAuto) {
            const std::string typed
                = CutTitle(m_pTitleEdit ? m_pTitleEdit->text().toStdString() : TheOption().m_strMent);
            TheOption().m_strMent = typed;
            // An empty field means the station name, as for the send button,
            // and the login has put that on air already: no second title,
            // which a server applying titles in order would show blank.
            if (!typed.empty())
                engine.SendTitle(typed, engine.GetKeptUrl());
        }
        m_nBroadcastState = kStateOnAir;
        UpdateStatus(kStateOnAir);
        return;
    }
    if (nCode == kRetryableFailure && engine.Settings().m_nReconnect) {
        m_nBroadcastState = kStateReconnecting;
        UpdateStatus(kStateReconnecting);
        (void)MessageDlgThreaded(this, text + kRetryNotice, kConnectFailedCaption, kReconnectNoticeSeconds);
        SetTimer(kTimerReconnect, kSecondMs);
        return;
    }
    // Every other failure is told and ends the attempt: a start that failed
    // on the recording device or the send thread is no quiet no-op.
    ShowStatusText("", false);
    MessageDlg(this, text.empty() ? kConnectFailedText : text, kConnectFailedCaption, kBoxQuestion);
    StopBroadcast();
    // Nothing will feed the own server: it goes, and the user's server
    // settings come back, as when a broadcast drops without a reconnect.
    if (TheOption().m_nLocalServ) {
        StopOwnServer();
        KillTimer(kTimerNetworkCheck);
    }
}

void CTavDJ1Dlg::StopBroadcast()
{
    CDJDataMan& engine = TheDJDataMan();
    DebugTrace("서버 접속 종료...");
    engine.EditSettings([](DJSettings& s) { s.m_nEnable = 0; });
    engine.CloseRecordingFile();
    SMainControls& c = m_controls;
    SetImage(c.pRecord, 0);
    SetControlTooltip(c.pRecord, "녹음하기(R)");
    if (c.pRecordingLamp)
        c.pRecordingLamp->SetShow(false);
    SetImage(c.pTalkLock, 0);
    SetControlTooltip(c.pTalkLock, "말하기 고정(F)");
    SetImage(c.pTalk, 0);
    SetControlTooltip(c.pTalk, "말하기(C)");
    engine.StartTalkOverFade(false);
    KillTimer(kTimerWatchdog);
    engine.Disconnect();
    UpdateStatus(kStateIdle);
    m_nBroadcastState = kStateIdle;
    KillTimer(kTimerReconnect);
    m_nReconnectCount = kNoCountdown;
    WriteClientLog("서버 접속 끊기");
    if (c.pMiniBrowser)
        c.pMiniBrowser->ShowWindow(GXShow::kHide);
    TheOption().m_nShowMiniBrowser = 0;
}

void CTavDJ1Dlg::UpdateStatus(int nState)
{
    const CDJDataMan& engine = TheDJDataMan();
    const DJSettings& settings = engine.Settings();
    SMainControls& c = m_controls;
    if (nState == kStateIdle || nState == kStateReconnecting || nState == kStateConnecting) {
        KillTimer(kTimerAutoTitle);
        KillTimer(kTimerElapsed);
        KillTimer(kTimerStatusStart);
        KillTimer(kTimerStatusPoll);
        m_bDirectoryStarted = false;
        m_bNoDirectoryLogged = false;
        if (nState == kStateConnecting)
            ShowStatusText(kConnectingText, false);
        else
            ShowStatusText("", true);
        SetLabel(c.pListeners, "0/0");
        SetImage(c.pStartButton, nState == kStateIdle ? 0 : 1);
        SetControlTooltip(c.pStartButton, nState == kStateIdle ? "방송하기(S)" : "방송 취소(S)");
        for (GXConStatic* pField : c.elapsed)
            SetLabel(pField, "00");
        SetEnabled(c.pCopyAddress, false);
        // A login under way keeps the station's name in view.
        if (nState != kStateConnecting)
            SetLabel(c.pCopyAddress, "");
    } else if (nState == kStateOnAir) {
        SetLabel(c.pCopyAddress, settings.m_strName);
        if (settings.m_nAuto)
            SetTimer(kTimerAutoTitle, kSecondMs);
        SetTimer(kTimerElapsed, kSecondMs);
        ShowStatusText(
            BuildStatusText(settings.m_strAIM, TheDJDataMan().GetKeptTitle(), settings.m_nTitleWithCJName), true);
        SetLabel(c.pListeners, Format("0/%d", TheOption().m_nAudience));
        SetImage(c.pStartButton, 1);
        SetControlTooltip(c.pStartButton, "방송정지(S)");
    }
    // The dialog lets the server settings change only while nothing is sent.
    if (m_pSettingDlg)
        m_pSettingDlg->SetEditable(nState == kStateIdle && !TheDJDataMan().IsRecording());
    SetEnabled(c.pRecord, nState == kStateOnAir);
}

void CTavDJ1Dlg::ShowStatusText(const std::string& text, bool bScroll)
{
    if (GXConMarquee* pStatus = m_controls.pStatus) {
        pStatus->SetScrolling(bScroll);
        pStatus->SetText(text, 0);
    }
}

void CTavDJ1Dlg::ShowServerTitle(const std::string& title)
{
    // The same title again keeps its place in the scroll.
    GXConMarquee* pStatus = m_controls.pStatus;
    if (title.empty() || !pStatus || (pStatus->GetText(0) == title && pStatus->IsScrolling()))
        return;
    ShowStatusText(title, true);
}

void CTavDJ1Dlg::ShowReconnectCountdown(int nSeconds)
{
    ShowStatusText(Format("방송 재시도하기 : %d초", nSeconds), false);
}

void CTavDJ1Dlg::OnWatchdogTimer(uint32_t)
{
    CDJDataMan& engine = TheDJDataMan();
    if (m_nReconnectCount != kNoCountdown || engine.IsConnected())
        return;
    if (EndByStreamRefusal())
        return;
    // A broadcast that will reconnect keeps its recording going meanwhile;
    // a stop (the start button, a failure told to the presenter) ends it.
    const bool bReconnect = engine.Settings().m_nReconnect != 0;
    engine.Disconnect(bReconnect ? CDJDataMan::KeepRecording::Yes : CDJDataMan::KeepRecording::No);
    KillTimer(kTimerWatchdog);
    KillTimer(kTimerReconnect);
    m_nBroadcastState = kStateIdle;
    m_nReconnectCount = kNoCountdown;
    WriteClientLog(kDropped);
    ShowStatusText(kDropped, false);
    UpdateStatus(kStateIdle);
    if (bReconnect) {
        m_nBroadcastState = kStateReconnecting;
        UpdateStatus(kStateReconnecting);
        SetTimer(kTimerReconnect, kSecondMs);
        return;
    }
    // Nothing will feed the own server again: it goes, and the user's
    // server settings come back, before the next start could stop it.
    if (TheOption().m_nLocalServ) {
        StopOwnServer();
        KillTimer(kTimerNetworkCheck);
    }
    MessageDlg(this, kDroppedNoReconnect, kCaption, kBoxQuestion);
}

bool CTavDJ1Dlg::EndByStreamRefusal()
{
    CDJDataMan& engine = TheDJDataMan();
    std::string text;
    int code = 0;
    if (!engine.TakeStreamRefusal(&text, &code))
        return false;
    KillTimer(kTimerWatchdog);
    KillTimer(kTimerReconnect);
    m_nReconnectCount = kNoCountdown;
    // Only a refusal worth retrying keeps the recording for the reconnect.
    const bool bRetry = code == kRetryableFailure && engine.Settings().m_nReconnect;
    engine.Disconnect(bRetry ? CDJDataMan::KeepRecording::Yes : CDJDataMan::KeepRecording::No);
    m_nBroadcastState = kStateIdle;
    UpdateStatus(kStateIdle);
    OnConnectFinished(false, text, code);
    return true;
}

void CTavDJ1Dlg::OnReconnectTimer(uint32_t)
{
    if (m_nReconnectCount < 0) {
        KillTimer(kTimerReconnect);
        m_nReconnectCount = kNoCountdown;
        ConnectToServer(CDJDataMan::Attempt::Retry);
        return;
    }
    ShowReconnectCountdown(m_nReconnectCount);
    --m_nReconnectCount;
}

void CTavDJ1Dlg::OnElapsedTimer(uint32_t)
{
    UpdateElapsedTime();
}

void CTavDJ1Dlg::UpdateElapsedTime()
{
    const CDJDataMan& engine = TheDJDataMan();
    uint32_t seconds = 0;
    if (engine.IsConnected())
        seconds = (platform::GetTickCount() - engine.GetConnectTime()) / 1000;
    const std::array<uint32_t, 3> parts { seconds / 3600, seconds / 60 % 60, seconds % 60 };
    for (size_t i = 0; i < parts.size(); ++i)
        SetLabel(m_controls.elapsed[i], Format("%02d", int(parts[i])));
}

void CTavDJ1Dlg::OnStatusStartTimer(uint32_t)
{
    KillTimer(kTimerStatusStart);
    m_bDirectoryStarted = false;
    SetTimer(kTimerStatusPoll, kStatusPollMs);
    OnStatusPollTimer(kTimerStatusPoll);
}

void CTavDJ1Dlg::OnStatusPollTimer(uint32_t)
{
    // The engine refuses a download while the last one is still running, so
    // a slow server never has several polls in flight.
    (void)TheDJDataMan().FetchServerStatus(Handle());
}

void CTavDJ1Dlg::RestartEngineTimers()
{
    // A limit changed in the settings reaches the own server too.
    if (TheOption().m_nLocalServ)
        SetServerMaxListeners();
    KillTimer(kTimerStatusPoll);
    SetTimer(kTimerStatusStart, kStatusStartMs);
}

platform::LParam CTavDJ1Dlg::OnHttpGetFileComplete(platform::WParam, platform::LParam)
{
    // A download that ends after the stop belongs to no broadcast.
    if (m_nBroadcastState != kStateOnAir || !TheDJDataMan().IsConnected())
        return 0;
    StartDirectoryRegistration();
    return 0;
}

void CTavDJ1Dlg::StartDirectoryRegistration()
{
    CDJDataMan& engine = TheDJDataMan();
    int nCurrent = 0;
    int nMax = 0;
    if (!engine.GetListenerCount(&nCurrent, &nMax)) {
        // A page that says nothing usable (an error, a server that lists
        // no source of ours) shows no listeners and starts no directory
        // entry. A server without the page is told once: the readout
        // stays at 0 for the whole broadcast.
        nCurrent = 0;
        nMax = 0;
        if (const std::string missing = engine.GetMissingStatusPage(); !missing.empty() && !m_bMissingStatusLogged) {
            m_bMissingStatusLogged = true;
            WriteClientLog(Format(kMissingStatusPage, missing));
        }
    } else if (const DJSettings& settings = engine.Settings(); settings.m_nAddYP && settings.m_strYPHost.empty()) {
        // Registration is asked for but there is nowhere to register: said
        // once, not as a failure at every poll.
        if (!m_bNoDirectoryLogged)
            WriteClientLog(kNoDirectory);
        m_bNoDirectoryLogged = true;
    } else if (!m_bDirectoryStarted && !engine.IsYPStarted() && !engine.IsListenAddressPending()) {
        // The entry hands listeners the listen address: it waits for the
        // outside-address check, whose answer replaces the local stand-in.
        // Registration off is no failure: nothing is said, at no poll.
        const int result = engine.StartYP();
        if (result != 0 && result != CDJDataMan::kYPOff) {
            WriteClientLog(Format("YP등록 실패 : %d", result));
        } else if (result == 0) {
            m_bDirectoryStarted = true;
            SetEnabled(m_controls.pCopyAddress, true);
            SetControlTooltip(m_controls.pCopyAddress, m_strKeptAddressTooltip);
        }
    }
    // A server that publishes no limit (Icecast) is shown against the
    // listener limit of the settings, as before the first poll.
    if (nMax == CDJDataMan::kUnknownListenerLimit)
        nMax = TheOption().m_nAudience;
    ShowServerTitle(engine.GetServerTitle());
    engine.SetYPListeners(nCurrent, nMax);
    char text[32];
    (void)std::snprintf(text, sizeof text, "%d/%d", nCurrent, nMax);
    SetLabel(m_controls.pListeners, text);
    // What the readout holds now, for whoever reads the trace (a skin may
    // lack the readout).
    if (m_controls.pListeners)
        DebugTrace("청취자 표시 : %s", m_controls.pListeners->GetText(0).c_str());
}

platform::LParam CTavDJ1Dlg::OnYPNotify(platform::WParam wParam, platform::LParam lParam)
{
    const int code = int(lParam);
    const auto log = [this](const std::string& line) {
        DebugTrace("%s", line.c_str());
        WriteClientLog(line);
    };
    switch (int(wParam)) {
    case GShoutCastYP::kRegisterResult:
        if (code == kDirectoryOk) {
            const DJSettings& settings = TheDJDataMan().Settings();
            if (settings.m_nAddYP && settings.m_nSongRequest)
                OnSongRequestBoard();
            log("YP add 성공");
        } else if (code == kDirectoryOwnText || code == kDirectoryNeedsUpdate) {
            std::string text;
            (void)TheDJDataMan().GetYPErrorText(&text);
            MessageDlg(this, text, kDirectoryFailedCaption, kBoxPlain);
            if (code == kDirectoryNeedsUpdate) {
                LauncherCheck check;
                check.bForceCheck = true;
                check.bCheckMinor = true;
                if (RunLauncherCheckVersion(this, check))
                    PostToOwner(GXMsg::kClose, 0, 0);
            }
        } else {
            MessageDlg(this, kDirectoryRefused, kDirectoryFailedCaption, kBoxPlain);
            log(Format("YP add 실패 : %d", code));
        }
        break;
    case GShoutCastYP::kTouchResult:
        log(code == 0 ? std::string("YP tch 성공") : Format("YP tch 실패 : %d", code));
        break;
    case GShoutCastYP::kThreadEnded:
        log(code == 0 ? std::string("YP 종료") : Format("YP 종료 : 원인 - %d", code));
        break;
    default:
        break;
    }
    return 0;
}

platform::LParam CTavDJ1Dlg::OnEngineWriteLog(platform::WParam wParam, platform::LParam lParam)
{
    if (lParam == CDJDataMan::kLogTextOwned) {
        // Posted from another thread with a copy that is ours to free.
        const std::unique_ptr<std::string> pText(reinterpret_cast<std::string*>(wParam));
        if (pText)
            WriteClientLog(*pText);
        return 0;
    }
    if (const char* pText = reinterpret_cast<const char*>(wParam))
        WriteClientLog(pText);
    return 0;
}

platform::LParam CTavDJ1Dlg::OnEngineInputInitError(platform::WParam, platform::LParam)
{
    MessageDlg(this, kInputInitFailed, kInputInitCaption, kBoxQuestion);
    return 0;
}

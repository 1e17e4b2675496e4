// Own-server mode: the presenter's computer is the broadcast server. The
// window confirms the start, checks whether the external address changed
// (and then whether listeners outside can reach us), starts the built-in
// server on a worker, points the engine's source client at it and connects
// as in client mode. The user's own server settings are set aside meanwhile
// and come back on every way out.
#include "app/CTavDJ1Dlg.h"

#include "app/COption.h"
#include "app/MessageDlg.h"
#include "engine/stream/CDJDataMan.h"
#include "foundation/SystemInfo.h"
#include "skin/controls/GXConButton.h"

namespace {

constexpr uint32_t kNetworkCheckMs = 300000;
constexpr int kQuestionIcon = 32;
constexpr int kNoticeBox = kMbOk | kQuestionIcon;
constexpr int kQuestionBox = kMbYesNo | kQuestionIcon;

constexpr const char* kServerCaption = "서버 설정 안내";
constexpr const char* kConfirmText = "내 컴퓨터를 서버로 사용하여 방송하시겠습니까?";
constexpr const char* kTestingText = "외부에서 접속이 가능한지 테스트중...";
constexpr const char* kUnreachableText
    = "방화벽, 혹은 공유기 등 네트워크 환경으로 인해\n\n외부에서 이 서버로의 연결이 불가능합니다.\n\n외부 청취자 "
      "접속을 "
      "원하시면 네트워크 환경을\n\n수정하거나, 외부서버를 이용하시기 바랍니다.\n\n\n같은 네트워크에 있는 청취자를 "
      "대상으로 방송을\n\n진행하시겠습니까?";
constexpr const char* kNoPortText
    = "8000~8100사이에 이용 가능한 포트가 없어\r\n\"내 컴퓨터 방송\"을 진행할 수 없습니다.";
constexpr const char* kFindingAddressText = "외부 주소 확인 중...";
constexpr const char* kStartingText = "서버 구동 중...";
constexpr const char* kStartFailedStatus = "서버 구동 실패";
constexpr const char* kStartFailedText = "서버 시작에 실패하였습니다";
constexpr const char* kNoPortStatus = "이용 가능한 포트가 없습니다.";
constexpr const char* kReadyText = "서버 준비완료";
constexpr const char* kInternetLostText
    = "인터넷이 연결되지 않아 방송이 중단 되었습니다. \n\n인터넷 연결상태 확인 해 주세요.";
constexpr const char* kStartTooltip = "방송하기(S)";
constexpr const char* kStopTooltip = "방송정지(S)";

// Set while a step of the start runs that lets events through (a box, the
// reachability test): a start key meanwhile is not a second start.
struct SStartingFlag {
    explicit SStartingFlag(bool& bFlag)
        : m_bFlag(bFlag)
    {
        m_bFlag = true;
    }
    ~SStartingFlag() { m_bFlag = false; }
    SStartingFlag(const SStartingFlag&) = delete;
    SStartingFlag& operator=(const SStartingFlag&) = delete;

private:
    bool& m_bFlag;
};

} // namespace

void CTavDJ1Dlg::RegisterServerHandlers()
{
    m_pKeptClient = std::make_unique<CKeptClientSettings>(TheDJDataMan());
    m_messageHandlers[platform::RegisterMessage(CServerStartWorker::kResultMessage)] = &CTavDJ1Dlg::OnServerResult;
    m_messageHandlers[CDJDataMan::WmExternalAddress()] = &CTavDJ1Dlg::OnExternalAddress;
    m_timerHandlers[kTimerNetworkCheck] = &CTavDJ1Dlg::OnNetworkCheckTimer;
}

void CTavDJ1Dlg::StartOwnServerBroadcast()
{
    // The confirmation box and the reachability test keep events flowing,
    // and the start key still arrives while the button is disabled.
    if (m_bOwnServerStarting)
        return;
    // A server left from a broadcast that ended without the stop command
    // serves nobody; this start replaces it instead of merely stopping it.
    if (m_pServer)
        StopOwnServer();
    if (m_serverStart.IsRunning()) {
        GoOnWithOwnServer("");
        return;
    }
    m_bOwnServerStartAborted = false;
    m_bOwnServerStarting = true;
    if (MessageDlg(this, kConfirmText, kServerCaption, kQuestionBox) != kIdYes || m_bOwnServerStartAborted) {
        m_bOwnServerStarting = false;
        return;
    }
    // The address check may take seconds: it runs beside the window, and
    // the start goes on when it answers (OnExternalAddress); the start key
    // meanwhile drops it.
    m_bFindingOwnAddress = true;
    TheDJDataMan().BeginExternalIP(CDJDataMan::AddressUse::OwnServer);
    // Asking the check host may take seconds; without one the answer is a
    // local address, at once.
    if (!TheDJDataMan().Settings().m_strIPCheckHost.empty())
        ShowStatusText(kFindingAddressText, false);
}

platform::LParam CTavDJ1Dlg::OnExternalAddress(platform::WParam wParam, platform::LParam)
{
    std::string address;
    CDJDataMan::AddressUse use = CDJDataMan::AddressUse::OwnServer;
    // A check that was dropped is stale; the listen address's answer is
    // the controller's own.
    if (!TheDJDataMan().TakeExternalIP(wParam, &address, &use) || use != CDJDataMan::AddressUse::OwnServer
        || !m_bFindingOwnAddress)
        return 0;
    m_bFindingOwnAddress = false;
    GoOnWithOwnServer(address.empty() ? CKeptClientSettings::kServerHost : address);
    return 0;
}

bool CTavDJ1Dlg::CancelOwnAddressCheck()
{
    if (!m_bFindingOwnAddress)
        return false;
    m_bFindingOwnAddress = false;
    m_bOwnServerStarting = false;
    TheDJDataMan().CancelExternalIP();
    ShowStatusText("", false);
    return true;
}

void CTavDJ1Dlg::GoOnWithOwnServer(const std::string& address)
{
    SStartingFlag starting { m_bOwnServerStarting };
    CDJDataMan& engine = TheDJDataMan();
    // Empty: a start under way already, whose checks were done.
    if (!address.empty() && address != engine.Settings().m_strLocalAddress) {
        engine.EditSettings([&](DJSettings& s) { s.m_strLocalAddress = address; });
        if (m_controls.pStartButton)
            m_controls.pStartButton->SetEnable(false);
        ShowStatusText(kTestingText, false);
        const CExternalReachability::Result result = RunReachabilityTest(true);
        // The window went away or the broadcast was stopped meanwhile.
        if (m_bOwnServerStartAborted)
            return;
        if (m_controls.pStartButton)
            m_controls.pStartButton->SetEnable(true);
        if (result == CExternalReachability::Result::Skipped) {
            // Shown until the server start replaces it; kept in the log.
            ShowStatusText(CExternalReachability::kSkippedText, false);
            WriteClientLog(CExternalReachability::kSkippedText);
        } else {
            ShowStatusText("", false);
        }
        if (result == CExternalReachability::Result::NoFreePort)
            MessageDlg(this, kNoPortText, kCaption, kNoticeBox);
        if (result != CExternalReachability::Result::Reachable && result != CExternalReachability::Result::Skipped
            && (MessageDlg(this, kUnreachableText, kServerCaption, kQuestionBox) != kIdYes || m_bOwnServerStartAborted))
            return;
    }
    // Toggling cancels a start still searching for ports; only a launched
    // start arms the network check, so a cancelled one never comes back by
    // itself.
    ToggleOwnServer();
    if (m_serverStart.IsRunning()) {
        SetTimer(kTimerNetworkCheck, kNetworkCheckMs);
        NotifyPlayerAddress();
    } else {
        KillTimer(kTimerNetworkCheck);
    }
}

CExternalReachability::Result CTavDJ1Dlg::RunReachabilityTest(bool bShowStatus)
{
    if (m_pReachTest)
        return CExternalReachability::Result::Busy;
    CExternalReachability test(TheOption().m_strReachTestHost, m_nServerFirstPort);
    m_pReachTest = &test;
    const CExternalReachability::Result result = test.Run([this, bShowStatus](const std::string& text) {
        if (bShowStatus)
            ShowStatusText(text, false);
    });
    m_pReachTest = nullptr;
    return result;
}

CSettingDlgHost::Reachability CTavDJ1Dlg::TestReachability()
{
    // The settings dialog shows its own progress; the status line may be
    // showing a broadcast's title.
    switch (RunReachabilityTest(false)) {
    case CExternalReachability::Result::Reachable:
        return Reachability::Reachable;
    case CExternalReachability::Result::NoFreePort:
        return Reachability::NoFreePort;
    case CExternalReachability::Result::Skipped:
        return Reachability::Skipped;
    default:
        return Reachability::Unreachable;
    }
}

int CTavDJ1Dlg::ToggleOwnServer()
{
    if (m_pServer) {
        StopOwnServer();
        return 1;
    }
    if (m_serverStart.IsRunning()) {
        CancelServerStart();
        return 1;
    }
    return StartOwnServer();
}

int CTavDJ1Dlg::StartOwnServer()
{
    ShowStatusText(kStartingText, false);
    const COption& option = TheOption();
    CDJServerParams params;
    params.maxListeners = option.m_nAudience;
    if (option.m_nUseIntroSound)
        params.introPath = option.m_strIntroSound;
    params.logCallback = &CDailyLog::WriteCallback;
    params.logUser = &m_serverLog;
    if (m_serverStart.Start(Handle(), params, m_nServerFirstPort)) {
        if (m_controls.pStartButton)
            m_controls.pStartButton->SetImageNum(1);
        SetControlTooltip(m_controls.pStartButton, kStopTooltip);
        return 1;
    }
    ShowStatusText(kStartFailedStatus, false);
    if (m_controls.pStartButton)
        m_controls.pStartButton->SetImageNum(0);
    SetControlTooltip(m_controls.pStartButton, kStartTooltip);
    MessageDlg(this, kStartFailedText, kCaption, kNoticeBox);
    return 0;
}

platform::LParam CTavDJ1Dlg::OnServerResult(platform::WParam, platform::LParam)
{
    std::unique_ptr<CDJServer> server;
    // A result a cancel overtook is stale: it changes nothing.
    if (!m_serverStart.TakeResult(&server))
        return 0;
    if (!server) {
        if (m_controls.pStartButton)
            m_controls.pStartButton->SetImageNum(0);
        SetControlTooltip(m_controls.pStartButton, kStartTooltip);
        ShowStatusText(kNoPortStatus, false);
        MessageDlg(this, kNoPortText, kCaption, kNoticeBox);
        return 0;
    }
    m_pServer = std::move(server);
    m_pKeptClient->Replace(TheOption().m_strNationalAddress, m_pServer->GetPort(), m_pServer->GetPassword());
    ShowStatusText(kReadyText, false);
    ConnectToServer();
    return 0;
}

void CTavDJ1Dlg::CancelServerStart()
{
    m_serverStart.Cancel();
    if (m_controls.pStartButton)
        m_controls.pStartButton->SetImageNum(0);
    SetControlTooltip(m_controls.pStartButton, kStartTooltip);
    ShowStatusText("", false);
}

void CTavDJ1Dlg::StopOwnServer()
{
    if (m_bOwnServerStarting)
        m_bOwnServerStartAborted = true;
    (void)CancelOwnAddressCheck();
    if (m_pReachTest)
        m_pReachTest->Cancel();
    m_serverStart.Cancel();
    if (m_pKeptClient)
        m_pKeptClient->Restore();
    if (!m_pServer)
        return;
    m_pServer->Stop();
    m_pServer.reset();
    // The server's threads have ended: the log is ours alone now.
    m_serverLog.Write("");
    m_serverLog.Close();
}

bool CTavDJ1Dlg::IsOwnServerRunning() const
{
    return m_pServer != nullptr || m_serverStart.IsRunning();
}

void CTavDJ1Dlg::SetServerMaxListeners()
{
    if (m_pServer)
        m_pServer->SetMaxListeners(TheOption().m_nAudience);
}

void CTavDJ1Dlg::OnNetworkCheckTimer(uint32_t)
{
    // Client mode chosen since the check was armed: nothing of ours to watch.
    if (!TheOption().m_nLocalServ) {
        KillTimer(kTimerNetworkCheck);
        return;
    }
    CDJDataMan& engine = TheDJDataMan();
    if (IsInternetConnected()) {
        // Back on line after a loss: start again, but never touch a server
        // that still runs (a reconnect may be waiting on it) or a start that
        // is under way.
        if (engine.Settings().m_nReconnect && !engine.IsConnected() && engine.MixerDevices().GetMixerCount() > 0
            && !IsOwnServerRunning() && !m_bOwnServerStarting)
            ToggleOwnServer();
        return;
    }
    if (!engine.IsConnected())
        return;
    StopBroadcast();
    StopOwnServer();
    MessageDlg(this, kInternetLostText, kCaption, kMbOk);
}

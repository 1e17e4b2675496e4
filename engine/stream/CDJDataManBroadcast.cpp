// The broadcast itself: connecting and disconnecting, titles and stream
// commands (sent by CStreamSender), the listen address, the recording file
// and the directory registration.
#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CFirewallRegistration.h"
#include "engine/stream/IcecastText.h"
#include "foundation/GSocket.h"
#include "foundation/HttpGetFile.h"
#include "foundation/Ini.h"
#include "foundation/MachineId.h"
#include "foundation/Md5.h"
#include "foundation/Paths.h"

#include <cctype>
#include <ctime>
#include <strings.h>

namespace {

constexpr const char* kIPCheckPath = "/cgi-bin/tav_app/ipcheck.cgi";
constexpr const char* kIPCheckAgent = "HttpGetFile";
// An address check answers with one short line; anything longer is not an
// address.
constexpr size_t kMaxAddressLength = 255;
// The check runs beside the window; a host that trickles its reply must
// still not hold it for long, nor fill memory.
constexpr uint32_t kIPCheckLimitMs = 15000;
constexpr int kIPCheckByteLimit = 1024;
constexpr const char* kDirectoryKeySalt = "wexil_brorp";

struct ConnectFailure {
    int result;
    const char* text;
    const char* caption;
    int code;
};

constexpr ConnectFailure kConnectFailures[] = {
    { GShoutCastSource::kBadArguments,
        "서버 정보 입력이 잘못되었습니다.\n - 서버 주소, 포트 번호를 입력했는지 확인하십시오.\n - 음질 설정의 포맷을 "
        "확인하십시오.",
        "설정값 에러", -1 },
    { GShoutCastSource::kNoMemory, "시스템이 불안정합니다. 재부팅 후 다시 시도해 주십시오.\n -메모리 할당 실패",
        "메모리 할당 실패", -1 },
    { GShoutCastSource::kPasswordRefused, "음악방송 서버 암호가 틀렸습니다.\n암호를 다시 입력하십시오.", "암호 불일치",
        -1 },
    { GShoutCastSource::kSendFailed, "현 진행자가 방송 끊기를 기다림... \n연결중...", "다른 방송자 접속중", -2 },
    // Final at the presenter's own start: the mount stays taken until that
    // source ends or the presenter chooses another. A reconnect retries it
    // (see FailureFor).
    { GShoutCastSource::kMountInUse,
        "방송 서버의 마운트를 다른 방송자가 이미 사용하고 있습니다.\n - 설정에서 다른 마운트를 입력하거나, 그 방송이 "
        "끝난 뒤 다시 시도하십시오.",
        "마운트 사용중", -1 },
};

constexpr ConnectFailure kOtherFailure = { -1,
    "서버 접속에 실패하였습니다.\n - 서버 주소와 포트, 암호가 바르게 설정되었는지 확인하십시오.", "접속 에러", -2 };

constexpr int kRetryable = -2;

ConnectFailure FailureFor(int result, CDJDataMan::Attempt attempt)
{
    for (ConnectFailure failure : kConnectFailures) {
        if (failure.result != result)
            continue;
        // After a dropped connection the server may still hold the dead
        // source on the mount until its own source timeout: the countdown
        // tries again, as for a presenter who has not yet left.
        if (result == GShoutCastSource::kMountInUse && attempt == CDJDataMan::Attempt::Retry)
            failure.code = kRetryable;
        return failure;
    }
    return kOtherFailure;
}

std::string Trim(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return std::string(text.substr(begin, end - begin));
}

// The address check's answer (its first line, without blanks), else the
// first usable local address, else "localhost". Holds nothing of the
// controller: a check that was dropped may still be running after it.
std::string FindExternalAddress(const std::string& checkHost, std::stop_token stop)
{
    if (!checkHost.empty()) {
        const std::string url = "http://" + checkHost + kIPCheckPath;
        char* reply = nullptr;
        HttpGetFileTimeouts timeouts;
        timeouts.totalMs = kIPCheckLimitMs;
        if (HttpGetFile(&reply, nullptr, url.c_str(), platform::kNoTarget, true, kIPCheckAgent, kIPCheckByteLimit,
                false, nullptr, timeouts, std::move(stop))
            && reply) {
            std::unique_ptr<char[]> owned(reply);
            const std::string_view body(reply);
            const std::string line = Trim(body.substr(0, body.find('\n')));
            if (!line.empty() && line.size() <= kMaxAddressLength)
                return line;
        }
    }
    char local[64] = {};
    return GetUsableLocalAddress(local) ? local : "localhost";
}

bool IsLoopbackName(const std::string& address)
{
    return strcasecmp(address.c_str(), "127.0.0.1") == 0 || strcasecmp(address.c_str(), "localhost") == 0;
}

} // namespace

int CDJDataMan::IsConnected() const
{
    // The login worker has the source client to itself while it logs in.
    if (m_login.IsOutstanding())
        return 0;
    return m_source.IsConnected() ? 1 : 0;
}

int CDJDataMan::BeginConnect(std::string* pText, int* pCode, Attempt attempt)
{
    m_mainThread.CheckOwner();
    CancelLogin();
    // The login replaces the source client's connection: no send thread may
    // use it meanwhile.
    StopSendThread();
    std::string text;
    int code = 0;
    m_nMonitorRetries = 0;
    if (attempt == Attempt::Fresh)
        m_nClosedLogins = 0;
    m_loginAttempt = attempt;
    // A reconnect while the recording was kept finds the encoder running:
    // it goes on, so the recording has no gap at the login. The settings
    // it was started with cannot have changed (the window edits them only
    // when idle).
    const bool bEncoding = m_recording.IsOpen() && m_pump.IsRunning() && !m_bMonitoring;
    if (!bEncoding)
        StopPump();
    m_sender.ClearRing();
    if (!bEncoding && !StartEncoder(&text, &code)) {
        m_nClosedLogins = 0;
        Disconnect();
        *pText = text;
        *pCode = code;
        return 0;
    }
    AddFirewallException();

    // The writer was set up by StartEncoder and runs now; its rate is what
    // it was configured with.
    const int kbps = m_nEncoderKbps;
    m_nBitrate = kbps;
    m_nConnectTime = 0;
    WriteLog("서버 접속 시도 : 서버=%s, 포트=%d", m_settings.m_strAddress.c_str(), m_settings.m_nPort);
    m_source.SetStreamFormat(m_encoderFormat);
    // The worker gets copies: the settings stay the main thread's.
    const DJSettings& s = m_settings;
    const platform::WParam login = m_login.Start(
        [this, address = s.m_strAddress, port = s.m_nPort, kbps, password = s.m_strPasswd, name = s.m_strName,
            url = s.m_strUrl, genre = s.m_strGenre, aim = s.m_strAIM](std::stop_token stop) {
            return m_source.Connect(address.c_str(), port, kbps, password.c_str(), name.c_str(), url.c_str(),
                genre.c_str(), aim.c_str(), stop);
        },
        m_hMainWindow, WmConnectResult());
    if (login == 0) {
        *pText = kOtherFailure.text;
        *pCode = kOtherFailure.code;
        WriteLog("서버 접속 실패(%d) : %s", kOtherFailure.code, kOtherFailure.caption);
        Disconnect(m_recording.IsOpen() ? KeepRecording::Yes : KeepRecording::No);
        return 0;
    }
    *pText = {};
    *pCode = 0;
    return 1;
}

int CDJDataMan::FinishConnect(platform::WParam login, std::string* pText, int* pCode)
{
    m_mainThread.CheckOwner();
    int code = GShoutCastSource::kConnectFailed;
    if (!m_login.Take(login, &code))
        return -1;
    const int kbps = m_nEncoderKbps;
    if (code == GShoutCastSource::kOk) {
        m_nClosedLogins = 0;
        // A pump that failed while the login ran has nothing to send.
        if (!m_pump.IsRunning() || !StartSendThread()) {
            // Not the encoder's "success" text with code 0: a failure.
            *pText = kOtherFailure.text;
            *pCode = kOtherFailure.code;
            Disconnect();
            return 0;
        }
        *pText = "서버 접속 성공";
        *pCode = 0;
        WriteLog("서버 접속 성공 : 서버=%s, 포트=%d, 출력=%dkbps", m_settings.m_strAddress.c_str(), m_settings.m_nPort,
            kbps);
        // The source client's first title on air is the station name: it is
        // the title kept until another is sent.
        m_sender.SetKeptTitle(m_settings.m_strName);
        UpdateListenUrl();
        OpenRecordingFile();
        m_nConnectTime = platform::GetTickCount();
        return 1;
    }
    // A server that closes right after the password now and then is
    // restarting or overloaded; one that does it every time refuses the
    // password without saying so.
    if (code != GShoutCastSource::kClosedAfterPassword)
        m_nClosedLogins = 0;
    else if (++m_nClosedLogins >= kClosedLoginsRefused) {
        m_nClosedLogins = 0;
        code = GShoutCastSource::kPasswordRefused;
    }
    const ConnectFailure failure = FailureFor(code, m_loginAttempt);
    *pText = failure.text;
    *pCode = failure.code;
    WriteLog("서버 접속 실패(%d) : %s", failure.code, failure.caption);
    // A reconnect that fails keeps the recording it was to continue; the
    // window ends it when it gives up.
    Disconnect(m_recording.IsOpen() ? KeepRecording::Yes : KeepRecording::No);
    return 0;
}

bool CDJDataMan::TakeStreamRefusal(std::string* pText, int* pCode)
{
    m_mainThread.CheckOwner();
    const int refusal = m_source.StreamRefusal();
    if (refusal == GShoutCastSource::kOk || m_login.IsOutstanding())
        return false;
    // Told as the same refusal at the login would be.
    const ConnectFailure failure = FailureFor(refusal, m_loginAttempt);
    *pText = failure.text;
    *pCode = failure.code;
    WriteLog("서버 접속 실패(%d) : %s", failure.code, failure.caption);
    return true;
}

int CDJDataMan::Connect(std::string* pText, int* pCode, Attempt attempt)
{
    m_mainThread.CheckOwner();
    if (!BeginConnect(pText, pCode, attempt))
        return 0;
    // The worker's message still reaches the window; FinishConnect has
    // taken the login by then, so it is stale there.
    return FinishConnect(m_login.Wait(), pText, pCode);
}

void CDJDataMan::CancelLogin()
{
    if (!m_login.IsOutstanding())
        return;
    m_login.Cancel();
    // The login may have got as far as the server: its source goes now,
    // before anything of it could be used.
    m_source.Close();
}

void CDJDataMan::Disconnect(KeepRecording keep)
{
    m_mainThread.CheckOwner();
    CancelLogin();
    // The listen address goes with the connection; the own server's check
    // belongs to the window, which cancels it itself.
    if (m_addressUse == AddressUse::ListenAddress)
        m_addressLookup.Cancel();
    m_yp.Stop();
    m_bYPStarted = false;
    m_strListenAddress.clear();
    m_sender.SetKeptTitle({});
    StopSendThread();
    m_source.Close();
    if (keep == KeepRecording::Yes && m_recording.IsOpen() && m_pump.IsRunning())
        return;
    StopRecordingAndPump();
    StartMonitor();
}

int CDJDataMan::StartSendThread()
{
    return m_sender.Start() ? 1 : 0;
}

void CDJDataMan::StopSendThread()
{
    m_sender.Stop();
}

void CDJDataMan::SetStreamCommand(const std::string& text)
{
    m_sender.SetCommand(text, TitlePrefix());
}

void CDJDataMan::SetStreamCommandTime(int time)
{
    m_sender.SetCommandTime(time);
}

std::string CDJDataMan::TitlePrefix() const
{
    return m_settings.m_nTitleWithCJName && !m_settings.m_strAIM.empty() ? "[" + m_settings.m_strAIM + "] "
                                                                         : std::string();
}

void CDJDataMan::SendTitle(const std::string& title, const std::string& url)
{
    m_mainThread.CheckOwner();
    m_sender.SendTitle(title, url, TitlePrefix());
}

void CDJDataMan::ResendTitle()
{
    std::string title;
    std::string url;
    m_sender.GetKept(&title, &url);
    SendTitle(title, url);
}

std::string CDJDataMan::GetKeptTitle()
{
    return m_sender.KeptTitle();
}

std::string CDJDataMan::GetKeptUrl()
{
    return m_sender.KeptUrl();
}

int CDJDataMan::FetchServerStatus(platform::TargetHandle window)
{
    if (window == platform::kNoTarget || m_login.IsOutstanding())
        return 0;
    return m_source.FetchStatus(window) ? 1 : 0;
}

int CDJDataMan::GetListenerCount(int* pCurrent, int* pMax)
{
    if (m_login.IsOutstanding())
        return 0;
    GShoutCastSource::SServerStatus status;
    const bool usable = m_source.TakeStatus(&status);
    m_strServerTitle = usable ? status.title : std::string();
    m_strMissingStatusPage = status.missingPage;
    if (!usable)
        return 0;
    if (pCurrent)
        *pCurrent = status.current;
    if (pMax)
        *pMax = status.maximum;
    return pCurrent && pMax ? 1 : 0;
}

void CDJDataMan::GetExternalIP(std::string* pOut)
{
    if (pOut)
        *pOut = FindExternalAddress(m_settings.m_strIPCheckHost, {});
}

void CDJDataMan::BeginExternalIP(AddressUse use)
{
    m_mainThread.CheckOwner();
    m_addressUse = use;
    const platform::WParam check = m_addressLookup.Start(
        [host = m_settings.m_strIPCheckHost](std::stop_token stop) { return FindExternalAddress(host, stop); },
        m_hMainWindow, WmExternalAddress());
    // Without a thread there is no check: the window still hears by the
    // same message, and takes a local address.
    if (check == 0)
        (void)platform::PostMessage(m_hMainWindow, WmExternalAddress(), 0, 0);
}

bool CDJDataMan::TakeExternalIP(platform::WParam number, std::string* pAddress, AddressUse* pUse)
{
    m_mainThread.CheckOwner();
    std::string address;
    if (number == 0)
        address = FindExternalAddress({}, {});
    else if (!m_addressLookup.Take(number, &address))
        return false;
    if (m_addressUse == AddressUse::ListenAddress)
        SetListenAddress(address);
    if (pAddress)
        *pAddress = address;
    if (pUse)
        *pUse = m_addressUse;
    return true;
}

void CDJDataMan::CancelExternalIP()
{
    m_mainThread.CheckOwner();
    m_addressLookup.Cancel();
}

bool CDJDataMan::IsListenAddressPending() const
{
    return m_addressUse == AddressUse::ListenAddress && m_addressLookup.IsRunning();
}

void CDJDataMan::UpdateListenUrl()
{
    // A copy: the stored address is saved and used again to reconnect.
    std::string address = m_settings.m_strAddress;
    if (!IsLoopbackName(address) || m_settings.m_strIPCheckHost.empty()) {
        // Without a check host the outside address is a local one: no wait.
        if (IsLoopbackName(address))
            GetExternalIP(&address);
        SetListenAddress(address);
        return;
    }
    // The check may take seconds: a local address stands in until it tells.
    char local[64] = {};
    SetListenAddress(GetUsableLocalAddress(local) ? local : "localhost");
    BeginExternalIP(AddressUse::ListenAddress);
}

void CDJDataMan::SetListenAddress(const std::string& address)
{
    if (!m_settings.m_strListenUrl.empty())
        m_strListenAddress = m_settings.m_strListenUrl;
    else if (!address.empty())
        m_strListenAddress = "http://" + address + ":" + std::to_string(m_settings.m_nPort) + ListenPath();
    else
        m_strListenAddress.clear();
}

std::string CDJDataMan::ListenPath() const
{
    // Icecast serves the stream on its mount; its root is a web page. The
    // mount is written as the login names it, so a listener asks for the
    // very mount the source went on air at.
    const GShoutCastSource::SServerProtocol protocol = m_source.GetServerProtocol();
    return protocol.type == GShoutCastSource::ServerType::Icecast2 ? PercentEncode(protocol.mount, PercentKeep::Slashes)
                                                                   : std::string();
}

void CDJDataMan::AddFirewallException()
{
    (void)AddAppToFirewall(m_firewall);
}

void CDJDataMan::OpenRecordingFile()
{
    if (!m_settings.m_nEnable || !IsConnected())
        return;
    m_recording.Open(m_settings.m_strPath);
}

void CDJDataMan::CloseRecordingFile()
{
    m_recording.Close();
}

bool CDJDataMan::IsRecording()
{
    return m_recording.IsOpen();
}

std::string CDJDataMan::GetRecordingPath()
{
    return m_recording.Path();
}

int CDJDataMan::StartYP()
{
    m_mainThread.CheckOwner();
    // Without a directory host there is nowhere to register: the same as
    // AddYP off, and no error every few seconds. Nothing is read for it,
    // the machine's adapters included.
    if (!m_settings.m_nAddYP || m_settings.m_strYPHost.empty())
        return kYPOff;
    const std::string machineId = GetMacAddress();
    const std::string timeText = std::to_string(static_cast<long long>(std::time(nullptr)));
    const std::string hex = Md5Hex(machineId + timeText + kDirectoryKeySalt);
    std::string key;
    for (size_t i = 1; i < 20 && i < hex.size(); i += 2)
        key += hex[i];
    const std::string version = IniGetString("TAVDJ", "VERSION", GetAppDataFolder() + "VdVersion.ini", "");
    m_yp.SetDirectoryPort(m_settings.m_nYPPort);
    m_yp.SetBoardKeySource(m_settings.m_nSongRequest != 0, m_settings.m_strAddress, m_settings.m_nPort);
    GShoutCastYPParams params;
    params.notifyWindow = m_hMainWindow;
    params.host = m_settings.m_strYPHost;
    params.port = m_settings.m_nPort;
    params.bitrateKbps = m_nBitrate;
    params.stationName = m_settings.m_strName;
    params.stationUrl = m_settings.m_strUrl;
    params.genre = m_settings.m_strGenre;
    params.djName = m_settings.m_strAIM;
    params.icq = "ICQ";
    params.irc = "IRC";
    params.listenAddress = m_strListenAddress;
    params.pathWord = "dj";
    params.machineKey = machineId;
    params.timeText = timeText;
    params.checkKey = key;
    params.version = version;
    const int result = m_yp.Start(params);
    if (result == GShoutCastYP::kStarted)
        m_bYPStarted = true;
    return result;
}

void CDJDataMan::SetYPListeners(int current, int maximum)
{
    m_yp.SetListeners(current, maximum);
}

bool CDJDataMan::GetYPErrorText(std::string* pText)
{
    const std::string text = m_yp.GetErrorText();
    if (pText)
        *pText = text;
    return !text.empty();
}

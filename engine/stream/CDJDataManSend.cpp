// The broadcast itself: connecting, the send thread, titles and stream
// commands, the listen address, recordings and the directory registration.
#include "engine/stream/CDJDataMan.h"

#include "engine/stream/CFirewallRegistration.h"
#include "foundation/GSocket.h"
#include "foundation/HttpGetFile.h"
#include "foundation/Ini.h"
#include "foundation/MachineId.h"
#include "foundation/Md5.h"
#include "foundation/Paths.h"
#include "platform/ThreadPriority.h"

#include <cctype>
#include <ctime>
#include <strings.h>
#include <system_error>

namespace {

constexpr const char* kIPCheckPath = "/cgi-bin/tav_app/ipcheck.cgi";
constexpr const char* kIPCheckAgent = "HttpGetFile";
// An address check answers with one short line; anything longer is not an
// address.
constexpr size_t kMaxAddressLength = 255;
// The check runs on the main thread while connecting: a host that trickles
// its reply must not freeze the window, nor fill memory.
constexpr uint32_t kIPCheckLimitMs = 15000;
constexpr int kIPCheckByteLimit = 1024;
constexpr const char* kDirectoryKeySalt = "wexil_brorp";
constexpr int kMaxCommandSeq = 99;
constexpr int kYPOff = 5;

struct ConnectFailure {
    int result;
    const char* text;
    const char* caption;
    int code;
};

constexpr ConnectFailure kConnectFailures[] = {
    { GShoutCastSource::kBadArguments,
        "서버 정보 입력이 잘못되었습니다.\n - 서버 주소, 포트 번호를 입력했는지 확인하십시오.\n - 음질 설정의 포맷을 확인하십시오.",
        "설정값 에러", -1 },
    { GShoutCastSource::kNoMemory, "시스템이 불안정합니다. 재부팅 후 다시 시도해 주십시오.\n -메모리 할당 실패",
        "메모리 할당 실패", -1 },
    { GShoutCastSource::kPasswordRefused, "음악방송 서버 암호가 틀렸습니다.\n암호를 다시 입력하십시오.", "암호 불일치",
        -1 },
    { GShoutCastSource::kSendFailed, "현 진행자가 방송 끊기를 기다림... \n연결중...", "다른 방송자 접속중", -2 },
};

constexpr ConnectFailure kOtherFailure
    = { -1, "서버 접속에 실패하였습니다.\n - 서버 주소와 포트, 암호가 바르게 설정되었는지 확인하십시오.", "접속 에러", -2 };

const ConnectFailure& FailureFor(int result)
{
    for (const ConnectFailure& failure : kConnectFailures)
        if (failure.result == result)
            return failure;
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

bool IsLoopbackName(const std::string& address)
{
    return strcasecmp(address.c_str(), "127.0.0.1") == 0 || strcasecmp(address.c_str(), "localhost") == 0;
}

} // namespace

int CDJDataMan::IsConnected() const
{
    return m_source.IsConnected() ? 1 : 0;
}

int CDJDataMan::Connect(std::string* pText, int* pCode)
{
    std::string text;
    int code = 0;
    m_nMonitorRetries = 0;
    StopPump();
    m_streamRing.Clear();
    if (!StartEncoder(&text, &code)) {
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
    WriteLog("서버 접속 시도 : 서버=%s, 포트=%d", m_strAddress.c_str(), m_nPort);
    code = m_source.Connect(m_strAddress.c_str(), m_nPort, kbps, m_strPasswd.c_str(), m_strName.c_str(),
        m_strUrl.c_str(), m_strGenre.c_str(), m_strAIM.c_str());
    if (code == GShoutCastSource::kOk) {
        if (!StartSendThread()) {
            // Not the encoder's "success" text with code 0: a failure.
            *pText = kOtherFailure.text;
            *pCode = kOtherFailure.code;
            Disconnect();
            return 0;
        }
        *pText = "서버 접속 성공";
        *pCode = 0;
        WriteLog("서버 접속 성공 : 서버=%s, 포트=%d, 출력=%dkbps", m_strAddress.c_str(), m_nPort, kbps);
        UpdateListenUrl();
        OpenRecordingFile();
        m_nConnectTime = platform::GetTickCount();
        return 1;
    }
    const ConnectFailure& failure = FailureFor(code);
    *pText = failure.text;
    *pCode = failure.code;
    WriteLog("서버 접속 실패(%d) : %s", failure.code, failure.caption);
    Disconnect();
    return 0;
}

void CDJDataMan::Disconnect()
{
    m_yp.Stop();
    m_bYPStarted = false;
    m_strListenAddress.clear();
    {
        std::lock_guard guard(m_textLock);
        m_strKeptTitle.clear();
    }
    StopSendThread();
    m_source.Close();
    StopRecordingAndPump();
    StartMonitor();
}

int CDJDataMan::StartSendThread()
{
    if (m_bSendRunning)
        return 1;
    if (m_sendThread.joinable())
        m_sendThread.join();
    m_bOnAir = true;
    m_bSendRunning = true;
    try {
        m_sendThread = std::jthread([this](std::stop_token stop) { SendLoop(stop); });
    } catch (const std::system_error&) {
        m_bSendRunning = false;
        m_bOnAir = false;
        return 0;
    }
    return 1;
}

void CDJDataMan::StopSendThread()
{
    // Always cleared, also when the thread ended by itself: a stale flag
    // would let the next connection's first bytes into a ring nobody reads.
    m_bOnAir = false;
    if (m_sendThread.joinable())
        m_sendThread.join();
    m_bSendRunning = false;
}

void CDJDataMan::SendLoop(std::stop_token stop)
{
    // Best effort: a raised priority needs rights a user may not have.
    (void)platform::RaiseThreadPriority(1);
    char buffer[kSendBlockBytes];
    while (!stop.stop_requested()) {
        if (m_bCommandPending.exchange(false))
            SendPendingCommand();
        const int got = m_streamRing.Read(kSendBlockBytes, buffer);
        if (got <= 0) {
            if (!m_bOnAir)
                break;
            m_clock.SleepMs(kSendIdleMs);
            continue;
        }
        if (m_source.Send(buffer, got) != GShoutCastSource::kOk)
            break;
        m_nBytesSent += static_cast<uint64_t>(got);
    }
    // Whatever ended the thread, nothing is on air any more.
    m_bOnAir = false;
    m_bSendRunning = false;
}

void CDJDataMan::SendPendingCommand()
{
    m_nCommandSeq = m_nCommandSeq >= kMaxCommandSeq ? 1 : m_nCommandSeq + 1;
    std::string title;
    std::string prefix;
    std::string command;
    {
        std::lock_guard guard(m_textLock);
        title = m_strKeptTitle;
        prefix = m_strTitlePrefix;
        command = m_strCommand;
    }
    char url[1024];
    (void)std::snprintf(url, sizeof url, "tavacmdsl://%s?seq=%d&time=%d", command.c_str(), m_nCommandSeq,
        m_nCommandTime.exchange(0));
    PushTitle(title, url, prefix);
}

void CDJDataMan::SetStreamCommand(const std::string& text)
{
    {
        std::lock_guard guard(m_textLock);
        m_strCommand = text;
        m_strTitlePrefix = TitlePrefix();
    }
    m_bCommandPending = true;
}

void CDJDataMan::SetStreamCommandTime(int time)
{
    m_nCommandTime = time;
}

std::string CDJDataMan::TitlePrefix() const
{
    return m_nTitleWithCJName && !m_strAIM.empty() ? "[" + m_strAIM + "] " : std::string();
}

void CDJDataMan::SendTitle(const std::string& title, const std::string& url)
{
    std::string prefix = TitlePrefix();
    {
        std::lock_guard guard(m_textLock);
        m_strTitlePrefix = prefix;
    }
    PushTitle(title, url, prefix);
}

void CDJDataMan::PushTitle(const std::string& title, const std::string& url, const std::string& prefix)
{
    (void)m_source.UpdateTitle((prefix + title).c_str(), url.c_str());
    m_yp.SetTitle(title.c_str(), url.c_str());
    std::lock_guard guard(m_textLock);
    m_strKeptTitle = title;
    m_strKeptUrl = url;
}

void CDJDataMan::ResendTitle()
{
    std::string title;
    std::string url;
    {
        std::lock_guard guard(m_textLock);
        title = m_strKeptTitle;
        url = m_strKeptUrl;
    }
    SendTitle(title, url);
}

std::string CDJDataMan::GetKeptTitle()
{
    std::lock_guard guard(m_textLock);
    return m_strKeptTitle;
}

std::string CDJDataMan::GetKeptUrl()
{
    std::lock_guard guard(m_textLock);
    return m_strKeptUrl;
}

int CDJDataMan::FetchServerStatus(platform::TargetHandle window)
{
    if (window == platform::kNoTarget)
        return 0;
    return m_source.FetchStatus(window) ? 1 : 0;
}

int CDJDataMan::GetListenerCount(int* pCurrent, int* pMax)
{
    const int parsed = m_source.ParseStatus(pCurrent, pMax);
    return parsed && pCurrent && pMax ? 1 : 0;
}

void CDJDataMan::GetExternalIP(std::string* pOut)
{
    if (!pOut)
        return;
    if (!m_strIPCheckHost.empty()) {
        const std::string url = "http://" + m_strIPCheckHost + kIPCheckPath;
        char* reply = nullptr;
        HttpGetFileTimeouts timeouts;
        timeouts.totalMs = kIPCheckLimitMs;
        if (HttpGetFile(&reply, nullptr, url.c_str(), platform::kNoTarget, true, kIPCheckAgent, kIPCheckByteLimit,
                false, nullptr, timeouts)
            && reply) {
            std::unique_ptr<char[]> owned(reply);
            const std::string_view body(reply);
            const std::string line = Trim(body.substr(0, body.find('\n')));
            if (!line.empty() && line.size() <= kMaxAddressLength) {
                *pOut = line;
                return;
            }
        }
    }
    char local[64] = {};
    *pOut = GetUsableLocalAddress(local) ? local : "localhost";
}

void CDJDataMan::UpdateListenUrl()
{
    // A copy: the stored address is saved and used again to reconnect.
    std::string address = m_strAddress;
    if (IsLoopbackName(address))
        GetExternalIP(&address);
    if (!m_strListenUrl.empty())
        m_strListenAddress = m_strListenUrl;
    else if (!address.empty())
        m_strListenAddress = "http://" + address + ":" + std::to_string(m_nPort);
    else
        m_strListenAddress.clear();
}

void CDJDataMan::AddFirewallException()
{
    (void)AddAppToFirewall(m_firewall);
}

void CDJDataMan::OpenRecordingFile()
{
    if (!m_nEnable || !IsConnected())
        return;
    std::lock_guard guard(m_recordLock);
    if (m_pRecordFile)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char name[128];
    (void)std::snprintf(name, sizeof name, "방송 녹음-%d%02d%02d-%02d%02d%02d.mp3", local.tm_year + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string path = JoinPath(m_strPath, name);
    // A file that cannot be made leaves recording off without a message.
    m_pRecordFile = std::fopen(path.c_str(), "wb");
    m_strRecordingPath = m_pRecordFile ? path : std::string();
}

void CDJDataMan::CloseRecordingFile()
{
    std::lock_guard guard(m_recordLock);
    if (m_pRecordFile)
        std::fclose(m_pRecordFile);
    m_pRecordFile = nullptr;
}

bool CDJDataMan::IsRecording()
{
    std::lock_guard guard(m_recordLock);
    return m_pRecordFile != nullptr;
}

std::string CDJDataMan::GetRecordingPath()
{
    std::lock_guard guard(m_recordLock);
    return m_strRecordingPath;
}

int CDJDataMan::StartYP()
{
    const std::string machineId = GetMacAddress();
    const std::string timeText = std::to_string(static_cast<long long>(std::time(nullptr)));
    const std::string hex = Md5Hex(machineId + timeText + kDirectoryKeySalt);
    std::string key;
    for (size_t i = 1; i < 20 && i < hex.size(); i += 2)
        key += hex[i];
    const std::string version = IniGetString("TAVDJ", "VERSION", GetAppDataFolder() + "VdVersion.ini", "");

    // Without a directory host there is nowhere to register: the same as
    // AddYP off, and no error every few seconds.
    if (!m_nAddYP || m_strYPHost.empty())
        return kYPOff;
    m_yp.SetDirectoryPort(m_nYPPort);
    m_yp.SetBoardKeySource(m_nSongRequest != 0, m_strAddress, m_nPort);
    const int result = m_yp.Start(m_hMainWindow, m_strYPHost.c_str(), m_nPort, m_nBitrate, m_strName.c_str(),
        m_strUrl.c_str(), m_strGenre.c_str(), m_strAIM.c_str(), "ICQ", "IRC", m_strListenAddress.c_str(), "dj",
        machineId.c_str(), timeText.c_str(), key.c_str(), version.c_str());
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

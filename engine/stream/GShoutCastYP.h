#pragma once

#include "engine/stream/GYPReply.h"
#include "foundation/GSocket.h"
#include "platform/Clock.h"
#include "platform/HostResolver.h"
#include "platform/MessageTarget.h"
#include "platform/SocketApi.h"
#include "platform/ThreadChecker.h"
#include "platform/WindowFinder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

// What a registration announces: the directory's host, the station's
// listener port and bit rate, and the texts the directory lists (each sent
// encoded by EncodeDirectoryText). pathWord names the directory's folder
// ("dj" gives "/dj/").
struct GShoutCastYPParams {
    platform::TargetHandle notifyWindow = platform::kNoTarget;
    std::string host;
    int port = 0;
    int bitrateKbps = 0;
    std::string stationName;
    std::string stationUrl;
    std::string genre;
    std::string djName;
    std::string icq;
    std::string irc;
    std::string listenAddress;
    std::string pathWord;
    std::string machineKey;
    std::string timeText;
    std::string checkKey;
    std::string version;
};

// Thread: Start, Stop and the set-up calls on the owner thread (checked in
// debug builds); SetTitle, SetListeners, GetErrorText and GetBoardKey from
// any thread. A worker of this object owns the socket, the state, the stamps
// and the reply headers.
// Keeps the running station listed in the public station directory: one
// "addsrv_v2.php" request registers it, a "tchsrv" request every few
// minutes carries the title and listener counts, "remsrv" removes it. Every
// outcome is posted to the owner's window as WM_GSHOUTCASTYP_NOTIFY.
class GShoutCastYP {
public:
    static constexpr const char* kNotifyMessage = "WM_GSHOUTCASTYP_NOTIFY";
    // wParam of the notification.
    enum Notify { kRegisterResult = 1, kTouchResult = 2, kThreadEnded = 3 };
    // Results of Start.
    enum StartResult { kStarted = 0, kBadArguments = 1, kNoMemory = 2, kThreadFailed = 3, kSocketFailed = 4 };
    // lParam codes of the notification.
    enum Code {
        kOk = 0,
        kCreateFailed = 4,
        kConnectFailed = 5,
        kSendFailed = 6,
        kNoReply = 7,
        kBadState = 9,
        kRefused = 11,
        kUpdateRequired = 12,
        kRegisterEnded = 100,
        kNoId = 102,
        kNoTouchFrequency = 103,
        kTouchEnded = 200,
        kTouchRefused = 201,
        kTouchNoFrequency = 202,
    };
    // The worker's state machine; only the worker reads it.
    enum class State { Register, WaitRegister, Idle, WaitTouch };

    static constexpr int kDirectoryPort = 80;
    static constexpr uint32_t kStepMs = 100;
    static constexpr uint64_t kReplySilenceMs = 5000;
    // A directory that trickles its reply never falls silent; the whole
    // reply must arrive within this of the request.
    static constexpr uint64_t kReplyLimitMs = 30000;
    static constexpr uint64_t kRetryDelayMs = 60000;
    static constexpr int kMaxFailures = 10;
    // The directory chooses the touch interval; a hostile or broken value
    // must neither overflow the schedule nor turn it into a touch loop.
    static constexpr int kMinTouchMinutes = 1;
    static constexpr int kMaxTouchMinutes = 1440;
    static constexpr int kDefaultTouchMinutes = 3;
    // A request that cannot leave in this time is a failed send, so Stop is
    // never held up by a stalled directory.
    static constexpr uint32_t kSendLimitMs = 10000;
    static constexpr uint32_t kUnregisterSendLimitMs = 2000;
    // Encoded texts stop where fewer than four bytes of this remain.
    static constexpr size_t kEncodedCapacity = 4096;

    GShoutCastYP();
    GShoutCastYP(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock,
        platform::WindowFinder& windows);
    virtual ~GShoutCastYP();
    GShoutCastYP(const GShoutCastYP&) = delete;
    GShoutCastYP& operator=(const GShoutCastYP&) = delete;

    // Owner thread: stops a running registration, then starts the worker.
    // A StartResult: kBadArguments without a host, window, port or bit rate.
    [[nodiscard]] int Start(const GShoutCastYPParams& params);
    // Owner thread: ends the worker (after "remsrv" when listed and idle)
    // and forgets the registration, the board key included. Bounded by the
    // send limits and a connect.
    void Stop();

    // Any thread. Either may be null, leaving that text unchanged.
    void SetTitle(const char* title, const char* url);
    // Any thread. Negative counts become 0.
    void SetListeners(int current, int maximum);
    // Any thread: the directory's last "icy-errorstr", or "".
    [[nodiscard]] std::string GetErrorText() const;

    // Owner thread, before Start: what the song-request board key is made
    // of. With songRequest off, registration empties the key.
    void SetBoardKeySource(bool songRequest, const std::string& serverAddress, int serverPort);
    // Any thread: the board key built at registration ("" until then).
    [[nodiscard]] std::string GetBoardKey() const;

    // The directory listens on port 80; tests point it elsewhere. Before Start.
    void SetDirectoryPort(int port)
    {
        m_ownerThread.CheckOwner();
        m_nDirectoryPort = port;
    }

    // ASCII letters and digits stay, every other byte becomes "%xx" in
    // lower-case hex, while four bytes of kEncodedCapacity remain.
    [[nodiscard]] static std::string EncodeDirectoryText(std::string_view text);

private:
    static constexpr int kIncomplete = -1;

    void Run(std::stop_token stop);
    int Step(std::stop_token stop);
    int SendRegister(std::stop_token stop);
    int Touch(std::stop_token stop);
    void Unregister();
    // Which request the awaited reply answers.
    enum class Reply { Register, Touch };
    int WaitReplyStep(Reply reply);
    int JudgeRegisterReply();
    int JudgeTouchReply();
    bool AcceptTouchMinutes();
    int FailReply();
    GYPReply::LineRead TakeLine(std::string* line);
    bool EnsureConnected(int* code);
    bool SendRequest(const std::string& request, uint32_t limitMs, const std::stop_token* stop);
    int TavFlag();
    void BuildBoardKey();
    void Notify(int what, int code);

    platform::SocketApi& m_api;
    platform::HostResolver& m_resolver;
    platform::Clock& m_clock;
    platform::WindowFinder& m_windows;
    platform::MessageId m_msgNotify;
    [[no_unique_address]] platform::ThreadChecker m_ownerThread;

    std::jthread m_thread;
    platform::TargetHandle m_hNotifyWindow = platform::kNoTarget;

    // Worker-owned while it runs; the owner touches them only when stopped.
    State m_state = State::Register;
    int m_nYPId = -1;
    int m_nTouchMinutes = kDefaultTouchMinutes;
    uint64_t m_nLastTouchTick = 0;
    int m_nFailCount = 0;
    std::unique_ptr<GSocket> m_pSocket;
    uint64_t m_nLastActivityTick = 0;
    uint64_t m_nRequestTick = 0;
    GYPReply m_reply;

    // Fixed between Start and Stop.
    std::string m_szHost;
    int m_nDirectoryPort = kDirectoryPort;
    int m_nPort = 0;
    int m_nBitrate = 0;
    std::string m_szPathPrefix;
    std::string m_szStationNameEnc;
    std::string m_szStationUrlEnc;
    std::string m_szGenreEnc;
    std::string m_szDJNameEnc;
    std::string m_szIcqEnc;
    std::string m_szIrcEnc;
    std::string m_szListenAddressEnc;
    std::string m_szMachineKeyEnc;
    std::string m_szTimeTextEnc;
    std::string m_szCheckKeyEnc;
    std::string m_szVersionEnc;
    std::string m_szContentTypeEnc;

    std::atomic<int> m_nCurrentListeners { 0 };
    std::atomic<int> m_nMaxListeners { 0 };

    std::mutex m_titleLock; // guards: m_szTitle, m_szTitleEnc, m_szTitleUrl
    std::string m_szTitle;
    std::string m_szTitleEnc;
    std::string m_szTitleUrl;

    mutable std::mutex m_sharedLock; // guards: m_szErrorText, m_szBoardKey, m_bSongRequest,
                                     // m_szServerAddress, m_nServerPort
    std::string m_szErrorText;
    std::string m_szBoardKey;
    bool m_bSongRequest = false;
    std::string m_szServerAddress;
    int m_nServerPort = 0;
};

#pragma once

#include "engine/audio/capture/CAWaveInReader.h"
#include "engine/audio/codec/CAAcmMp3Writer.h"
#include "engine/audio/codec/CALameMp3Writer.h"
#include "engine/audio/effects/CMzDspEcho.h"
#include "engine/audio/effects/CMzDspReverb.h"
#include "engine/audio/effects/CMzDspSpeed.h"
#include "engine/audio/meter/CLevelAnalyser.h"
#include "engine/audio/mixer/CMixerDeviceList.h"
#include "engine/audio/mixer/CMixerLineVolume.h"
#include "engine/audio/road/CANULLWriter.h"
#include "engine/audio/road/CARWMan.h"
#include "engine/stream/CExternalAddressLookup.h"
#include "engine/stream/CRecordingFile.h"
#include "engine/stream/CSourceLogin.h"
#include "engine/stream/CStreamSender.h"
#include "engine/stream/CTalkOverFade.h"
#include "engine/stream/DJSettings.h"
#include "engine/stream/GShoutCastSource.h"
#include "engine/stream/GShoutCastYP.h"
#include "platform/Acm.h"
#include "platform/Clock.h"
#include "platform/Firewall.h"
#include "platform/HostResolver.h"
#include "platform/MessageTarget.h"
#include "platform/Mixer.h"
#include "platform/SocketApi.h"
#include "platform/ThreadChecker.h"
#include "platform/WaveIn.h"
#include "platform/WaveInAhead.h"
#include "platform/WindowFinder.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The platform layers the controller's components run on; a null entry
// means the real one. Tests put fakes here.
struct DJDataManSystems {
    platform::WaveInBackend* pWaveIn = nullptr;
    platform::MixerSystem* pMixer = nullptr;
    platform::SocketApi* pSockets = nullptr;
    platform::HostResolver* pResolver = nullptr;
    platform::Clock* pClock = nullptr;
    platform::Firewall* pFirewall = nullptr;
    platform::Acm* pAcm = nullptr;
    platform::WindowFinder* pWindows = nullptr;
};

// Thread: every public call on the main thread (the owner; the calls that
// change state check it in debug builds) unless its comment says otherwise; the pump thread runs OnPcmBlock and
// OnEncodedData, the send thread moves the stream ring to the server, the login worker (CSourceLogin) runs the source
// client's Connect while the main thread leaves the source client alone. The broadcast controller. It keeps the
// settings (DJSettings, one value the shell copies and applies), keeps capture running all the time (monitoring into
// the NULL writer), switches the pump to an MP3 writer while on air, and hands the broadcast's parts to the helpers it
// owns: the stream sender (send thread, titles, stream commands), the recording file and the talk-over fade. It also
// registers the station with the directory.
class CDJDataMan {
public:
    // settingsPath is the SETTING.ini to use; empty means SETTING.ini in the
    // application-data folder, looked up when it is used.
    explicit CDJDataMan(std::string settingsPath = {}, const DJDataManSystems& systems = {});
    // Shuts down (saving the settings when Init loaded them).
    ~CDJDataMan();
    CDJDataMan(const CDJDataMan&) = delete;
    CDJDataMan& operator=(const CDJDataMan&) = delete;

    // Reads every setting with its default for a missing key, mends values
    // that cannot be used, creates the recording folder and applies the
    // system-sound setting. folderName names the default recording folder
    // inside the documents folder ("방송 갈무리" when empty).
    void LoadSettings(std::string_view folderName = {});
    // Writes every setting; false when one of them could not be written.
    bool SaveSettings();
    // Every setting to its reset value, recording folder created, system
    // sounds muted, talk-over off. The caller saves afterwards.
    void ResetSettings();

    [[nodiscard]] std::string SettingsPath() const;

    // Main thread. The settings as a value: the shell copies them, edits the
    // copy and applies it. Applying stores the value only; changes that need
    // the device or the writer re-opened take effect through
    // SelectInputDevice or the next Connect, the effects through their
    // setters.
    [[nodiscard]] const DJSettings& Settings() const;
    void ApplySettings(const DJSettings& settings);
    // Copies the settings, lets change edit the copy and applies it.
    template <typename Change> void EditSettings(Change change)
    {
        DJSettings settings = Settings();
        change(settings);
        ApplySettings(settings);
    }

    // Main thread: the talk-over fade's step counter (0 … FadeTime) and
    // whether talk-over is on.
    [[nodiscard]] int GetFadeStep() const;
    [[nodiscard]] bool IsTalkOver() const;

    static constexpr uint32_t kTimerFadeOn = CTalkOverFade::kTimerFadeOn;
    static constexpr uint32_t kTimerFadeOff = CTalkOverFade::kTimerFadeOff;
    static constexpr uint32_t kFadePeriodMs = CTalkOverFade::kFadePeriodMs;
    static constexpr int kSendBlockBytes = CStreamSender::kSendBlockBytes;
    static constexpr uint32_t kSendIdleMs = CStreamSender::kSendIdleMs;
    static constexpr int kMaxVolume = 65536;
    // WM_DJDATAMAN_WRITE_LOG: sent for each log line, wParam the text (valid
    // during the call). A line written on another thread than the window's
    // is posted instead, never sent (the window's thread may be waiting for
    // that thread): wParam a new std::string the window deletes, lParam
    // kLogTextOwned. WM_DJDATAMAN_ERROR_INIT_INPUT: sent when the recording
    // device cannot be opened for monitoring.
    static constexpr platform::LParam kLogTextOwned = 1;
    [[nodiscard]] static platform::MessageId WmWriteLog();
    [[nodiscard]] static platform::MessageId WmErrorInitInput();
    // WM_DJDATAMAN_CONNECT_RESULT: posted by the login worker to the main
    // window when a login started by BeginConnect has ended; wParam the
    // login's number for FinishConnect, lParam 0.
    [[nodiscard]] static platform::MessageId WmConnectResult();
    // WM_DJDATAMAN_EXTERNAL_ADDRESS: posted by the address check's worker to
    // the main window when a check started by BeginExternalIP has ended;
    // wParam its number for TakeExternalIP, lParam 0.
    [[nodiscard]] static platform::MessageId WmExternalAddress();
    // Logins in a row that the server closed right after the password
    // without a word; the last of them is told as a refused password.
    static constexpr int kClosedLoginsRefused = 3;

    // Loads the settings, remembers the window, sets up pump, mixer lines and
    // effects and starts monitoring. Returns 1.
    int Init(std::string_view folderName, platform::TargetHandle mainWindow);
    // Stops sending, the pump and the recording; saves the settings once Init
    // has loaded them.
    void Shutdown();

    // A connect the user asked for, or the reconnect of one: only a retry
    // goes on counting logins closed right after the password, and only a
    // retry takes a taken mount for one worth trying again (code -2).
    enum class Attempt { Fresh, Retry };
    // The connection sequence's start: the pump switched to the encoder, the
    // ring emptied, the firewall asked, the attempt logged, and the login
    // started on the login worker. 1 while the login runs: its end arrives
    // as WM_DJDATAMAN_CONNECT_RESULT. 0 when it failed before the login,
    // with the failure's text and code, back to monitoring.
    int BeginConnect(std::string* pText, int* pCode, Attempt attempt = Attempt::Fresh);
    // On WM_DJDATAMAN_CONNECT_RESULT: joins the login and finishes the
    // sequence. On success 1 with "서버 접속 성공" and code 0 (send thread,
    // listen address, recording file); otherwise 0 with the failure's text
    // and code, back to monitoring, or, while a recording is kept for a
    // reconnect, still encoding into it. -1, changing nothing, for the
    // message of a login that was cancelled or finished already.
    int FinishConnect(platform::WParam login, std::string* pText, int* pCode);
    // A login runs: from BeginConnect until FinishConnect or a Disconnect.
    [[nodiscard]] bool IsConnecting() const { return m_login.IsOutstanding(); }
    // The whole sequence, waiting for the login: BeginConnect, then
    // FinishConnect once it has ended. For callers that want to block.
    int Connect(std::string* pText, int* pCode, Attempt attempt = Attempt::Fresh);
    // Yes: the connection goes but an open recording goes on, the pump still
    // encoding into it, so a broadcast that reconnects keeps one recording
    // without a gap; the next Connect continues it, a Disconnect with No
    // ends it. A login in progress is cancelled first: it stops at its next
    // poll, its socket is closed and nothing of it is applied.
    enum class KeepRecording { No, Yes };
    void Disconnect(KeepRecording keep = KeepRecording::No);
    // 0 once the connection has dropped (the server closed it, or stopped
    // taking the stream; see GShoutCastSource::kStallLimitMs), and while a
    // login runs.
    [[nodiscard]] int IsConnected() const;

    void SendTitle(const std::string& title, const std::string& url);
    void ResendTitle();
    // The send thread sends it with the kept title, decorated as SendTitle
    // would now.
    void SetStreamCommand(const std::string& text);
    // Any thread.
    void SetStreamCommandTime(int time);

    int FetchServerStatus(platform::TargetHandle window);
    // After the status read's completion: the current and maximum listener
    // counts, 1 when the server's status said them. The maximum is
    // kUnknownListenerLimit when the server publishes no limit (Icecast
    // 2); the window then shows its own. Also keeps the title on air as the
    // server has it, for GetServerTitle.
    static constexpr int kUnknownListenerLimit = GShoutCastSource::kUnknownLimit;
    int GetListenerCount(int* pCurrent, int* pMax);
    // The title on air as the last status read found it on the server;
    // empty when the server named none (a SHOUTcast page never does).
    [[nodiscard]] std::string GetServerTitle() const { return m_strServerTitle; }

    int StartYP();
    [[nodiscard]] int IsYPStarted() const { return m_bYPStarted ? 1 : 0; }
    void SetYPListeners(int current, int maximum);
    // False when there is no directory text.
    bool GetYPErrorText(std::string* pText);

    // The caller's public address: the address check's first reply line,
    // else the first usable local address, else "localhost". Blocks for the
    // check (up to 15 s): never on the window's thread.
    void GetExternalIP(std::string* pOut);
    // What an address check beside the window is for: the own server's
    // start, which the window goes on with, or the listen address of the
    // broadcast on air, which the controller fills in itself.
    enum class AddressUse { OwnServer, ListenAddress };
    // Starts GetExternalIP's check on a worker, dropping any check still
    // running; its end arrives as WM_DJDATAMAN_EXTERNAL_ADDRESS.
    void BeginExternalIP(AddressUse use);
    // On WM_DJDATAMAN_EXTERNAL_ADDRESS: the address and what it was asked
    // for; an answer for the listen address is applied here. False for the
    // message of a check that was dropped.
    [[nodiscard]] bool TakeExternalIP(platform::WParam number, std::string* pAddress, AddressUse* pUse);
    // Drops the check still running, without waiting for it.
    void CancelExternalIP();

    void OpenRecordingFile();
    void CloseRecordingFile();
    [[nodiscard]] bool IsRecording();
    [[nodiscard]] std::string GetRecordingPath();

    void SelectInputDevice(int device);
    void AddFirewallException();

    // 0 without a live main window, else the timer's result.
    int StartTalkOverFade(bool on);
    // One fade step; the main window calls it for timer 1025 (on) and 1026
    // (off).
    void StepTalkOverFade(bool on);
    [[nodiscard]] bool IsFadeRunning() const;
    // While talk-over is off: the fade is counted against fadeTime from now
    // on, the counter standing where "off" ends, so the next talk-over fades
    // over the new time instead of jumping.
    void SetFadeTimeInUse(int fadeTime);

    void SetReverbActive(int on);
    void SetReverbLevel(int level);
    void SetEchoActive(int on);
    void SetEchoLevel(int level);
    void SetPitchActive(int on);
    void SetPitchLevel(int level);

    // The main window passes on WM_ARWMAN_ERROR and WM_ARWMAN_END. A failure
    // of the running pump is logged; on air the controller disconnects (the
    // watchdog reconnects); in monitoring it restarts monitoring once, then
    // reports WM_DJDATAMAN_ERROR_INIT_INPUT. Returns 1 when the message was
    // one of the two.
    int OnPumpMessage(platform::MessageId msg, platform::WParam wParam);

    // Any thread.
    [[nodiscard]] int GetPeakLevel() const { return m_nPeakLevel; }
    [[nodiscard]] bool IsOnAir() const { return m_sender.IsOnAir(); }
    [[nodiscard]] uint64_t GetBytesSent() const { return m_sender.BytesSent(); }
    [[nodiscard]] uint32_t GetConnectTime() const { return m_nConnectTime; }
    [[nodiscard]] int GetBitrate() const { return m_nBitrate; }
    [[nodiscard]] std::string GetKeptUrl();
    [[nodiscard]] std::string GetKeptTitle();
    // The song-request board's key, built by the directory registration.
    [[nodiscard]] std::string GetBoardKey() const { return m_yp.GetBoardKey(); }
    [[nodiscard]] bool IsPumpRunning() const { return m_pump.IsRunning() != 0; }

    // The public listen address of the current broadcast; empty off air.
    [[nodiscard]] std::string GetListenUrl() const { return m_strListenAddress; }
    // The title another player is playing; empty when none is found.
    void GetPlayerSongTitle(std::string* pOut);
    [[nodiscard]] bool IsMonitoring() const { return m_bMonitoring; }

    // The components the main window and the settings pages use directly.
    [[nodiscard]] CMixerDeviceList& MixerDevices() { return m_mixerDevices; }
    [[nodiscard]] CMixerLineVolume& MusicVolume() { return m_musicVolume; }
    [[nodiscard]] CMixerLineVolume& LineInVolume() { return m_lineInVolume; }
    [[nodiscard]] CMixerLineVolume& MicVolume() { return m_micVolume; }
    [[nodiscard]] CAWaveInReader& Reader() { return m_reader; }
    [[nodiscard]] CALameMp3Writer& LameWriter() { return m_lameWriter; }
    [[nodiscard]] CAAcmMp3Writer& AcmWriter() { return m_acmWriter; }

    // Pump thread.
    static int OnPcmBlock(void* pSamples, int nFrames, int nRate, int nBits, int nChannels, void* pUser);
    static int OnEncodedData(void* pUser, const char* pData, int nBytes);

private:
    void SetupPump();
    // Hands the settings' server type, mount and user to the source client,
    // whenever the settings change, so it knows them before any Connect.
    void UpdateSourceProtocol();
    void SetupMixerLines();
    void SetupEffects();
    int StartMonitor();
    void StopPump();
    int StartEncoder(std::string* pText, int* pCode);
    // The pump is stopped first, so the encoder's final bytes still reach
    // the recording.
    void StopRecordingAndPump();
    // The writer the settings select, configured, with its bit rate in
    // kbit/s. Falls back to the LAME writer's default row when the stored
    // ACM codec or format is gone.
    CAWriter& ConfigureWriter(int* pKbps);
    void SetReaderRate(int rate);
    void WriteLog(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int StartSendThread();
    void StopSendThread();
    // Ends a login in progress: stop, join, its socket closed.
    void CancelLogin();
    // Main thread: the decoration TitleWithCJName and AIM ask for.
    [[nodiscard]] std::string TitlePrefix() const;
    int RunEffects(void* pSamples, int nFrames, int nRate, int nBits, int nChannels);
    int ProcessBlock(void* pSamples, int nFrames, int nRate, int nBits, int nChannels);
    void WriteEncoded(const char* pData, int nBytes);
    void UpdateListenUrl();
    // The listen address of the broadcast on air, on the server at address.
    void SetListenAddress(const std::string& address);
    // What follows host and port in the listen address: the mount on
    // Icecast 2, else nothing.
    [[nodiscard]] std::string ListenPath() const;
    void ApplyFadeVolumes(int mic, int music);

    [[no_unique_address]] platform::ThreadChecker m_mainThread;
    // The thread that called Init: the main window's.
    platform::OwnerThread m_windowThread;
    std::string m_strSettingsPath;
    DJSettings m_settings;
    platform::Clock& m_clock;
    platform::Firewall& m_firewall;

    platform::TargetHandle m_hMainWindow = platform::kNoTarget;
    bool m_bInitialised = false;
    bool m_bMonitoring = false;
    // Restarts of monitoring after a pump failure since the last user action.
    int m_nMonitorRetries = 0;
    CTalkOverFade m_fade;

    // Main thread: set by Connect, read by the main window.
    std::atomic<int> m_nBitrate { 0 };
    std::string m_strListenAddress;
    std::string m_strServerTitle;

    std::atomic<bool> m_bYPStarted { false };
    std::atomic<int> m_nPeakLevel { 0 };
    std::atomic<uint32_t> m_nConnectTime { 0 };
    // Pump thread: capture was bridging a sound server that went away at
    // the last block, which the log has told.
    bool m_bCaptureBridging = false;

    CRecordingFile m_recording;

    // The bit rate in kbit/s the broadcast's writer was set up with, and the
    // format it encodes.
    int m_nEncoderKbps = 0;
    GShoutCastSource::SStreamFormat m_encoderFormat;
    // Logins in a row the server closed right after the password.
    int m_nClosedLogins = 0;
    // What the login that runs, or ran last, was started as.
    Attempt m_loginAttempt = Attempt::Fresh;

    // In the order they are built; the pump and the send thread stop before
    // anything they use goes.
    platform::WindowFinder& m_windows;
    GShoutCastSource m_source;
    GShoutCastYP m_yp;
    CAWaveInReader m_reader;
    CAAcmMp3Writer m_acmWriter;
    CALameMp3Writer m_lameWriter;
    CANULLWriter m_nullWriter;
    CMixerDeviceList m_mixerDevices;
    CMixerLineVolume m_musicVolume;
    CMixerLineVolume m_lineInVolume;
    CMixerLineVolume m_micVolume;
    CLevelAnalyser m_analyser;
    CMzDspReverb m_reverb;
    CMzDspEcho m_echo;
    CMzDspSpeed m_pitch;
    std::array<CMzDsp*, 3> m_effects { &m_reverb, &m_echo, &m_pitch };
    // The pump feeds its ring, so it stops before the sender goes.
    CStreamSender m_sender;
    // Pump thread only: the newest display frame.
    std::array<uint8_t, CLevelAnalyser::kFrameBytes> m_levelFrame {};

    CARWMan m_pump;
    CExternalAddressLookup m_addressLookup;
    AddressUse m_addressUse = AddressUse::OwnServer;
    // Last: the login it runs uses the source client, so it ends first.
    CSourceLogin m_login;
};

// The program's one controller, built on first use and shut down at exit.
[[nodiscard]] CDJDataMan& TheDJDataMan();
// The platform layers TheDJDataMan() is built on; it takes them only before
// its first use (false once it is built). Tests run the real main window on
// fakes this way; the fakes must outlive the controller, which ends at exit.
bool SetTheDJDataManSystems(const DJDataManSystems& systems);
// Starts opening, on a thread, what the program's controller captures from
// first: the system's default recording device, at the rate idle capture
// asks for first. Its Init takes the stream when the settings name that
// device; meanwhile the program goes on starting.
[[nodiscard]] std::unique_ptr<platform::WaveInAhead> OpenTheCaptureAhead();
// Builds the program's controller on the desktop's sound server, when one
// answers within `wait`: its mixer and capture stand in for ALSA's, and
// live until after the controller ends. Call before the controller's first
// use; false (ALSA stays) without a server or once it is built.
bool UseTheSoundServer(std::chrono::milliseconds wait);

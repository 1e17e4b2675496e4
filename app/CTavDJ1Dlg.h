#pragma once

#include "app/CDailyLog.h"
#include "app/CExternalReachability.h"
#include "app/CKeptClientSettings.h"
#include "app/CServerStartWorker.h"
#include "app/CSettingDlgHost.h"
#include "app/SMainControls.h"
#include "engine/stream/CDJDataMan.h"
#include "platform/MessageTarget.h"
#include "skin/GSnap.h"
#include "skin/GXTypes.h"
#include "skin/GXWindowMain.h"
#include "skin/GXWindowOwner.h"

#include <QSize>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CDJEditEnter;
class GXImagePrefetch;
class CInstanceLock;
class CSettingDlg;
class CLauncherResultEndpoint;
class CPlayerExchange;
class CSessionEndSignal;
class QTimer;

// Thread: user-interface thread; other threads only post to its handle.
// The program's one top-level window: frameless, filled by the skin window
// it owns, with the song-title field as its only widget of its own. It is
// the skin's owner (every command and notification of the skin arrives
// here) and the engine's main window (posted registered messages and the
// window's timers arrive through OnMessage). Commands, timers and
// registered messages are dispatched through tables, so each part of the
// window registers its handlers in one place.
class CTavDJ1Dlg : public QWidget, public platform::MessageTarget, public GXWindowOwner, public CSettingDlgHost {
public:
    static constexpr int kSnapDistance = 16;
    static constexpr const char* kCaption = "TavDJ";
    static constexpr const char* kSkinFile = "skin.xml";
    static constexpr const char* kControlIdFile = "ControlID.XML";
    // Message-box type of the skin failures: OK button, question icon.
    static constexpr int kSkinFailureBox = 32;
    // The broadcast's states. Connecting: a login runs beside the window,
    // whose end arrives as the engine's WM_DJDATAMAN_CONNECT_RESULT.
    static constexpr int kStateIdle = 0;
    static constexpr int kStateOnAir = 1;
    static constexpr int kStateReconnecting = 2;
    static constexpr int kStateConnecting = 3;
    // The reconnect countdown's value while none runs; the reconnect comes
    // when it has gone below 0, on the twelfth tick.
    static constexpr int kNoCountdown = 10;
    // The window's timers (the talk-over fade's are the controller's).
    static constexpr uint32_t kTimerWatchdog = 1;
    static constexpr uint32_t kTimerElapsed = 2;
    static constexpr uint32_t kTimerReconnect = 3;
    static constexpr uint32_t kTimerStatusPoll = 4;
    static constexpr uint32_t kTimerStatusStart = 5;
    static constexpr uint32_t kTimerAutoTitle = 6;
    static constexpr uint32_t kTimerLevelAnimation = 7;
    static constexpr uint32_t kTimerNetworkCheck = 8;
    // The about box's command: the skin's button and the F1 key.
    static constexpr unsigned kCommandAbout = 3008;

    // args: the program's arguments (element 0 the program), applied as
    // command-line options while the window is created.
    explicit CTavDJ1Dlg(std::vector<std::string> args = {});
    ~CTavDJ1Dlg() override;
    CTavDJ1Dlg(const CTavDJ1Dlg&) = delete;
    CTavDJ1Dlg& operator=(const CTavDJ1Dlg&) = delete;

    // Builds the window: title field, engine, command-line options, skin,
    // snapping, control states. False (after telling the user why) when the
    // skin cannot be loaded, and false when the session ended meanwhile (a
    // box of the start was open): the program then ends. pInstance, when
    // given, learns the window so later starts can bring it forward.
    bool CreateMainWindow(CInstanceLock* pInstance);

    // Runs work once, right after the window's first picture went to the
    // screen, or kFirstPaintWaitMs after this call when nothing asks the
    // window for one (it starts covered): what the user need not wait for
    // comes after the window. Calls after the first time run at once.
    void AfterFirstPaint(std::function<void()> work);
    static constexpr int kFirstPaintWaitMs = 2000;

    // The desktop session ends or the program is told to stop: the close
    // without the question, and every event loop ends. During creation it
    // ends the box that is open, and creation stops there.
    void EndSession();
    [[nodiscard]] bool IsEndingSession() const { return m_bEndingSession; }

    // A new skin window with the skin at path (relative to the program
    // folder unless absolute; setting.ini's SKINPATH when empty) and file
    // (skin.xml when empty), bound to the window. False on any failure.
    // pPictures: the skin's pictures being decoded ahead, or null.
    bool LoadSkin(const std::string& path, const std::string& file, GXImagePrefetch* pPictures = nullptr);
    // LoadSkin, then placement and the controls' starting values.
    bool ReloadSkin(const std::string& path, const std::string& file);
    void DestroySkin();

    [[nodiscard]] GXWindowMain* SkinWindow() const { return m_pSkin.get(); }
    [[nodiscard]] const SMainControls& Controls() const { return m_controls; }
    [[nodiscard]] CDJEditEnter* TitleEdit() const { return m_pTitleEdit; }
    [[nodiscard]] bool IsCreated() const { return m_bCreated; }
    // The number the launcher answers to (RetWindowHandle). The endpoint
    // behind it opens on this first request: only the start-up check, after
    // the first paint, hands the number out.
    [[nodiscard]] uint32_t LauncherWindowNumber();
    [[nodiscard]] const GXPoint& MinSize() const { return m_minSize; }
    [[nodiscard]] const GXPoint& MaxSize() const { return m_maxSize; }
    // kStateIdle, kStateOnAir, kStateReconnecting or kStateConnecting.
    [[nodiscard]] int BroadcastState() const { return m_nBroadcastState; }
    // Seconds left before a reconnect; kNoCountdown while none runs.
    [[nodiscard]] int ReconnectCountdown() const { return m_nReconnectCount; }
    // The period of the window's timer of that id; 0 when it does not run.
    [[nodiscard]] int TimerPeriodMs(uint32_t id) const;

    // setting.ini [SKIN] SKINPATH of the program folder; "" when missing.
    [[nodiscard]] static std::string ConfiguredSkinPath();
    // Where the skin of path lies: the configured path when path is empty,
    // else "default_skin" when the program folder holds one, else
    // "default_skin.zip"; relative paths lie in the program folder.
    [[nodiscard]] static std::string ResolveSkinPath(const std::string& path, const std::string& programFolder);
    // The window's first size. MinSize with negative sides as 0, its width
    // cut to MaxSize's when MaxSize has a width and it is smaller; without
    // a usable MinSize (no MainWindow element) the skin window's own size.
    [[nodiscard]] static QSize InitialSize(const GXPoint& minSize, const GXPoint& maxSize, const QSize& skinSize);

    // Binds the controls of a loaded skin window (tests bind hand-built ones).
    [[nodiscard]] static SMainControls FindControls(const GXWindowMain& skin);

    // platform::MessageTarget: the window's timers, by id.
    bool SetTimer(uint32_t id, uint32_t periodMs) override;
    bool KillTimer(uint32_t id) override;

    // GXWindowOwner
    std::intptr_t SendToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) override;
    void PostToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) override;
    [[nodiscard]] QWidget* GetOwnerWidget() const override { return const_cast<CTavDJ1Dlg*>(this); }

    // Starts a program of the desktop (the system mixer) without waiting
    // for it; tests put a recorder here so no real mixer opens.
    using ProgramLauncher = std::function<bool(const std::string& program, const std::vector<std::string>& args)>;
    void SetProgramLauncher(ProgramLauncher launch) { m_launchProgram = std::move(launch); }

    // CSettingDlgHost: the engine set up again (CTavDJ1DlgSound.cpp), the
    // reachability test and the user's kept server (CTavDJ1DlgServer.cpp).
    void ReinitEngine() override;
    Reachability TestReachability() override;
    CKeptClientSettings& KeptClientSettings() override { return *m_pKeptClient; }

    // The first listener port own-server mode tries (8000, then every second
    // port below 8100); tests hand it free ports.
    void SetServerFirstPort(int port) { m_nServerFirstPort = port; }
    // The built-in server of own-server mode; null while none runs.
    [[nodiscard]] const CDJServer* OwnServer() const { return m_pServer.get(); }

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam wParam, platform::LParam lParam) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    using CommandHandler = void (CTavDJ1Dlg::*)();
    using TimerHandler = void (CTavDJ1Dlg::*)(uint32_t id);
    using MessageHandler = platform::LParam (CTavDJ1Dlg::*)(platform::WParam wParam, platform::LParam lParam);

    void RegisterHandlers();
    void OnCommand(unsigned nId);
    void OnTimer(uint32_t id);

    // Commands.
    void OnReloadSkin();
    void OnMinimise();
    void OnCloseCommand();
    // Timers.
    void OnTalkOverFadeTimer(uint32_t id);

    // Broadcast control (CTavDJ1DlgBroadcast.cpp).
    void RegisterBroadcastHandlers();
    // The keys of the skin window (S, R, F, Ctrl+Break, Ctrl+R, F1, F5, F10): they
    // act only while it has the focus, so they are made anew with each skin.
    void CreateAccelerators();
    void OnStartBroadcast();
    // Starts a connect with the current settings; the window shows that it
    // is connecting until the login's end arrives (OnConnectResult).
    void ConnectToServer(CDJDataMan::Attempt attempt = CDJDataMan::Attempt::Fresh);
    platform::LParam OnConnectResult(platform::WParam wParam, platform::LParam lParam);
    // What a connect that ended leads to: on air, a countdown or a stop.
    void OnConnectFinished(bool bConnected, const std::string& text, int nCode);
    void StopBroadcast();
    void UpdateStatus(int nState);
    void ShowReconnectCountdown(int nSeconds);
    void UpdateElapsedTime();
    void StartDirectoryRegistration();
    void RestartEngineTimers();
    void ShowStatusText(const std::string& text, bool bScroll);
    // The title on air as the server has it, scrolling in the status line;
    // an empty one leaves the line as it is.
    void ShowServerTitle(const std::string& title);
    void OnWatchdogTimer(uint32_t id);
    void OnElapsedTimer(uint32_t id);
    void OnReconnectTimer(uint32_t id);
    void OnStatusPollTimer(uint32_t id);
    void OnStatusStartTimer(uint32_t id);
    platform::LParam OnHttpGetFileComplete(platform::WParam wParam, platform::LParam lParam);
    platform::LParam OnYPNotify(platform::WParam wParam, platform::LParam lParam);
    platform::LParam OnEngineWriteLog(platform::WParam wParam, platform::LParam lParam);
    platform::LParam OnEngineInputInitError(platform::WParam wParam, platform::LParam lParam);
    // The directory registration has started for this connection.
    bool m_bDirectoryStarted = false;
    // This broadcast's client log already tells that no directory is
    // configured.
    bool m_bNoDirectoryLogged = false;

    // Own-server mode (CTavDJ1DlgServer.cpp).
    void RegisterServerHandlers();
    // The own-server start from the start command, after its device and
    // internet checks: confirmation, address check, server start.
    void StartOwnServerBroadcast();
    // The rest of the own server's start once the outside address is known
    // (empty: a start already under way, which the call cancels).
    void GoOnWithOwnServer(const std::string& address);
    // Drops the own server's address check and ends that start; false when
    // none ran.
    bool CancelOwnAddressCheck();
    // Stops the server, or cancels its start, or starts it. 0 only when a
    // start could not be launched.
    int ToggleOwnServer();
    // Stops whatever of own-server mode runs (a reachability test, the start
    // worker, the server) and gives the engine the user's address, port and
    // password back. Safe when nothing runs; every way out of the program
    // calls it before the engine saves its settings.
    void StopOwnServer();
    // The built-in server runs or its start is outstanding.
    [[nodiscard]] bool IsOwnServerRunning() const;
    int StartOwnServer();
    void CancelServerStart();
    // Hands the listener limit (Audience) to a running server.
    void SetServerMaxListeners();
    platform::LParam OnServerResult(platform::WParam wParam, platform::LParam lParam);
    platform::LParam OnExternalAddress(platform::WParam wParam, platform::LParam lParam);
    void OnNetworkCheckTimer(uint32_t id);
    // The reachability test; bShowStatus: the status line shows its progress.
    CExternalReachability::Result RunReachabilityTest(bool bShowStatus);
    // The server log outlives the worker and the server that write to it.
    CDailyLog m_serverLog { CDailyLog::kServerPrefix };
    int m_nServerFirstPort = CServerStartWorker::kFirstPort;
    std::unique_ptr<CKeptClientSettings> m_pKeptClient;
    CServerStartWorker m_serverStart;
    std::unique_ptr<CDJServer> m_pServer;
    // The test in progress while the start waits for it (events keep coming).
    CExternalReachability* m_pReachTest = nullptr;
    // A start is between its confirmation and its launch; a stop meanwhile
    // aborts it.
    bool m_bOwnServerStarting = false;
    bool m_bOwnServerStartAborted = false;
    // The own server's start waits for the outside address (BeginExternalIP).
    bool m_bFindingOwnAddress = false;

    // Sound commands and panels (CTavDJ1DlgSound.cpp).
    void RegisterSoundHandlers();
    void OnToggleReverb();
    void OnToggleEcho();
    void OnTogglePitch();
    // 3014-3016: the effect's level slider back to its default.
    template <size_t nEffect> void OnEffectSlider();
    void OnTalkOverLock();
    void OnToggleLineInFade();
    void OnRecord();
    void OnToggleSidePanel();
    void OnSelectPanel1();
    void OnSelectPanel2();
    void OnSelectPanel3();
    void OnSettingsBroadcast();
    void OnSettingsSoundQuality();
    void OnOpenPlaybackMixer();
    void OnOpenRecordMixer();
    platform::LParam OnSliderPosChange(platform::WParam wParam, platform::LParam lParam);
    void OnLevelAnimationTimer(uint32_t id);
    // The mouse's screen point, none for the C key.
    void TalkOverPress(std::optional<GXPoint> point);
    void TalkOverRelease(std::optional<GXPoint> point);
    [[nodiscard]] bool IsOnTalkButton(const std::optional<GXPoint>& point) const;
    void StartSkinAnimation();
    void InitVolumeSliders();
    void InitEffectSliders();
    void ToggleEffect(size_t nEffect);
    void ApplyEffectState(size_t nEffect, bool bActive);
    void SelectPanel(size_t nPanel);
    void OpenSettings(int nPage);
    void OpenSystemMixer(bool bRecording);
    // The C key and the mouse on the talk button while the skin window has
    // the keyboard.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

    // Titles, player exchange and request board (CTavDJ1DlgTitles.cpp).
    void RegisterTitleHandlers();
    // Tells the maker's player which broadcast runs (record 9897).
    void NotifyPlayerAddress();
    void OnSongRequestBoard();
    // Our end of the player exchange, opened once the window is created.
    void OpenPlayerExchange();
    void OnPlayerStreamCommand(const std::string& text, int32_t time);
    void OnTitleAutoUpdate();
    void OnAutoTitleTimer(uint32_t id);
    void OnSendTitle();
    platform::LParam OnEditEnter(platform::WParam wParam, platform::LParam lParam);
    // The on-air status text for the title just published.
    void ShowTitleInStatus();
    // Places the mini browser where it was and opens the board in it when
    // it was open (at placement).
    void OpenMiniBrowser();
    // The board's page in the mini browser; bRefresh reloads a page that is
    // shown already instead of setting its cookie again.
    void NavigateRequestBoard(bool bRefresh);
    void OnHidePopup();
    void OnCopyAddress();
    std::unique_ptr<CPlayerExchange> m_pPlayerExchange;
    // The player's last stream command and its time value.
    std::string m_strStreamCommand;
    int32_t m_nStreamCommandTime = 0;

    // Shutdown and logs (CTavDJ1DlgShutdown.cpp).
    void RegisterShutdownHandlers();
    void WriteClientLog(std::string_view text);
    // The close after its question: the control states stored, then ShutDown.
    void FinishClose();
    void StoreControlStates();
    // The end of the window's work, run once whatever leads there (a close,
    // the session's end, destruction): timers stopped, the own server
    // stopped with the user's client settings back, the engine shut down and
    // saved, the mixer as it was found, the skin gone.
    void ShutDown();
    void RestoreMixerVolumes();
    void OnAbout();
    platform::LParam OnLauncherResult(platform::WParam wParam, platform::LParam lParam);
    // A caption drag of the main window takes a mini browser that touches
    // it along, until the button is let go.
    platform::LParam OnNcLButtonDown(platform::WParam wParam, platform::LParam lParam);
    void OnCaptionMoved();
    void EndCaptionMove();

    // Creation and skin binding (CTavDJ1DlgSkin.cpp).
    void CreateTitleEdit();
    bool LoadSkinFiles(const std::string& path, const std::string& file);
    bool BindSkinControls();
    void RefreshControlStates();
    void ClearControlPointers();
    void InitControls();
    void RestoreWindowPlacement();
    void SaveWindowRects();
    // The main window's place and size into the settings object.
    void StoreMainRect();
    void ApplySizeLimits();
    void GetCurrentQuality();
    void ShowQualityInfo();
    void CheckSoundDevices();
    void SaveMixerVolumes();
    void ShowSkinError(const std::string& format);
    static void SetControlTooltip(GXConBase* pControl, const std::string& text);

    std::vector<std::string> m_args;
    GXWindowMain::Ptr m_pSkin;
    SMainControls m_controls;
    CDJEditEnter* m_pTitleEdit = nullptr; // child widget, deleted with the window
    GSnap m_snap;
    std::unique_ptr<CLauncherResultEndpoint> m_pLauncherEndpoint;

    std::map<unsigned, CommandHandler> m_commands;
    std::map<uint32_t, TimerHandler> m_timerHandlers;
    std::map<platform::MessageId, MessageHandler> m_messageHandlers;
    std::map<uint32_t, std::unique_ptr<QTimer>> m_timers;

    GXPoint m_minSize;
    GXPoint m_maxSize;
    int m_nBitrate = 0; // bit/s of the current quality
    int m_nChannels = 0;
    int m_nBroadcastState = kStateIdle;
    int m_nReconnectCount = kNoCountdown;
    // Playback volumes read at creation (-1 for a line that did not open)
    // and the capture destination's switch states; put back at the end.
    std::array<int, 3> m_savedVolumes { -1, -1, -1 };
    std::vector<int> m_savedSwitchStates;
    std::string m_strKeptAddressTooltip;
    CDailyLog m_clientLog { CDailyLog::kClientPrefix };
    // Sound commands and panels.
    CSettingDlg* m_pSettingDlg = nullptr; // child dialog, deleted with the window
    ProgramLauncher m_launchProgram;

    bool m_bSkinErrorShown = false;
    bool m_bCreated = false;
    // What waits for the first picture; the watch sees the window's first
    // expose.
    void RunAfterFirstPaint();
    std::vector<std::function<void()>> m_afterFirstPaint;
    std::unique_ptr<QObject> m_pFirstPaintWatch;
    bool m_bFirstPaintDone = false;

    // Shutdown and logs.
    // The capture line's volume at creation, and the line (mixer,
    // destination, source) it was read from; -1 when none was read.
    int m_nSavedSourceVolume = -1;
    int m_nSavedSourceMixer = -1;
    int m_nSavedSourceDest = -1;
    int m_nSavedSourceLine = -1;
    // The destination the switch states were read from.
    int m_nSavedSwitchDest = -1;
    std::unique_ptr<CSessionEndSignal> m_pSessionEnd;
    // Watches the window's moves and the skin's button release for a
    // caption drag.
    std::unique_ptr<QObject> m_pMoveWatch;
    struct SCaptionMove {
        bool bMoving = false;
        bool bDocked = false;
        QPoint windowStart;
        QPoint browserStart;
    } m_captionMove;
    bool m_bClosing = false;
    bool m_bEndingSession = false;
    bool m_bShutDown = false;
    bool m_bAboutOpen = false;
};

#include "engine/stream/CDJDataMan.h"

#include "engine/stream/PlayerTitle.h"
#include "engine/stream/QualityPresets.h"
#include "platform/ServerMixer.h"
#include "platform/ServerWaveIn.h"
#include "platform/SoundServer.h"

#include <algorithm>
#include <cstdarg>

namespace {

constexpr int kCaptureRate = 44100;
constexpr int kFallbackRate = 22050;
// Mixer rows of CMixerLineVolume::OpenPreset.
constexpr int kMusicRow = 1;
constexpr int kLineInRow = 2;
constexpr int kMicRow = 5;
constexpr int kEffectBits = 16;
constexpr int kEffectChannels = 2;
// Log lines longer than this are cut; they are one line of a log file.
constexpr size_t kMaxLogLine = 1024;
// How long a pump failure may take to finish its thread before the notice
// counts as one from an earlier run.
constexpr uint32_t kPumpEndWaitMs = 1000;

template <typename T> T& Or(T* p, T& fallback)
{
    return p ? *p : fallback;
}

DJDataManSystems& ProgramSystems()
{
    static DJDataManSystems systems;
    return systems;
}

bool g_bProgramControllerBuilt = false;

} // namespace

platform::MessageId CDJDataMan::WmWriteLog()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_DJDATAMAN_WRITE_LOG");
    return id;
}

platform::MessageId CDJDataMan::WmErrorInitInput()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_DJDATAMAN_ERROR_INIT_INPUT");
    return id;
}

platform::MessageId CDJDataMan::WmConnectResult()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_DJDATAMAN_CONNECT_RESULT");
    return id;
}

platform::MessageId CDJDataMan::WmExternalAddress()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_DJDATAMAN_EXTERNAL_ADDRESS");
    return id;
}

CDJDataMan::CDJDataMan(std::string settingsPath, const DJDataManSystems& systems)
    : m_strSettingsPath(std::move(settingsPath))
    , m_clock(Or(systems.pClock, platform::Clock::System()))
    , m_firewall(Or(systems.pFirewall, platform::SystemFirewall()))
    , m_windows(Or(systems.pWindows, platform::WindowFinder::System()))
    , m_source(Or(systems.pSockets, platform::SocketApi::System()),
          Or(systems.pResolver, platform::HostResolver::System()), m_clock)
    , m_yp(Or(systems.pSockets, platform::SocketApi::System()), Or(systems.pResolver, platform::HostResolver::System()),
          m_clock, m_windows)
    , m_reader(Or(systems.pWaveIn, platform::WaveInBackend::System()), m_clock)
    , m_acmWriter(Or(systems.pAcm, platform::Acm::System()))
    , m_mixerDevices(Or(systems.pMixer, platform::MixerSystem::Default()))
    , m_musicVolume(Or(systems.pMixer, platform::MixerSystem::Default()))
    , m_lineInVolume(Or(systems.pMixer, platform::MixerSystem::Default()))
    , m_micVolume(Or(systems.pMixer, platform::MixerSystem::Default()))
    , m_sender(m_source, m_yp, m_clock)
    , m_pump(m_clock)
{
    (void)WmWriteLog();
    (void)WmErrorInitInput();
    (void)WmConnectResult();
    (void)WmExternalAddress();
    (void)platform::RegisterMessage("WM_OUTPUTACM_END");
}

CDJDataMan::~CDJDataMan()
{
    Shutdown();
}

CDJDataMan& TheDJDataMan()
{
    static CDJDataMan controller({}, ProgramSystems());
    g_bProgramControllerBuilt = true;
    return controller;
}

bool SetTheDJDataManSystems(const DJDataManSystems& systems)
{
    if (g_bProgramControllerBuilt)
        return false;
    ProgramSystems() = systems;
    return true;
}

bool UseTheSoundServer(std::chrono::milliseconds wait)
{
    // Built before the controller, so they end after it.
    struct ServerSystems {
        std::unique_ptr<platform::SoundServer> pServer;
        std::unique_ptr<platform::ServerMixer> pMixer;
        std::unique_ptr<platform::ServerWaveIn> pCapture;
    };
    static ServerSystems systems;
    if (g_bProgramControllerBuilt || systems.pServer)
        return false;
    systems.pServer = platform::SoundServer::Connect(wait);
    if (!systems.pServer)
        return false;
    systems.pMixer = std::make_unique<platform::ServerMixer>(*systems.pServer);
    systems.pCapture = std::make_unique<platform::ServerWaveIn>(*systems.pMixer);
    ProgramSystems().pMixer = systems.pMixer.get();
    ProgramSystems().pWaveIn = systems.pCapture.get();
    return true;
}

std::unique_ptr<platform::WaveInAhead> OpenTheCaptureAhead()
{
    platform::WaveInBackend& backend = Or(ProgramSystems().pWaveIn, platform::WaveInBackend::System());
    return std::make_unique<platform::WaveInAhead>(
        backend, 0, platform::WaveIn::StreamFormat(kCaptureRate, CAWaveInReader::kChannels));
}

int CDJDataMan::Init(std::string_view folderName, platform::TargetHandle mainWindow)
{
    m_mainThread.CheckOwner();
    LoadSettings(folderName);
    m_fade.SetFadeTimeInUse(m_settings.m_nFadeTime);
    m_bInitialised = true;
    m_hMainWindow = mainWindow;
    m_windowThread.BindToCurrent();
    m_nMonitorRetries = 0;
    SetupPump();
    SetupMixerLines();
    SetupEffects();
    (void)m_analyser.Reset(kCaptureRate);
    m_reader.SetFormat(kCaptureRate);
    StartMonitor();
    return 1;
}

void CDJDataMan::Shutdown()
{
    m_mainThread.CheckOwner();
    CancelLogin();
    m_addressLookup.Cancel();
    StopSendThread();
    StopRecordingAndPump();
    m_bMonitoring = false;
    if (m_bInitialised)
        (void)SaveSettings();
}

void CDJDataMan::SetupPump()
{
    m_pump.SetNotifyWindow(m_hMainWindow);
    m_pump.SetDspHook(&CDJDataMan::OnPcmBlock, this);
    int kbps = 0;
    (void)ConfigureWriter(&kbps);
}

void CDJDataMan::SetupMixerLines()
{
    const double top = kMaxVolume;
    if (m_musicVolume.OpenPreset(kMusicRow)) {
        m_musicVolume.SetRange(0, top);
        m_musicVolume.SetVolume(m_settings.m_nNormal);
    }
    if (m_lineInVolume.OpenPreset(kLineInRow)) {
        m_lineInVolume.SetRange(0, top);
        if (m_settings.m_nLineinFade)
            m_lineInVolume.SetVolume(m_settings.m_nNormal);
    }
    if (m_micVolume.OpenPreset(kMicRow)) {
        m_micVolume.SetRange(0, top);
        m_micVolume.SetVolume(0);
    }
}

void CDJDataMan::SetupEffects()
{
    for (CMzDsp* effect : m_effects)
        effect->SetFormat(kEffectBits, kEffectChannels, kCaptureRate);
    SetReverbActive(m_settings.m_nReverb_Active);
    SetReverbLevel(m_settings.m_nReverb_Level);
    SetEchoActive(m_settings.m_nEcho_Active);
    SetEchoLevel(m_settings.m_nEcho_Level);
    SetPitchActive(m_settings.m_nPitch_Active);
    SetPitchLevel(m_settings.m_nPitch_Level);
}

CAWriter& CDJDataMan::ConfigureWriter(int* pKbps)
{
    if (m_settings.m_nCodecN > 0 && m_acmWriter.SetCodec(m_settings.m_nCodecN - 1, m_settings.m_nFormatN)) {
        *pKbps = m_acmWriter.GetFormatBitrate(m_settings.m_nCodecN - 1, m_settings.m_nFormatN) / 1000;
        return m_acmWriter;
    }
    // A codec or format that is gone must not end the broadcast as a
    // recording-device failure: the LAME writer's default row takes over.
    const int row = m_settings.m_nCodecN == 0 ? m_settings.m_nFormatN : GetDefaultQualityPreset();
    const QualityPreset& preset = GetQualityPresetOrDefault(row);
    m_lameWriter.SetBitrate(preset.kbps);
    m_lameWriter.SetFormatOverride(preset.hz, preset.channels);
    *pKbps = preset.kbps;
    return m_lameWriter;
}

void CDJDataMan::SetReaderRate(int rate)
{
    (void)m_analyser.Reset(rate);
    m_reader.SetFormat(rate);
}

void CDJDataMan::StopPump()
{
    m_pump.Stop();
    m_bMonitoring = false;
}

int CDJDataMan::StartMonitor()
{
    StopPump();
    (void)m_reader.SetDevice(m_settings.m_nDevice);
    (void)m_pump.SetReader(&m_reader);
    (void)m_nullWriter.SetOutputCallback(nullptr, nullptr);
    (void)m_pump.SetWriter(&m_nullWriter);

    int code = 0;
    bool running = m_pump.Start(&code) != 0;
    int rate = 0;
    m_reader.GetRate(&rate);
    if (!running && code == CARWMan::kErrReaderOpen && rate == kCaptureRate) {
        SetReaderRate(kFallbackRate);
        running = m_pump.Start(&code) != 0;
    }
    if (!running) {
        SetReaderRate(kCaptureRate);
        (void)platform::SendMessage(m_hMainWindow, WmErrorInitInput(), 0, 0);
        return 0;
    }
    m_bMonitoring = true;
    return 1;
}

int CDJDataMan::StartEncoder(std::string* pText, int* pCode)
{
    StopPump();
    (void)m_reader.SetDevice(m_settings.m_nDevice);
    (void)m_pump.SetReader(&m_reader);
    CAWriter& writer = ConfigureWriter(&m_nEncoderKbps);
    (void)writer.SetOutputCallback(&CDJDataMan::OnEncodedData, this);
    (void)m_pump.SetWriter(&writer);

    SetReaderRate(kCaptureRate);
    for (;;) {
        m_analyser.ClearCurrent();
        int code = 0;
        if (m_pump.Start(&code)) {
            // The writer settled its format in Start; the login announces it.
            m_encoderFormat.sampleRate = writer.GetRate();
            m_encoderFormat.channels = writer.GetChannels();
            *pText = "녹음 장치 열기 성공";
            *pCode = 0;
            return 1;
        }
        int rate = 0;
        m_reader.GetRate(&rate);
        if (code != CARWMan::kErrReaderOpen || rate != kCaptureRate)
            break;
        SetReaderRate(kFallbackRate);
    }
    SetReaderRate(kCaptureRate);
    *pText = "녹음 장치를 여는데 실패하였습니다.\n녹음 장치를 사용하는 프로그램과 동시에 사용할 수 없습니다.";
    *pCode = 100;
    return 0;
}

void CDJDataMan::StopRecordingAndPump()
{
    StopPump();
    CloseRecordingFile();
}

void CDJDataMan::SelectInputDevice(int device)
{
    m_mainThread.CheckOwner();
    // The encoder a login runs with stays as it was started.
    if (IsConnected() || m_login.IsOutstanding() || device == m_reader.GetDevice())
        return;
    m_nMonitorRetries = 0;
    StopPump();
    StartMonitor();
}

int CDJDataMan::OnPumpMessage(platform::MessageId msg, platform::WParam wParam)
{
    m_mainThread.CheckOwner();
    static const platform::MessageId kError = platform::RegisterMessage("WM_ARWMAN_ERROR");
    static const platform::MessageId kEnd = platform::RegisterMessage("WM_ARWMAN_END");
    if (msg != kError && msg != kEnd)
        return 0;
    // Open failures come from Start, whose callers handle them where they
    // happen.
    if (msg == kError && (wParam == CARWMan::kErrReaderOpen || wParam == CARWMan::kErrWriterOpen))
        return 1;
    // The failed pump thread ends right after its notice; one still running
    // after that belongs to a later start, and the notice is stale.
    const uint64_t until = m_clock.NowMs() + kPumpEndWaitMs;
    while (m_pump.IsRunning() && m_clock.NowMs() < until)
        m_clock.SleepMs(5);
    if (m_pump.IsRunning())
        return 1;

    if (msg == kEnd)
        WriteLog("오디오 입력이 끝났습니다.");
    else
        WriteLog("오디오 처리 오류(%d)", static_cast<int>(wParam));
    if (IsConnected() || m_sender.IsOnAir()) {
        Disconnect();
        return 1;
    }
    if (!m_bMonitoring)
        return 1;
    m_bMonitoring = false;
    if (m_nMonitorRetries++ == 0 && StartMonitor())
        return 1;
    StopPump();
    if (m_nMonitorRetries > 1)
        (void)platform::SendMessage(m_hMainWindow, WmErrorInitInput(), 0, 0);
    return 1;
}

void CDJDataMan::WriteLog(const char* format, ...)
{
    char line[kMaxLogLine];
    va_list args;
    va_start(args, format);
    (void)std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (m_windowThread.IsCurrent()) {
        (void)platform::SendMessage(m_hMainWindow, WmWriteLog(), reinterpret_cast<platform::WParam>(line), 0);
        return;
    }
    auto* pCopy = new std::string(line);
    if (!platform::PostMessage(m_hMainWindow, WmWriteLog(), reinterpret_cast<platform::WParam>(pCopy), kLogTextOwned))
        delete pCopy;
}

int CDJDataMan::OnPcmBlock(void* pSamples, int nFrames, int nRate, int nBits, int nChannels, void* pUser)
{
    return static_cast<CDJDataMan*>(pUser)->ProcessBlock(pSamples, nFrames, nRate, nBits, nChannels);
}

int CDJDataMan::ProcessBlock(void* pSamples, int nFrames, int nRate, int nBits, int nChannels)
{
    // A sound server that went away is bridged with silence, so the
    // broadcast stays on air; the log tells it once per outage.
    const bool bridging = m_reader.Device().IsBridging();
    if (bridging != m_bCaptureBridging) {
        m_bCaptureBridging = bridging;
        if (bridging)
            WriteLog("사운드 서버와 연결이 끊어졌습니다. 다시 연결될 때까지 무음을 보냅니다.");
    }
    // The analyser reads 16-bit stereo only; an ACM format in mono would be
    // misread, so it is not fed.
    if (nBits == kEffectBits && nChannels == kEffectChannels) {
        const auto seconds = static_cast<uint32_t>(m_clock.NowMs() / 1000);
        (void)m_analyser.Feed(static_cast<const int16_t*>(pSamples), seconds, nFrames * nBits / 8 * nChannels);
    }
    if (m_sender.IsOnAir())
        nFrames = RunEffects(pSamples, nFrames, nRate, nBits, nChannels);
    if (m_analyser.Fetch(m_levelFrame.data()) == 0)
        m_nPeakLevel = CLevelAnalyser::PeakLevel(m_levelFrame.data());
    return nFrames;
}

int CDJDataMan::RunEffects(void* pSamples, int nFrames, int nRate, int nBits, int nChannels)
{
    for (CMzDsp* effect : m_effects) {
        const int frames = effect->Process(pSamples, nFrames, nBits, nChannels, nRate);
        // -1 from an effect that changed nothing.
        if (frames >= 0)
            nFrames = frames;
    }
    return nFrames;
}

int CDJDataMan::OnEncodedData(void* pUser, const char* pData, int nBytes)
{
    static_cast<CDJDataMan*>(pUser)->WriteEncoded(pData, nBytes);
    return nBytes;
}

void CDJDataMan::WriteEncoded(const char* pData, int nBytes)
{
    m_recording.Write(pData, nBytes);
    m_sender.Feed(pData, nBytes);
}

void CDJDataMan::GetPlayerSongTitle(std::string* pOut)
{
    if (pOut)
        *pOut = ReadPlayerTitle(m_windows);
}

void CDJDataMan::SetReverbActive(int on)
{
    m_reverb.SetActive(on != 0);
}

void CDJDataMan::SetReverbLevel(int level)
{
    m_reverb.SetLevel(level);
}

void CDJDataMan::SetEchoActive(int on)
{
    m_echo.SetActive(on != 0);
}

void CDJDataMan::SetEchoLevel(int level)
{
    m_echo.SetDelay(level);
}

void CDJDataMan::SetPitchActive(int on)
{
    m_pitch.SetActive(on != 0);
}

void CDJDataMan::SetPitchLevel(int level)
{
    m_pitch.SetPitch(level);
}

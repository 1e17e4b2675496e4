// The end of the main window's work: closing, the desktop session's end,
// the mixer put back as it was found; the client log; the about box, the
// launcher's answer and a caption drag that takes a docked mini browser
// along.
#include "app/CTavDJ1Dlg.h"

#include "app/CAboutDlg.h"
#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CSessionEndSignal.h"
#include "app/MessageDlg.h"
#include "app/UpdateCheck.h"
#include "engine/stream/CDJDataMan.h"
#include "foundation/RectGeometry.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/RectConversion.h"
#include "skin/controls/GXConButton.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>

#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include <algorithm>
#include <array>
#include <functional>
#include <utility>

namespace {

constexpr const char* kCloseQuestion = "방송중입니다.\n종료하시겠습니까?";
// Yes and No buttons, question icon.
constexpr int kCloseQuestionBox = 4 | 32;
// Playback rows of CMixerLineVolume::OpenPreset read at creation.
constexpr std::array<int, 3> kSavedRows { 1, 2, 5 };

// Hands the window's moves and the release of the skin's mouse button to
// the caption drag; every event goes on to its widget.
class CCaptionMoveWatch final : public QObject {
public:
    CCaptionMoveWatch(QObject* pWindow, std::function<void()> onMoved, std::function<void()> onReleased)
        : m_pWindow(pWindow)
        , m_onMoved(std::move(onMoved))
        , m_onReleased(std::move(onReleased))
    {
    }

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Move && pWatched == m_pWindow)
            m_onMoved();
        else if (pEvent->type() == QEvent::MouseButtonRelease && pWatched != m_pWindow)
            m_onReleased();
        return false;
    }

private:
    QObject* m_pWindow;
    std::function<void()> m_onMoved;
    std::function<void()> m_onReleased;
};

QWidget* WidgetOf(GXWindowChild* pWindow)
{
    return pWindow ? pWindow->GetWidget() : nullptr;
}

} // namespace

void CTavDJ1Dlg::RegisterShutdownHandlers()
{
    m_commands[kCommandAbout] = &CTavDJ1Dlg::OnAbout;
    m_messageHandlers[GXMsg::kNcLButtonDown] = &CTavDJ1Dlg::OnNcLButtonDown;
    m_messageHandlers[WmVdLauncherResult()] = &CTavDJ1Dlg::OnLauncherResult;

    m_pMoveWatch = std::make_unique<CCaptionMoveWatch>(
        this, [this] { OnCaptionMoved(); }, [this] { EndCaptionMove(); });
    installEventFilter(m_pMoveWatch.get());

    // A stop from the desktop session, a service manager or a closed
    // terminal saves everything as a close would, without a question
    // nobody is there to answer. In the program the application object
    // holds the signals from its start and hands them to EndSession; this
    // catcher then stays idle.
    m_pSessionEnd = std::make_unique<CSessionEndSignal>([this](int) { EndSession(); });
#if QT_CONFIG(sessionmanager)
    if (auto* pApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(
            pApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { EndSession(); },
            Qt::DirectConnection);
    }
#endif
}

void CTavDJ1Dlg::WriteClientLog(std::string_view text)
{
    m_clientLog.Write(text);
}

void CTavDJ1Dlg::closeEvent(QCloseEvent* pEvent)
{
    if (!m_bShutDown) {
        const bool bWasClosing = std::exchange(m_bClosing, true);
        SaveWindowRects();
        if (m_bCreated && !m_bEndingSession && TheDJDataMan().IsConnected()) {
            const int nAnswer = MessageDlg(this, kCloseQuestion, kCaption, kCloseQuestionBox);
            // The session may have ended while the question was open.
            if (!m_bShutDown && nAnswer != kIdYes) {
                m_bClosing = bWasClosing;
                pEvent->ignore();
                return;
            }
        }
        if (!m_bShutDown)
            FinishClose();
        m_bClosing = bWasClosing;
    }
    pEvent->accept();
}

void CTavDJ1Dlg::EndSession()
{
    m_bEndingSession = true;
    if (!m_bShutDown) {
        // Inside a close (its question open) Qt refuses a second one, so
        // the end is done here; the close then finds it done.
        if (m_bClosing) {
            SaveWindowRects();
            FinishClose();
        } else {
            close();
        }
    }
    // Every event loop ends, a modal dialog's too, so the program ends even
    // when one is open.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void CTavDJ1Dlg::FinishClose()
{
    if (m_bCreated)
        StoreControlStates();
    ShutDown();
}

void CTavDJ1Dlg::StoreControlStates()
{
    CDJDataMan& engine = TheDJDataMan();
    DJSettings settings = engine.Settings();
    const std::array<std::pair<GXConButton*, int DJSettings::*>, 4> toggles { {
        { m_controls.effectToggles[0], &DJSettings::m_nReverb_Active },
        { m_controls.effectToggles[1], &DJSettings::m_nEcho_Active },
        { m_controls.effectToggles[2], &DJSettings::m_nPitch_Active },
        { m_controls.pLineInFade, &DJSettings::m_nLineinFade },
    } };
    // A skin without one of the buttons says nothing about its setting: the
    // stored value stays.
    for (const auto& [pButton, pValue] : toggles) {
        if (pButton)
            settings.*pValue = pButton->GetImageNum() == 0 ? 1 : 0;
    }
    engine.ApplySettings(settings);
    if (m_pTitleEdit)
        TheOption().m_strMent = m_pTitleEdit->text().toStdString();
}

void CTavDJ1Dlg::ShutDown()
{
    if (std::exchange(m_bShutDown, true))
        return;
    EndCaptionMove();
    // Nothing of the window's runs after its end; the timers go with the
    // window object.
    for (const auto& [id, pTimer] : m_timers)
        pTimer->stop();
    if (m_bCreated) {
        // The own server first: it puts the user's client settings back,
        // so the engine never saves the built-in server's address.
        StopOwnServer();
        TheOption().Save();
        TheDJDataMan().Shutdown();
    }
    RestoreMixerVolumes();
    DestroySkin();
}

void CTavDJ1Dlg::RestoreMixerVolumes()
{
    const bool bSavedRows = std::any_of(m_savedVolumes.begin(), m_savedVolumes.end(), [](int n) { return n >= 0; });
    if (m_nSavedSwitchDest < 0 && m_nSavedSourceVolume < 0 && !bSavedRows)
        return;
    CMixerDeviceList& mixers = TheDJDataMan().MixerDevices();
    if (m_nSavedSwitchDest >= 0)
        (void)mixers.RestoreSwitchStates(m_nSavedSwitchDest, m_savedSwitchStates);
    // Only the line the volume was read from gets it back; after the user
    // chose another line, that one keeps what it has. The settings dialog
    // opens the card again to list its lines, which leaves no line chosen:
    // the line recorded is still the one read, so it is chosen again first.
    if (m_nSavedSourceVolume >= 0 && mixers.GetCurrentMixer() == m_nSavedSourceMixer && mixers.GetCurrentSource() < 0)
        (void)mixers.SelectSourceLine(m_nSavedSourceLine, m_nSavedSourceDest);
    if (m_nSavedSourceVolume >= 0 && mixers.GetCurrentMixer() == m_nSavedSourceMixer
        && mixers.GetCurrentDestination() == m_nSavedSourceDest && mixers.GetCurrentSource() == m_nSavedSourceLine)
        mixers.SetSourceVolume(m_nSavedSourceVolume);
    CMixerLineVolume volume(mixers.System());
    for (size_t i = 0; i < kSavedRows.size(); ++i) {
        if (m_savedVolumes[i] >= 0 && volume.OpenPreset(kSavedRows[i])) {
            (void)volume.SetRange(0, CDJDataMan::kMaxVolume);
            volume.SetVolume(m_savedVolumes[i]);
        }
        volume.Close();
    }
    m_nSavedSwitchDest = -1;
    m_nSavedSourceVolume = -1;
    m_savedVolumes.fill(-1);
}

void CTavDJ1Dlg::OnAbout()
{
    if (m_bAboutOpen)
        return;
    m_bAboutOpen = true;
    CAboutDlg about(this);
    about.exec();
    m_bAboutOpen = false;
}

platform::LParam CTavDJ1Dlg::OnLauncherResult(platform::WParam wParam, platform::LParam)
{
    if (HandleLauncherResult(this, int(wParam), true))
        PostToOwner(GXMsg::kClose, 0, 0);
    return 0;
}

platform::LParam CTavDJ1Dlg::OnNcLButtonDown(platform::WParam wParam, platform::LParam)
{
    if (int(wParam) != GXHitTest::kCaption || m_bShutDown)
        return 0;
    EndCaptionMove();
    m_captionMove.bMoving = true;
    m_captionMove.windowStart = pos();
    QWidget* pBrowser = WidgetOf(m_controls.pMiniBrowser);
    if (pBrowser) {
        m_captionMove.browserStart = pBrowser->pos();
        const SRect window = ToSRect(frameGeometry());
        const SRect browser = ToSRect(pBrowser->frameGeometry());
        m_captionMove.bDocked = RectsTouch(&window, &browser);
        if (m_captionMove.bDocked && pBrowser->isVisible()) {
            // It moves with the window as one: its own snapping would pull
            // it away, and the window snaps with it as one group.
            m_controls.pMiniBrowser->SetSnapDisabled(true);
            m_snap.AddDocked(pBrowser);
        }
    }
    // The skin's drag ends when its button is let go.
    if (m_pSkin && m_pSkin->GetWidget())
        m_pSkin->GetWidget()->installEventFilter(m_pMoveWatch.get());
    return 0;
}

void CTavDJ1Dlg::OnCaptionMoved()
{
    if (!m_captionMove.bMoving || !m_captionMove.bDocked)
        return;
    if (QWidget* pBrowser = WidgetOf(m_controls.pMiniBrowser))
        pBrowser->move(m_captionMove.browserStart + (pos() - m_captionMove.windowStart));
}

void CTavDJ1Dlg::EndCaptionMove()
{
    if (!std::exchange(m_captionMove.bMoving, false))
        return;
    if (m_controls.pMiniBrowser)
        m_controls.pMiniBrowser->SetSnapDisabled(false);
    m_captionMove.bDocked = false;
    m_snap.ClearDocked();
    if (m_pSkin && m_pSkin->GetWidget())
        m_pSkin->GetWidget()->removeEventFilter(m_pMoveWatch.get());
}

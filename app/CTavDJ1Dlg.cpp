#include "app/CTavDJ1Dlg.h"

#include "app/CLauncherResultEndpoint.h"
#include "app/COption.h"
#include "app/CPlayerExchange.h"
#include "app/CSessionEndSignal.h"
#include "engine/stream/CDJDataMan.h"
#include "skin/GXSkinIds.h"

#include <QEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace {

// Qt never runs a timer faster than this; a period of 0 would spin.
constexpr uint32_t kShortestTimerMs = 1;

// Sees the window's first expose. Qt paints and flushes the window while it
// handles that expose, so a call queued here runs once the picture is on
// its way to the screen.
class CFirstExposeWatch final : public QObject {
public:
    explicit CFirstExposeWatch(std::function<void()> exposed)
        : m_exposed(std::move(exposed))
    {
    }

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Expose && m_exposed && static_cast<QWindow*>(pWatched)->isExposed())
            QMetaObject::invokeMethod(this, std::exchange(m_exposed, {}), Qt::QueuedConnection);
        return false;
    }

private:
    std::function<void()> m_exposed;
};

} // namespace

CTavDJ1Dlg::CTavDJ1Dlg(std::vector<std::string> args)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_args(std::move(args))
{
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Posts from any thread wake Qt's loop once each; the queued call dies
    // with the window, so a post that lands while it goes away runs nothing.
    SetWakeHook([this] {
        QMetaObject::invokeMethod(
            this, [this] { DispatchPending(); }, Qt::QueuedConnection);
    });
    RegisterHandlers();
    // F1 is the window's help key wherever its keyboard is, the title field
    // included: it opens the about box, once the key's handling is over.
    auto* pHelp = new QShortcut(QKeySequence(Qt::Key_F1), this);
    pHelp->setContext(Qt::WindowShortcut);
    QObject::connect(
        pHelp, &QShortcut::activated, this, [this] { OnCommand(kCommandAbout); }, Qt::QueuedConnection);
}

CTavDJ1Dlg::~CTavDJ1Dlg()
{
    Detach();
    ShutDown();
    m_timers.clear();
    m_snap.Detach();
    DestroySkin();
}

void CTavDJ1Dlg::RegisterHandlers()
{
    m_commands[GXCommandId::kReloadSkin] = &CTavDJ1Dlg::OnReloadSkin;
    m_commands[GXCommandId::kMinimise] = &CTavDJ1Dlg::OnMinimise;
    m_commands[GXCommandId::kClose] = &CTavDJ1Dlg::OnCloseCommand;
    m_timerHandlers[CDJDataMan::kTimerFadeOn] = &CTavDJ1Dlg::OnTalkOverFadeTimer;
    m_timerHandlers[CDJDataMan::kTimerFadeOff] = &CTavDJ1Dlg::OnTalkOverFadeTimer;
    RegisterBroadcastHandlers();
    RegisterServerHandlers();
    RegisterSoundHandlers();
    RegisterTitleHandlers();
    RegisterShutdownHandlers();
}

void CTavDJ1Dlg::AfterFirstPaint(std::function<void()> work)
{
    if (m_bFirstPaintDone) {
        work();
        return;
    }
    m_afterFirstPaint.push_back(std::move(work));
    if (m_pFirstPaintWatch)
        return;
    m_pFirstPaintWatch = std::make_unique<CFirstExposeWatch>([this] { RunAfterFirstPaint(); });
    if (QWindow* pWindow = windowHandle())
        pWindow->installEventFilter(m_pFirstPaintWatch.get());
    QTimer::singleShot(kFirstPaintWaitMs, m_pFirstPaintWatch.get(), [this] { RunAfterFirstPaint(); });
}

void CTavDJ1Dlg::RunAfterFirstPaint()
{
    if (std::exchange(m_bFirstPaintDone, true))
        return;
    // The watch stays with the window, so a call it still has queued or
    // timed finds the window there, and the work done.
    if (QWindow* pWindow = windowHandle(); pWindow && m_pFirstPaintWatch)
        pWindow->removeEventFilter(m_pFirstPaintWatch.get());
    for (const std::function<void()>& work : std::exchange(m_afterFirstPaint, {}))
        work();
}

uint32_t CTavDJ1Dlg::LauncherWindowNumber()
{
    if (!m_pLauncherEndpoint)
        return 0;
    (void)m_pLauncherEndpoint->Listen();
    return m_pLauncherEndpoint->WindowNumber();
}

bool CTavDJ1Dlg::SetTimer(uint32_t id, uint32_t periodMs)
{
    CheckOwnerThread();
    std::unique_ptr<QTimer>& pTimer = m_timers[id];
    if (!pTimer) {
        pTimer = std::make_unique<QTimer>();
        QObject::connect(
            pTimer.get(), &QTimer::timeout, this, [this, id] { OnMessage(platform::kTimerMessage, id, 0); });
    }
    pTimer->start(int(std::max(periodMs, kShortestTimerMs)));
    return true;
}

bool CTavDJ1Dlg::KillTimer(uint32_t id)
{
    CheckOwnerThread();
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return false;
    // A handler may kill its own timer while Qt is still inside the
    // timer's signal: stop it now, free it once the signal is over.
    QTimer* pTimer = it->second.release();
    m_timers.erase(it);
    pTimer->stop();
    pTimer->deleteLater();
    return true;
}

std::intptr_t CTavDJ1Dlg::SendToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam)
{
    return OnMessage(nMessage, wParam, lParam);
}

void CTavDJ1Dlg::PostToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam)
{
    platform::PostMessage(Handle(), nMessage, wParam, lParam);
}

platform::LParam CTavDJ1Dlg::OnMessage(platform::MessageId msg, platform::WParam wParam, platform::LParam lParam)
{
    if (msg == platform::kTimerMessage) {
        OnTimer(uint32_t(wParam));
        return 0;
    }
    if (msg == GXMsg::kCommand) {
        OnCommand(unsigned(wParam & 0xFFFF));
        return 0;
    }
    if (msg == GXMsg::kClose) {
        close();
        return 0;
    }
    if (const auto it = m_messageHandlers.find(msg); it != m_messageHandlers.end())
        return (this->*(it->second))(wParam, lParam);
    // The pump's failure and end notices go to the engine controller.
    return TheDJDataMan().OnPumpMessage(msg, wParam);
}

void CTavDJ1Dlg::OnCommand(unsigned nId)
{
    if (const auto it = m_commands.find(nId); it != m_commands.end())
        (this->*(it->second))();
}

void CTavDJ1Dlg::OnTimer(uint32_t id)
{
    if (const auto it = m_timerHandlers.find(id); it != m_timerHandlers.end())
        (this->*(it->second))(id);
}

void CTavDJ1Dlg::OnTalkOverFadeTimer(uint32_t id)
{
    TheDJDataMan().StepTalkOverFade(id == CDJDataMan::kTimerFadeOn);
}

void CTavDJ1Dlg::OnMinimise()
{
    SaveWindowRects();
    showMinimized();
}

void CTavDJ1Dlg::OnCloseCommand()
{
    close();
}

void CTavDJ1Dlg::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (m_pSkin && m_pSkin->GetWidget())
        m_pSkin->GetWidget()->setGeometry(rect());
}

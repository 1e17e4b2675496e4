// The main window's song titles (typed or taken from a player), the
// exchange with the maker's player, the song-request board in the mini
// browser and the copying of the broadcast address.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CPlayerExchange.h"
#include "app/MessageDlg.h"
#include "app/TitleText.h"
#include "engine/stream/CDJDataMan.h"
#include "foundation/RectGeometry.h"
#include "foundation/SystemInfo.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/RectConversion.h"
#include "skin/controls/GXConBrowser.h"
#include "skin/controls/GXConButton.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>

#include <array>
#include <optional>
#include <vector>

namespace {

constexpr unsigned kCmdCopyAddress = 3009;
constexpr unsigned kCopyAddressButton = 2014;
constexpr unsigned kCmdAutoTitle = 3018;
constexpr unsigned kCmdSendTitle = 3019;
constexpr unsigned kCmdHidePopup = 3025;
constexpr unsigned kCmdRequestBoard = 3026;
constexpr uint32_t kAutoTitlePeriodMs = 1000;
// Message-box type: OK button, question icon.
constexpr int kNoticeBox = 32;

constexpr const char* kBoardPage = "/broadcast/tavdj_reqboard_admin.html";
constexpr const char* kBoardKeyQuery = "?boardkey=";
constexpr const char* kBoardCookie = "userkey";
constexpr const char* kNoInternetText = "인터넷 연결이 정상적으로 되어 있는지 확인 하시고 이용해 주시기 바랍니다.";
constexpr const char* kNoInternetCaption = "TavDJ - 인터넷연결 실패";
constexpr const char* kAddressCopiedText = "방송 주소가 복사되었습니다.\n\nCtrl+V 하시면 방송 주소가 입력됩니다.";

std::vector<SRect> ScreenWorkAreas()
{
    std::vector<SRect> areas;
    for (const QScreen* pScreen : QGuiApplication::screens())
        areas.push_back(ToSRect(pScreen->availableGeometry()));
    return areas;
}

// A pop-up that lies partly or wholly off the screens (a monitor that is
// gone, a smaller desktop) comes whole into the work area of the nearest
// screen.
void KeepWindowOnScreen(QWidget* pWidget)
{
    if (!pWidget)
        return;
    const SRect rect = ToSRect(pWidget->geometry());
    const std::vector<SRect> areas = ScreenWorkAreas();
    SRect fitted;
    FitRectToWorkArea(&rect, NearestWorkArea(rect, areas), &fitted);
    if (fitted != rect)
        pWidget->setGeometry(ToQRect(fitted));
}

// One side of the mini browser: the stored value while the window lies on
// a screen and the value keeps within the skin's limits (a maximum of 0 or
// less is none), else the skin's own size, its minimum, the main window's.
int MiniBrowserSide(bool bOnScreen, int nStored, int nMin, int nMax, int nOwn, int nMain)
{
    if (bOnScreen && nStored > 0 && nStored >= nMin && (nMax <= 0 || nStored <= nMax))
        return nStored;
    if (nOwn > 0)
        return nOwn;
    if (nMin > 0)
        return nMin;
    return nMain;
}

// The board's site without a trailing '/', so the page's path joins it.
std::string BoardRoot()
{
    std::string root = TheOption().m_strRequestBoardRoot;
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

GXConBrowser* Browser(const SMainControls& controls)
{
    return dynamic_cast<GXConBrowser*>(controls.pBrowser);
}

} // namespace

void CTavDJ1Dlg::RegisterTitleHandlers()
{
    m_commands[kCmdCopyAddress] = &CTavDJ1Dlg::OnCopyAddress;
    m_commands[kCopyAddressButton] = &CTavDJ1Dlg::OnCopyAddress;
    m_commands[kCmdAutoTitle] = &CTavDJ1Dlg::OnTitleAutoUpdate;
    m_commands[kCmdSendTitle] = &CTavDJ1Dlg::OnSendTitle;
    m_commands[kCmdHidePopup] = &CTavDJ1Dlg::OnHidePopup;
    m_commands[kCmdRequestBoard] = &CTavDJ1Dlg::OnSongRequestBoard;
    m_timerHandlers[kTimerAutoTitle] = &CTavDJ1Dlg::OnAutoTitleTimer;
    m_messageHandlers[WmCdjEditEnter()] = &CTavDJ1Dlg::OnEditEnter;
}

void CTavDJ1Dlg::OpenPlayerExchange()
{
    if (m_pPlayerExchange)
        return;
    m_pPlayerExchange = std::make_unique<CPlayerExchange>();
    m_pPlayerExchange->SetStreamCommandHandler(
        [this](const CPlayerExchange::SStreamCommand& command) { OnPlayerStreamCommand(command.text, command.time); });
    // The player asks again when it starts after us; only a running
    // broadcast has an address to tell.
    m_pPlayerExchange->SetAddressRequestHandler([this] {
        if (TheDJDataMan().IsConnected() && m_nReconnectCount == kNoCountdown)
            NotifyPlayerAddress();
    });
    // Another instance's endpoint is kept; this one then only sends.
    (void)m_pPlayerExchange->Listen();
}

void CTavDJ1Dlg::NotifyPlayerAddress()
{
    if (!m_pPlayerExchange)
        return;
    const DJSettings& settings = TheDJDataMan().Settings();
    (void)m_pPlayerExchange->NotifyPlayerAddress(settings.m_strAddress, settings.m_strLocalAddress, settings.m_nPort);
}

void CTavDJ1Dlg::OnPlayerStreamCommand(const std::string& text, int32_t time)
{
    m_strStreamCommand = text;
    m_nStreamCommandTime = time;
    CDJDataMan& engine = TheDJDataMan();
    // The time first: the send thread takes both once the command is set.
    engine.SetStreamCommandTime(time);
    engine.SetStreamCommand(text);
}

void CTavDJ1Dlg::OnTitleAutoUpdate()
{
    CDJDataMan& engine = TheDJDataMan();
    engine.EditSettings([](DJSettings& s) { s.m_nAuto = s.m_nAuto ? 0 : 1; });
    const bool bAuto = engine.Settings().m_nAuto != 0;
    if (m_controls.pAutoTitle)
        m_controls.pAutoTitle->SetImageNum(bAuto ? 0 : 1);
    if (m_controls.pSendTitle)
        m_controls.pSendTitle->SetEnable(!bAuto);
    if (m_nBroadcastState != kStateOnAir)
        return;
    if (bAuto)
        SetTimer(kTimerAutoTitle, kAutoTitlePeriodMs);
    else
        KillTimer(kTimerAutoTitle);
}

void CTavDJ1Dlg::OnAutoTitleTimer(uint32_t /*id*/)
{
    CDJDataMan& engine = TheDJDataMan();
    const DJSettings& settings = engine.Settings();
    if (!settings.m_nAuto)
        return;
    std::string playerTitle;
    engine.GetPlayerSongTitle(&playerTitle);
    const std::optional<std::string> title = NextAutoTitle(playerTitle, settings.m_strName, engine.GetKeptTitle());
    if (!title)
        return;
    engine.SendTitle(*title, engine.GetKeptUrl());
    ShowTitleInStatus();
}

void CTavDJ1Dlg::OnSendTitle()
{
    if (m_nBroadcastState != kStateOnAir)
        return;
    const std::string text = m_pTitleEdit ? m_pTitleEdit->text().toStdString() : std::string();
    TheOption().m_strMent = text;
    CDJDataMan& engine = TheDJDataMan();
    const DJSettings& settings = engine.Settings();
    engine.SendTitle(CutTitle(text.empty() ? settings.m_strName : text), engine.GetKeptUrl());
    ShowTitleInStatus();
}

platform::LParam CTavDJ1Dlg::OnEditEnter(platform::WParam /*wParam*/, platform::LParam /*lParam*/)
{
    if (!TheDJDataMan().Settings().m_nAuto)
        OnSendTitle();
    return 0;
}

void CTavDJ1Dlg::ShowTitleInStatus()
{
    CDJDataMan& engine = TheDJDataMan();
    const DJSettings& settings = engine.Settings();
    ShowStatusText(BuildStatusText(settings.m_strAIM, engine.GetKeptTitle(), settings.m_nTitleWithCJName != 0), true);
}

void CTavDJ1Dlg::OnSongRequestBoard()
{
    GXWindowChild* pWindow = m_controls.pMiniBrowser;
    if (!pWindow || !Browser(m_controls) || BoardRoot().empty())
        return;
    if (!IsInternetConnected()) {
        MessageDlg(this, kNoInternetText, kNoInternetCaption, kNoticeBox);
        return;
    }
    StoreMainRect();
    if (m_bCreated) {
        // Shown where the user left it; snapping would pull it to the main
        // window as it appears.
        pWindow->SetSnapDisabled(true);
        pWindow->ShowWindow(GXShow::kShow);
        KeepWindowOnScreen(pWindow->GetWidget());
        pWindow->SetSnapDisabled(false);
    }
    NavigateRequestBoard(true);
    TheOption().m_nShowMiniBrowser = 1;
}

void CTavDJ1Dlg::NavigateRequestBoard(bool bRefresh)
{
    GXConBrowser* pBrowser = Browser(m_controls);
    const std::string root = BoardRoot();
    if (!pBrowser || root.empty())
        return;
    const std::string key = TheDJDataMan().GetBoardKey();
    std::string page = root + kBoardPage;
    if (key.empty()) {
        pBrowser->Navigate(page);
        return;
    }
    page += kBoardKeyQuery + key;
    // The page shown already keeps its cookie; opening it again reloads it.
    if (!(bRefresh && pBrowser->GetUrl() == page))
        (void)pBrowser->SetCookie(root, kBoardCookie, key);
    pBrowser->Navigate(page);
}

void CTavDJ1Dlg::OpenMiniBrowser()
{
    GXWindowChild* pWindow = m_controls.pMiniBrowser;
    QWidget* pWidget = pWindow ? pWindow->GetWidget() : nullptr;
    if (!pWidget || !Browser(m_controls))
        return;
    const COption& option = TheOption();
    QPoint topLeft(option.m_nMiniBrowserLeft, option.m_nMiniBrowserTop);
    // Never stored: beside the main window, on its right.
    if (topLeft == QPoint(-1, -1))
        topLeft = QPoint(option.m_nMainLeft + option.m_nMainWidth, option.m_nMainTop);
    const SRect stored { topLeft.x(), topLeft.y(), topLeft.x() + option.m_nMiniBrowserWidth,
        topLeft.y() + option.m_nMiniBrowserHeight };
    const bool bOnScreen = !stored.IsEmpty() && IsRectOnScreen(stored, ScreenWorkAreas());
    const std::array<int, 4>& limits = pWindow->GetWindowFlags().minMaxSize;
    const QSize own = pWidget->size();
    const int cx = MiniBrowserSide(
        bOnScreen, option.m_nMiniBrowserWidth, limits[0], limits[2], own.width(), option.m_nMainWidth);
    const int cy = MiniBrowserSide(
        bOnScreen, option.m_nMiniBrowserHeight, limits[1], limits[3], own.height(), option.m_nMainHeight);

    const bool bShow = option.m_nShowMiniBrowser && !BoardRoot().empty() && IsInternetConnected();
    pWindow->SetSnapDisabled(true);
    pWidget->setGeometry(topLeft.x(), topLeft.y(), std::max(cx, 1), std::max(cy, 1));
    pWindow->ShowWindow(bShow ? GXShow::kShow : GXShow::kHide);
    KeepWindowOnScreen(pWidget);
    pWindow->SetSnapDisabled(false);
    if (option.m_nShowMiniBrowser)
        NavigateRequestBoard(false);
}

void CTavDJ1Dlg::OnHidePopup()
{
    if (m_controls.pMiniBrowser)
        m_controls.pMiniBrowser->ShowWindow(GXShow::kHide);
    TheOption().m_nShowMiniBrowser = 0;
}

void CTavDJ1Dlg::OnCopyAddress()
{
    // The button is enabled once the station is registered; a skin without
    // it copies whenever asked.
    if (m_controls.pCopyAddress && !m_controls.pCopyAddress->IsEnabled())
        return;
    const std::string address = TheDJDataMan().GetListenUrl();
    QClipboard* pClipboard = QGuiApplication::clipboard();
    // Off air there is no address: an empty clipboard is no copy to report.
    if (address.empty() || !pClipboard)
        return;
    pClipboard->setText(QString::fromStdString(address));
    MessageDlg(this, kAddressCopiedText, kCaption, kNoticeBox);
}

// The main window's titles, player exchange, request board and address copy,
// through the real window and its default skin: a broadcast to a fake
// SHOUTcast server, a fake player on the exchange's local sockets, a player
// window on a private X server as the now-playing source, a scripted station
// directory and a web view that records what it is asked. Capture records a
// private PulseAudio's silent sink, behind the scripted sound card's mixer.
#include "app/CTavDJ1Dlg.h"

#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CPlayerExchange.h"
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/PlayerTitle.h"
#include "foundation/Md5.h"
#include "foundation/Paths.h"
#include "platform/Connectivity.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/controls/GXConButton.h"
#include "skin/host/CWebBrowserWndNull.h"

#include "fakes/FakeDirectory.h"
#include "fakes/FakeShoutcastServer.h"
#include "peers/SoundFixtures.h"
#include "support/MessageDlgRecorder.h"
#include "support/ProgramEnvironment.h"
#include "support/QtEventWait.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XTestClient.h"
#include "support/XvfbServer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScreen>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kBoardRoot = "http://board.invalid";

// The maker's player, played by the test: every record the program sends
// comes on a connection of its own, which it closes after the record.
struct SFakePlayer {
    explicit SFakePlayer(const CPlayerExchange& paths)
        : programPath(paths.ProgramEndpointPath())
    {
        QObject::connect(&server, &QLocalServer::newConnection, [this] {
            QLocalSocket* pSocket = server.nextPendingConnection();
            QObject::connect(pSocket, &QLocalSocket::disconnected, [this, pSocket] {
                const QByteArray bytes = pSocket->readAll();
                records.push_back(bytes.mid(int(CPlayerExchange::kHeaderBytes)).toStdString());
                kinds.push_back(uint8_t(bytes.at(0)) | uint8_t(bytes.at(1)) << 8);
            });
        });
        (void)server.listen(paths.PlayerEndpointPath());
    }
    // One record, in the kernel's hands when this returns.
    void Send(uint32_t kind, const std::string& bytes) const
    {
        QLocalSocket socket;
        socket.connectToServer(programPath);
        EXPECT_TRUE(socket.waitForConnected(1000));
        socket.write(QByteArray::fromStdString(CPlayerExchange::EncodeRecord(kind, bytes)));
        EXPECT_TRUE(socket.waitForBytesWritten(1000));
    }

    QString programPath;
    QLocalServer server;
    std::vector<uint32_t> kinds;
    std::vector<std::string> records;
};

// The songs the server's admin.cgi received, decoded, and the address of
// the last one. The source client shortens long songs its own way.
std::vector<std::string> Songs(FakeShoutcastServer& server, std::string* pLastUrl = nullptr)
{
    std::vector<std::string> songs;
    for (const std::string& request : server.TitleRequests()) {
        if (request.rfind("GET /admin.cgi?", 0) != 0)
            continue;
        const QUrlQuery query(QString::fromStdString(request.substr(15, request.find(' ', 4) - 15)));
        songs.push_back(query.queryItemValue("song", QUrl::FullyDecoded).toStdString());
        if (pLastUrl)
            *pLastUrl = query.queryItemValue("url", QUrl::FullyDecoded).toStdString();
    }
    return songs;
}

size_t CountSongs(FakeShoutcastServer& server, const std::string& prefix)
{
    const std::vector<std::string> songs = Songs(server);
    return size_t(
        std::count_if(songs.begin(), songs.end(), [&](const auto& song) { return song.rfind(prefix, 0) == 0; }));
}

class MainWindowTitles : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
        ASSERT_TRUE(m_xvfb.Start() && m_server.Start() && m_directory.Start());
        // Only the now-playing reader looks at it; Qt stays offscreen.
        m_home.Set("DISPLAY", m_xvfb.Display());
        m_home.Set(platform::kAssumeOnlineEnv, "1");
        ASSERT_NO_FATAL_FAILURE(m_pulse.Start(m_dir, m_env));
        peers::UseAlsaConfig(m_dir, m_env,
            "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\nctl.!default { type tavdjfake }\npcm.!default "
                + m_pulse.MonitorPcm() + "\n");
        const fs::path runtime = m_home.Path("runtime");
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        m_home.Set("XDG_RUNTIME_DIR", runtime.string());
        testutil::InstallDefaultSkin(m_home.Path("program"));
        std::ofstream(GetAppDataFolder() + "SETTING.ini")
            << "[Network]\nLocalServ=0\nAddress=127.0.0.1\nPort=" << m_server.Port()
            << "\nRequestBoardRoot=" << kBoardRoot
            << "/\n[Song]\nAuto=1\n[AddYP]\nHost=127.0.0.1\nPort=" << m_directory.Port()
            << "\n[SongRequest]\nSongRequest=1\n";
        CWebBrowserWnd::RegisterFactory([this](QWidget*) {
            auto pView = std::make_unique<CWebBrowserWndNull>();
            m_pView = pView.get();
            return std::unique_ptr<CWebBrowserWnd>(std::move(pView));
        });
    }
    void TearDown() override
    {
        TheDJDataMan().Shutdown();
        CWebBrowserWnd::RegisterFactory({});
    }

    TempHome m_home;
    peers::TempDir m_dir;
    peers::ScopedEnv m_env;
    peers::PrivatePulse m_pulse;
    XvfbServer m_xvfb;
    FakeShoutcastServer m_server;
    FakeDirectory m_directory;
    MessageDlgRecorder m_boxes;
    CWebBrowserWndNull* m_pView = nullptr;
};

TEST_F(MainWindowTitles, PlayerTitlesStreamCommandsBoardAndAddressThroughTheWindow)
{
    CTavDJ1Dlg window;
    ASSERT_TRUE(window.CreateMainWindow(nullptr));
    const auto command = [&](unsigned nId) { window.SendToOwner(GXMsg::kCommand, nId, 0); };
    SFakePlayer player { CPlayerExchange() };
    XClient desktop(m_xvfb.Display());
    const xcb_window_t playerWindow = desktop.CreateWindow("winamp", std::string(kWinampClass));
    desktop.SetUtf8Name(playerWindow, "A - Winamp");

    // Asked while idle, the window has no broadcast to tell about: the
    // request is in the window's hands before the start.
    player.Send(CPlayerExchange::kAddressRecord, {});
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    command(3000);
    ASSERT_TRUE(RunEventsUntil([&] { return window.BroadcastState() != CTavDJ1Dlg::kStateConnecting; }));
    ASSERT_EQ(window.BroadcastState(), 1);
    ASSERT_TRUE(RunEventsUntil([&] { return player.records.size() == 1; }));
    const DJSettings& settings = TheDJDataMan().Settings();
    const std::string digest = Md5Hex(settings.m_strLocalAddress + std::to_string(settings.m_nPort));
    EXPECT_EQ(player.kinds[0], CPlayerExchange::kAddressRecord);
    EXPECT_EQ(player.records[0], digest + std::string(512 - digest.size(), '\0'));
    player.Send(CPlayerExchange::kAddressRecord, {});
    ASSERT_TRUE(RunEventsUntil([&] { return player.records.size() == 2; }));

    // The player's title goes out once with its mark; a long one is cut at a
    // character, the mark counted before the cut.
    ASSERT_TRUE(RunEventsUntil([&] { return CountSongs(m_server, "A \t") == 1; }));
    std::string longTitle = "x";
    for (int i = 0; i < 199; ++i)
        longTitle += "가";
    desktop.SetUtf8Name(playerWindow, longTitle + " - Winamp");
    ASSERT_TRUE(RunEventsUntil([&] { return CountSongs(m_server, "x가가") == 1; }));
    EXPECT_EQ(TheDJDataMan().GetKeptTitle(), longTitle.substr(0, 1 + 42 * 3));
    EXPECT_EQ(CountSongs(m_server, "A \t"), 1U);

    // A stream command from the player rides on the next title update.
    std::string record(CPlayerExchange::kStreamCommandRecordBytes, '\0');
    record.replace(0, 4, "next");
    record.replace(512, 2, "\x92\x10"); // 4242, little-endian
    player.Send(CPlayerExchange::kStreamCommandRecord, record);
    std::string url;
    ASSERT_TRUE(RunEventsUntil([&] { return Songs(m_server, &url).size() > 0 && url.rfind("tavacmdsl:", 0) == 0; }));
    EXPECT_EQ(url, "tavacmdsl://next?seq=1&time=4242");
    EXPECT_EQ(CountSongs(m_server, "x가가"), 2U);

    // The directory's welcome opens the request board with the station's key.
    m_directory.Then("HTTP/1.0 200 OK\r\nicy-response: ack\r\nicy-id: 7\r\nicy-tchfrq: 5\r\n\r\n");
    ASSERT_EQ(TheDJDataMan().StartYP(), 0);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pView && !m_pView->GetUrls().empty(); }));
    const std::string key = TheDJDataMan().GetBoardKey();
    const std::string boardUrl = std::string(kBoardRoot) + "/broadcast/tavdj_reqboard_admin.html?boardkey=" + key;
    EXPECT_EQ(m_pView->GetUrls(), std::vector<std::string> { boardUrl });
    ASSERT_EQ(m_pView->GetCookies().size(), 1U);
    EXPECT_EQ(m_pView->GetCookies()[0].url + " " + m_pView->GetCookies()[0].name + "=" + m_pView->GetCookies()[0].value,
        std::string(kBoardRoot) + " userkey=" + key);
    EXPECT_TRUE(window.Controls().pMiniBrowser->IsShown() && !key.empty());
    command(3026); // asked again, the page is reloaded as it is
    EXPECT_EQ(m_pView->GetUrls(), (std::vector<std::string> { boardUrl, boardUrl }));
    EXPECT_EQ(m_pView->GetCookies().size(), 1U);
    command(3025);
    EXPECT_FALSE(window.Controls().pMiniBrowser->IsShown());
    EXPECT_EQ(TheOption().m_nShowMiniBrowser, 0);

    // The address is copied once the station is registered, which the status
    // poll does and this test did by hand.
    QGuiApplication::clipboard()->clear();
    command(3009);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    window.Controls().pCopyAddress->SetEnable(true);
    command(2014);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), TheDJDataMan().GetListenUrl());
    EXPECT_EQ(m_boxes.Last().text, "방송 주소가 복사되었습니다.\n\nCtrl+V 하시면 방송 주소가 입력됩니다.");

    // With the automatic title off, Enter in the title field sends it.
    command(3018);
    EXPECT_EQ(window.TimerPeriodMs(6), 0);
    EXPECT_TRUE(window.Controls().pAutoTitle->GetImageNum() == 1 && window.Controls().pSendTitle->IsEnabled());
    window.TitleEdit()->setText(QStringLiteral("직접 쓴 제목"));
    platform::PostMessage(window.Handle(), WmCdjEditEnter(), 0, 0);
    ASSERT_TRUE(RunEventsUntil([&] { return CountSongs(m_server, "직접 쓴 제목") == 1; }));
    EXPECT_EQ(TheOption().m_strMent, "직접 쓴 제목");

    command(3000);
    EXPECT_EQ(window.BroadcastState(), 0);
    EXPECT_EQ(player.records.size(), 2U) << "the request made while idle was answered";
}

TEST_F(MainWindowTitles, BoardLeftOpenComesBackBesideTheWindowWithoutAKey)
{
    std::ofstream(GetAppDataFolder() + "SETTING.ini", std::ios::app) << "[Skin]\nShowMiniBrowser=1\n";
    CTavDJ1Dlg window;
    ASSERT_TRUE(window.CreateMainWindow(nullptr));
    // No station is registered yet: the page without a key, and no cookie.
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(m_pView->GetUrls(),
        std::vector<std::string> { std::string(kBoardRoot) + "/broadcast/tavdj_reqboard_admin.html" });
    EXPECT_TRUE(m_pView->GetCookies().empty());
    EXPECT_TRUE(window.Controls().pMiniBrowser->IsShown());
    // Beside the window, on its right, as far as the screen lets it lie whole.
    const QWidget* pBoard = window.Controls().pMiniBrowser->GetWidget();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(
        pBoard->pos(), QPoint(std::min(window.x() + window.width(), screen.right() + 1 - pBoard->width()), window.y()));
    // Off air there is no address: nothing is copied, and nothing said.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    window.Controls().pCopyAddress->SetEnable(true);
    window.SendToOwner(GXMsg::kCommand, 3009, 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_TRUE(m_boxes.Calls().empty() || m_boxes.Last().text.find("복사") == std::string::npos);
}

// A board left where it now lies partly off the screen (a smaller desktop)
// comes back whole onto it.
TEST_F(MainWindowTitles, BoardPartlyOffTheScreenComesWholeOntoIt)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    std::ofstream(GetAppDataFolder() + "SETTING.ini", std::ios::app)
        << "[Skin]\nShowMiniBrowser=1\nMiniBrowserLeft=" << screen.right() - 100
        << "\nMiniBrowserTop=" << screen.top() + 10 << "\nMiniBrowserWidth=300\nMiniBrowserHeight=200\n";
    CTavDJ1Dlg window;
    ASSERT_TRUE(window.CreateMainWindow(nullptr));
    const QRect placed = window.Controls().pMiniBrowser->GetWidget()->geometry();
    EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                         << placed.height();
    EXPECT_EQ(placed.right(), screen.right());
    EXPECT_EQ(placed.top(), screen.top() + 10);
}

} // namespace

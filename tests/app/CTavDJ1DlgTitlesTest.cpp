// The main window's titles, player exchange, request board and address copy,
// through the real window and its default skin: a broadcast to a fake
// SHOUTcast server, a fake player on the exchange's local sockets, a player
// window on a private X server as the now-playing source, a scripted station
// directory and a web view that records what it is asked. Capture runs on
// ALSA's null device behind the scripted sound card's mixer.
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
#include "support/MessageDlgRecorder.h"
#include "support/QtEventWait.h"
#include "support/RequireTool.h"
#include "support/TempHome.h"
#include "support/XTestClient.h"
#include "support/XvfbServer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr unsigned kCmdStart = 3000;
constexpr unsigned kCmdCopyAddress = 3009;
constexpr unsigned kCopyAddressButton = 2014;
constexpr unsigned kCmdAutoTitle = 3018;
constexpr unsigned kCmdHidePopup = 3025;
constexpr unsigned kCmdRequestBoard = 3026;
constexpr uint32_t kTimerAutoTitle = 6;
constexpr const char* kBoardRoot = "http://board.invalid";
constexpr const char* kBoardPage = "http://board.invalid/broadcast/tavdj_reqboard_admin.html";

// The maker's player, played by the test: its endpoint keeps every record
// the program sends, and it sends records of its own.
class FakePlayer {
public:
    struct SRecord {
        uint32_t kind = 0;
        std::string bytes;
    };

    explicit FakePlayer(const CPlayerExchange& paths)
        : m_programPath(paths.ProgramEndpointPath())
    {
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
            while (QLocalSocket* pSocket = m_server.nextPendingConnection()) {
                QObject::connect(pSocket, &QLocalSocket::readyRead, [this, pSocket] { Read(pSocket); });
                Read(pSocket);
            }
        });
        (void)m_server.listen(paths.PlayerEndpointPath());
    }

    [[nodiscard]] bool IsListening() const { return m_server.isListening(); }
    [[nodiscard]] const std::vector<SRecord>& Records() const { return m_records; }

    // One record on a connection of its own, handed to the kernel before
    // this returns.
    void Send(uint32_t kind, const std::string& bytes)
    {
        QLocalSocket socket;
        socket.connectToServer(m_programPath);
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(QByteArray::fromStdString(CPlayerExchange::EncodeRecord(kind, bytes)));
        ASSERT_TRUE(socket.waitForBytesWritten(1000));
        socket.disconnectFromServer();
    }

private:
    void Read(QLocalSocket* pSocket)
    {
        std::string& pending = m_pending[pSocket];
        const QByteArray bytes = pSocket->readAll();
        pending.append(bytes.constData(), size_t(bytes.size()));
        while (pending.size() >= CPlayerExchange::kHeaderBytes) {
            const auto field = [&](size_t at) {
                uint32_t value = 0;
                for (size_t i = 0; i < 4; ++i)
                    value |= uint32_t(static_cast<unsigned char>(pending[at + i])) << (8 * i);
                return value;
            };
            const size_t length = field(4);
            if (pending.size() < CPlayerExchange::kHeaderBytes + length)
                return;
            m_records.push_back({ field(0), pending.substr(CPlayerExchange::kHeaderBytes, length) });
            pending.erase(0, CPlayerExchange::kHeaderBytes + length);
        }
    }

    QString m_programPath;
    QLocalServer m_server;
    std::map<QLocalSocket*, std::string> m_pending;
    std::vector<SRecord> m_records;
};

std::string StreamCommandRecord(const std::string& text, int32_t time)
{
    std::string bytes(CPlayerExchange::kStreamCommandRecordBytes, '\0');
    bytes.replace(0, text.size(), text);
    for (size_t i = 0; i < 4; ++i)
        bytes[CPlayerExchange::kAddressRecordBytes + i] = char((uint32_t(time) >> (8 * i)) & 0xFF);
    return bytes;
}

std::string PercentDecode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(char(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

struct STitleUpdate {
    std::string song;
    std::string url;
};

// The title updates the server's admin.cgi received, decoded, in order.
std::vector<STitleUpdate> TitleUpdates(FakeShoutcastServer& server)
{
    std::vector<STitleUpdate> updates;
    for (const std::string& request : server.TitleRequests()) {
        const size_t song = request.find("&song=");
        const size_t url = request.find("&url=");
        const size_t end = request.find(" HTTP/1.1");
        if (request.rfind("GET /admin.cgi?", 0) != 0 || song == std::string::npos || url == std::string::npos
            || end == std::string::npos)
            continue;
        updates.push_back({ PercentDecode(std::string_view(request).substr(song + 6, url - song - 6)),
            PercentDecode(std::string_view(request).substr(url + 5, end - url - 5)) });
    }
    return updates;
}

// How many updates carried a song beginning with prefix (the server's
// client shortens long songs its own way, after the window's cut).
size_t CountSongs(FakeShoutcastServer& server, const std::string& prefix)
{
    const std::vector<STitleUpdate> updates = TitleUpdates(server);
    return size_t(std::count_if(
        updates.begin(), updates.end(), [&](const STitleUpdate& u) { return u.song.rfind(prefix, 0) == 0; }));
}

// Lets the window take what has reached its sockets, without waiting for
// anything to happen: the bytes are in the kernel already.
void TakePendingEvents()
{
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

class MainWindowTitles : public testing::Test {
protected:
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(ToolOnPath("Xvfb"), "Xvfb");
        ASSERT_TRUE(m_xvfb.Start());
        // Only the now-playing reader looks at it; Qt stays offscreen.
        m_home.Set("DISPLAY", m_xvfb.Display());
        const fs::path runtime = m_home.Path("runtime");
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        m_home.Set("XDG_RUNTIME_DIR", runtime.string());
        m_home.Set(platform::kAssumeOnlineEnv, "1");
        const std::string alsa = m_home.Path("asound.conf");
        std::ofstream(alsa) << "ctl_type.tavdjfake { lib \"" TAVDJ_FAKE_ALSA_CARD "\" }\n"
                            << "ctl.!default { type tavdjfake }\n"
                            << "pcm.!default { type null }\n";
        m_home.Set("ALSA_CONFIG_PATH", alsa);

        const fs::path program = m_home.Path("program");
        const fs::path skin = fs::path(TAVDJ_SOURCE_DIR) / "skins" / "default";
        fs::copy(skin, program / "default_skin", fs::copy_options::recursive);
        fs::copy_file(skin / "ControlID.XML", program / "ControlID.XML");

        ASSERT_TRUE(m_server.Start());
        ASSERT_TRUE(m_directory.Start());
        std::ofstream(GetAppDataFolder() + "SETTING.ini")
            << "[Network]\nLocalServ=0\nAddress=127.0.0.1\nPort=" << m_server.Port()
            << "\nRequestBoardRoot=" << kBoardRoot << "/\n"
            << "[SHOUTcast]\nName=시험 방송\n[Song]\nAuto=1\n"
            << "[AddYP]\nAddYP=1\nHost=127.0.0.1\nPort=" << m_directory.Port() << "\n"
            << "[SongRequest]\nSongRequest=1\n";

        CWebBrowserWnd::RegisterFactory([this](QWidget*) -> std::unique_ptr<CWebBrowserWnd> {
            auto pView = std::make_unique<CWebBrowserWndNull>();
            m_pView = pView.get();
            return pView;
        });
        QGuiApplication::clipboard()->setText(QString());
    }

    void TearDown() override { CWebBrowserWnd::RegisterFactory({}); }

    void Command(CTavDJ1Dlg& window, unsigned nId) { window.SendToOwner(GXMsg::kCommand, nId, 0); }

    TempHome m_home;
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
    FakePlayer player { CPlayerExchange() };
    ASSERT_TRUE(player.IsListening());
    XClient desktop(m_xvfb.Display());
    ASSERT_TRUE(desktop.Ok());
    const xcb_window_t playerWindow = desktop.CreateWindow("winamp", std::string(kWinampClass));
    desktop.SetUtf8Name(playerWindow, "A - Winamp");

    // Asked while idle, the window has no broadcast to tell about.
    ASSERT_NO_FATAL_FAILURE(player.Send(CPlayerExchange::kAddressRecord, {}));
    TakePendingEvents();

    // The start tells the player which broadcast runs.
    Command(window, kCmdStart);
    ASSERT_EQ(window.BroadcastState(), 1) << (m_boxes.Calls().empty() ? "" : m_boxes.Last().text);
    ASSERT_TRUE(RunEventsUntil([&] { return player.Records().size() == 1; }));
    const DJSettings& settings = TheDJDataMan().Settings();
    const std::string digest = Md5Hex(settings.m_strLocalAddress + std::to_string(settings.m_nPort));
    EXPECT_EQ(player.Records()[0].kind, CPlayerExchange::kAddressRecord);
    EXPECT_EQ(player.Records()[0].bytes, digest + std::string(512 - digest.size(), '\0'));
    ASSERT_NO_FATAL_FAILURE(player.Send(CPlayerExchange::kAddressRecord, {}));
    ASSERT_TRUE(RunEventsUntil([&] { return player.Records().size() == 2; }));
    EXPECT_EQ(player.Records()[1].bytes, player.Records()[0].bytes);

    // The player's title goes out once with the mark; a long one is cut at
    // a character (the mark counted before the cut, so it falls away).
    ASSERT_TRUE(RunEventsUntil([&] { return CountSongs(m_server, "A \t") == 1; }));
    std::string longTitle = "x";
    for (int i = 0; i < 199; ++i)
        longTitle += "가";
    desktop.SetUtf8Name(playerWindow, longTitle + " - Winamp");
    const std::string cutTitle = longTitle.substr(0, 1 + 42 * 3);
    ASSERT_TRUE(RunEventsUntil([&] { return CountSongs(m_server, "x가가") == 1; }));
    EXPECT_EQ(TheDJDataMan().GetKeptTitle(), cutTitle);
    EXPECT_EQ(CountSongs(m_server, "A \t"), 1U);

    // A stream command from the player rides on the next title update.
    ASSERT_NO_FATAL_FAILURE(player.Send(CPlayerExchange::kStreamCommandRecord, StreamCommandRecord("next", 4242)));
    const std::string commandUrl = "tavacmdsl://next?seq=1&time=4242";
    ASSERT_TRUE(RunEventsUntil([&] {
        const auto updates = TitleUpdates(m_server);
        return std::any_of(updates.begin(), updates.end(), [&](const STitleUpdate& u) { return u.url == commandUrl; });
    }));
    EXPECT_EQ(TitleUpdates(m_server).back().song.rfind("x가가", 0), 0U);
    EXPECT_EQ(CountSongs(m_server, "x가가"), 2U);

    // The directory's welcome opens the request board with the station's key.
    m_directory.Then("HTTP/1.0 200 OK\r\nicy-response: ack\r\nicy-id: 7\r\nicy-tchfrq: 5\r\n\r\n");
    ASSERT_EQ(TheDJDataMan().StartYP(), 0);
    ASSERT_TRUE(RunEventsUntil([&] { return m_pView && !m_pView->GetUrls().empty(); }));
    const std::string key = TheDJDataMan().GetBoardKey();
    ASSERT_FALSE(key.empty());
    const std::string boardUrl = std::string(kBoardPage) + "?boardkey=" + key;
    EXPECT_EQ(m_pView->GetUrls(), std::vector<std::string> { boardUrl });
    ASSERT_EQ(m_pView->GetCookies().size(), 1U);
    EXPECT_EQ(m_pView->GetCookies()[0].url, kBoardRoot);
    EXPECT_EQ(m_pView->GetCookies()[0].name, "userkey");
    EXPECT_EQ(m_pView->GetCookies()[0].value, key);
    GXWindowChild* pMiniBrowser = window.Controls().pMiniBrowser;
    ASSERT_NE(pMiniBrowser, nullptr);
    EXPECT_TRUE(pMiniBrowser->IsShown());
    EXPECT_EQ(TheOption().m_nShowMiniBrowser, 1);
    // Asked again, the page is reloaded as it is.
    Command(window, kCmdRequestBoard);
    EXPECT_EQ(m_pView->GetUrls(), (std::vector<std::string> { boardUrl, boardUrl }));
    EXPECT_EQ(m_pView->GetCookies().size(), 1U);
    Command(window, kCmdHidePopup);
    EXPECT_FALSE(pMiniBrowser->IsShown());
    EXPECT_EQ(TheOption().m_nShowMiniBrowser, 0);

    // The address button copies only once the station is registered, which
    // the status poll does and this test did by hand.
    const size_t boxesBefore = m_boxes.Calls().size();
    Command(window, kCmdCopyAddress);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    window.Controls().pCopyAddress->SetEnable(true);
    Command(window, kCopyAddressButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), TheDJDataMan().GetListenUrl());
    EXPECT_FALSE(TheDJDataMan().GetListenUrl().empty());
    ASSERT_EQ(m_boxes.Calls().size(), boxesBefore + 1);
    EXPECT_EQ(m_boxes.Last().text, "방송 주소가 복사되었습니다.\n\nCtrl+V 하시면 방송 주소가 입력됩니다.");

    // With the automatic title off, Enter in the title field sends it.
    Command(window, kCmdAutoTitle);
    EXPECT_FALSE(window.IsTimerRunning(kTimerAutoTitle));
    EXPECT_EQ(window.Controls().pAutoTitle->GetImageNum(), 1);
    EXPECT_TRUE(window.Controls().pSendTitle->IsEnabled());
    window.TitleEdit()->setText(QStringLiteral("직접 쓴 제목"));
    platform::PostMessage(window.Handle(), WmCdjEditEnter(), 0, 0);
    ASSERT_TRUE(RunEventsUntil([&] { return CountSongs(m_server, "직접 쓴 제목") == 1; }));
    EXPECT_EQ(TheOption().m_strMent, "직접 쓴 제목");

    Command(window, kCmdStart);
    EXPECT_EQ(window.BroadcastState(), 0);
    // Nothing answered the request made while idle.
    EXPECT_EQ(player.Records().size(), 2U);
}

} // namespace

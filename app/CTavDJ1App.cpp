#include "app/CTavDJ1App.h"

#include "app/CInstanceLock.h"
#include "app/COption.h"
#include "app/CSessionEndSignal.h"
#include "app/CTavDJ1Dlg.h"
#include "app/MessageDlg.h"
#include "app/UpdateCheck.h"
#include "engine/stream/DJSettings.h"
#include "platform/TextCase.h"
#include "skin/GXWindowMain.h"

#include <QApplication>
#include <QDateTime>
#include <QThread>

#include <array>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

CTavDJ1App* g_pApp = nullptr;

enum class Option { Address, Port, Password, Title, Genre, Homepage, ListenUrl };

constexpr std::array<std::pair<std::string_view, Option>, 7> kOptions { {
    { "/serv_addr", Option::Address },
    { "/serv_port", Option::Port },
    { "/serv_pwd", Option::Password },
    { "/cast_title", Option::Title },
    { "/cast_genre", Option::Genre },
    { "/cast_homepage", Option::Homepage },
    { "/cast_url", Option::ListenUrl },
} };

constexpr int kHighestPort = 65535;

std::string Trim(std::string_view text)
{
    const auto isBlank
        = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && platform::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && platform::EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

void ApplyOption(Option option, const std::string& value, DJSettings* pSettings, COption* pOption)
{
    switch (option) {
    case Option::Address:
        pSettings->m_strAddress = Trim(value);
        pOption->m_strNationalAddress = Trim(pSettings->m_strAddress);
        break;
    case Option::Port: {
        // A port outside what TCP can carry leaves the stored one; 0 (no
        // number at all) is kept, and connecting reports it as wrong data.
        const long nPort = std::strtol(value.c_str(), nullptr, 10);
        if (nPort >= 0 && nPort <= kHighestPort)
            pSettings->m_nPort = int(nPort);
        break;
    }
    case Option::Password:
        pSettings->m_strPasswd = Trim(value);
        break;
    case Option::Title:
        pSettings->m_strName = value;
        break;
    case Option::Genre:
        pSettings->m_strGenre = value;
        break;
    case Option::Homepage:
        // The settings dialog drops the same endings: a homepage is no program.
        pSettings->m_strUrl = value;
        if (EndsWithNoCase(value, ".exe") || EndsWithNoCase(value, ".bin"))
            pSettings->m_strUrl.resize(value.size() - 4);
        break;
    case Option::ListenUrl: {
        const std::string url = Trim(value);
        pSettings->m_strListenUrl = StartsWithNoCase(url, "http://") && EndsWithNoCase(url, ".pls") ? url : "";
        break;
    }
    }
}

// A skin script's box is the program's own box, owned by the skin window
// that ran the script; the script goes on once the user has answered.
int ShowSkinScriptBox(GXWindowMain* pOwner, const std::string& text, const std::string& caption, int nType)
{
    return MessageDlg(pOwner != nullptr ? pOwner->GetWidget() : nullptr, text, caption, nType);
}

} // namespace

CTavDJ1App* TheApp()
{
    return g_pApp;
}

CTavDJ1App::CTavDJ1App(std::vector<std::string> args)
    : m_args(std::move(args))
{
    g_pApp = this;
}

CTavDJ1App::~CTavDJ1App()
{
    m_pMainWnd.reset();
    if (g_pApp == this)
        g_pApp = nullptr;
}

bool CTavDJ1App::IsUninstall(const std::vector<std::string>& args)
{
    return args.size() >= 2 && platform::EqualsNoCase(args[1], "/uninstall");
}

bool CTavDJ1App::ParseCommandLine(const std::vector<std::string>& words, DJSettings* pSettings, COption* pOption)
{
    bool bRecognised = false;
    // An option takes the next word as its value; an option standing last
    // has none and is ignored.
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        for (const auto& [name, option] : kOptions) {
            if (platform::EqualsNoCase(words[i], name)) {
                ApplyOption(option, words[i + 1], pSettings, pOption);
                bRecognised = true;
                ++i;
                break;
            }
        }
    }
    // A broadcast set up on the command line goes to an external server.
    if (bRecognised)
        pOption->m_nLocalServ = 0;
    return bRecognised;
}

bool CTavDJ1App::InitInstance()
{
    MessageDlgInit(QApplication::windowIcon());
    if (IsUninstall(m_args))
        return false;
    m_prevSkinMessageBox = GXSkinHooks::SetMessageBox(ShowSkinScriptBox);
    m_bSkinMessageBoxSet = true;
    // From here on the session's end is answered at once: by the main window
    // once it exists, before that by ending the start. The window's own
    // catcher stays idle while this one holds the signals.
    m_pSessionEnd = std::make_unique<CSessionEndSignal>([this](int) { EndSession(); });
    m_pInstance = std::make_unique<CInstanceLock>();
    if (m_pInstance->CheckSingleInstance(m_args.size() >= 2 ? m_args[1] : std::string()) == 1)
        return false;
    // A signal that came while nothing handled events waits in its pipe.
    QCoreApplication::processEvents();
    if (m_bSessionEnded)
        return false;
    m_pMainWnd = std::make_unique<CTavDJ1Dlg>(m_args);
    if (!m_pMainWnd->CreateMainWindow(m_pInstance.get())) {
        // A session that ended during the start ends the program as usual.
        m_nExitCode = m_pMainWnd->IsEndingSession() ? 0 : 1;
        m_pMainWnd.reset();
        return false;
    }
    // The update check starts a process, which the window need not wait for.
    m_pMainWnd->AfterFirstPaint([this] {
        for (const std::function<void()>& work : m_afterShown)
            work();
        CheckUpdateAtStartup();
    });
    return true;
}

void CTavDJ1App::AfterWindowShown(std::function<void()> work)
{
    m_afterShown.push_back(std::move(work));
}

void CTavDJ1App::EndSession()
{
    m_bSessionEnded = true;
    if (m_pMainWnd) {
        m_pMainWnd->EndSession();
        return;
    }
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void CTavDJ1App::CheckUpdateAtStartup()
{
    ::CheckUpdateAtStartup(
        m_pMainWnd.get(), m_pMainWnd->LauncherWindowNumber(), TheOption(), QDateTime::currentSecsSinceEpoch());
}

int CTavDJ1App::ExitInstance()
{
    m_pMainWnd.reset();
    m_pInstance.reset();
    if (std::exchange(m_bSkinMessageBoxSet, false))
        GXSkinHooks::SetMessageBox(std::move(m_prevSkinMessageBox));
    m_pSessionEnd.reset();
    return m_nExitCode;
}

int CTavDJ1App::Run()
{
    int nCode = 0;
    if (InitInstance())
        nCode = QApplication::exec();
    const int nExit = ExitInstance();
    return nCode != 0 ? nCode : nExit;
}

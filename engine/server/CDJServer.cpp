#include "engine/server/CDJServer.h"

#include "engine/server/CClient.h"
#include "engine/server/CDJSource.h"
#include "engine/server/ServerProtocol.h"
#include "foundation/GSocket.h"
#include "foundation/Paths.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Random.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>

namespace {

constexpr int kListenerBacklog = 0x7FFFFFFF;
// Deeper than a login needs: a stranger flooding the source port must not
// push a DJ's connection out of the queue before it is accepted.
constexpr int kSourceBacklog = 64;
// Accepts per pass, so a flood cannot starve the listeners' work.
constexpr int kAcceptsPerPass = 32;
constexpr char kNotFound[] = "HTTP/1.1 404 NotFound\r\nContent-Type:text/html\r\n\r\n";
constexpr char kOnAir[] = "현재 방송중 입니다.";
constexpr char kOffAir[] = "<b>방송중이 아닙니다.</b>";

const platform::MessageId kExitServer = platform::RegisterMessage(CDJServer::kExitServerMessage);
const platform::MessageId kSetServerInfo = platform::RegisterMessage(CDJServer::kSetServerInfoMessage);
const platform::MessageId kListClientInfo = platform::RegisterMessage(CDJServer::kListClientInfoMessage);

// A fresh secret for each run: the source port and admin.cgi face the
// internet, so a password anyone can look up would hand the broadcast to
// anyone.
std::string MakeSecret()
{
    unsigned char bytes[16] = {};
    if (!platform::FillRandomBytes(bytes, sizeof bytes))
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

// True when file, with every link resolved, lies inside folder: a link in
// the page folder must not lead a request elsewhere.
bool IsInsideFolder(const std::string& file, const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(file, error);
    if (error)
        return false;
    const std::filesystem::path root = std::filesystem::canonical(folder, error);
    if (error)
        return false;
    auto r = root.begin();
    for (auto f = real.begin(); r != root.end(); ++r, ++f) {
        if (f == real.end() || *f != *r)
            return false;
    }
    return true;
}

int ClampListeners(intptr_t n)
{
    return static_cast<int>(std::clamp<intptr_t>(n, 0, CDJServer::kMaxListenerLimit));
}

} // namespace

CDJServer::CDJServer()
    : CDJServer(platform::SocketApi::System(), platform::HostResolver::System(), platform::Clock::System())
{
}

CDJServer::CDJServer(platform::SocketApi& api, platform::HostResolver& resolver, platform::Clock& clock)
    : m_api(api)
    , m_resolver(resolver)
    , m_clock(clock)
{
}

CDJServer::~CDJServer()
{
    Stop();
}

bool CDJServer::Start(const CDJServerParams& params)
{
    if (!Open(params))
        return false;
    std::lock_guard<std::mutex> control(m_controlLock);
    m_thread = std::jthread([this](std::stop_token stop) { ThreadMain(stop); });
    return true;
}

bool CDJServer::StartWithoutThread(const CDJServerParams& params)
{
    if (!Open(params))
        return false;
    m_bPassesByCaller = true;
    return true;
}

bool CDJServer::RunPass()
{
    return m_bPassesByCaller && RunCommands() && PollPass();
}

bool CDJServer::Open(const CDJServerParams& params)
{
    Stop();
    std::lock_guard<std::mutex> control(m_controlLock);
    m_password = MakeSecret();
    m_logCallback = params.logCallback;
    m_logUser = params.logUser;
    m_listenUrl = params.listenUrl;
    m_pageFolder = params.pageFolder.empty() ? JoinPath(GetProgramDataFolder(), "serverhtml") : params.pageFolder;
    if (m_pageFolder.empty() || m_pageFolder.back() != '/')
        m_pageFolder.push_back('/');
    m_stationName.clear();
    m_title.clear();
    m_titleUrl.clear();
    m_genre.clear();
    m_nBitrate = 0;
    m_nTitleStamp = 1;
    RebuildMetadata();
    if (m_password.empty() || !m_ring.Allocate()) {
        Teardown();
        return false;
    }
    LoadIntro(params.introPath);
    m_lineScratch.assign(static_cast<size_t>(kMaxServerLine), '\0');

    m_nPort = params.port;
    char address[16] = {};
    m_localAddress = GetUsableLocalAddress(address) ? address : "127.0.0.1";
    ApplyMaxListeners(params.maxListeners);
    m_pListener.reset(new (std::nothrow) GSocket(m_api, m_resolver, m_clock));
    m_pSourceListener.reset(new (std::nothrow) GSocket(m_api, m_resolver, m_clock));
    // Binding happens at Listen here, so a port held by another program
    // shows there and gets the failure line too.
    if (!m_pListener || !m_pSourceListener || m_nPort <= 0 || m_nPort >= 65535 || !m_pListener->Create(m_nPort)
        || !m_pSourceListener->Create(m_nPort + 1) || !m_pListener->Listen(kListenerBacklog)
        || !m_pSourceListener->Listen(kSourceBacklog)) {
        // The secret of this run is never written, as in the source's login line.
        Log("server start failed with ip:%s port:%d pass:*", m_localAddress.c_str(), m_nPort);
        Teardown();
        return false;
    }
    const std::string rule(68, '=');
    Log("%s", rule.c_str());
    Log("Starting server with ip:%s port:%d pass:* ", m_localAddress.c_str(), m_nPort);
    Log("%s", rule.c_str());
    {
        std::lock_guard<std::mutex> lock(m_commandLock);
        m_commands.clear();
        m_bAcceptCommands = true;
    }
    return true;
}

void CDJServer::Stop()
{
    std::lock_guard<std::mutex> control(m_controlLock);
    if (m_bPassesByCaller) {
        m_bPassesByCaller = false;
        Teardown();
        std::lock_guard<std::mutex> lock(m_commandLock);
        m_bAcceptCommands = false;
        m_commands.clear();
        return;
    }
    if (!m_thread.joinable())
        return;
    PostCommand(kExitServer, 0, 0);
    m_thread.request_stop();
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_commandLock);
    m_bAcceptCommands = false;
    m_commands.clear();
}

void CDJServer::PostCommand(platform::MessageId message, uintptr_t wParam, intptr_t lParam)
{
    std::lock_guard<std::mutex> lock(m_commandLock);
    // The exit command always gets in; others beyond the bound are dropped.
    if (!m_bAcceptCommands || (m_commands.size() >= kMaxCommands && message != kExitServer))
        return;
    m_commands.push_back(Command { message, wParam, lParam });
}

void CDJServer::SetMaxListeners(int n)
{
    PostCommand(kSetServerInfo, 1, n);
}

void CDJServer::ListClientInfo()
{
    PostCommand(kListClientInfo, 0, 0);
}

void CDJServer::ThreadMain(std::stop_token stop)
{
    while (!stop.stop_requested() && RunCommands())
        PollPass();
    Teardown();
}

bool CDJServer::RunCommands()
{
    std::deque<Command> commands;
    {
        std::lock_guard<std::mutex> lock(m_commandLock);
        commands.swap(m_commands);
    }
    for (const Command& c : commands) {
        if (c.message == kExitServer)
            return false;
        if (c.message == kListClientInfo) {
            DumpClients();
        } else if (c.message == kSetServerInfo && c.wParam == 1) {
            ApplyMaxListeners(c.lParam);
        }
    }
    return true;
}

// Every connection costs a descriptor: a limit the process cannot reach
// would only show later as failed accepts under load, so the listener limit
// is fitted to it now and the log says so.
void CDJServer::ApplyMaxListeners(intptr_t asked)
{
    const int wanted = ClampListeners(asked);
    m_nMaxListeners = wanted;
    m_nConnectionMargin = kConnectionMargin;
    const int fixed = kMaxLogins + kDescriptorReserve;
    if (platform::EnsureDescriptorLimit(
            wanted + kConnectionMargin + fixed + std::max(0, platform::CountOpenDescriptors())))
        return;
    const int limit = platform::GetDescriptorLimit();
    const int open = platform::CountOpenDescriptors();
    if (limit < 0 || open < 0)
        return;
    // What is left after our own needs: a quarter of it (up to the usual
    // margin) for connections still making their request, the rest for
    // listeners.
    const int budget = std::max(0, limit - open - fixed);
    m_nConnectionMargin = std::min(kConnectionMargin, budget / 4);
    m_nMaxListeners = std::min(wanted, budget - m_nConnectionMargin);
    Log("MaxListeners lowered to %d (asked %d): the descriptor limit is %d", m_nMaxListeners, wanted, limit);
}

int CDJServer::ConnectionCap() const
{
    return m_nMaxListeners + m_nConnectionMargin;
}

bool CDJServer::IsAccepting(Listener which, uint32_t now) const
{
    const bool paused = which == Listener::Clients ? m_bClientsPaused : m_bSourcesPaused;
    const uint32_t since = which == Listener::Clients ? m_nClientsPausedAt : m_nSourcesPausedAt;
    return !paused || now - since >= kAcceptPauseMs;
}

// A listener reported ready yet gave no connection: the system refused the
// descriptor (EMFILE, ENFILE, out of memory). The connection stays queued
// and the listener ready, so accepting pauses instead of spinning.
void CDJServer::PauseAccepting(Listener which)
{
    bool& paused = which == Listener::Clients ? m_bClientsPaused : m_bSourcesPaused;
    if (!paused)
        Log("Accept failed, pausing %u ms (UserCount:%d)", static_cast<unsigned>(kAcceptPauseMs),
            static_cast<int>(m_clients.size()));
    paused = true;
    (which == Listener::Clients ? m_nClientsPausedAt : m_nSourcesPausedAt) = NowMs();
}

// Waits for socket events (not at all after a pass that moved data), then
// steps the sources and every client once.
bool CDJServer::PollPass()
{
    const size_t fixed = 3;
    const size_t logins = m_logins.size();
    m_pollEntries.resize(fixed + logins + m_clients.size());
    auto entry = [](platform::SocketFd fd, int wanted) { return platform::PollEntry { fd, wanted, 0 }; };
    const uint32_t now = NowMs();
    const bool acceptClients = IsAccepting(Listener::Clients, now);
    const bool acceptSources = IsAccepting(Listener::Sources, now);
    m_pollEntries[0]
        = entry(m_pListener && acceptClients ? m_pListener->GetHandle() : platform::kNoSocket, platform::kPollRead);
    m_pollEntries[1] = entry(
        m_pSourceListener && acceptSources ? m_pSourceListener->GetHandle() : platform::kNoSocket, platform::kPollRead);
    m_pollEntries[2]
        = entry(m_pSource ? m_pSource->Handle() : platform::kNoSocket, m_pSource ? m_pSource->WantedEvents() : 0);
    for (size_t i = 0; i < logins; ++i)
        m_pollEntries[fixed + i] = entry(m_logins[i]->Handle(), m_logins[i]->WantedEvents());
    // Once a second every socket is asked whether its peer has gone, so a
    // listener that leaves while no audio flows is noticed too.
    const bool sweep = now - m_nLastSweep >= kSweepMs;
    if (sweep)
        m_nLastSweep = now;
    const size_t first = fixed + logins;
    for (size_t i = 0; i < m_clients.size(); ++i) {
        const int wanted = m_clients[i]->WantedEvents(sweep);
        m_pollEntries[first + i] = entry(wanted ? m_clients[i]->Handle() : platform::kNoSocket, wanted);
    }
    const size_t waited = m_clients.size();
    // The wait is shorter than an accept pause, so a paused listener is
    // asked again once its pause is over.
    static_assert(kWaitMs < static_cast<int>(kAcceptPauseMs));
    const int waitMs = m_bLastPassActive ? 0 : kWaitMs;
    if (m_api.WaitForEvents(m_pollEntries.data(), static_cast<int>(m_pollEntries.size()), waitMs) < 0)
        m_clock.SleepMs(kWaitMs);

    bool activity = false;
    // The ready bits of the logins, by the login they belong to: stepping
    // may promote or drop logins.
    std::vector<std::pair<CDJSource*, int>> loginReady;
    loginReady.reserve(logins);
    for (size_t i = 0; i < logins; ++i)
        loginReady.emplace_back(m_logins[i].get(), m_pollEntries[fixed + i].ready);
    const int readyCurrent = m_pollEntries[2].ready;
    if (m_pollEntries[1].ready)
        activity |= AcceptSources();
    if (m_pollEntries[0].ready)
        activity |= AcceptClients();
    activity |= StepCurrentSource(readyCurrent);
    for (size_t i = 0; i < m_logins.size();) {
        int ready = platform::kPollRead; // accepted in this pass: look at once
        for (const auto& [login, bits] : loginReady) {
            if (login == m_logins[i].get())
                ready = bits;
        }
        const size_t before = m_logins.size();
        activity |= StepLogin(i, ready);
        if (m_logins.size() == before)
            ++i;
    }
    for (size_t i = 0; i < m_clients.size(); ++i) {
        // A client accepted in this pass was not waited on: look at once.
        const int ready = i < waited ? m_pollEntries[first + i].ready : platform::kPollRead;
        activity |= m_clients[i]->Step(ready) != 0;
    }
    RemoveFinishedClients();
    m_bLastPassActive = activity;
    return activity;
}

void CDJServer::WriteBlock(const char* block)
{
    // Only a listener a whole ring behind is still on the block that goes:
    // it keeps the rest of that block, so its stream stays whole up to the
    // block boundary where it skips ahead.
    const uint64_t leaving = m_ring.NextOverwritten();
    if (leaving != 0) {
        for (const auto& client : m_clients)
            client->KeepBlockBeforeOverwrite(leaving);
    }
    m_ring.Write(block);
}

bool CDJServer::AcceptSources()
{
    bool accepted = false;
    for (int i = 0; i < kAcceptsPerPass; ++i) {
        std::unique_ptr<GSocket> socket = m_pSourceListener->Accept();
        if (!socket) {
            if (!accepted)
                PauseAccepting(Listener::Sources);
            break;
        }
        accepted = true;
        m_bSourcesPaused = false;
        if (static_cast<int>(m_logins.size()) >= kMaxLogins)
            MakeRoomForLogin();
        std::unique_ptr<CDJSource> login(new (std::nothrow) CDJSource(std::move(socket), this));
        if (!login)
            continue;
        Log("AddDJ");
        m_logins.push_back(std::move(login));
        // Its password may be here already: read it before more strangers
        // arrive.
        StepLogin(m_logins.size() - 1, platform::kPollRead);
    }
    return accepted;
}

// Every login first reads what has arrived, so a password that is here
// wins; then the oldest login that has said nothing yet goes, else the
// oldest of all.
void CDJServer::MakeRoomForLogin()
{
    for (size_t i = 0; i < m_logins.size();) {
        const size_t before = m_logins.size();
        StepLogin(i, platform::kPollRead);
        if (m_logins.size() == before)
            ++i;
    }
    if (static_cast<int>(m_logins.size()) < kMaxLogins)
        return;
    // Logins are kept in the order they came.
    size_t victim = 0;
    while (victim < m_logins.size() && m_logins[victim]->HasSpoken())
        ++victim;
    if (victim == m_logins.size())
        victim = 0;
    Log("CloseOldDJ");
    m_logins.erase(m_logins.begin() + static_cast<std::ptrdiff_t>(victim));
}

// Steps login i; a login whose password was accepted takes over the stream
// (the earlier source goes), one that failed or ended is removed.
bool CDJServer::StepLogin(size_t i, int ready)
{
    bool activity = false;
    const CDJSource::Outcome outcome = m_logins[i]->Step(ready, &activity);
    if (outcome == CDJSource::Outcome::Keep)
        return activity;
    std::unique_ptr<CDJSource> login = std::move(m_logins[i]);
    m_logins.erase(m_logins.begin() + static_cast<std::ptrdiff_t>(i));
    if (outcome == CDJSource::Outcome::Promote) {
        // A source that knows the password takes over from the one that
        // was sending.
        m_pSource = std::move(login);
    } else {
        Log("DJ disconnected");
    }
    return activity;
}

bool CDJServer::StepCurrentSource(int ready)
{
    bool activity = false;
    if (m_pSource && m_pSource->Step(ready, &activity) == CDJSource::Outcome::Drop) {
        m_pSource.reset();
        Log("DJ disconnected");
    }
    return activity;
}

// Ends the oldest connection that has not completed its request (of one
// address when given). False when there is none.
bool CDJServer::EvictOldestPending(const std::string* address)
{
    CClient* oldest = nullptr;
    for (const std::unique_ptr<CClient>& c : m_clients) {
        if (!c->AwaitsRequest() || (address && c->PeerAddress() != *address))
            continue;
        if (!oldest || static_cast<int32_t>(c->ConnectTick() - oldest->ConnectTick()) < 0)
            oldest = c.get();
    }
    if (!oldest)
        return false;
    oldest->Evict();
    return true;
}

// Room for one more connection: when it is still making its request and
// its address holds its share, that address's oldest unfinished request
// goes; when all places are
// taken, the oldest unfinished request of anyone. False when every place
// holds a listener or a page being answered.
bool CDJServer::MakeRoomForClient(const CClient& newcomer)
{
    const std::string& address = newcomer.PeerAddress();
    int pendingHere = 0;
    int held = 0;
    for (const std::unique_ptr<CClient>& c : m_clients) {
        if (c->IsDone())
            continue;
        ++held;
        if (c->AwaitsRequest() && c->PeerAddress() == address)
            ++pendingHere;
    }
    if (newcomer.AwaitsRequest() && pendingHere >= kMaxPendingPerAddress && EvictOldestPending(&address))
        --held;
    if (held < ConnectionCap())
        return true;
    return EvictOldestPending(nullptr);
}

bool CDJServer::AcceptClients()
{
    bool accepted = false;
    for (int i = 0; i < kAcceptsPerPass; ++i) {
        std::unique_ptr<GSocket> socket = m_pListener->Accept();
        if (!socket) {
            if (!accepted)
                PauseAccepting(Listener::Clients);
            break;
        }
        accepted = true;
        m_bClientsPaused = false;
        socket->LimitSendBuffer(kListenerSendBuffer);
        std::unique_ptr<CClient> client(new (std::nothrow) CClient);
        if (!client)
            continue;
        client->Attach(std::move(socket), this, CClient::Intro::Wanted);
        // A request that is here already completes before anyone is
        // chosen to make room.
        client->Step(platform::kPollRead);
        if (!client->IsDone() && !MakeRoomForClient(*client))
            continue; // every place holds a listener or an answer: closed at once
        m_clients.push_back(std::move(client));
        Log("AddClient(IP:%s)(UserCount:%d)", m_clients.back()->PeerAddress().c_str(),
            static_cast<int>(m_clients.size()));
    }
    return accepted;
}

void CDJServer::RemoveFinishedClients()
{
    for (size_t i = 0; i < m_clients.size();) {
        if (!m_clients[i]->IsDone()) {
            ++i;
            continue;
        }
        std::unique_ptr<CClient> client = std::move(m_clients[i]);
        m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(i));
        Log("DelClient(IP:%s,Agent:%s,Time:%d)(UserCount:%d)", client->PeerAddress().c_str(), client->Agent().c_str(),
            static_cast<int>(client->ElapsedMs() / 1000), static_cast<int>(m_clients.size()));
    }
}

void CDJServer::DumpClients()
{
    const std::string rule(66, '=');
    Log("%s", rule.c_str());
    Log("ServerInfo");
    Log(" connection-count : %d", static_cast<int>(m_clients.size()));
    for (const std::unique_ptr<CClient>& client : m_clients)
        client->PrintInfo();
    Log("%s", rule.c_str());
}

void CDJServer::Teardown()
{
    m_pSource.reset();
    m_logins.clear();
    m_clients.clear();
    m_pollEntries.clear();
    m_pListener.reset();
    m_pSourceListener.reset();
    m_ring.Free();
    m_pIntro.reset();
    m_nIntroSize = 0;
    m_introPath.clear();
    m_bLastPassActive = false;
    m_bClientsPaused = false;
    m_bSourcesPaused = false;
}

void CDJServer::LoadIntro(const std::string& path)
{
    m_pIntro.reset();
    m_nIntroSize = 0;
    m_introPath.clear();
    if (path.empty())
        return;
    std::string bytes;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return;
    // A longer tune is cut: every listener waits for the whole intro before
    // the live stream.
    if (size > kMaxIntroBytes)
        Log("Intro cut to %u bytes", static_cast<unsigned>(kMaxIntroBytes));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return;
    const size_t want = static_cast<size_t>(std::min<uintmax_t>(size, kMaxIntroBytes));
    const size_t rounded = (want + CStreamRing::kSlotBytes - 1) / CStreamRing::kSlotBytes * CStreamRing::kSlotBytes;
    m_pIntro.reset(new (std::nothrow) char[rounded]());
    const size_t got = m_pIntro ? std::fread(m_pIntro.get(), 1, want, file) : 0;
    std::fclose(file);
    if (!m_pIntro || got == 0) {
        m_pIntro.reset();
        return;
    }
    m_nIntroSize = rounded;
    m_introPath = path;
}

void CDJServer::Log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    LogV(false, format, args);
    va_end(args);
}

void CDJServer::Console(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    LogV(true, format, args);
    va_end(args);
}

// Peer bytes reach these lines (request and header lines, agents, offered
// passwords, titles): every line is escaped and cut before it goes out, and
// standard output is written only when it takes the line at once, so a
// terminal or pipe nobody reads cannot stop the server thread.
void CDJServer::LogV(bool console, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    const bool lineEnd = console && !text.empty() && text.back() == '\n';
    if (lineEnd)
        text.pop_back();
    std::string shown = EscapeLogText(text, kMaxLogLine);
    if (console || !m_logCallback) {
        if (lineEnd || !console)
            shown.push_back('\n');
        (void)platform::WriteConsoleNow(shown);
        return;
    }
    std::lock_guard<std::mutex> lock(m_logLock);
    m_logCallback(shown.c_str(), m_logUser);
}

void CDJServer::ConsoleRaw(std::string_view text)
{
    (void)platform::WriteConsoleNow(text);
}

int CDJServer::StreamingCount() const
{
    return static_cast<int>(std::count_if(
        m_clients.begin(), m_clients.end(), [](const std::unique_ptr<CClient>& c) { return c->IsStreaming(); }));
}

const std::string& CDJServer::ListenAddress() const
{
    return m_listenUrl.empty() ? m_localAddress : m_listenUrl;
}

std::string CDJServer::BuildPageAnswer(const std::string& path, int depth) const
{
    const bool isIndex = EqualsNoCase(path, "index.html") || EqualsNoCase(path, "/index.html");
    const size_t skip = path.find_first_not_of('/');
    const std::string relative = skip == std::string::npos ? std::string() : path.substr(skip);
    const std::string file = m_pageFolder + relative;
    std::error_code error;
    // Only regular files inside the folder are pages; anything else counts
    // as missing.
    const bool present = IsSafePagePath(path) && !relative.empty() && std::filesystem::is_regular_file(file, error)
        && IsInsideFolder(file, m_pageFolder);
    if (!present) {
        if (isIndex || depth > 0)
            return kNotFound;
        return BuildPageAnswer("index.html", depth + 1);
    }
    std::string page;
    if (!platform::ReadWholeFile(file, kMaxPageBytes, &page))
        return kNotFound;
    const std::string ext = GetFileExtension(file.c_str());
    const bool html = EqualsNoCase(ext, ".html");
    if (html || EqualsNoCase(ext, ".js")) {
        PageValues values;
        values.url = ListenAddress();
        values.port = m_nPort;
        values.listeners = StreamingCount();
        values.maxListeners = m_nMaxListeners;
        values.serverState = m_pSource ? kOnAir : kOffAir;
        values.serverName = m_stationName;
        values.songTitle = m_title;
        page = FillPageTemplate(page, values, html ? PageEscape::Html : PageEscape::Js);
    }
    // Browsers and HTTP libraries refuse an answer without a status line.
    if (!HasStatusLine(page)) {
        page.insert(0,
            "HTTP/1.0 200 OK\r\nContent-Type:" + std::string(PageContentType(file))
                + "\r\nContent-Length:" + std::to_string(page.size()) + "\r\nConnection:close\r\n\r\n");
    }
    return page;
}

void CDJServer::SetStationName(const std::string& name)
{
    m_stationName = StripLineBreaks(name);
    m_title = m_stationName;
    RebuildMetadata();
}

void CDJServer::SetTitle(const std::string& title)
{
    m_title = StripLineBreaks(title);
    RebuildMetadata();
}

void CDJServer::SetTitleUrl(const std::string& url)
{
    m_titleUrl = StripLineBreaks(url);
    RebuildMetadata();
}

void CDJServer::RebuildMetadata()
{
    m_metadata = BuildMetadataBlock(m_title, m_titleUrl);
    ++m_nTitleStamp;
}

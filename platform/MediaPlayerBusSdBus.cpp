#include "platform/MediaPlayerBus.h"

#include <systemd/sd-bus.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

namespace platform {
namespace {

constexpr const char* kPlayerPrefix = "org.mpris.MediaPlayer2.";
constexpr const char* kPlayerPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
// A player that has not answered in this time is left for its next
// announcement: nothing waits on the answer, but the question is not kept
// forever, and while it is open the player is not asked again.
constexpr uint64_t kCallTimeoutUsec = 10'000'000;

constexpr const char* kOwnerMatch = "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                                    "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'";
constexpr const char* kChangeMatch = "type='signal',interface='org.freedesktop.DBus.Properties',"
                                     "member='PropertiesChanged',path='/org/mpris/MediaPlayer2',"
                                     "arg0='org.mpris.MediaPlayer2.Player'";

bool IsPlayerName(std::string_view name)
{
    return name.size() > std::strlen(kPlayerPrefix) && name.rfind(kPlayerPrefix, 0) == 0;
}

// Keeps at most max bytes without splitting a UTF-8 sequence (D-Bus
// strings are valid UTF-8).
std::string CutUtf8(const char* text, size_t max)
{
    std::string out(text ? text : "");
    if (out.size() <= max)
        return out;
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
        --cut;
    out.resize(cut);
    return out;
}

uint64_t NowUsec()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

// The readers below take one variant each. They return false only when the
// message no longer reads as D-Bus (its sender broke it); a variant of
// another type than the one asked for is skipped and reads as empty.

// The type inside the variant at the read position; "" when there is none.
std::string_view VariantContents(sd_bus_message* m)
{
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(m, nullptr, &contents) <= 0 || !contents)
        return {};
    return contents;
}

bool ReadStringVariant(sd_bus_message* m, size_t max, std::string* out)
{
    out->clear();
    if (VariantContents(m) != "s")
        return sd_bus_message_skip(m, "v") >= 0;
    const char* text = nullptr;
    if (sd_bus_message_enter_container(m, 'v', "s") < 0 || sd_bus_message_read(m, "s", &text) < 0)
        return false;
    *out = CutUtf8(text, max);
    return sd_bus_message_exit_container(m) >= 0;
}

// xesam:artist is a list of names; some players send one name as a plain
// string, which counts as a list of one.
bool ReadArtists(sd_bus_message* m, std::vector<std::string>* out)
{
    out->clear();
    const std::string_view contents = VariantContents(m);
    if (contents == "s") {
        std::string one;
        if (!ReadStringVariant(m, MediaPlayerBus::kMaxText, &one))
            return false;
        out->push_back(std::move(one));
        return true;
    }
    if (contents != "as")
        return sd_bus_message_skip(m, "v") >= 0;
    if (sd_bus_message_enter_container(m, 'v', "as") < 0 || sd_bus_message_enter_container(m, 'a', "s") < 0)
        return false;
    for (;;) {
        const char* name = nullptr;
        const int r = sd_bus_message_read(m, "s", &name);
        if (r < 0)
            return false;
        if (r == 0)
            break;
        if (out->size() < MediaPlayerBus::kMaxArtists)
            out->push_back(CutUtf8(name, MediaPlayerBus::kMaxText));
    }
    return sd_bus_message_exit_container(m) >= 0 && sd_bus_message_exit_container(m) >= 0;
}

// Skips the entries of an a{sv} left unread past the bound, and leaves it.
bool LeaveDictionary(sd_bus_message* m)
{
    int r = 0;
    while ((r = sd_bus_message_skip(m, "{sv}")) > 0) { }
    return r >= 0 && sd_bus_message_exit_container(m) >= 0;
}

// Reads the a{sv} at the read position, at most kMaxEntries of its entries,
// handing each key to readValue, which must read or skip the value.
template <class ReadValue> bool ReadDictionary(sd_bus_message* m, ReadValue readValue)
{
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0)
        return false;
    for (size_t n = 0; n < MediaPlayerBus::kMaxEntries; ++n) {
        const int r = sd_bus_message_enter_container(m, 'e', "sv");
        if (r < 0)
            return false;
        if (r == 0)
            return sd_bus_message_exit_container(m) >= 0;
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0 || !readValue(std::string_view(key ? key : ""))
            || sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return LeaveDictionary(m);
}

// The Metadata property: a variant holding a{sv}, of which we keep the
// title, the artists and the address.
bool ReadMetadata(sd_bus_message* m, PlayerSong* out)
{
    *out = {};
    if (VariantContents(m) != "a{sv}")
        return sd_bus_message_skip(m, "v") >= 0;
    if (sd_bus_message_enter_container(m, 'v', "a{sv}") < 0)
        return false;
    const bool ok = ReadDictionary(m, [&](std::string_view key) {
        if (key == "xesam:title")
            return ReadStringVariant(m, MediaPlayerBus::kMaxText, &out->title);
        if (key == "xesam:artist")
            return ReadArtists(m, &out->artists);
        if (key == "xesam:url")
            return ReadStringVariant(m, MediaPlayerBus::kMaxUrl, &out->url);
        return sd_bus_message_skip(m, "v") >= 0;
    });
    return ok && sd_bus_message_exit_container(m) >= 0;
}

class MediaPlayerBusSdBus final : public MediaPlayerBus {
public:
    explicit MediaPlayerBusSdBus(std::string address)
        : m_address(std::move(address))
    {
    }
    ~MediaPlayerBusSdBus() override { Stop(); }
    MediaPlayerBusSdBus(const MediaPlayerBusSdBus&) = delete;
    MediaPlayerBusSdBus& operator=(const MediaPlayerBusSdBus&) = delete;

    void Start() override
    {
        if (m_thread.joinable())
            return;
        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_wake < 0) {
            m_state = PlayerBusState::Absent;
            return;
        }
        m_state = PlayerBusState::Connecting;
        m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
    }

    void Stop() override
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            const uint64_t one = 1;
            (void)!write(m_wake, &one, sizeof one);
            m_thread.join();
            m_state = PlayerBusState::NotStarted;
        }
        if (m_wake >= 0)
            close(m_wake);
        m_wake = -1;
    }

    bool NowPlaying(PlayerSong* pSong) override
    {
        std::lock_guard guard(m_lock);
        if (pSong)
            *pSong = m_bPlaying ? m_now : PlayerSong {};
        return m_bPlaying;
    }

    PlayerBusState State() const override { return m_state; }

private:
    // What we know of one player. Bus thread only.
    struct Player {
        std::string name; // its well-known name, org.mpris.MediaPlayer2.*
        std::string owner; // its unique connection name; empty until known
        bool bPlaying = false;
        // When it began playing, in the order of what we saw: the player
        // that began last is the one on air.
        uint64_t nPlayingSince = 0;
        PlayerSong song;
    };

    // Thread: bus thread. Connects, then follows the players until asked
    // to stop; the wake-up descriptor ends the wait at once.
    void Run(const std::stop_token& stop)
    {
        const int r = m_address.empty() ? sd_bus_open_user(&m_bus) : OpenAddress();
        if (r < 0 || !Watch()) {
            Close();
            m_state = PlayerBusState::Absent;
            return;
        }
        while (!stop.stop_requested()) {
            const int processed = sd_bus_process(m_bus, nullptr);
            if (processed < 0)
                break;
            if (processed > 0)
                continue;
            if (!WaitForBus())
                break;
        }
        Close();
        m_players.clear();
        Publish();
        if (!stop.stop_requested())
            m_state = PlayerBusState::Absent;
    }

    int OpenAddress()
    {
        int r = sd_bus_new(&m_bus);
        if (r >= 0)
            r = sd_bus_set_address(m_bus, m_address.c_str());
        if (r >= 0)
            r = sd_bus_set_bus_client(m_bus, 1);
        if (r >= 0)
            r = sd_bus_start(m_bus);
        return r;
    }

    void Close()
    {
        // Closed without a flush: a stuck bus must not hold the stop.
        if (m_bus)
            sd_bus_close_unref(m_bus);
        m_bus = nullptr;
        m_pending.clear();
    }

    // Asks for the players' announcements, then for the names on the bus.
    // The bus answers in order, so no player that comes between is missed.
    bool Watch()
    {
        if (sd_bus_add_match_async(m_bus, nullptr, kOwnerMatch, &MediaPlayerBusSdBus::OnOwnerChanged, nullptr, this) < 0
            || sd_bus_add_match_async(m_bus, nullptr, kChangeMatch, &MediaPlayerBusSdBus::OnChanged, nullptr, this) < 0)
            return false;
        return sd_bus_call_method_async(m_bus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                   "org.freedesktop.DBus", "ListNames", &MediaPlayerBusSdBus::OnNames, this, "")
            >= 0;
    }

    // Waits for the bus to have something for us, for its next time-out,
    // or for Stop's wake-up. False when the connection cannot be waited on.
    bool WaitForBus()
    {
        const int fd = sd_bus_get_fd(m_bus);
        const int events = sd_bus_get_events(m_bus);
        uint64_t until = 0;
        if (fd < 0 || events < 0 || sd_bus_get_timeout(m_bus, &until) < 0)
            return false;
        int timeoutMs = -1;
        if (until != UINT64_MAX) {
            const uint64_t now = NowUsec();
            timeoutMs = until <= now ? 0 : static_cast<int>(std::min<uint64_t>((until - now + 999) / 1000, 60'000));
        }
        pollfd fds[2] = { { fd, static_cast<short>(events), 0 }, { m_wake, POLLIN, 0 } };
        const int n = poll(fds, 2, timeoutMs);
        return n >= 0 || errno == EINTR;
    }

    static int OnNames(sd_bus_message* m, void* user, sd_bus_error* /*error*/)
    {
        auto* self = static_cast<MediaPlayerBusSdBus*>(user);
        if (sd_bus_message_is_method_error(m, nullptr) || sd_bus_message_enter_container(m, 'a', "s") < 0)
            return 0;
        const char* name = nullptr;
        while (sd_bus_message_read(m, "s", &name) > 0) {
            if (name && IsPlayerName(name))
                self->AddPlayer(name, "");
        }
        self->m_state = PlayerBusState::Watching;
        return 0;
    }

    static int OnOwnerChanged(sd_bus_message* m, void* user, sd_bus_error* /*error*/)
    {
        auto* self = static_cast<MediaPlayerBusSdBus*>(user);
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0 || !name || !IsPlayerName(name))
            return 0;
        self->DropPlayer(name);
        if (newOwner && *newOwner)
            self->AddPlayer(name, newOwner);
        self->Publish();
        return 0;
    }

    // PropertiesChanged(interface, changed a{sv}, invalidated as) from a
    // player's own connection. A player that says only that its song or
    // state changed, without the new value, is asked for it.
    static int OnChanged(sd_bus_message* m, void* user, sd_bus_error* /*error*/)
    {
        auto* self = static_cast<MediaPlayerBusSdBus*>(user);
        const char* sender = sd_bus_message_get_sender(m);
        Player* player = sender ? self->ByOwner(sender) : nullptr;
        const char* interface = nullptr;
        if (!player || sd_bus_message_read(m, "s", &interface) < 0
            || !interface || std::strcmp(interface, kPlayerInterface) != 0)
            return 0;
        bool bAsk = !self->ReadProperties(m, player);
        if (!bAsk && sd_bus_message_enter_container(m, 'a', "s") > 0) {
            const char* name = nullptr;
            for (size_t n = 0; n < kMaxEntries && sd_bus_message_read(m, "s", &name) > 0; ++n)
                bAsk = bAsk || std::string_view(name) == "PlaybackStatus" || std::string_view(name) == "Metadata";
        }
        if (bAsk)
            self->AskPlayer(player->name);
        self->Publish();
        return 0;
    }

    static int OnProperties(sd_bus_message* m, void* user, sd_bus_error* /*error*/)
    {
        auto* self = static_cast<MediaPlayerBusSdBus*>(user);
        uint64_t cookie = 0;
        if (sd_bus_message_get_reply_cookie(m, &cookie) < 0)
            return 0;
        const auto it = self->m_pending.find(cookie);
        if (it == self->m_pending.end())
            return 0;
        const std::string name = it->second;
        self->m_pending.erase(it);
        Player* player = self->ByName(name);
        // An error, the time-out included, leaves the player as it was: its
        // next announcement tells us more.
        if (!player || sd_bus_message_is_method_error(m, nullptr))
            return 0;
        if (const char* sender = sd_bus_message_get_sender(m))
            player->owner = sender;
        (void)self->ReadProperties(m, player);
        self->Publish();
        return 0;
    }

    // a{sv} of the player's properties, of which PlaybackStatus and
    // Metadata are ours. False when the message does not read as that.
    bool ReadProperties(sd_bus_message* m, Player* player)
    {
        return ReadDictionary(m, [&](std::string_view key) {
            if (key == "PlaybackStatus") {
                std::string status;
                if (!ReadStringVariant(m, 32, &status))
                    return false;
                SetPlaying(player, status == "Playing");
                return true;
            }
            if (key == "Metadata")
                return ReadMetadata(m, &player->song);
            return sd_bus_message_skip(m, "v") >= 0;
        });
    }

    void SetPlaying(Player* player, bool bPlaying)
    {
        if (bPlaying && !player->bPlaying)
            player->nPlayingSince = ++m_nSequence;
        player->bPlaying = bPlaying;
    }

    void AddPlayer(const std::string& name, const std::string& owner)
    {
        if (ByName(name) || m_players.size() >= kMaxPlayers)
            return;
        m_players.push_back({ name, owner, false, 0, {} });
        AskPlayer(name);
    }

    void DropPlayer(const std::string& name)
    {
        std::erase_if(m_players, [&](const Player& p) { return p.name == name; });
    }

    // Asks a player for all its properties, unless a question to it is
    // still open.
    void AskPlayer(const std::string& name)
    {
        for (const auto& [cookie, asked] : m_pending) {
            if (asked == name)
                return;
        }
        sd_bus_message* call = nullptr;
        if (sd_bus_message_new_method_call(m_bus, &call, name.c_str(), kPlayerPath, kPropertiesInterface, "GetAll") < 0)
            return;
        uint64_t cookie = 0;
        if (sd_bus_message_append(call, "s", kPlayerInterface) >= 0
            && sd_bus_call_async(m_bus, nullptr, call, &MediaPlayerBusSdBus::OnProperties, this, kCallTimeoutUsec) >= 0
            && sd_bus_message_get_cookie(call, &cookie) >= 0)
            m_pending[cookie] = name;
        sd_bus_message_unref(call);
    }

    Player* ByName(const std::string& name)
    {
        const auto it
            = std::find_if(m_players.begin(), m_players.end(), [&](const Player& p) { return p.name == name; });
        return it == m_players.end() ? nullptr : &*it;
    }

    Player* ByOwner(std::string_view owner)
    {
        const auto it
            = std::find_if(m_players.begin(), m_players.end(), [&](const Player& p) { return p.owner == owner; });
        return it == m_players.end() ? nullptr : &*it;
    }

    // Hands the song of the player that began playing last to NowPlaying.
    void Publish()
    {
        const Player* on = nullptr;
        for (const Player& p : m_players) {
            if (p.bPlaying && (!on || p.nPlayingSince > on->nPlayingSince))
                on = &p;
        }
        std::lock_guard guard(m_lock);
        m_bPlaying = on != nullptr;
        m_now = on ? on->song : PlayerSong {};
    }

    const std::string m_address;
    std::atomic<PlayerBusState> m_state { PlayerBusState::NotStarted };
    int m_wake = -1;

    // Bus thread only.
    sd_bus* m_bus = nullptr;
    std::vector<Player> m_players;
    // Questions out, by their message's cookie: whom each asked.
    std::map<uint64_t, std::string> m_pending;
    uint64_t m_nSequence = 0;

    std::mutex m_lock; // guards: m_bPlaying, m_now
    bool m_bPlaying = false;
    PlayerSong m_now;

    std::jthread m_thread;
};

} // namespace

std::unique_ptr<MediaPlayerBus> MediaPlayerBus::ForSession()
{
    return std::make_unique<MediaPlayerBusSdBus>(std::string());
}

std::unique_ptr<MediaPlayerBus> MediaPlayerBus::ForAddress(const std::string& address)
{
    return std::make_unique<MediaPlayerBusSdBus>(address);
}

} // namespace platform

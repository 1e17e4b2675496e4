#pragma once

// A music player of the test's own on a private session bus: it owns an
// MPRIS name and publishes the state and metadata the test gives it, as a
// desktop player announces its songs; or it owns the name and never
// answers. Also the few calls a test makes to a real player on that bus.

#include <systemd/sd-bus.h>

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

// One metadata entry as a player sends it: a string, a list of strings or
// (for a player that gets the types wrong) a number.
struct MprisEntry {
    enum class Kind { Text, Texts, Number };
    std::string key;
    Kind kind = Kind::Text;
    std::vector<std::string> values;
};
using MprisMetadata = std::vector<MprisEntry>;

inline MprisEntry Text(std::string key, std::string value)
{
    return { std::move(key), MprisEntry::Kind::Text, { std::move(value) } };
}
inline MprisEntry Texts(std::string key, std::vector<std::string> values)
{
    return { std::move(key), MprisEntry::Kind::Texts, std::move(values) };
}
inline MprisEntry Number(std::string key)
{
    return { std::move(key), MprisEntry::Kind::Number, {} };
}

// A connection to a bus at an address; null on failure.
inline sd_bus* ConnectBus(const std::string& address)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return nullptr;
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0
        || sd_bus_set_method_call_timeout(bus, 5'000'000) < 0) {
        sd_bus_unref(bus);
        return nullptr;
    }
    return bus;
}

// The names on the bus that start with prefix.
inline std::vector<std::string> BusNames(const std::string& address, const std::string& prefix)
{
    std::vector<std::string> names;
    sd_bus* bus = ConnectBus(address);
    if (!bus)
        return names;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
            nullptr, &reply, "")
        >= 0) {
        char** list = nullptr;
        if (sd_bus_message_read_strv(reply, &list) >= 0 && list) {
            for (char** p = list; *p; ++p) {
                if (std::string(*p).rfind(prefix, 0) == 0)
                    names.emplace_back(*p);
                free(*p);
            }
            free(list);
        }
        sd_bus_message_unref(reply);
    }
    sd_bus_flush_close_unref(bus);
    return names;
}

// Calls a method of a player's MPRIS interface (Next, Pause, Play...); true
// when it answered without an error.
inline bool CallPlayer(const std::string& address, const std::string& name, const char* method)
{
    sd_bus* bus = ConnectBus(address);
    if (!bus)
        return false;
    const int r = sd_bus_call_method(
        bus, name.c_str(), "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player", method, nullptr, nullptr, "");
    sd_bus_flush_close_unref(bus);
    return r >= 0;
}

class ScriptedMprisPlayer {
public:
    enum class Answers { Yes, Never };

    ScriptedMprisPlayer() = default;
    ~ScriptedMprisPlayer() { Stop(); }
    ScriptedMprisPlayer(const ScriptedMprisPlayer&) = delete;
    ScriptedMprisPlayer& operator=(const ScriptedMprisPlayer&) = delete;

    // Joins the bus and owns name (org.mpris.MediaPlayer2.*), stopped and
    // without metadata. A player that never answers takes every question
    // and leaves it open.
    bool Start(const std::string& address, const std::string& name, Answers answers = Answers::Yes)
    {
        m_bus = ConnectBus(address);
        if (!m_bus)
            return false;
        const int r = answers == Answers::Yes
            ? sd_bus_add_object_vtable(
                m_bus, nullptr, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player", Vtable(), this)
            : sd_bus_add_object(m_bus, nullptr, "/org/mpris/MediaPlayer2", &ScriptedMprisPlayer::Ignore, this);
        if (r < 0 || sd_bus_request_name(m_bus, name.c_str(), 0) < 0)
            return false;
        m_thread = std::jthread([this](std::stop_token stop) { Serve(stop); });
        return true;
    }

    // The player's new state and song, announced as players do.
    bool Set(const std::string& status, const MprisMetadata& metadata)
    {
        std::lock_guard guard(m_lock);
        m_status = status;
        m_metadata = metadata;
        return sd_bus_emit_properties_changed(m_bus, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player",
                   "PlaybackStatus", "Metadata", nullptr)
            >= 0
            && sd_bus_flush(m_bus) >= 0;
    }

    // Leaves the bus: the name goes with the connection.
    void Stop()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
        std::lock_guard guard(m_lock);
        if (m_bus)
            sd_bus_flush_close_unref(m_bus);
        m_bus = nullptr;
    }

    // Questions a player that never answers has been asked.
    [[nodiscard]] int Unanswered() const { return m_nUnanswered; }

private:
    static int Ignore(sd_bus_message*, void* user, sd_bus_error*)
    {
        ++static_cast<ScriptedMprisPlayer*>(user)->m_nUnanswered;
        return 1;
    }

    void Serve(const std::stop_token& stop)
    {
        while (!stop.stop_requested()) {
            {
                std::lock_guard guard(m_lock);
                while (sd_bus_process(m_bus, nullptr) > 0) { }
            }
            // A short wait keeps Stop prompt without a wake-up of its own.
            pollfd p { sd_bus_get_fd(m_bus), POLLIN, 0 };
            (void)poll(&p, 1, 20);
        }
    }

    static int GetStatus(
        sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* user, sd_bus_error*)
    {
        return sd_bus_message_append(reply, "s", static_cast<ScriptedMprisPlayer*>(user)->m_status.c_str());
    }

    static int GetMetadata(
        sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* user, sd_bus_error*)
    {
        const auto* self = static_cast<ScriptedMprisPlayer*>(user);
        int r = sd_bus_message_open_container(reply, 'a', "{sv}");
        for (const MprisEntry& e : self->m_metadata) {
            if (r < 0)
                break;
            r = sd_bus_message_open_container(reply, 'e', "sv");
            if (r >= 0)
                r = sd_bus_message_append(reply, "s", e.key.c_str());
            if (r >= 0 && e.kind == MprisEntry::Kind::Text)
                r = sd_bus_message_append(reply, "v", "s", e.values.empty() ? "" : e.values[0].c_str());
            if (r >= 0 && e.kind == MprisEntry::Kind::Number)
                r = sd_bus_message_append(reply, "v", "x", int64_t(42));
            if (r >= 0 && e.kind == MprisEntry::Kind::Texts) {
                r = sd_bus_message_open_container(reply, 'v', "as");
                if (r >= 0)
                    r = sd_bus_message_open_container(reply, 'a', "s");
                for (const std::string& v : e.values) {
                    if (r >= 0)
                        r = sd_bus_message_append(reply, "s", v.c_str());
                }
                if (r >= 0)
                    r = sd_bus_message_close_container(reply);
                if (r >= 0)
                    r = sd_bus_message_close_container(reply);
            }
            if (r >= 0)
                r = sd_bus_message_close_container(reply);
        }
        return r < 0 ? r : sd_bus_message_close_container(reply);
    }

    static const sd_bus_vtable* Vtable()
    {
        static const sd_bus_vtable vtable[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_PROPERTY(
                "PlaybackStatus", "s", &ScriptedMprisPlayer::GetStatus, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
            SD_BUS_PROPERTY(
                "Metadata", "a{sv}", &ScriptedMprisPlayer::GetMetadata, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
            SD_BUS_VTABLE_END,
        };
        return vtable;
    }

    std::mutex m_lock; // guards: m_bus (while serving), m_status, m_metadata
    sd_bus* m_bus = nullptr;
    std::string m_status = "Stopped";
    MprisMetadata m_metadata;
    std::atomic<int> m_nUnanswered { 0 };
    std::jthread m_thread;
};

} // namespace testutil

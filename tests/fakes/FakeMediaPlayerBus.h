#pragma once

#include "platform/MediaPlayerBus.h"

#include <atomic>
#include <mutex>
#include <optional>

// The desktop's bus players as a test sets them: the song on air, or none,
// and how far the watch on the bus has come.
class FakeMediaPlayerBus final : public platform::MediaPlayerBus {
public:
    void Play(const platform::PlayerSong& song)
    {
        std::lock_guard guard(m_lock);
        m_song = song;
    }
    void StopPlaying()
    {
        std::lock_guard guard(m_lock);
        m_song.reset();
    }
    void SetState(platform::PlayerBusState state) { m_state = state; }
    [[nodiscard]] int Starts() const { return m_nStarts; }
    [[nodiscard]] int Stops() const { return m_nStops; }

    void Start() override
    {
        ++m_nStarts;
        if (m_state == platform::PlayerBusState::NotStarted)
            m_state = platform::PlayerBusState::Watching;
    }
    void Stop() override { ++m_nStops; }
    bool NowPlaying(platform::PlayerSong* pSong) override
    {
        std::lock_guard guard(m_lock);
        if (pSong)
            *pSong = m_song.value_or(platform::PlayerSong {});
        return m_song.has_value();
    }
    platform::PlayerBusState State() const override { return m_state; }

private:
    std::atomic<platform::PlayerBusState> m_state { platform::PlayerBusState::NotStarted };
    std::atomic<int> m_nStarts { 0 };
    std::atomic<int> m_nStops { 0 };
    std::mutex m_lock; // guards: m_song
    std::optional<platform::PlayerSong> m_song;
};

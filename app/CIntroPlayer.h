#pragma once

#include "platform/WaveOut.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Thread: the user-interface thread calls everything; the player's own
// thread (owned, joined by Stop and Close) decodes and plays.
// Previews the intro tune on the settings page: open a file, play it from
// the start, ask whether it still plays, stop, close.
class CIntroPlayer {
public:
    explicit CIntroPlayer(platform::WaveOutBackend& output = platform::WaveOutBackend::System());
    ~CIntroPlayer();
    CIntroPlayer(const CIntroPlayer&) = delete;
    CIntroPlayer& operator=(const CIntroPlayer&) = delete;

    // Closes what was open, then remembers the file. False when it is not
    // a playable MP3.
    bool Open(const std::string& path);
    // From the beginning; false without an open file or a playback device.
    bool Play();
    // "playing" while the sound runs, "stopped" otherwise.
    [[nodiscard]] std::string Status() const;
    void Stop();
    void Close();

private:
    platform::WaveOutBackend& m_output;
    std::string m_strPath;
    std::atomic<bool> m_bPlaying { false };
    std::mutex m_lock; // guards m_pStream against Stop's interrupt
    std::unique_ptr<platform::WaveOutStream> m_pStream;
    std::jthread m_thread;
};

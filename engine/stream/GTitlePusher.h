#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

// Thread: Post from any thread; Start and Stop from one thread at a time
// (the source client's login starts it, its Close stops it); the push runs
// on the worker this object owns.
// Pushes song titles one at a time on a worker of its own, so a slow or
// unreachable title server never holds the thread that streams the audio.
// A title posted while a push runs replaces any that waits: the newest
// title wins and at most one waits.
class GTitlePusher {
public:
    // One push: the song, its URL and the token that Stop requests.
    using Push = std::function<void(const std::string& song, const std::string& url, std::stop_token stop)>;

    GTitlePusher() = default;
    ~GTitlePusher() { Stop(); }
    GTitlePusher(const GTitlePusher&) = delete;
    GTitlePusher& operator=(const GTitlePusher&) = delete;

    // False when the worker cannot be started.
    [[nodiscard]] bool Start(Push push);
    // Ends the push in flight through its stop token, drops the waiting
    // title and joins the worker.
    void Stop();
    // False when not started: the title is dropped.
    bool Post(const std::string& song, const std::string& url);
    // Waits up to timeoutMs until no title waits and no push runs.
    [[nodiscard]] bool WaitIdle(int timeoutMs);

private:
    struct Title {
        std::string song;
        std::string url;
    };
    void Run(std::stop_token stop);

    Push m_push;
    std::mutex m_lock; // guards: m_waiting, m_bRunning, m_bBusy
    std::condition_variable_any m_changed;
    std::optional<Title> m_waiting;
    bool m_bRunning = false;
    bool m_bBusy = false;
    std::jthread m_worker;
};

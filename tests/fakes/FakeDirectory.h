#pragma once

// A scripted station directory on loopback for the directory client's
// tests: records every request byte for byte and answers them in order
// from a script. Runs on a thread of its own, stopped by its destructor.

#include "fakes/ScriptedLoopbackServer.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct FakeDirectoryConn {
    std::string bytes;
    bool recorded = false;
};

class FakeDirectory : public ScriptedLoopbackServer<FakeDirectoryConn> {
public:
    // What the directory does with one request. An empty reply that keeps
    // the connection open is silence.
    struct Answer {
        std::string reply;
        bool close = true;
    };
    static Answer Silence() { return Answer { "", false }; }

    ~FakeDirectory() override { StopServing(); }

    bool Start()
    {
        const int fd = Listen(0);
        m_port = fd >= 0 ? BoundPort(fd) : 0;
        if (m_port == 0) {
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        Serve({ fd }, 5);
        return true;
    }

    int Port() const { return m_port; }

    void Then(Answer answer)
    {
        std::lock_guard guard(m_lock);
        m_script.push_back(std::move(answer));
    }
    void Then(const std::string& reply) { Then(Answer { reply, true }); }
    // True: requests are recorded but not answered until it is set false
    // again (a slow host that answers at the test's word).
    void Hold(bool hold) { m_hold = hold; }

    // From now on connections are refused; returns once the port is closed.
    bool StopListening(int timeoutMs = 5000)
    {
        m_refuse = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!m_closed) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::vector<std::string> Requests()
    {
        std::lock_guard guard(m_lock);
        return m_requests;
    }
    size_t RequestCount()
    {
        std::lock_guard guard(m_lock);
        return m_requests.size();
    }

    bool WaitForRequests(size_t count, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (RequestCount() < count) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    using Conn = FakeDirectoryConn;

    void BeforePoll() override
    {
        if (!m_hold) {
            for (int fd : std::exchange(m_held, {}))
                Play(fd);
        }
        if (m_refuse && Listening(0)) {
            CloseListener(0);
            m_closed = true;
        }
    }

    void Accepted(size_t, Conn&) override { }

    void Received(int fd, Conn& c, const char* data, size_t size) override
    {
        c.bytes.append(data, size);
        Reply(fd, c);
    }

    void Ended(Conn& c) override
    {
        if (!c.recorded && !c.bytes.empty()) {
            std::lock_guard guard(m_lock);
            m_requests.push_back(c.bytes);
        }
    }

    // Records the request once its blank line arrived and plays the next
    // answer.
    void Reply(int fd, Conn& c)
    {
        if (c.recorded || c.bytes.find("\r\n\r\n") == std::string::npos)
            return;
        c.recorded = true;
        {
            std::lock_guard guard(m_lock);
            m_requests.push_back(c.bytes);
        }
        if (m_hold) {
            m_held.push_back(fd);
            return;
        }
        Play(fd);
    }

    // The next answer of the script, to a connection still open.
    void Play(int fd)
    {
        Answer answer = Silence();
        {
            std::lock_guard guard(m_lock);
            if (!m_script.empty()) {
                answer = m_script.front();
                m_script.pop_front();
            }
        }
        if (!answer.reply.empty())
            (void)!::send(fd, answer.reply.data(), answer.reply.size(), MSG_NOSIGNAL);
        if (answer.close)
            Drop(fd);
    }

    int m_port = 0;
    std::atomic<bool> m_refuse { false };
    std::atomic<bool> m_hold { false };
    std::vector<int> m_held; // server thread only
    std::atomic<bool> m_closed { false };
    std::mutex m_lock; // guards: m_script, m_requests
    std::deque<Answer> m_script;
    std::vector<std::string> m_requests;
};

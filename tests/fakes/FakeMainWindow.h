#pragma once

#include "platform/MessageTarget.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A stand-in for the main window: a message target with timers and a small
// message loop of its own, run by the test's thread (which plays the main
// thread). Every message is recorded; a handler may answer it.
// Thread: the thread that made it; others only post.
class FakeMainWindow final : public platform::MessageTarget {
public:
    using Handler = std::function<platform::LParam(platform::MessageId, platform::WParam, platform::LParam)>;

    struct Received {
        platform::MessageId msg;
        platform::WParam wParam;
        platform::LParam lParam;
    };

    ~FakeMainWindow() override { Detach(); }

    void SetHandler(Handler handler) { m_handler = std::move(handler); }
    // Text carried by wParam as a C string (valid only during the call) is
    // copied for messages of this id, e.g. log lines.
    void RecordTextOf(platform::MessageId msg) { m_textMessage = msg; }

    bool SetTimer(uint32_t id, uint32_t periodMs) override
    {
        m_timers[id] = { std::chrono::milliseconds(periodMs), Clock::now() + std::chrono::milliseconds(periodMs) };
        return true;
    }
    bool KillTimer(uint32_t id) override { return m_timers.erase(id) > 0; }
    [[nodiscard]] bool HasTimer(uint32_t id) const { return m_timers.count(id) > 0; }

    // Delivers one timer event now, as a due timer would.
    void FireTimer(uint32_t id) { OnMessage(platform::kTimerMessage, id, 0); }

    // Runs the loop until pred holds or timeoutMs passed: posted messages in
    // order, due timers in between. Returns pred's last value.
    bool RunUntil(const std::function<bool()>& pred, uint32_t timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            DispatchPending();
            FireDueTimers();
            if (pred())
                return true;
            const auto now = Clock::now();
            if (now >= deadline)
                return false;
            auto next = std::min(deadline, now + std::chrono::milliseconds(10));
            for (const auto& [id, timer] : m_timers)
                next = std::min(next, timer.due);
            WaitAndDispatch(static_cast<uint32_t>(
                std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count())));
        }
    }
    void RunFor(uint32_t ms)
    {
        RunUntil([] { return false; }, ms);
    }

    [[nodiscard]] const std::vector<Received>& Messages() const { return m_messages; }
    [[nodiscard]] const std::vector<std::string>& Texts() const { return m_texts; }
    [[nodiscard]] size_t Count(platform::MessageId msg) const
    {
        size_t n = 0;
        for (const Received& r : m_messages)
            n += r.msg == msg ? 1 : 0;
        return n;
    }
    void Clear()
    {
        m_messages.clear();
        m_texts.clear();
    }

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam wParam, platform::LParam lParam) override
    {
        m_messages.push_back({ msg, wParam, lParam });
        if (m_textMessage != 0 && msg == m_textMessage && wParam != 0)
            m_texts.emplace_back(reinterpret_cast<const char*>(wParam));
        return m_handler ? m_handler(msg, wParam, lParam) : 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    void FireDueTimers()
    {
        std::vector<uint32_t> due;
        const auto now = Clock::now();
        for (auto& [id, timer] : m_timers) {
            if (timer.due <= now) {
                due.push_back(id);
                timer.due = now + timer.period;
            }
        }
        // A handler may kill timers, so they are looked up again.
        for (const uint32_t id : due)
            if (m_timers.count(id))
                FireTimer(id);
    }

    Handler m_handler;
    platform::MessageId m_textMessage = 0;
    std::map<uint32_t, Timer> m_timers;
    std::vector<Received> m_messages;
    std::vector<std::string> m_texts;
};
